// VexaHost test helper: Debian's mosquitto broker as a child process on a
// free loopback port of its own, anonymous and without persistence.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Skips the test when `ok` is false, but fails it under CI=true.
#define VEXA_NEED(ok, why)                                                                                           \
    do {                                                                                                             \
        if (!(ok)) {                                                                                                 \
            if (vexa::test::MosquittoBroker::mustRun())                                                              \
                QFAIL(why " (required with CI=true)");                                                               \
            QSKIP(why);                                                                                              \
        }                                                                                                            \
    } while (false)

namespace vexa::test {

class MosquittoBroker
{
public:
    static QString program() { return QStringLiteral("/usr/sbin/mosquitto"); }
    // False when the broker is not installed: tests QSKIP then, or fail
    // where they must run (VEXA_NEED).
    static bool installed();
    // CI=true: a test that cannot run there has failed, not passed.
    static bool mustRun() { return qgetenv("CI") == "true"; }

    MosquittoBroker() = default;
    ~MosquittoBroker();

    // Starts the broker and waits until its port takes connections. The
    // first start chooses the port; later starts (after stop(), kill())
    // use the same one, as a restarted broker would. A paused broker is
    // resumed.
    bool start();
    // SIGTERM, as a service manager stops it; clients see their connection
    // closed.
    void stop();
    // SIGKILL; works on a paused broker too.
    void kill();
    // SIGSTOP / SIGCONT: the broker keeps its connections but answers
    // nothing, as an overloaded one.
    void pause();
    void resume();

    // Before start(): makes a certificate authority and a certificate for
    // 127.0.0.1 (openssl, elliptic-curve keys: quick) and listens with TLS
    // only. False when openssl is missing or fails.
    bool useTls();
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    QString output() const { return QString::fromLocal8Bit(m_output); }

private:
    bool launch();
    void waitEnd();

    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
    bool m_tls = false;
};

} // namespace vexa::test
