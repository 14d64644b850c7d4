// End to end: a chosen COM port stays bound to what it was chosen through.
// Decoy pseudo-terminals stand where the built-in mapping resolves, so a
// frame that strays there is seen, and no real UART is ever touched.
#include <QtTest>

#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/codecs/iso14443.h"
#include "e2efixture.h"
#include "core/link/portmap.h"
#include "core/settings/settingsstore.h"
#include "core/wire/frame.h"

using namespace vexa;
using namespace vexa::test;

namespace {
// The "Read UID" frame as it goes on the wire.
QByteArray readUidWire()
{
    CommandBuffer buffer{};
    const int length = iso14443::build(iso14443::ReadUid, buffer);
    return wireFrame(buffer, length, false, QString());
}
QString traced(const QByteArray &wire)
{
    return QString::fromLatin1(wire.toHex(' ').toUpper());
}

// The master side of a pseudo-terminal; its slave is the device path.
class Decoy
{
public:
    Decoy()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_path = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~Decoy() { close(); }
    void close()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    QString path() const { return m_path; }
    // Everything written to the slave so far.
    QByteArray received()
    {
        char buffer[256];
        ssize_t n;
        while (m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) > 0)
            m_bytes.append(buffer, n);
        return m_bytes;
    }

private:
    int m_master = -1;
    QString m_path;
    QByteArray m_bytes;
};

// While it lives, this thread opens files as an ordinary user would: the
// capabilities that let root ignore permissions leave the effective set
// (they stay permitted and come back afterwards). CI runs the tests as root;
// for anyone else there is nothing to drop.
class PermissionsHonoured
{
public:
    PermissionsHonoured()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionsHonoured()
    {
        if (m_dropped)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};
} // namespace

class tst_E2ePorts : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void folderPortNeverFallsBack();
    void folderPortFollowsItsEntry();
    void builtInPortStaysOnItsDevice();
    void portUserMayNotOpen_data();
    void portUserMayNotOpen();

private:
    void go(MainWindow &w);
    std::unique_ptr<Decoy> m_decoy1, m_decoy2;
    QTemporaryDir m_devices;
    QString m_decoy2Name;
};

void tst_E2ePorts::init()
{
    m_decoy1 = std::make_unique<Decoy>();
    m_decoy2 = std::make_unique<Decoy>();
    QVERIFY(!m_decoy1->path().isEmpty() && !m_decoy2->path().isEmpty());
    // COM2's built-in device is a name that can vanish while the port is
    // open, as an unplugged adapter's does.
    m_decoy2Name = m_devices.filePath(QStringLiteral("vexa-decoy-%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::link(m_decoy2->path(), m_decoy2Name));
    setBuiltInPortDevices({m_decoy1->path(), m_decoy2Name});
    QVERIFY(startSim());
    makeWindow();
    QVERIFY(showWindow());
    control<QTabWidget>(*m_window, "PageControl1").setCurrentIndex(1); // "Read UID": one fixed frame
}

void tst_E2ePorts::cleanup()
{
    closeAll();
    setBuiltInPortDevices({});
    m_decoy1.reset();
    m_decoy2.reset();
    QFile::remove(m_decoy2Name);
}

void tst_E2ePorts::go(MainWindow &w)
{
    control<QToolButton>(w, "btnSend").click();
}

void tst_E2ePorts::folderPortNeverFallsBack()
{
    MainWindow &w = *m_window;
    const QString simDevice = m_sim->device();
    QCOMPARE(statusPanel(w, 0).toolTip(), simDevice);
    go(w);
    QVERIFY(m_sim->waitForRequests(1));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);

    // The simulator goes, and its port-folder entry with it: COM1 would now
    // resolve to the decoy through the built-in mapping.
    m_sim->stop();
    QCOMPARE(resolvePort(1), std::optional<QString>(m_decoy1->path()));
    go(w);
    QCOMPARE(m_prompt->messages.size(), 1);
    const QString message = m_prompt->messages.first();
    QVERIFY2(message.contains(QLatin1String("COM1")) && message.contains(simDevice), qPrintable(message));
    QVERIFY(!w.session().serial().isOpen());
    // The menu now offers what COM1 stands for; panel 0 still names the
    // device that went away.
    QAction *item = portItem(w, QStringLiteral("COM1"));
    QVERIFY(item);
    QVERIFY(!item->isChecked());
    QCOMPARE(item->toolTip(), m_decoy1->path());
    QVERIFY2(statusPanel(w, 0).toolTip().contains(simDevice), qPrintable(statusPanel(w, 0).toolTip()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    go(w); // again: still nothing anywhere
    QCOMPARE(m_prompt->messages.size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QCOMPARE(m_decoy1->received(), QByteArray());

    // Choosing COM1 again binds what it stands for now: the decoy.
    item = portItem(w, QStringLiteral("COM1")); // the menu may have been rebuilt since
    QVERIFY(item);
    item->trigger();
    QCOMPARE(statusPanel(w, 0).toolTip(), m_decoy1->path());
    go(w);
    QCOMPARE(m_prompt->messages.size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy1->received(), readUidWire(), kAnswerMs);
}

void tst_E2ePorts::folderPortFollowsItsEntry()
{
    MainWindow &w = *m_window;
    go(w);
    QVERIFY(m_sim->waitForRequests(1));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    m_sim->stop();

    // The simulator comes back on the same entry, on a new pseudo-terminal.
    SimProcess again(m_sim->configHome());
    QVERIFY(again.start());
    go(w);
    QVERIFY(again.waitForRequests(1));
    QCOMPARE(again.requests().first(), traced(readUidWire()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(w.session().serial().deviceName(), again.device());
    QCOMPARE(m_decoy1->received(), QByteArray());
}

void tst_E2ePorts::builtInPortStaysOnItsDevice()
{
    MainWindow &w = *m_window;
    // COM2 has no folder entry: chosen through the built-in mapping.
    QAction *item = portItem(w, QStringLiteral("COM2"));
    QVERIFY(item);
    item->trigger();
    go(w);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy2->received(), readUidWire(), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);

    // A simulator now publishes COM2 in the port folder: the chosen port
    // stays on its device until the operator chooses COM2 again.
    SimProcess second(m_sim->configHome());
    QVERIFY(second.start({QStringLiteral("--port"), QStringLiteral("COM2")}));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("USB Device change "), kAnswerMs);
    go(w);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy2->received(), readUidWire() + readUidWire(), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QVERIFY(second.requests().isEmpty());

    // Its device goes: nothing is written, the operator is told which.
    const QString device = m_decoy2Name;
    QVERIFY(QFile::remove(device));
    go(w);
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages.first().contains(QLatin1String("COM2")) && m_prompt->messages.first().contains(device),
             qPrintable(m_prompt->messages.first()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QVERIFY(second.requests().isEmpty());
    QCOMPARE(m_decoy2->received(), readUidWire() + readUidWire());

    // Chosen again, COM2 stands for the simulator's entry.
    item = portItem(w, QStringLiteral("COM2"));
    QVERIFY(item);
    item->trigger();
    go(w);
    QVERIFY(second.waitForRequests(1));
    QCOMPARE(second.requests().first(), traced(readUidWire()));
}

void tst_E2ePorts::portUserMayNotOpen_data()
{
    // COM2's device, and what the operator does with it.
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<int>("messages");
    QTest::newRow("the Port menu lists it, disabled, with the reason") << "menu" << true << 0;
    QTest::newRow("the start chooses it: one message") << "start" << true << 1;
    QTest::newRow("a send to it: one message, no time-out") << "send" << true << 2;
    QTest::newRow("held by another program: not listed") << "held" << false << 0;
}

void tst_E2ePorts::portUserMayNotOpen()
{
    QFETCH(QString, step);
    QFETCH(bool, listed);
    QFETCH(int, messages);
    const QString device = m_decoy2Name; // as COM2 names it
    const QByteArray path = QFile::encodeName(device);

    QSerialPort holder(device);
    if (step == QLatin1String("held"))
        QVERIFY(holder.open(QIODevice::ReadWrite));
    else
        QCOMPARE(::chmod(path.constData(), 0), 0);
    PermissionsHonoured honoured;
    if (step != QLatin1String("held")) {
        // Nobody may open it now, this test included: the rows below cannot
        // pass by a permission that was never missing.
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QCOMPARE(fd, -1);
        QCOMPARE(errno, EACCES);
    }

    if (step == QLatin1String("start")) {
        m_window->close();
        m_window.reset();
        StoredSettings stored;
        stored.portNumber = 2;
        QCOMPARE(saveSettings(stored), QString());
        makeWindow(m_prompt.get()).show();
    } else {
        m_window->session().devicesChanged();
    }
    MainWindow &w = *m_window;
    QAction *item = portItem(w, QStringLiteral("COM2"));
    QCOMPARE(item != nullptr, listed);
    if (!listed) {
        QVERIFY(portItem(w, QStringLiteral("COM1"))); // the simulator's port is still offered
        return;
    }
    QVERIFY(!item->isEnabled());
    QVERIFY2(item->toolTip().contains(device)
                 && item->toolTip().contains(QLatin1String("permission denied: add yourself to the dialout group")),
             qPrintable(item->toolTip()));

    if (step == QLatin1String("send")) {
        w.session().choosePort(2); // no click reaches a disabled item; the start chooses a stored port like this
        QTRY_COMPARE_WITH_TIMEOUT(m_prompt->messages.size(), 1, kAnswerMs);
        control<QToolButton>(w, "btnRdrVersion").click();
        QVERIFY(!w.session().link().busy()); // nothing to wait for: no time-out follows
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_prompt->messages.size(), messages, kAnswerMs);
    if (step != QLatin1String("menu")) {
        QCOMPARE(panel(w, 0), QStringLiteral("COM2"));
        QVERIFY2(statusPanel(w, 0).toolTip().contains(QLatin1String("permission denied")),
                 qPrintable(statusPanel(w, 0).toolTip()));
        for (const QString &message : std::as_const(m_prompt->messages))
            QVERIFY2(message.contains(QLatin1String("COM2")) && message.contains(device)
                         && message.contains(QLatin1String("dialout group and log in again")),
                     qPrintable(message));
        // Nothing else is under way: no start exchange, no time-out to come.
        QVERIFY(!w.startingUp());
        QVERIFY(!w.session().link().busy());
        const QStringList lines = control<ResponsePane>(w, "memoResponse").lines();
        QVERIFY(lines.filter(QStringLiteral("Error: Message timeout")).isEmpty());
    }
    QCOMPARE(m_decoy2->received(), QByteArray());
}

QTEST_MAIN(tst_E2ePorts)
#include "tst_e2e_ports.moc"
