// Tests the agent's command policy (what each "allow" opens, what is never
// run) and the cutting of a large batch of events into messages.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "agent/agentcommand.h"
#include "agent/agentconfig.h"
#include "agent/readeragent.h"

using namespace vexa::agent;

class TstAgentCommand : public QObject
{
    Q_OBJECT

private slots:
    void policy_data();
    void policy();
    void schedule_data();
    void schedule();
    void largeBatchIsCut();
};

void TstAgentCommand::policy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("allow");
    QTest::addColumn<QString>("refusal"); // a part of it; empty: taken
    QTest::addColumn<bool>("consent");

    const int writes = int(Allow::Writes), locks = int(Allow::Locks), config = int(Allow::Config);
    QTest::newRow("inventory") << "iso15693 inventory --afi 07" << 0 << "" << false;
    QTest::newRow("write") << "iso15693 write 3 00112233" << 0 << "needs \"allow = writes\"" << false;
    QTest::newRow("write allowed") << "iso15693 write 3 00112233" << writes << "" << false;
    QTest::newRow("lock with writes only") << "iso15693 lock 3" << writes << "allow = locks" << false;
    QTest::newRow("lock allowed") << "iso15693 lock 3" << locks << "" << true;
    QTest::newRow("afi write") << "iso15693 afi write 07" << locks << "allow = writes" << false;
    QTest::newRow("tagit write-lock") << "tagit write-lock 2 00112233" << writes << "allow = writes locks" << false;
    QTest::newRow("led") << "led red 100" << writes << "allow = config" << false;
    QTest::newRow("reset") << "reset" << 0 << "allow = config" << false;
    QTest::newRow("raw needs all three") << "raw 00 E0" << (writes | config) << "allow = writes locks config" << false;
    QTest::newRow("raw allowed") << "raw 00 E0" << (writes | locks | config) << "" << true;
    QTest::newRow("run") << "run /etc/passwd" << 15 << "not run by the agent" << false;
    QTest::newRow("baud") << "baud 9600" << 15 << "not run by the agent" << false;
    QTest::newRow("firmware") << "firmware x.hex" << 15 << "not run by the agent" << false;
    QTest::newRow("program option") << "version --port COM2" << 0 << "--port" << false;
    QTest::newRow("unknown") << "frobnicate" << 0 << "Unknown command" << false;
    QTest::newRow("a program option's value of 1 MiB")
        << "version --device=" + QString(1 << 20, QLatin1Char('d')) << 0
        << "--device=" + QString(71, QLatin1Char('d')) + "... is an option of vexactl" << false;
    QTest::newRow("empty") << "  " << 0 << "no command" << false;
    QTest::newRow("help") << "version --help" << 0 << "no command" << false;
}

void TstAgentCommand::policy()
{
    QFETCH(QString, text);
    QFETCH(int, allow);
    QFETCH(QString, refusal);
    QFETCH(bool, consent);
    const AgentCommand command = parseAgentCommand(text, allow);
    QCOMPARE(command.command.has_value(), refusal.isEmpty());
    QVERIFY2(command.refusal.contains(refusal), qPrintable(command.refusal));
    QCOMPARE(command.needsConsent, consent);
}

void TstAgentCommand::schedule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fault");

    QTest::newRow("inventory") << "iso15693 inventory" << "";
    QTest::newRow("read") << "tagit read 0 --count 2" << "";
    QTest::newRow("write") << "iso15693 write 0 00112233" << "a schedule repeats reading commands only";
    QTest::newRow("bad block") << "iso15693 read 999" << "BLOCK";
}

void TstAgentCommand::schedule()
{
    QFETCH(QString, text);
    QFETCH(QString, fault);
    const QString why = checkScheduleCommand(text);
    QCOMPARE(why.isEmpty(), fault.isEmpty());
    QVERIFY2(why.contains(fault), qPrintable(why));
}

void TstAgentCommand::largeBatchIsCut()
{
    QList<QJsonObject> events;
    for (int i = 0; i < 2000; ++i)
        events << QJsonObject{{QStringLiteral("event"), QStringLiteral("read")},
                              {QStringLiteral("tag"), QStringLiteral("E0040000%1").arg(i, 8, 10, QLatin1Char('0'))}};
    quint64 seq = 41;
    const QList<QByteArray> messages = ReaderAgent::eventMessages(QStringLiteral("r"), 7, seq, events);
    QVERIFY(messages.size() > 1);
    qsizetype total = 0;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        QVERIFY(messages.at(i).size() <= ReaderAgent::kLargestMessage);
        const QJsonObject object = QJsonDocument::fromJson(messages.at(i)).object();
        QCOMPARE(object.value(QLatin1String("seq")).toInteger(), 42 + i);
        total += object.value(QLatin1String("events")).toArray().size();
    }
    QCOMPARE(total, 2000);
    QCOMPARE(seq, quint64(41 + messages.size()));
}

QTEST_GUILESS_MAIN(TstAgentCommand)
#include "tst_agentcommand.moc"
