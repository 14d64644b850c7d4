// Go, Repeat and Pause as states: every state and the edges between them,
// one script per row, on a link over a transport that answers on demand.
#include <QtTest>

#include "fakes.h"
#include "core/link/readerlink.h"
#include "core/session/commandcycle.h"

using namespace vexa;
using vexa::test::FakeTransport;
using vexa::test::hex;

namespace {
// A valid answer to "reset reader": status 0, no payload.
const QByteArray kAnswer = hex("01 08 00 10 00 E5 FC 03");
constexpr int kWaitMs = 10000;
} // namespace

class tst_CommandCycle : public QObject
{
    Q_OBJECT
private slots:
    void script_data();
    void script();
};

// Steps: go (Go or Pause, sending one frame), refuse (Go whose command is
// refused: nothing sent), pause, on / off (Repeat mode), answer / silence (the
// exchange in flight ends by an answer or a time-out), fail (the interface
// refuses writes from now on), idle (Repeat's interval passes). After every
// step the state's initial is noted: I(dle), W(aiting), R(epeating), P(aused).
void tst_CommandCycle::script_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QString>("states");
    QTest::addColumn<int>("written");
    QTest::newRow("one exchange") << "go answer" << 0 << "WI" << 1;
    QTest::newRow("one exchange timed out") << "go silence" << 0 << "WI" << 1;
    QTest::newRow("refused input sends nothing") << "refuse" << 0 << "I" << 0;
    QTest::newRow("Repeat sends after every outcome") << "on go answer silence answer" << 0 << "IRRRR" << 4;
    QTest::newRow("Pause while waiting, then its answer") << "on go answer go answer" << 0 << "IRRPI" << 2;
    QTest::newRow("a time-out while paused ends the cycle") << "on go go silence" << 0 << "IRPI" << 1;
    QTest::newRow("Repeat off while waiting") << "on go off answer" << 0 << "IRPI" << 1;
    QTest::newRow("Repeat off while idle changes no state") << "on off go answer" << 0 << "IIWI" << 1;
    QTest::newRow("refused input during Repeat: Pause ends it") << "on refuse go" << 0 << "IRI" << 0;
    QTest::newRow("Go again after a cycle starts afresh") << "on go go answer go answer" << 0 << "IRPIRR" << 3;
    QTest::newRow("the interval comes before the re-send") << "on go answer idle answer" << 50 << "IRRRR" << 2;
    QTest::newRow("Pause in the interval sends nothing more") << "on go answer pause idle" << 50 << "IRRII" << 1;
    QTest::newRow("a refused re-send ends the cycle") << "on go fail answer" << 0 << "IRRI" << 1;
    QTest::newRow("Pause when idle is nothing") << "pause go answer" << 0 << "IWI" << 1;
}

void tst_CommandCycle::script()
{
    QFETCH(QString, steps);
    QFETCH(int, intervalMs);
    ReaderOptions options;
    FakeTransport transport;
    ReaderLink link(options);
    link.setTransport(&transport);
    link.setResponseTimeout(200);
    CommandCycle cycle(link);
    cycle.setInterval(intervalMs);
    QCOMPARE(cycle.interval(), intervalMs);
    QSignalSpy ended(&link, &ReaderLink::exchangeEnded);

    const auto sendOne = [&] {
        link.clearCommandBuffer();
        link.sendSimpleCommand(0x00, 0xE5);
    };
    QString states;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        if (step == QLatin1String("go")) {
            cycle.go(sendOne);
        } else if (step == QLatin1String("refuse")) {
            cycle.go([] {});
        } else if (step == QLatin1String("pause")) {
            cycle.pause();
        } else if (step == QLatin1String("on") || step == QLatin1String("off")) {
            cycle.setRepeatMode(step == QLatin1String("on"));
        } else if (step == QLatin1String("answer") || step == QLatin1String("silence")) {
            QVERIFY2(link.busy(), qPrintable(step));
            const qsizetype before = ended.size();
            if (step == QLatin1String("answer"))
                transport.feed(kAnswer);
            QVERIFY(QTest::qWaitFor([&] { return ended.size() > before; }, kWaitMs));
        } else if (step == QLatin1String("fail")) {
            transport.failWith = QStringLiteral("gone");
        } else if (step == QLatin1String("idle")) {
            const qsizetype written = transport.written.size();
            // Whether anything went out is the row's `written` to judge.
            const bool resent = QTest::qWaitFor([&] { return transport.written.size() > written; }, intervalMs * 4);
            Q_UNUSED(resent);
        }
        states += QLatin1Char(QMetaEnum::fromType<CommandCycle::State>().valueToKey(int(cycle.state()))[0]);
    }
    QTEST(states, "states");
    QTEST(int(transport.written.size()), "written");
}

QTEST_GUILESS_MAIN(tst_CommandCycle)
#include "tst_commandcycle.moc"
