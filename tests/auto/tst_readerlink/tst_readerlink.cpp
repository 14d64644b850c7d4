// One exchange at a time: completion by a 100 ms gap, the 2000 ms time-out,
// dropped blocks, and the Repeat re-send after every outcome.
#include <QtTest>

#include "fakes.h"
#include "core/link/readerlink.h"

using namespace vexa;
using vexa::test::FakeTransport;
using vexa::test::hex;

namespace {
// A valid answer to "reset reader": status 0, no payload.
const QByteArray kResetAnswer = hex("01 08 00 10 00 E5 FC 03");
} // namespace

class tst_ReaderLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sendArmsTimeoutAndWritesWire();
    void piecesWithinGapMakeOneBlock();
    void gapSplitsResponse();
    void invalidBlocksAreDroppedButTraced_data();
    void invalidBlocksAreDroppedButTraced();
    void noAnswerTimesOut();
    void repeatResendsAfterAnswerTimeoutAndDrop();
    void repeatStopsWhenLengthCleared();
    void operatorSendFailureIsReported();
    void repeatSendFailureStopsQuietly();
    void unsolicitedFrameIsEvaluated();
    void overflowingBurstIsDropped();
    void addressedModeFollowsOptions();
    void fastCompletion_data();
    void fastCompletion();

private:
    void sendReset();

    ReaderAddressing m_options;
    FakeTransport *m_transport = nullptr;
    ReaderLink *m_link = nullptr;
    QSignalSpy *m_ready = nullptr;
    QSignalSpy *m_timeouts = nullptr;
    QSignalSpy *m_blocks = nullptr;
};

void tst_ReaderLink::init()
{
    m_options = ReaderAddressing{};
    m_transport = new FakeTransport;
    m_link = new ReaderLink(m_options);
    m_link->setTransport(m_transport);
    m_ready = new QSignalSpy(m_link, &ReaderLink::responseReady);
    m_timeouts = new QSignalSpy(m_link, &ReaderLink::timedOut);
    m_blocks = new QSignalSpy(m_link, &ReaderLink::blockReceived);
}

void tst_ReaderLink::cleanup()
{
    delete m_ready;
    delete m_timeouts;
    delete m_blocks;
    delete m_link;
    delete m_transport;
}

void tst_ReaderLink::sendReset()
{
    m_link->clearCommandBuffer();
    m_link->sendSimpleCommand(0x40, 0xE5);
}

void tst_ReaderLink::sendArmsTimeoutAndWritesWire()
{
    QSignalSpy sent(m_link, &ReaderLink::frameSent);
    sendReset();
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(m_transport->written.first(), hex("01 08 00 10 80 E5 7C 83"));
    QCOMPARE(sent.size(), 1);
    QVERIFY(m_link->busy());
    QCOMPARE(m_link->responseTimer().interval(), ReaderLink::kResponseTimeoutMs);
    // The stored frame keeps the builder's flags for the next re-send.
    QCOMPARE(uint8_t(m_link->storedFrame().at(4)), uint8_t(0x40));
}

void tst_ReaderLink::piecesWithinGapMakeOneBlock()
{
    sendReset();
    m_transport->feed(kResetAnswer.left(3));
    QCOMPARE(m_link->responseTimer().interval(), ReaderLink::kCompletionGapMs);
    m_transport->feed(kResetAnswer.mid(3));
    QVERIFY(m_ready->wait(2000));
    QCOMPARE(m_ready->size(), 1);
    QCOMPARE(m_blocks->first().first().toByteArray(), kResetAnswer);
    QCOMPARE(m_link->receiveCount(), 0);
    QVERIFY(!m_link->busy());
}

void tst_ReaderLink::gapSplitsResponse()
{
    sendReset();
    m_transport->feed(kResetAnswer.left(4));
    QVERIFY(m_blocks->wait(2000)); // the first part is judged and dropped
    m_transport->feed(kResetAnswer.mid(4));
    QTRY_COMPARE_WITH_TIMEOUT(m_blocks->size(), 1, 1000); // no start byte in the tail: no trace
    QTest::qWait(250);
    QCOMPARE(m_ready->size(), 0);
    QCOMPARE(m_timeouts->size(), 0); // bytes came, so no time-out either
}

void tst_ReaderLink::fastCompletion_data()
{
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("endsAtOnce"); // with the last piece, before any gap
    QTest::newRow("off: a whole frame waits for the gap") << false << QList<QByteArray>{kResetAnswer} << false;
    QTest::newRow("on: a whole frame") << true << QList<QByteArray>{kResetAnswer} << true;
    QTest::newRow("on: a frame in pieces ends with its last")
        << true << QList<QByteArray>{kResetAnswer.left(2), kResetAnswer.mid(2, 3), kResetAnswer.mid(5)} << true;
    QTest::newRow("on: bad check waits") << true << QList<QByteArray>{hex("01 08 00 10 00 E5 FC 04")} << false;
    QTest::newRow("on: stray bytes first wait") << true << QList<QByteArray>{hex("FF") + kResetAnswer} << false;
    QTest::newRow("on: beyond the buffer waits, then is dropped") << true << QList<QByteArray>{QByteArray(8190, 'U'), kResetAnswer} << false;
}

void tst_ReaderLink::fastCompletion()
{
    QFETCH(bool, fast);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, endsAtOnce);
    m_link->setFastCompletion(fast);
    QSignalSpy ended(m_link, &ReaderLink::exchangeEnded);
    sendReset();
    for (int i = 0; i + 1 < pieces.size(); ++i) {
        m_transport->feed(pieces.at(i));
        QCOMPARE(ended.size(), 0);
    }
    m_transport->feed(pieces.constLast());
    QCOMPARE(ended.size(), endsAtOnce ? 1 : 0);
    QCOMPARE(m_link->busy(), !endsAtOnce);
    // Either way the block is judged as before: by the gap when not at once.
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 2000);
    QCOMPARE(m_ready->size(), endsAtOnce || !fast ? 1 : 0);
}

void tst_ReaderLink::invalidBlocksAreDroppedButTraced_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QByteArray>("trace");
    QTest::newRow("stray bytes") << hex("FF 00") + kResetAnswer << kResetAnswer;
    QTest::newRow("bad check") << hex("01 08 00 10 00 E5 FC 04") << hex("01 08 00 10 00 E5 FC 04");
    QTest::newRow("trailing byte") << kResetAnswer + hex("00") << kResetAnswer + hex("00");
}

void tst_ReaderLink::invalidBlocksAreDroppedButTraced()
{
    QFETCH(QByteArray, block);
    QFETCH(QByteArray, trace);
    sendReset();
    m_transport->feed(block);
    QVERIFY(m_blocks->wait(2000));
    QCOMPARE(m_blocks->first().first().toByteArray(), trace);
    QCOMPARE(m_ready->size(), 0);
    QCOMPARE(m_timeouts->size(), 0);
}

void tst_ReaderLink::noAnswerTimesOut()
{
    sendReset();
    QVERIFY(m_timeouts->wait(5000));
    QCOMPARE(m_ready->size(), 0);
    QVERIFY(!m_link->busy());
}

void tst_ReaderLink::repeatResendsAfterAnswerTimeoutAndDrop()
{
    m_link->setRepeat(true);
    sendReset();
    m_transport->feed(kResetAnswer);
    QTRY_COMPARE_WITH_TIMEOUT(m_transport->written.size(), 2, 2000); // after an answer
    m_transport->feed(hex("01 02 03"));
    QTRY_COMPARE_WITH_TIMEOUT(m_transport->written.size(), 3, 2000); // after a dropped block
    QTRY_COMPARE_WITH_TIMEOUT(m_transport->written.size(), 4, 5000); // after a time-out
    QCOMPARE(m_timeouts->size(), 1);
    for (const QByteArray &frame : m_transport->written)
        QCOMPARE(frame, m_transport->written.first());
}

void tst_ReaderLink::repeatStopsWhenLengthCleared()
{
    m_link->setRepeat(true);
    sendReset();
    m_link->dropStoredFrame(); // Pause
    m_transport->feed(kResetAnswer);
    QVERIFY(m_ready->wait(2000)); // the answer in flight is still reported
    QTest::qWait(300);
    QCOMPARE(m_transport->written.size(), 1);
}

void tst_ReaderLink::operatorSendFailureIsReported()
{
    QSignalSpy failed(m_link, &ReaderLink::sendFailed);
    m_transport->failWith = QStringLiteral("COM1: no such device");
    sendReset();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("COM1: no such device"));
    QVERIFY(m_timeouts->wait(5000)); // then the exchange ends as for a silent reader
}

void tst_ReaderLink::repeatSendFailureStopsQuietly()
{
    QSignalSpy failed(m_link, &ReaderLink::sendFailed);
    m_link->setRepeat(true);
    sendReset();
    m_transport->failWith = QStringLiteral("gone");
    m_transport->feed(kResetAnswer);
    QVERIFY(m_ready->wait(2000));
    QCOMPARE(failed.size(), 0);
    QVERIFY(!m_link->busy()); // the cycle has stopped
    QTest::qWait(300);
    QCOMPARE(m_timeouts->size(), 0);
}

void tst_ReaderLink::unsolicitedFrameIsEvaluated()
{
    m_transport->feed(kResetAnswer);
    QVERIFY(m_ready->wait(2000));
}

void tst_ReaderLink::overflowingBurstIsDropped()
{
    sendReset();
    // A valid frame at the start of a burst larger than the buffer.
    m_transport->feed(kResetAnswer + QByteArray(9000, '\x55'));
    QVERIFY(m_blocks->wait(2000));
    QCOMPARE(m_blocks->first().first().toByteArray().size(), 8192);
    QCOMPARE(m_ready->size(), 0);
}

void tst_ReaderLink::addressedModeFollowsOptions()
{
    m_options.addressReader = true;
    m_options.readerSerialNumber = QStringLiteral("1234567");
    m_link->clearCommandBuffer();
    m_link->sendSimpleCommand(0x40, 0xE7);
    QCOMPARE(m_transport->written.last(), hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 89"));
    m_options.addressReader = false;
    m_link->sendFrame();
    QCOMPARE(m_transport->written.last(), hex("01 08 00 10 80 E7 7E 81"));
}

QTEST_GUILESS_MAIN(tst_ReaderLink)
#include "tst_readerlink.moc"
