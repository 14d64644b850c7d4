// VexaHost test helper: a running vexa-sim driven through its control lines.
#include "simprocess.h"

#include <QDeadlineTimer>
#include <QTest>

#ifndef VEXA_SIM_PATH
#define VEXA_SIM_PATH "vexa-sim"
#endif

namespace vexa::test {

SimProcess::SimProcess(const QString &configHome)
    : m_configHome(configHome.isEmpty() ? m_config.path() : configHome)
{
    qputenv("XDG_CONFIG_HOME", m_configHome.toLocal8Bit());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &args)
{
    m_process.start(QStringLiteral(VEXA_SIM_PATH), QStringList{QStringLiteral("--trace")} + args);
    if (!m_process.waitForStarted(10000))
        return false;
    return waitFor([this] { return !m_device.isEmpty(); }, 10000);
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void SimProcess::readOutput()
{
    m_partial += m_process.readAllStandardOutput();
    int newline;
    while ((newline = int(m_partial.indexOf('\n'))) >= 0) {
        const QString line = QString::fromLocal8Bit(m_partial.left(newline)).trimmed();
        m_partial.remove(0, newline + 1);
        m_lines << line;
        if (line.startsWith(QLatin1String("device: ")))
            m_device = line.mid(8).trimmed();
    }
}

bool SimProcess::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return condition();
        QTest::qWait(10);
    }
    return true;
}

bool SimProcess::control(const QString &line, int timeoutMs)
{
    const QString wanted = QStringLiteral("ok ") + line;
    const qsizetype before = m_lines.size();
    m_process.write((line + QLatin1Char('\n')).toLocal8Bit());
    return waitFor([&] {
        for (qsizetype i = before; i < m_lines.size(); ++i)
            if (m_lines[i] == wanted)
                return true;
        return false;
    }, timeoutMs);
}

bool SimProcess::waitForRequests(int count, int timeoutMs)
{
    return waitFor([&] { return requests().size() >= count; }, timeoutMs);
}

static QStringList tagged(const QStringList &lines, const QString &tag)
{
    QStringList result;
    for (const QString &line : lines)
        if (line.startsWith(tag))
            result << line.mid(tag.size()).trimmed();
    return result;
}

QStringList SimProcess::requests() const
{
    return tagged(m_lines, QStringLiteral("rx:"));
}

QStringList SimProcess::replies() const
{
    return tagged(m_lines, QStringLiteral("tx:"));
}

} // namespace vexa::test
