// End to end: a chosen COM port stays bound to what it was chosen through.
// Decoy pseudo-terminals stand where the built-in mapping resolves, so a
// frame that strays there is seen, and no real UART is ever touched.
#include <QtTest>

#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

#include "app/mainwindow.h"
#include "fakes.h"
#include "link/frame.h"
#include "link/portmap.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "simprocess.h"
#include "tags/iso14443.h"

using namespace vexa;
using vexa::test::ScriptedPrompt;
using vexa::test::SimProcess;

namespace {
constexpr int kAnswerMs = 5000;
constexpr int kTimeoutMs = 10000;

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
} // namespace

class tst_E2ePorts : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void folderPortNeverFallsBack();
    void folderPortFollowsItsEntry();
    void builtInPortStaysOnItsDevice();

private:
    void go(MainWindow &w);
    std::unique_ptr<Decoy> m_decoy1, m_decoy2;
    QTemporaryDir m_devices;
    QString m_decoy2Name;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<MainWindow> m_window;
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
    m_sim = std::make_unique<SimProcess>();
    QVERIFY2(m_sim->start(), "vexa-sim did not start");
    m_prompt = std::make_unique<ScriptedPrompt>();
    m_window = std::make_unique<MainWindow>(m_prompt.get());
    m_window->show();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusPanels[0]->text(), QStringLiteral("COM1"), kAnswerMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->startingUp(), kTimeoutMs); // rate and setup, after the first paint
    m_window->pageTabs->setCurrentIndex(1); // "Read UID": one fixed frame
}

void tst_E2ePorts::cleanup()
{
    if (m_window)
        m_window->close();
    m_window.reset();
    m_sim.reset();
    m_prompt.reset();
    setBuiltInPortDevices({});
    m_decoy1.reset();
    m_decoy2.reset();
    QFile::remove(m_decoy2Name);
}

void tst_E2ePorts::go(MainWindow &w)
{
    w.goButton->click();
}

void tst_E2ePorts::folderPortNeverFallsBack()
{
    MainWindow &w = *m_window;
    const QString simDevice = m_sim->device();
    QCOMPARE(w.statusPanels[0]->toolTip(), simDevice);
    go(w);
    QVERIFY(m_sim->waitForRequests(1));
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);

    // The simulator goes, and its port-folder entry with it: COM1 would now
    // resolve to the decoy through the built-in mapping.
    m_sim->stop();
    QCOMPARE(resolvePort(1), std::optional<QString>(m_decoy1->path()));
    go(w);
    QCOMPARE(m_prompt->messages.size(), 1);
    const QString message = m_prompt->messages.first();
    QVERIFY2(message.contains(QLatin1String("COM1")) && message.contains(simDevice), qPrintable(message));
    QVERIFY(!w.serial().isOpen());
    // The menu now offers what COM1 stands for; panel 0 still names the
    // device that went away.
    QAction *item = w.findPortItem(QStringLiteral("COM1"));
    QVERIFY(item);
    QVERIFY(!item->isChecked());
    QCOMPARE(item->toolTip(), m_decoy1->path());
    QVERIFY2(w.statusPanels[0]->toolTip().contains(simDevice), qPrintable(w.statusPanels[0]->toolTip()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    go(w); // again: still nothing anywhere
    QCOMPARE(m_prompt->messages.size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    QCOMPARE(m_decoy1->received(), QByteArray());

    // Choosing COM1 again binds what it stands for now: the decoy.
    item = w.findPortItem(QStringLiteral("COM1")); // the menu may have been rebuilt since
    QVERIFY(item);
    item->trigger();
    QCOMPARE(w.statusPanels[0]->toolTip(), m_decoy1->path());
    go(w);
    QCOMPARE(m_prompt->messages.size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy1->received(), readUidWire(), kAnswerMs);
}

void tst_E2ePorts::folderPortFollowsItsEntry()
{
    MainWindow &w = *m_window;
    go(w);
    QVERIFY(m_sim->waitForRequests(1));
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    m_sim->stop();

    // The simulator comes back on the same entry, on a new pseudo-terminal.
    SimProcess again(m_sim->configHome());
    QVERIFY(again.start());
    go(w);
    QVERIFY(again.waitForRequests(1));
    QCOMPARE(again.requests().first(), traced(readUidWire()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(w.serial().deviceName(), again.device());
    QCOMPARE(m_decoy1->received(), QByteArray());
}

void tst_E2ePorts::builtInPortStaysOnItsDevice()
{
    MainWindow &w = *m_window;
    // COM2 has no folder entry: chosen through the built-in mapping.
    QAction *item = w.findPortItem(QStringLiteral("COM2"));
    QVERIFY(item);
    w.choosePort(item);
    go(w);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy2->received(), readUidWire(), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);

    // A simulator now publishes COM2 in the port folder: the chosen port
    // stays on its device until the operator chooses COM2 again.
    SimProcess second(m_sim->configHome());
    QVERIFY(second.start({QStringLiteral("--port"), QStringLiteral("COM2")}));
    QTRY_COMPARE_WITH_TIMEOUT(w.statusPanels[1]->text(), QStringLiteral("USB Device change "), kAnswerMs);
    go(w);
    QTRY_COMPARE_WITH_TIMEOUT(m_decoy2->received(), readUidWire() + readUidWire(), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    QVERIFY(second.requests().isEmpty());

    // Its device goes: nothing is written, the operator is told which.
    const QString device = m_decoy2Name;
    QVERIFY(QFile::remove(device));
    go(w);
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages.first().contains(QLatin1String("COM2")) && m_prompt->messages.first().contains(device),
             qPrintable(m_prompt->messages.first()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    QVERIFY(second.requests().isEmpty());
    QCOMPARE(m_decoy2->received(), readUidWire() + readUidWire());

    // Chosen again, COM2 stands for the simulator's entry.
    item = w.findPortItem(QStringLiteral("COM2"));
    QVERIFY(item);
    item->trigger();
    go(w);
    QVERIFY(second.waitForRequests(1));
    QCOMPARE(second.requests().first(), traced(readUidWire()));
}

QTEST_MAIN(tst_E2ePorts)
#include "tst_e2e_ports.moc"
