// The reader session as a program without a window drives it: under
// QCoreApplication, against vexa-sim, with the operator's questions answered
// by a prompt that only records them.
#include <QtTest>

#include <QRegularExpression>

#include "fakes.h"
#include "core/codecs/iso15693.h"
#include "core/link/readerlink.h"
#include "core/link/serialtransport.h"
#include "core/link/usbtransport.h"
#include "core/session/commandcycle.h"
#include "simprocess.h"
#include "core/session/readersession.h"

using namespace vexa;
using namespace vexa::test;
using Kind = ReaderSession::ConnectionState::Kind;

namespace {
constexpr int kAnswerMs = 5000;
constexpr int kTimeoutMs = 10000;
const QString kSetupRequest = QStringLiteral("01 08 00 10 80 E7 7E 81");

// Everything the session tells, in order.
struct Recorder
{
    explicit Recorder(ReaderSession &session)
    {
        QObject::connect(&session, &ReaderSession::answered, [this](const Answer &a) {
            if (a.status == Answer::Status::NoAnswer) {
                headings << a.report.heading.value_or(QString());
            } else if (a.family == ResponseFamily::Management) {
                reports << a.report;
            } else {
                tagReports << a.report;
                families << a.family;
            }
        });
        QObject::connect(&session, &ReaderSession::messageLine, [this](const QString &l) { lines << l; });
    }
    bool hasHeading(const QString &prefix) const
    {
        for (const Report &r : reports)
            if (r.heading.value_or(QString()).startsWith(prefix))
                return true;
        return false;
    }
    QList<Report> reports;
    QList<Report> tagReports;
    QList<ResponseFamily> families;
    QStringList headings;
    QStringList lines;
};
} // namespace

class tst_E2eSession : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startAtStoredRate_data();
    void startAtStoredRate();
    void inventoryOnRepeat();
    void baudChange_data();
    void baudChange();
    void usbUnplugAndPlug();

private:
    // Starts the simulator and the session on COM1 at `rate`; true once the
    // start's exchange is over.
    bool startSerial(int rate, const QStringList &simArgs = {});

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<ReaderSession> m_session;
    std::unique_ptr<Recorder> m_seen;
};

void tst_E2eSession::init()
{
    QCOMPARE(QCoreApplication::instance()->metaObject()->className(), "QCoreApplication");
    m_sim = std::make_unique<SimProcess>();
    m_prompt = std::make_unique<ScriptedPrompt>();
    m_session = std::make_unique<ReaderSession>(*m_prompt);
    m_seen = std::make_unique<Recorder>(*m_session);
}

void tst_E2eSession::cleanup()
{
    if (m_session)
        m_session->end();
    m_seen.reset();
    m_session.reset();
    m_sim.reset();
    m_prompt.reset();
}

bool tst_E2eSession::startSerial(int rate, const QStringList &simArgs)
{
    if (!m_sim->start(QStringList{QStringLiteral("--baud"), QString::number(rate)} + simArgs))
        return false;
    ReaderSession::Settings stored;
    stored.baudRate = rate;
    const int startRate = m_session->begin(stored);
    if (startRate != rate)
        return false;
    m_session->runStartExchange(startRate);
    return QTest::qWaitFor([&] { return !m_session->changingBaud() && !m_session->link().busy(); }, kTimeoutMs)
        && m_sim->requests().size() == 2;
}

void tst_E2eSession::startAtStoredRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("rateCommand");
    QTest::newRow("19200") << 19200 << "01 0A 00 10 80 ED 0F 00 79 86";
    QTest::newRow("57600") << 57600 << "01 0A 00 10 80 ED 11 00 67 98";
}

void tst_E2eSession::startAtStoredRate()
{
    QFETCH(int, rate);
    QFETCH(QString, rateCommand);
    QVERIFY(startSerial(rate));
    QCOMPARE(m_sim->requests(), (QStringList{rateCommand, kSetupRequest}));
    QCOMPARE(m_session->serial().baudRate(), rate);
    QCOMPARE(m_session->portInUse().number, 1);
    QCOMPARE(m_session->connection(), (ReaderSession::ConnectionState{Kind::Baud, rate}));
    QTRY_VERIFY_WITH_TIMEOUT(m_seen->hasHeading(QStringLiteral("Reader Setup:")), kAnswerMs);
    QCOMPARE(m_seen->headings, QStringList{});
    QCOMPARE(m_prompt->messages, QStringList{});
}

void tst_E2eSession::inventoryOnRepeat()
{
    QVERIFY(startSerial(38400));
    m_sim->forgetTraffic();
    CommandCycle &cycle = m_session->cycle();
    cycle.setRepeatMode(true);
    QVERIFY(m_session->repeating());
    iso15693::Request request;
    request.command = iso15693::Inventory;
    cycle.go([&] {
        QVERIFY(m_session->send(request).sent());
    });
    QCOMPARE(cycle.state(), CommandCycle::State::Repeating);
    QVERIFY(m_sim->waitForRequests(3, kTimeoutMs));
    // Pause: the answer in flight is reported, then nothing more is sent.
    cycle.go([] { QFAIL("Pause sent a command"); });
    QTRY_COMPARE_WITH_TIMEOUT(cycle.state(), CommandCycle::State::Idle, kTimeoutMs);
    const qsizetype sent = m_sim->requests().size();
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->tagReports.size(), sent, kTimeoutMs);
    QCOMPARE(m_sim->requests().count(m_sim->requests().constFirst()), sent);
    QCOMPARE(m_seen->families.count(ResponseFamily::Iso15693), sent);
    QCOMPARE(m_seen->tagReports.constFirst().heading.value_or(QString()), QStringLiteral("ISO Inventory:"));
    QVERIFY(!m_seen->tagReports.constFirst().lines.isEmpty());
    QCOMPARE(m_seen->headings, QStringList{});
}

void tst_E2eSession::baudChange_data()
{
    QTest::addColumn<bool>("lost"); // the reader neither answers nor carries out the rate command
    QTest::addColumn<int>("timeoutMs"); // the response time-out; 0: as it is
    QTest::addColumn<QStringList>("requests"); // understood by the reader
    QTest::addColumn<QStringList>("headings");
    const QString rateCommand = QStringLiteral("01 0A 00 10 80 ED 11 00 67 98");
    QTest::newRow("answered") << false << 0 << QStringList{rateCommand, kSetupRequest} << QStringList{};
    // The time-out must not end the wait, nor switch or report for it: only
    // the setup read at the new rate times out.
    QTest::newRow("answer lost, time-out shorter than the wait")
        << true << ReaderSession::kBaudSettleMs / 4 << QStringList{rateCommand}
        << QStringList{QStringLiteral("Error: Message timeout")};
}

void tst_E2eSession::baudChange()
{
    QFETCH(bool, lost);
    QFETCH(int, timeoutMs);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, headings);
    QVERIFY(startSerial(38400));
    m_sim->forgetTraffic();
    m_seen->reports.clear(); // the start's own setup read
    if (lost)
        QVERIFY(m_sim->control(QStringLiteral("fault silent")));
    if (timeoutMs)
        m_session->link().setResponseTimeout(timeoutMs);
    bool toldWhileWaiting = false;
    connect(m_session.get(), &ReaderSession::answered, this, [&](const Answer &a) {
        toldWhileWaiting |= a.status == Answer::Status::NoAnswer && m_session->changingBaud();
    });
    QElapsedTimer clock;
    clock.start();
    m_session->changeBaudRate(57600);
    QVERIFY(m_session->changingBaud());
    // A second change while the first settles only keeps the first marked.
    m_session->changeBaudRate(9600);
    QCOMPARE(m_session->shownBaudRate(), 57600);
    QTRY_VERIFY_WITH_TIMEOUT(!m_session->changingBaud(), kTimeoutMs);
    QVERIFY(clock.elapsed() >= ReaderSession::kBaudSettleMs);
    QCOMPARE(m_session->serial().baudRate(), 57600);
    QVERIFY(m_sim->waitForRequests(int(requests.size()), kTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!m_session->link().busy(), kTimeoutMs);
    QCOMPARE(m_sim->requests(), requests);
    QCOMPARE(m_seen->hasHeading(QStringLiteral("Reader Setup:")), !lost);
    QCOMPARE(m_seen->headings, headings);
    QVERIFY(!toldWhileWaiting);
    QCOMPARE(m_session->connection(), (ReaderSession::ConnectionState{Kind::Baud, 57600}));
    QCOMPARE(m_session->serial().baudRate(), 57600);
    QCOMPARE(m_prompt->messages, QStringList{});
}

void tst_E2eSession::usbUnplugAndPlug()
{
    QVERIFY(m_sim->start({QStringLiteral("--usb")}));
    QTRY_VERIFY_WITH_TIMEOUT(!m_sim->output().filter(QRegularExpression(QStringLiteral("^usb: /"))).isEmpty(), kAnswerMs);
    ReaderSession::Settings stored;
    stored.usb = true;
    QCOMPARE(m_session->begin(stored), 0);
    QCOMPARE(m_session->interface(), ReaderSession::Interface::Usb);
    QCOMPARE(m_session->connection().kind, Kind::UsbReady);
    QVERIFY(m_session->commandsAvailable());
    QCOMPARE(m_seen->lines, QStringList{QStringLiteral("USB Connected")});

    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_session->commandsAvailable(), kTimeoutMs);
    QCOMPARE(m_session->connection().kind, Kind::UsbRemoved);
    QVERIFY(m_session->usbDeviceLost());
    QCOMPARE(m_seen->lines.constLast(), QStringLiteral("USB Disconnected"));

    QVERIFY(m_sim->control(QStringLiteral("usb plug")));
    QTRY_VERIFY_WITH_TIMEOUT(m_session->commandsAvailable(), kTimeoutMs);
    QCOMPARE(m_session->connection().kind, Kind::UsbReady);
    m_session->requestVersion();
    QTRY_VERIFY_WITH_TIMEOUT(m_seen->hasHeading(QStringLiteral("Reader Version:")), kAnswerMs);
    QCOMPARE(m_prompt->messages, QStringList{});
}

QTEST_GUILESS_MAIN(tst_E2eSession)
#include "tst_e2e_session.moc"
