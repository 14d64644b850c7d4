// vexa-agent's on-disk event queue, driven by short scripts: what comes out,
// in which order, after acknowledgments, restarts, torn tails and the bound.
#include <memory>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "agent/eventqueue.h"

using namespace vexa::agent;

namespace {

QByteArray payloadFor(quint64 seq, int bytes)
{
    QByteArray p = "event " + QByteArray::number(seq) + ' ';
    return p.leftJustified(qMax<qsizetype>(bytes, p.size()), char('a' + seq % 26));
}

// 1,2,3,5 -> "1-3,5"
QString ranges(const QList<quint64> &seqs)
{
    QStringList parts;
    for (qsizetype i = 0; i < seqs.size();) {
        qsizetype j = i;
        while (j + 1 < seqs.size() && seqs[j + 1] == seqs[j] + 1)
            ++j;
        parts.append(j == i ? QString::number(seqs[i]) : QStringLiteral("%1-%2").arg(seqs[i]).arg(seqs[j]));
        i = j + 1;
    }
    return parts.join(QLatin1Char(','));
}

QString lastSegment(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.seg")}, QDir::Files, QDir::Name);
    return names.isEmpty() ? QString() : folder + QLatin1Char('/') + names.last();
}

} // namespace

class TestEventQueue : public QObject
{
    Q_OBJECT
private slots:
    void script_data()
    {
        // aN: one batch of N records; sN: N batches of one; kN: acknowledge
        // up to N; r: a new queue on the same folder (a restart); tN: cut N
        // bytes off the newest segment (the agent killed mid-write); xN: flip
        // the byte N from its end; cN: N dropped records told; g: every
        // segment file gone; eN: the Nth segment file, from 0, left empty.
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("payloadBytes");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const qint64 big = 1 << 20;
        QTest::newRow("in order") << big << 20 << "a3" << "peek=1-3 last=3 dropped=0 refused=0";
        QTest::newRow("acknowledged go") << big << 20 << "a5 k2" << "peek=3-5 last=5 dropped=0 refused=0";
        QTest::newRow("ack past the end") << big << 20 << "a2 k9 a1" << "peek=3 last=3 dropped=0 refused=0";
        QTest::newRow("ack backwards") << big << 20 << "a4 k3 k1" << "peek=4 last=4 dropped=0 refused=0";
        QTest::newRow("restart") << big << 20 << "a3 k1 r" << "peek=2-3 last=3 dropped=0 refused=0";
        QTest::newRow("restart, all acked") << big << 20 << "a3 k3 r a1" << "peek=4 last=4 dropped=0 refused=0";
        QTest::newRow("restart twice") << big << 20 << "s2 r s2 k3 r s1" << "peek=4-5 last=5 dropped=0 refused=0";
        QTest::newRow("torn payload") << big << 20 << "a2 a1 t3 r" << "peek=1-2 last=2 dropped=0 refused=0";
        QTest::newRow("torn record header") << big << 20 << "a2 a1 t30 r" << "peek=1-2 last=2 dropped=0 refused=0";
        QTest::newRow("torn batch: whole records stay") << big << 20 << "a1 a3 t1 r a1" << "peek=1-4 last=4 dropped=0 refused=0";
        QTest::newRow("flipped byte") << big << 20 << "a3 x1 r" << "peek=1-2 last=2 dropped=0 refused=0";
        QTest::newRow("flipped sequence") << big << 20 << "a3 x25 r" << "peek=1-2 last=2 dropped=0 refused=0";
        QTest::newRow("torn segment header") << big << 20 << "t1 r a2" << "peek=1-2 last=2 dropped=0 refused=0";
        // 40 KB in segments of 5 KB: five 1000-byte records fill one, forty the
        // queue.
        QTest::newRow("bound drops oldest") << qint64(40960) << 1000 << "s60"
                                            << "peek=21-60 last=60 dropped=20 refused=0";
        QTest::newRow("bound, acked first") << qint64(40960) << 1000 << "s30 k10 s30"
                                            << "peek=21-60 last=60 dropped=10 refused=0";
        QTest::newRow("dropped kept") << qint64(40960) << 1000 << "s60 r" << "peek=21-60 last=60 dropped=20 refused=0";
        QTest::newRow("dropped told in part") << qint64(40960) << 1000 << "s60 c15 r"
                                              << "peek=21-60 last=60 dropped=5 refused=0";
        QTest::newRow("segments gone, state kept") << big << 20 << "a5 k3 g r a2"
                                                   << "peek=4-5 last=5 dropped=0 refused=0";
        QTest::newRow("segment left empty by a crash") << qint64(40960) << 1000 << "s12 e0 r"
                                                       << "peek=6-12 last=12 dropped=5 refused=0";
        QTest::newRow("segment left empty, partly acknowledged") << qint64(40960) << 1000 << "s12 k8 e0 r"
                                                                 << "peek=11-12 last=12 dropped=2 refused=0";
        QTest::newRow("segment left empty, then the bound") << qint64(40960) << 1000 << "s12 e0 r s35"
                                                            << "peek=11-47 last=47 dropped=10 refused=0";
        QTest::newRow("bound counts the batch") << qint64(40960) << 1000 << "s38 a5"
                                                << "peek=6-43 last=43 dropped=5 refused=0";
        QTest::newRow("oldest partly delivered") << qint64(40960) << 1000 << "s38 k3 a5"
                                                 << "peek=6-43 last=43 dropped=2 refused=0";
        QTest::newRow("second oldest, first acked in part") << qint64(40960) << 1000 << "s38 k3 a5 a5"
                                                            << "peek=11-48 last=48 dropped=7 refused=0";
        QTest::newRow("batch over the bound") << qint64(40960) << 1000 << "a1 a41 a1"
                                              << "peek=1-2 last=2 dropped=0 refused=1";
    }

    void script()
    {
        QFETCH(qint64, limit);
        QFETCH(int, payloadBytes);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("queue"));
        auto queue = std::make_unique<EventQueue>(folder, limit);
        QVERIFY2(queue->open(), qPrintable(queue->errorString()));
        int refused = 0;
        const auto appendOne = [&](int n) {
            QList<QByteArray> batch;
            for (int i = 0; i < n; ++i)
                batch.append(payloadFor(queue->lastSeq() + 1 + i, payloadBytes));
            if (queue->appendBatch(batch) == 0)
                ++refused;
        };
        for (const QString &op : script.split(QLatin1Char(' '))) {
            const int n = op.mid(1).toInt();
            switch (op.at(0).toLatin1()) {
            case 'a': appendOne(n); break;
            case 's':
                for (int i = 0; i < n; ++i)
                    appendOne(1);
                break;
            case 'k': QVERIFY(queue->acknowledge(quint64(n))); break;
            case 'c': QVERIFY(queue->forgetDropped(quint64(n))); break;
            case 'g':
            case 'e': {
                const QDir queueDir(folder);
                const QStringList names = queueDir.entryList({QStringLiteral("*.seg")}, QDir::Files, QDir::Name);
                for (qsizetype i = 0; i < names.size(); ++i) {
                    QFile file(queueDir.filePath(names.at(i)));
                    if (op.at(0) == QLatin1Char('g'))
                        QVERIFY(file.remove());
                    else if (i == n)
                        QVERIFY(file.resize(0));
                }
                break;
            }
            case 'r':
                queue = std::make_unique<EventQueue>(folder, limit);
                QVERIFY2(queue->open(), qPrintable(queue->errorString()));
                break;
            case 't':
            case 'x': {
                QFile file(lastSegment(folder));
                QVERIFY(file.open(QIODevice::ReadWrite));
                if (op.at(0) == QLatin1Char('t')) {
                    QVERIFY(file.resize(file.size() - n));
                } else {
                    QVERIFY(file.seek(file.size() - n));
                    const char c = file.peek(1).at(0);
                    file.write(QByteArray(1, char(c ^ 0x01)));
                }
                break;
            }
            default: QFAIL(qPrintable(op));
            }
        }
        // In small steps, as a consumer with records in flight takes them.
        QList<quint64> seqs;
        for (QList<QueuedEvent> step = queue->peek(7); !step.isEmpty(); step = queue->peek(7, seqs.last())) {
            for (const QueuedEvent &e : step) {
                QCOMPARE(e.payload, payloadFor(e.seq, payloadBytes));
                seqs.append(e.seq);
            }
        }
        QCOMPARE(queue->peek(1000).size(), seqs.size());
        QCOMPARE(QStringLiteral("peek=%1 last=%2 dropped=%3 refused=%4")
                     .arg(ranges(seqs))
                     .arg(queue->lastSeq())
                     .arg(queue->dropped())
                     .arg(refused),
                 expected);
        QCOMPARE(queue->pending(), qint64(seqs.size()));
        QVERIFY(queue->sizeBytes() <= limit);
    }

    // A consumer with records in flight asks past them; what it has
    // acknowledged leaves the disk; a second queue on the folder is refused.
    void peekAfterCleanUpAndOneWriter()
    {
        QTemporaryDir dir;
        EventQueue queue(dir.path(), 40960);
        QVERIFY(queue.open());
        EventQueue second(dir.path(), 40960);
        QVERIFY(!second.open());
        QVERIFY(second.errorString().contains(QLatin1String("in use")));
        for (int i = 0; i < 30; ++i)
            QVERIFY(queue.append(payloadFor(i + 1, 1000)) != 0);
        const QList<QueuedEvent> next = queue.peek(2, 7);
        QCOMPARE(next.size(), 2);
        QCOMPARE(next.at(0).seq, 8u);
        QCOMPARE(next.at(1).seq, 9u);
        QVERIFY(queue.acknowledge(30));
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.seg")}, QDir::Files).size(), 1);
        QVERIFY(queue.peek(10).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestEventQueue)
#include "tst_eventqueue.moc"
