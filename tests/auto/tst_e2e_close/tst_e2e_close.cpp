// End to end: how the program ends when the desktop ends it with a signal,
// when the disk is full, and when its settings file is not a file. The
// Repeat rows run the real window against vexa-sim in this process; the
// others start the program itself and judge its exit, its standard error
// and what it left on the disk.
#include <QtTest>

#include <QProcess>
#include <QToolButton>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ui/window/signalclose.h"
#include "e2efixture.h"

using namespace vexa;
using namespace vexa::test;

namespace {
constexpr int kExitMs = 20000; // a start and a close on a loaded machine

// `signal` is in one of the process's signal masks in /proc (Linux).
bool inMask(qint64 pid, const QByteArray &mask, int signal)
{
    const QByteArray status = fileBytes(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith(mask))
            return (line.mid(mask.size()).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

// The process has its handler for `signal` in place.
bool catches(qint64 pid, int signal)
{
    return inMask(pid, "SigCgt:", signal);
}

// Sent and not yet taken by any of the process's threads.
bool pending(qint64 pid, int signal)
{
    return inMask(pid, "ShdPnd:", signal) || inMask(pid, "SigPnd:", signal);
}

bool stopped(qint64 pid)
{
    const QByteArray stat = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype end = stat.lastIndexOf(')');
    return end > 0 && stat.mid(end + 2, 1) == "T";
}

// The program's own lines on standard error (the toolkit may add others).
QStringList ownLines(const QByteArray &stderrBytes)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(stderrBytes).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("VexaHost:")))
            lines << line;
    return lines;
}
} // namespace

class tst_E2eClose : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void cleanup() { closeAll(); }
    void signalDuringRepeat_data();
    void signalDuringRepeat();
    void programEnds_data();
    void programEnds();
};

void tst_E2eClose::signalDuringRepeat_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void tst_E2eClose::signalDuringRepeat()
{
    QFETCH(int, signal);
    QVERIFY(startSim());
    SimProcess &sim = *m_sim;
    MainWindow &w = makeWindow();
    const SignalClose signalClose(&w);
    QVERIFY(showWindow());
    QVERIFY(waitUntilIdle());
    QFile::remove(settingsFilePath());

    control<QToolButton>(w, "btnContinuous").click();
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(sim.waitForRequests(sim.requests().size() + 3, 20000));
    std::raise(signal);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kAnswerMs);

    // The normal close: the cycle stopped, the port closed, the settings written.
    QVERIFY(!control<QAction>(w, "ContinuousMode1").isChecked());
    QVERIFY(!w.session().serial().isOpen());
    const LoadedSettings saved = loadSettingsFile(settingsFilePath());
    QVERIFY(QFile::exists(settingsFilePath()));
    QCOMPARE(saved.problem, QString());
    QCOMPARE(saved.settings.portNumber, 1);
    const auto sent = sim.requests().size();
    QTest::qWait(500);
    QCOMPARE(sim.requests().size(), sent);
}

void tst_E2eClose::programEnds_data()
{
    QTest::addColumn<QString>("store");      // what stands at the settings path
    QTest::addColumn<int>("fileSizeLimit");  // bytes, -1 none: a full disk without a mount
    QTest::addColumn<QList<int>>("sent");    // signals delivered together
    QTest::addColumn<bool>("oneByOne");      // each sent once the one before was taken
    QTest::addColumn<bool>("normalExit");    // exit code 0, else ended by the signal
    QTest::addColumn<QStringList>("lines");  // in the program's lines on standard error, one each
    const QList<int> term{SIGTERM};
    const QStringList full{qt_error_string(EFBIG)};
    QTest::newRow("SIGTERM") << "file" << -1 << term << false << true << QStringList{};
    QTest::newRow("SIGINT") << "file" << -1 << QList<int>{SIGINT} << false << true << QStringList{};
    QTest::newRow("SIGHUP") << "file" << -1 << QList<int>{SIGHUP} << false << true << QStringList{};
    QTest::newRow("full disk") << "file" << 0 << term << false << true << full;
    QTest::newRow("full disk, a part fits") << "file" << 100 << term << false << true << full;
    QTest::newRow("full disk, first run") << "none" << 0 << term << false << true << full;
    QTest::newRow("settings file is a named pipe")
        << "fifo" << -1 << term << false << true << QStringList{"cannot read the settings file"};
    QTest::newRow("second signal before the close")
        << "file" << -1 << QList<int>{SIGTERM, SIGINT} << false << false << QStringList{};
    // `timeout` sends its one request to the program and then to its
    // process group, which the program is in.
    QTest::newRow("one request sent twice")
        << "file" << -1 << QList<int>{SIGTERM, SIGTERM} << true << true << QStringList{};
}

void tst_E2eClose::programEnds()
{
    QFETCH(QString, store);
    QFETCH(int, fileSizeLimit);
    QFETCH(QList<int>, sent);
    QFETCH(bool, oneByOne);
    QFETCH(bool, normalExit);
    QFETCH(QStringList, lines);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    vexa::test::isolateWindowTests();
    const QString path = settingsFilePath();
    QByteArray before = "; kept until the next close\n" + settingsText(settingsToValues(StoredSettings{}));
    if (store == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (store == QLatin1String("file")) {
        QVERIFY(writeBytes(path, before));
    }

    QProcess program;
    if (fileSizeLimit >= 0)
        program.setChildProcessModifier([fileSizeLimit] {
            // Ignored, the limit fails the write instead of killing the writer.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    program.start(QStringLiteral(VEXAHOST_PATH), {});
    QVERIFY(program.waitForStarted());
    const qint64 pid = program.processId();
    QDeadlineTimer ready(kExitMs);
    while (!catches(pid, SIGTERM) && !ready.hasExpired() && program.state() == QProcess::Running)
        QTest::qWait(20);
    QVERIFY(catches(pid, SIGTERM));

    if (oneByOne) {
        // No wait in the event loop: the next one must come while the
        // close is still going.
        for (int signal : sent) {
            ::kill(pid_t(pid), signal);
            const QDeadlineTimer taken(kAnswerMs);
            while (pending(pid, signal) && !taken.hasExpired()) {
            }
        }
    } else {
        // Stopped, so that several signals arrive before the event loop runs.
        ::kill(pid_t(pid), SIGSTOP);
        QTRY_VERIFY_WITH_TIMEOUT(stopped(pid), kAnswerMs);
        for (int signal : sent)
            ::kill(pid_t(pid), signal);
        ::kill(pid_t(pid), SIGCONT);
    }
    QVERIFY2(program.waitForFinished(kExitMs), "the program did not end");

    const QByteArray errors = program.readAllStandardError();
    if (normalExit) {
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    } else {
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        QVERIFY(sent.contains(program.exitCode())); // the second, whichever came second
    }
    const QStringList own = ownLines(errors);
    QCOMPARE(own.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(own[i].contains(lines[i]) && own[i].contains(path), qPrintable(own[i]));

    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), store == QLatin1String("none") && !lines.isEmpty() ? -1 : 0);
    if (store == QLatin1String("fifo"))
        QVERIFY(S_ISFIFO(info.st_mode));
    if (store != QLatin1String("file"))
        return;
    // A kill may come in the middle of the close's save (the first signal
    // reached the event loop already): the file is the old one or the new
    // one, never a damaged one.
    QCOMPARE(loadSettingsFile(path).problem, QString());
    if (!normalExit)
        return;
    // Written anew by a normal close, byte for byte the same otherwise, and
    // no half-written file beside it.
    QCOMPARE(fileBytes(path) != before, lines.isEmpty());
    const QStringList beside = QFileInfo(path).dir().entryList(QDir::Files | QDir::System | QDir::Hidden);
    QCOMPARE(beside.filter(QStringLiteral(".new-")), QStringList{});
}

QTEST_MAIN(tst_E2eClose)
#include "tst_e2e_close.moc"
