// VexaHost test helper: a running vexa-sim on a pseudo-terminal, published
// as a COM port in a private port folder, driven through its control lines.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace vexa::test {

class SimProcess
{
public:
    // Points XDG_CONFIG_HOME of this process (and the simulator) at a fresh
    // folder, so the host finds only the simulator's port.
    // With `configHome` the simulator shares that folder instead.
    explicit SimProcess(const QString &configHome = {});
    ~SimProcess();

    // Starts vexa-sim with --trace and `args`; true once its device is known.
    bool start(const QStringList &args = {});
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    // Sends one control line and waits for its "ok" answer.
    bool control(const QString &line, int timeoutMs = 5000);
    // Waits until `count` request frames have been traced in all.
    bool waitForRequests(int count, int timeoutMs = 10000);

    QString device() const { return m_device; }
    QString configHome() const { return m_configHome; }
    // Request frames as traced ("01 08 00 10 80 E0 79 86"), oldest first.
    QStringList requests() const;
    QStringList replies() const;
    QStringList output() const { return m_lines; }
    // Forgets the traffic traced so far (a start-up exchange, say).
    void forgetTraffic() { m_lines.clear(); }

private:
    void readOutput();
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);

    QTemporaryDir m_config;
    QString m_configHome;
    QProcess m_process;
    QStringList m_lines;
    QString m_device;
    QByteArray m_partial;
};

} // namespace vexa::test
