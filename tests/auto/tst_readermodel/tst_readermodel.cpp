// The simulated reader without its line: request bytes in, reply bytes out.
#include <QtTest>

#include "control.h"
#include "frameassembler.h"
#include "core/wire/frame.h"
#include "readermodel.h"
#include "tagcollection.h"
#include "tagline.h"

using namespace vexa::sim;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A request as the host sends it: flags 0x80, the parameters, the check.
QByteArray request(uint8_t code, const QByteArray &parameters = {}, uint8_t flags = 0x80)
{
    const int n = 8 + int(parameters.size());
    QByteArray frame(n, '\0');
    auto *bytes = reinterpret_cast<uint8_t *>(frame.data());
    vexa::writeHeader(bytes, n, flags, code);
    std::copy(parameters.begin(), parameters.end(), frame.begin() + 6);
    vexa::writeFrameCheck(bytes, n);
    return frame;
}

QByteArray setupBytes(ReaderModel &model)
{
    return model.handle(hex("01 08 00 10 80 E7 7E 81")).bytes.mid(6, 5);
}

class FakeField : public TagField
{
public:
    std::optional<Answer> answer(const TagRequest &request) override
    {
        last = request;
        return Answer{0, hex("AA BB")};
    }
    TagRequest last;
};

} // namespace

class tst_ReaderModel : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void setupAfterConfiguration_data();
    void setupAfterConfiguration();
    void addressing_data();
    void addressing();
    void baudCommandSwitchesAfterItsAnswer_data();
    void baudCommandSwitchesAfterItsAnswer();
    void keepRateFaultAnswersWithoutSwitching();
    void statusFaultRefusesTheCommand();
    void countedFaults();
    void strayBytesAndGap();
    void lifetimeCountsExecutedCommands();
    void tagFieldAnswersWhileRfIsOn();
    void defaultTagsOnTheWire_data();
    void defaultTagsOnTheWire();
    void serialNumberShowsInIdentity();
    void assembler_data();
    void assembler();
    void controlLines_data();
    void controlLines();
    void tagControlLines_data();
    void tagControlLines();
};

void tst_ReaderModel::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("version") << hex("01 08 00 10 80 E0 79 86")
                             << hex("01 14 00 10 00 E0 07 04 07 01 34 30 30 30 31 32 33 00 D4 2B");
    QTest::newRow("loader") << hex("01 08 00 10 80 E3 7A 85") << hex("01 0D 00 10 00 E3 07 04 01 01 03 FF 00");
    QTest::newRow("reset") << hex("01 08 00 10 80 E5 7C 83") << hex("01 08 00 10 00 E5 FC 03");
    QTest::newRow("diagnostics") << hex("01 08 00 10 80 E6 7F 80") << hex("01 0C 00 10 00 E6 00 01 01 32 C9 36");
    QTest::newRow("setup") << hex("01 08 00 10 80 E7 7E 81") << hex("01 0D 00 10 00 E7 00 0D 02 00 00 F4 0B");
    QTest::newRow("information, counting itself")
        << hex("01 08 00 10 80 EB 72 8D") << hex("01 14 00 10 00 EB 34 30 30 30 31 32 33 00 01 00 97 01 4D B2");
    QTest::newRow("encryption") << hex("01 11 00 10 80 EC 00 00 00 00 00 00 00 00 00 6C 93")
                                << hex("01 08 00 10 00 EC F5 0A");
    QTest::newRow("RF on") << hex("01 0A 00 10 80 ED 04 00 72 8D") << hex("01 08 00 10 00 ED F4 0B");
    QTest::newRow("Wiegand") << hex("01 0B 00 10 80 ED 0A 02 5A 25 DA") << hex("01 08 00 10 00 ED F4 0B");
    QTest::newRow("LED") << hex("01 0C 00 10 80 EE 00 02 14 00 65 9A") << hex("01 08 00 10 00 EE F7 08");
    QTest::newRow("audio") << hex("01 0B 00 10 80 EF 00 14 00 61 9E") << hex("01 08 00 10 00 EF F6 09");
    QTest::newRow("test") << hex("01 08 00 10 82 26 BD 42") << hex("01 08 00 10 00 26 3F C0");
    QTest::newRow("tag command, empty field") << hex("01 09 00 10 82 20 07 BD 42") << hex("01 09 00 10 02 20 01 3B C4");
    QTest::newRow("unknown code") << hex("01 08 00 10 80 E1 78 87") << hex("01 09 00 10 02 E1 02 F9 06");
    QTest::newRow("unknown sub-command") << hex("01 0A 00 10 80 ED 05 00 73 8C") << hex("01 09 00 10 02 ED 02 F5 0A");
    QTest::newRow("key missing") << hex("01 09 00 10 80 EC 00 74 8B") << hex("01 09 00 10 02 EC 04 F2 0D");
    QTest::newRow("bad check") << hex("01 08 00 10 80 E0 79 87") << hex("01 09 00 10 02 E0 03 F9 06");
    QTest::newRow("bad complement") << hex("01 08 00 10 80 E0 78 86") << hex("01 09 00 10 02 E0 03 F9 06");
}

void tst_ReaderModel::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    ReaderModel model;
    const Reply answer = model.handle(request);
    QCOMPARE(answer.bytes.toHex(' '), reply.toHex(' '));
    QCOMPARE(answer.gapAt, -1);
    QCOMPARE(answer.baudAfter, 0);
}

void tst_ReaderModel::setupAfterConfiguration_data()
{
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QByteArray>("setup"); // reply bytes 6..10

    using L = QList<QByteArray>;
    const auto ed = [](const char *parameters) { return request(0xED, hex(parameters)); };
    const auto ec = [](const char *parameters) { return request(0xEC, hex(parameters)); };
    QTest::newRow("defaults") << L{} << hex("00 0D 02 00 00");
    QTest::newRow("RF off") << L{ed("03 00")} << hex("00 0C 02 00 00");
    QTest::newRow("RF off, on") << L{ed("03 00"), ed("04 00")} << hex("00 0D 02 00 00");
    QTest::newRow("audio only") << L{ed("07 08")} << hex("00 09 02 00 00");
    QTest::newRow("no feedback, other bits ignored") << L{ed("07 F3")} << hex("00 01 02 00 00");
    QTest::newRow("15693 UID with AFI") << L{ed("0A 02 5A")} << hex("40 2D 02 5A 00");
    QTest::newRow("15693 card data") << L{ed("0A 01 00")} << hex("80 2D 02 00 00");
    QTest::newRow("14443-A UID") << L{ed("09 02 00")} << hex("40 1D 02 00 00");
    QTest::newRow("Tag-it encrypted data") << L{ed("0B 01 00")} << hex("80 4D 02 00 00");
    QTest::newRow("Tag-it, then 15693") << L{ed("0B 00 00"), ed("0A 08 30")} << hex("40 2D 02 30 00");
    QTest::newRow("Wiegand off") << L{ed("0A 02 5A"), ed("0C 00 00")} << hex("00 0D 02 00 00");
    QTest::newRow("9600") << L{ed("0E 00")} << hex("00 0D 00 00 00");
    QTest::newRow("57600") << L{ed("11 00")} << hex("00 0D 03 00 00");
    QTest::newRow("plain text") << L{ec("02 00 00 00 00 00 00 00 00")} << hex("00 0D 02 00 02");
    QTest::newRow("user key") << L{ec("01 11 22 33 44 55 66 77 88")} << hex("00 0D 02 00 01");
    QTest::newRow("user key, plain text") << L{ec("03 00 00 00 00 00 00 00 00")} << hex("00 0D 02 00 03");
    QTest::newRow("worked example") << L{ed("0F 00"), ed("0A 02 30")} << hex("40 2D 01 30 00");
    QTest::newRow("refused commands change nothing")
        << L{ed("07"), ed("0A 02"), ec("03")} << hex("00 0D 02 00 00");
}

void tst_ReaderModel::setupAfterConfiguration()
{
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QByteArray, setup);
    ReaderModel model;
    for (const QByteArray &r : requests)
        QVERIFY(!model.handle(r).bytes.isEmpty());
    QCOMPARE(setupBytes(model).toHex(' '), setup.toHex(' '));
}

void tst_ReaderModel::addressing_data()
{
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply"); // empty: no answer

    const QByteArray setup1234567 = hex("01 0D 00 10 00 E7 00 0D 02 00 00 F4 0B");
    QTest::newRow("match") << QByteArray("1234567") << hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 89")
                           << setup1234567;
    QTest::newRow("unaddressed") << QByteArray("1234567") << hex("01 08 00 10 80 E7 7E 81") << setup1234567;
    QTest::newRow("mismatch") << QByteArray("4000123") << hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 89")
                              << QByteArray();
    QTest::newRow("mismatch, bad check")
        << QByteArray("4000123") << hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 88") << QByteArray();
    QTest::newRow("match, bad check") << QByteArray("1234567")
                                      << hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 88")
                                      << hex("01 09 00 10 02 E7 03 FE 01");
    QTest::newRow("too short for the field") << QByteArray("1234567") << request(0xE7, hex("31 32"), 0xA0)
                                             << QByteArray();

    const auto addressed = [](const char *field, uint8_t code, const char *parameters = "") {
        return request(code, hex(field) + hex(parameters), 0xA0);
    };
    QTest::newRow("short serial, zero padded")
        << QByteArray("AB12") << addressed("41 42 31 32 00 00 00 00", 0xE0)
        << hex("01 14 00 10 00 E0 07 04 07 01 41 42 31 32 00 00 00 00 E0 1F");
    QTest::newRow("short serial, garbage padding")
        << QByteArray("AB12") << addressed("41 42 31 32 00 55 55 55", 0xE0) << QByteArray();
    QTest::newRow("eight characters, first seven match")
        << QByteArray("ABCDEFGH") << addressed("41 42 43 44 45 46 47 00", 0xE0)
        << hex("01 14 00 10 00 E0 07 04 07 01 41 42 43 44 45 46 47 48 E8 17");
    QTest::newRow("parameters after the field")
        << QByteArray("1234567") << addressed("31 32 33 34 35 36 37 00", 0xED, "0A 01 5A")
        << hex("01 08 00 10 00 ED F4 0B");
}

void tst_ReaderModel::addressing()
{
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    ReaderModel model;
    QVERIFY(model.setSerialNumber(serial));
    const Reply answer = model.handle(request);
    QCOMPARE(answer.bytes.toHex(' '), reply.toHex(' '));
    QCOMPARE(answer.note.isEmpty(), !reply.isEmpty());
    if (QByteArray(QTest::currentDataTag()) == "parameters after the field")
        QCOMPARE(setupBytes(model).toHex(' '), hex("80 2D 02 5A 00").toHex(' '));
}

void tst_ReaderModel::baudCommandSwitchesAfterItsAnswer_data()
{
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<int>("rate");
    QTest::newRow("9600") << 0x0E << 9600;
    QTest::newRow("19200") << 0x0F << 19200;
    QTest::newRow("38400") << 0x10 << 38400;
    QTest::newRow("57600") << 0x11 << 57600;
}

void tst_ReaderModel::baudCommandSwitchesAfterItsAnswer()
{
    QFETCH(int, subCommand);
    QFETCH(int, rate);
    ReaderModel model;
    const Reply answer = model.handle(request(0xED, QByteArray(1, char(subCommand)) + '\0'));
    QCOMPARE(answer.bytes.toHex(' '), hex("01 08 00 10 00 ED F4 0B").toHex(' '));
    QCOMPARE(answer.baudAfter, rate);
    QCOMPARE(model.state().baudRate, rate);
    QCOMPARE(int(uint8_t(setupBytes(model).at(2))), subCommand - 0x0E);
}

void tst_ReaderModel::keepRateFaultAnswersWithoutSwitching()
{
    ReaderModel model;
    model.faults().keepRateCount = 1;
    const Reply ignored = model.handle(hex("01 0A 00 10 80 ED 11 00 67 98")); // 57600
    QCOMPARE(ignored.bytes.toHex(' '), hex("01 08 00 10 00 ED F4 0B").toHex(' '));
    QCOMPARE(ignored.baudAfter, 0);
    QCOMPARE(model.state().baudRate, 38400);
    QCOMPARE(model.faults().keepRateCount, 0);
    // Used up: the next one switches.
    QCOMPARE(model.handle(hex("01 0A 00 10 80 ED 11 00 67 98")).baudAfter, 57600);
}

void tst_ReaderModel::statusFaultRefusesTheCommand()
{
    ReaderModel model;
    model.faults().status = 1;
    model.faults().errorCode = 0x12;
    model.faults().statusCount = 2;

    const Reply first = model.handle(hex("01 0A 00 10 80 ED 11 00 67 98")); // 57600
    QCOMPARE(first.bytes.toHex(' '), hex("01 09 00 10 01 ED 12 E6 19").toHex(' '));
    QCOMPARE(first.baudAfter, 0);
    QCOMPARE(model.handle(hex("01 08 00 10 80 E7 7E 81")).bytes.toHex(' '),
             hex("01 09 00 10 01 E7 12 EC 13").toHex(' '));
    QCOMPARE(model.faults().statusCount, 0);
    QCOMPARE(model.state().baudRate, 38400);
    QCOMPARE(setupBytes(model).toHex(' '), hex("00 0D 02 00 00").toHex(' '));
}

void tst_ReaderModel::countedFaults()
{
    ReaderModel model;
    const QByteArray version = hex("01 08 00 10 80 E0 79 86");
    const QByteArray good = model.handle(version).bytes;

    model.faults().badCheckCount = 2;
    for (int i = 0; i < 2; ++i) {
        const QByteArray bad = model.handle(version).bytes;
        QCOMPARE(bad.size(), good.size());
        QCOMPARE(bad.left(bad.size() - 2), good.left(good.size() - 2));
        const uint16_t check = vexa::computeFrameCheck(reinterpret_cast<const uint8_t *>(bad.constData()),
                                                       int(bad.size()) - 2);
        QVERIFY(uint8_t(bad.at(bad.size() - 2)) != (check & 0xFF));
    }
    QCOMPARE(model.handle(version).bytes, good);

    // Lost requests are not carried out: RF stays on.
    model.faults().silentCount = 2;
    QVERIFY(model.handle(hex("01 0A 00 10 80 ED 03 00 75 8A")).bytes.isEmpty());
    QVERIFY(model.handle(version).note.contains(QLatin1String("silent")));
    QCOMPARE(setupBytes(model).toHex(' '), hex("00 0D 02 00 00").toHex(' '));

    // A request for another reader does not use up silence.
    model.faults().silentCount = 1;
    QVERIFY(model.handle(hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 89")).bytes.isEmpty());
    QCOMPARE(model.faults().silentCount, 1);
}

void tst_ReaderModel::strayBytesAndGap()
{
    ReaderModel model;
    model.faults().stray = hex("FF 00 01");
    model.faults().gapMs = 150;
    const QByteArray good = hex("01 14 00 10 00 E0 07 04 07 01 34 30 30 30 31 32 33 00 D4 2B");

    const Reply faulty = model.handle(hex("01 08 00 10 80 E0 79 86"));
    QCOMPARE(faulty.bytes, hex("FF 00 01") + good);
    QCOMPARE(faulty.gapAt, 3 + 10); // the middle of the frame, after the stray bytes
    QCOMPARE(faulty.gapMs, 150);

    const Reply next = model.handle(hex("01 08 00 10 80 E0 79 86"));
    QCOMPARE(next.bytes, good);
    QCOMPARE(next.gapAt, -1);
}

void tst_ReaderModel::lifetimeCountsExecutedCommands()
{
    ReaderModel model;
    model.handle(hex("01 08 00 10 80 E0 79 86"));
    model.handle(hex("01 08 00 10 80 E1 78 87")); // unknown: not executed
    model.handle(hex("01 08 00 10 80 E0 79 87")); // bad check
    model.handle(hex("01 09 00 10 82 20 07 BD 42")); // tag command, no tag
    const QByteArray info = model.handle(hex("01 08 00 10 80 EB 72 8D")).bytes;
    QCOMPARE(uint8_t(info.at(14)) | (uint8_t(info.at(15)) << 8), 3);
}

void tst_ReaderModel::tagFieldAnswersWhileRfIsOn()
{
    ReaderModel model;
    FakeField field;
    model.setTagField(&field);
    // Addressed, so the field must get the parameters without the address.
    const QByteArray addressedRead = request(0x20, hex("34 30 30 30 31 32 33 00 07"), 0xA2);
    QCOMPARE(model.handle(addressedRead).bytes.mid(4, 4), hex("00 20 AA BB"));
    QCOMPARE(field.last.flags, uint8_t(0xA2));
    QCOMPARE(field.last.code, uint8_t(0x20));
    QCOMPARE(field.last.parameters, hex("07"));

    QVERIFY(!model.handle(hex("01 0A 00 10 80 ED 03 00 75 8A")).bytes.isEmpty());
    QCOMPARE(model.handle(addressedRead).bytes.mid(4, 3), hex("02 20 01"));
    // The reader test is the reader's own, field or not.
    QCOMPARE(model.handle(hex("01 08 00 10 82 26 BD 42")).bytes, hex("01 08 00 10 00 26 3F C0"));
}

void tst_ReaderModel::defaultTagsOnTheWire_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("ISO view one block 7") << hex("01 09 00 10 82 20 07 BD 42")
                                          << hex("01 0E 00 10 00 20 00 00 00 00 00 07 38 C7");
    QTest::newRow("ISO 8-byte block by UID, reader addressed")
        << hex("01 19 00 10 B2 20 34 30 30 30 31 32 33 00 F7 E6 D5 C4 12 01 08 E0 01 54 AB")
        << hex("01 12 00 10 00 20 10 32 54 76 98 BA DC FE 00 01 22 DD");
    QTest::newRow("ISO inventory") << hex("01 09 00 10 82 01 00 9B 64")
                                   << hex("01 1A 00 10 00 01 00 02 F2 93 6A 1C 50 01 04 E0 F7 E6 D5 C4 12 01 08 E0 "
                                          "51 AE");
    QTest::newRow("ISO inventory, AFI 31") << hex("01 09 00 10 82 01 31 AA 55")
                                           << hex("01 12 00 10 00 01 00 01 F7 E6 D5 C4 12 01 08 E0 F8 07");
    QTest::newRow("ISO program a locked block") << hex("01 0D 00 10 82 21 00 01 02 03 04 BB 44")
                                                << hex("01 09 00 10 01 21 12 2A D5");
    QTest::newRow("Tag-it inventory") << hex("01 08 00 10 80 0D 94 6B")
                                      << hex("01 11 00 10 00 0D 02 37 01 A8 C0 41 9A 2E 5D F9 06");
    QTest::newRow("14443-A read UID") << hex("01 09 00 10 80 40 00 D8 27")
                                      << hex("01 11 00 10 00 40 00 07 04 A2 C8 F2 1B 6E 80 2E D1");
}

void tst_ReaderModel::defaultTagsOnTheWire()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    ReaderModel model;
    TagCollection tags;
    addDefaultTags(tags);
    model.setTagField(&tags);
    QCOMPARE(model.handle(request).bytes.toHex(' '), reply.toHex(' '));

    // Without tags the inventory finds none and a block read no transponder.
    tags.clear();
    if (QByteArray(QTest::currentDataTag()) == "ISO inventory")
        QCOMPARE(model.handle(request).bytes.toHex(' '), hex("01 0A 00 10 00 01 00 00 1A E5").toHex(' '));
    if (QByteArray(QTest::currentDataTag()) == "ISO view one block 7")
        QCOMPARE(model.handle(request).bytes.toHex(' '), hex("01 09 00 10 02 20 01 3B C4").toHex(' '));
}

void tst_ReaderModel::serialNumberShowsInIdentity()
{
    ReaderModel model;
    QVERIFY(!model.setSerialNumber(""));
    QVERIFY(!model.setSerialNumber("123456789"));
    QVERIFY(!model.setSerialNumber("12 34"));
    QCOMPARE(model.state().serialNumber, QByteArray("4000123"));
    QVERIFY(model.setSerialNumber("ABCDEFGH"));
    QCOMPARE(model.handle(hex("01 08 00 10 80 EB 72 8D")).bytes,
             hex("01 14 00 10 00 EB 41 42 43 44 45 46 47 00 01 00 97 01 39 C6"));
}

void tst_ReaderModel::assembler_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("times"); // ms at which each chunk arrives
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("discarded");

    using B = QList<QByteArray>;
    using T = QList<int>;
    const QByteArray v = hex("01 08 00 10 80 E0 79 86");
    const QByteArray s = hex("01 08 00 10 80 E7 7E 81");
    QTest::newRow("one frame") << B{v} << T{0} << B{v} << QByteArray();
    QTest::newRow("two in one chunk") << B{v + s} << T{0} << B{v, s} << QByteArray();
    QTest::newRow("byte by byte") << B{v.left(1), v.mid(1, 2), v.mid(3)} << T{0, 5, 10} << B{v} << QByteArray();
    QTest::newRow("noise first") << B{hex("FF 00") + v} << T{0} << B{v} << hex("FF 00");
    QTest::newRow("length too small") << B{hex("01 02 00") + v} << T{0} << B{v} << hex("01 02 00");
    QTest::newRow("length too large") << B{hex("01 01") + v} << T{0} << B{v} << hex("01 01");
    QTest::newRow("silence drops the partial frame")
        << B{v.left(5), v} << T{0, 100} << B{v} << v.left(5);
    QTest::newRow("a short pause keeps it") << B{v.left(5), v.mid(5)} << T{0, 99} << B{v} << QByteArray();
    QTest::newRow("incomplete") << B{s + v.left(4)} << T{0} << B{s} << QByteArray();
}

void tst_ReaderModel::assembler()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<int>, times);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QByteArray, discarded);
    FrameAssembler assembler;
    QList<QByteArray> gotFrames;
    QByteArray gotDiscarded;
    for (int i = 0; i < chunks.size(); ++i) {
        const auto out = assembler.feed(chunks[i], 1000 + times[i]);
        gotFrames += out.frames;
        gotDiscarded += out.discarded;
    }
    QCOMPARE(gotFrames, frames);
    QCOMPARE(gotDiscarded.toHex(' '), discarded.toHex(' '));
}

void tst_ReaderModel::controlLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes");

    using C = ControlCommand;
    QTest::newRow("status") << "fault status 2 0x01 3" << true << int(C::FaultStatus) << 3 << QByteArray();
    QTest::newRow("status count default") << "fault status 01 12" << true << int(C::FaultStatus) << 1 << QByteArray();
    QTest::newRow("status code missing") << "fault status 2" << false << 0 << 0 << QByteArray();
    QTest::newRow("badcheck") << "fault badcheck" << true << int(C::FaultBadCheck) << 1 << QByteArray();
    QTest::newRow("silent 0 cancels") << "fault silent 0" << true << int(C::FaultSilent) << 0 << QByteArray();
    QTest::newRow("keeprate") << "fault keeprate 2" << true << int(C::FaultKeepRate) << 2 << QByteArray();
    QTest::newRow("silent -1") << "fault silent -1" << false << 0 << 0 << QByteArray();
    QTest::newRow("stray") << "fault stray 01 0a FF" << true << int(C::FaultStray) << 1 << hex("01 0A FF");
    QTest::newRow("stray empty") << "fault stray" << false << 0 << 0 << QByteArray();
    QTest::newRow("gap") << "fault  gap   150 " << true << int(C::FaultGap) << 1 << QByteArray();
    QTest::newRow("clear") << "fault clear" << true << int(C::FaultClear) << 1 << QByteArray();
    QTest::newRow("send") << "send 01 08 00" << true << int(C::Send) << 1 << hex("01 08 00");
    QTest::newRow("send bad hex") << "send 01 0G" << false << 0 << 0 << QByteArray();
    QTest::newRow("send three digits") << "send 010" << false << 0 << 0 << QByteArray();
    QTest::newRow("frame") << "frame E0 00 07 04" << true << int(C::Frame) << 1 << hex("07 04");
    QTest::newRow("baud") << "baud 19200" << true << int(C::Baud) << 1 << QByteArray();
    QTest::newRow("baud 115200") << "baud 115200" << false << 0 << 0 << QByteArray();
    QTest::newRow("serial") << "serial 1234567" << true << int(C::Serial) << 1 << QByteArray("1234567");
    QTest::newRow("state") << "state" << true << int(C::State) << 1 << QByteArray();
    QTest::newRow("airtime off") << "airtime off" << true << int(C::AirTime) << 1 << QByteArray();
    QTest::newRow("airtime alone") << "airtime" << false << 0 << 0 << QByteArray();
    QTest::newRow("airtime maybe") << "airtime maybe" << false << 0 << 0 << QByteArray();
    QTest::newRow("unknown") << "frobnicate" << false << 0 << 0 << QByteArray();
}

void tst_ReaderModel::tagControlLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind"); // -1: refused
    QTest::addColumn<QString>("text");

    using C = ControlCommand;
    QTest::newRow("add") << "tag add  iso15693 E00401501C6A93F2   blocks=4" << int(C::TagAdd)
                         << "iso15693 E00401501C6A93F2 blocks=4";
    QTest::newRow("add, no tag") << "tag add" << -1 << "";
    QTest::newRow("remove") << "tag remove c0a80137" << int(C::TagRemove) << "c0a80137";
    QTest::newRow("remove, no id") << "tag remove" << -1 << "";
    QTest::newRow("remove, two ids") << "tag remove C0A80137 5D2E9A41" << -1 << "";
    QTest::newRow("clear") << "tag clear" << int(C::TagClear) << "";
    QTest::newRow("defaults") << "tag defaults" << int(C::TagDefaults) << "";
    QTest::newRow("list") << "tag list" << int(C::TagList) << "";
    QTest::newRow("list all") << "tag list all" << -1 << "";
    QTest::newRow("memory") << "tag memory e004015000000001 ndef https://a.b" << int(C::TagChange)
                            << "e004015000000001";
    QTest::newRow("memory, no content") << "tag memory E004015000000001" << -1 << "";
    QTest::newRow("lock") << "tag lock C0A80137 0,3-5" << int(C::TagChange) << "C0A80137";
    QTest::newRow("unlock, no blocks") << "tag unlock C0A80137" << -1 << "";
    QTest::newRow("tag alone") << "tag" << -1 << "";
}

void tst_ReaderModel::tagControlLines()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const ControlParse parsed = parseControlLine(line);
    QCOMPARE(parsed.command.has_value(), kind >= 0);
    QCOMPARE(parsed.error.startsWith(QLatin1String("usage: tag add")), kind < 0);
    if (kind >= 0) {
        QCOMPARE(int(parsed.command->kind), kind);
        QCOMPARE(parsed.command->text, text);
    }
}

void tst_ReaderModel::controlLines()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(int, kind);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);
    const ControlParse parsed = parseControlLine(line);
    QCOMPARE(parsed.command.has_value(), valid);
    QCOMPARE(parsed.error.isEmpty(), valid);
    if (!valid)
        return;
    QCOMPARE(int(parsed.command->kind), kind);
    QCOMPARE(parsed.command->count, count);
    QCOMPARE(parsed.command->bytes, bytes);
    if (kind == ControlCommand::FaultStatus)
        QCOMPARE(parsed.command->code, uint8_t(line.contains(QLatin1String("12")) ? 0x12 : 0x01));
    if (kind == ControlCommand::FaultGap)
        QCOMPARE(parsed.command->value, 150);
}

QTEST_GUILESS_MAIN(tst_ReaderModel)
#include "tst_readermodel.moc"
