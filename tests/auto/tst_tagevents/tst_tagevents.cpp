// Tag events: what a run of exchanges makes of arrive, read and leave, and
// the JSON every front end prints or publishes.
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include "core/session/tagevents.h"

using namespace vexa;

namespace {

// "iso A B:1=11223344" records at the step's time; "timer" sets the clock
// and waits for the leave check.
struct Step
{
    qint64 atMs;
    QString what;
};

QString familyWord(ResponseFamily family)
{
    return family == ResponseFamily::Tagit ? QStringLiteral("tagit") : QStringLiteral("iso");
}

// "arrive iso A 1000 1", blocks after it as "1=11223344".
QString eventText(const TagEvent &e)
{
    QString text = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(tagEventName(e.kind), familyWord(e.family), e.tag)
                       .arg(e.timeMs)
                       .arg(e.reads);
    for (const auto &[block, value] : e.blocks)
        text += QStringLiteral(" %1=%2").arg(block).arg(value);
    return text;
}

} // namespace

class TestTagEvents : public QObject
{
    Q_OBJECT
private slots:
    void presence_data();
    void presence();
    void json_data();
    void json();
};

void TestTagEvents::presence_data()
{
    QTest::addColumn<int>("absenceMs");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QStringList>("events"); // every batch's, in order

    QTest::newRow("arrive and read, one batch")
        << 5000 << QList<Step>{{1000, "iso A B"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "arrive iso B 1000 1", "read iso B 1000 1"};
    QTest::newRow("one read per exchange, its blocks")
        << 5000 << QList<Step>{{1000, "iso A:1=11223344 A:2=55667788"}, {2000, "iso A"}}
        << QStringList{"arrive iso A 1000 1 1=11223344 2=55667788", "read iso A 1000 1 1=11223344 2=55667788",
                       "read iso A 2000 2"};
    QTest::newRow("leave at the next exchange, first in its batch")
        << 5000 << QList<Step>{{1000, "iso A B"}, {4000, "iso A"}, {7000, "iso A"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "arrive iso B 1000 1", "read iso B 1000 1",
                       "read iso A 4000 2", "leave iso B 6000 1", "read iso A 7000 3"};
    QTest::newRow("arrive again after a leave")
        << 5000 << QList<Step>{{1000, "iso A"}, {7000, "iso A"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "leave iso A 6000 1", "arrive iso A 7000 1",
                       "read iso A 7000 1"};
    QTest::newRow("empty inventories: leaves only when due")
        << 5000 << QList<Step>{{1000, "iso A"}, {3000, "iso"}, {6000, "iso"}, {8000, "iso"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "leave iso A 6000 1"};
    QTest::newRow("two families, one id")
        << 5000 << QList<Step>{{1000, "iso A"}, {1000, "tagit A"}, {4000, "tagit A"}, {6500, "iso"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "arrive tagit A 1000 1", "read tagit A 1000 1",
                       "read tagit A 4000 2", "leave iso A 6000 1"};
    QTest::newRow("leaves by the timer, between exchanges")
        << 50 << QList<Step>{{1000, "iso A B"}, {1030, "iso A"}, {1060, "timer"}, {1200, "timer"}}
        << QStringList{"arrive iso A 1000 1", "read iso A 1000 1", "arrive iso B 1000 1", "read iso B 1000 1",
                       "read iso A 1030 2", "leave iso B 1050 1", "leave iso A 1080 2"};
}

void TestTagEvents::presence()
{
    QFETCH(int, absenceMs);
    QFETCH(QList<Step>, steps);
    QFETCH(QStringList, events);

    TagPresence presence(absenceMs);
    qint64 now = 0;
    presence.clock = [&now] { return now; };
    QSignalSpy batches(&presence, &TagPresence::events);
    for (const Step &step : steps) {
        now = step.atMs;
        QStringList words = step.what.split(QLatin1Char(' '));
        if (words.constFirst() == QLatin1String("timer")) {
            QVERIFY(batches.wait(5000));
            continue;
        }
        const ResponseFamily family = words.takeFirst() == QLatin1String("tagit") ? ResponseFamily::Tagit
                                                                                  : ResponseFamily::Iso15693;
        QList<TagSighting> tags;
        for (const QString &word : words) {
            TagSighting tag{word.section(QLatin1Char(':'), 0, 0), {}};
            if (word.contains(QLatin1Char(':')))
                tag.blocks.append({word.section(QLatin1Char(':'), 1).section(QLatin1Char('='), 0, 0).toInt(),
                                   word.section(QLatin1Char('='), 1)});
            tags.append(tag);
        }
        presence.record(family, tags, now);
    }
    QStringList got;
    for (const QList<QVariant> &batch : std::as_const(batches)) {
        const auto list = batch.at(0).value<QList<TagEvent>>();
        QVERIFY(!list.isEmpty());
        for (const TagEvent &e : list)
            got << eventText(e);
    }
    QCOMPARE(got, events);
}

void TestTagEvents::json_data()
{
    QTest::addColumn<TagEvent>("event");
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<QByteArray>("json");
    const qint64 t = 1'765'000'000'123; // 2025-12-06T05:46:40.123Z
    QTest::newRow("read with blocks, UTC")
        << TagEvent{TagEvent::Kind::Read, ResponseFamily::Iso15693, "E004015000000001", t, 3, {{1, "20312E30"}}} << 0
        << QByteArray(R"({"event":"read","family":"ISO/IEC 15693","tag":"E004015000000001",)"
                      R"("time":"2025-12-06T05:46:40.123+00:00","reads":3,"blocks":{"1":"20312E30"},)"
                      R"("reader":"4000123","port":"COM1"})");
    QTest::newRow("leave, an offset") << TagEvent{TagEvent::Kind::Leave, ResponseFamily::Tagit, "5D2E9A41", t, 7, {}}
                                      << 7200
                                      << QByteArray(R"({"event":"leave","family":"Tag-it","tag":"5D2E9A41",)"
                                                    R"("time":"2025-12-06T07:46:40.123+02:00","reads":7,)"
                                                    R"("reader":"4000123","port":"COM1"})");
}

void TestTagEvents::json()
{
    QFETCH(TagEvent, event);
    QFETCH(int, offsetSeconds);
    QFETCH(QByteArray, json);
    const QJsonObject o = tagEventJson(event, {QStringLiteral("4000123"), QStringLiteral("COM1")},
                                       QTimeZone(offsetSeconds));
    QCOMPARE(o, QJsonDocument::fromJson(json).object());
}

QTEST_GUILESS_MAIN(TestTagEvents)
#include "tst_tagevents.moc"
