#include "e2efixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace vexa::test {

QStringList paneLines(MainWindow &w)
{
    QStringList lines = control<ResponsePane>(w, "memoResponse").lines();
    static const QRegularExpression stamp(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d  -  "));
    for (QString &line : lines)
        line.replace(stamp, QStringLiteral("# "));
    return lines;
}

bool paneHas(MainWindow &w, const QString &line)
{
    return paneLines(w).contains(line);
}

QString panel(MainWindow &w, int i)
{
    return statusPanel(w, i).text();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

namespace {
bool fail(const char *what)
{
    qWarning("end-to-end set-up: %s", what);
    return false;
}

// Waits for `condition`; says what did not happen when the time is up.
template<typename F>
bool waitFor(F condition, int timeoutMs, const char *what)
{
    return QTest::qWaitFor(condition, timeoutMs) || fail(what);
}
} // namespace

bool E2eFixture::startSim(const QStringList &args)
{
    m_sim = std::make_unique<SimProcess>();
    if (!m_sim->start(args))
        return fail("vexa-sim did not start");
    return !args.contains(QStringLiteral("--usb"))
        || waitFor([&] { return !m_sim->output().filter(QRegularExpression(QStringLiteral("^usb: /"))).isEmpty(); },
                   kAnswerMs, "the simulator's USB reader is not listening");
}

MainWindow &E2eFixture::makeWindow(OperatorPrompt *prompt)
{
    if (!prompt) {
        m_prompt = std::make_unique<ScriptedPrompt>();
        prompt = m_prompt.get();
    }
    m_window = std::make_unique<MainWindow>(prompt);
    return *m_window;
}

bool E2eFixture::showWindow()
{
    m_window->show();
    return waitFor([&] { return panel(*m_window, 0) == QLatin1String("COM1"); }, kTimeoutMs,
                   "the window did not choose COM1")
        && waitFor([&] { return !m_window->startingUp(); }, kTimeoutMs, "the window did not end its start");
}

bool E2eFixture::waitForStartExchange()
{
    return (m_sim->waitForRequests(2, kTimeoutMs) || fail("the reader did not get the start's two requests"))
        && waitUntilIdle();
}

bool E2eFixture::waitUntilIdle()
{
    return waitFor([&] { return !m_window->session().link().busy(); }, kTimeoutMs, "the link stayed busy");
}

void E2eFixture::closeAll()
{
    if (m_window)
        m_window->close();
    m_window.reset();
    m_sim.reset();
    m_prompt.reset();
}

} // namespace vexa::test
