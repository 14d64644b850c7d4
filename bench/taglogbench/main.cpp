// VexaHost tag log benchmark: Repeat on a 16-tag inventory against vexa-sim
// with the Tag Log window open, at the start and again once the log has
// counted 1,000,000 tag reads; what an answer costs the log; the heap a tag
// row costs; and the export of 100,000 tags with its longest turn away from
// the event loop. Prints figures as ratios against their limits; it asserts
// nothing.
//
//   vexa-taglogbench [--seconds S] [--reads N] [--tags N] [--no-repeat]
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "core/codecs/iso15693.h"
#include "eventwait.h"
#include "fakes.h"
#include "core/link/readerlink.h"
#include "core/session/commandcycle.h"
#include "core/session/readersession.h"
#include "core/session/taglog.h"
#include "core/session/taglogexport.h"
#include "core/session/taglogmodel.h"
#include "simprocess.h"
#include "ui/window/taglogwindow.h"

using namespace vexa;
using vexa::test::cpuSeconds;
using vexa::test::heapInUse;
using vexa::test::infoLine;
using vexa::test::ratioLine;
using vexa::test::runFor;
using vexa::test::waitUntil;

namespace {

QString uid(int n)
{
    return QStringLiteral("E00401%1").arg(uint(n) * 2654435761u, 10, 16, QLatin1Char('0')).toUpper().right(16);
}

// An inventory answer naming `tags` tags, as the reader sends it.
QByteArray inventoryAnswer(int tags)
{
    QByteArray payload;
    payload.append(char(0));
    payload.append(char(tags));
    for (int n = 0; n < tags; ++n) {
        const QByteArray shown = QByteArray::fromHex(uid(n).toLatin1());
        for (qsizetype i = shown.size() - 1; i >= 0; --i) // low byte first on the wire
            payload.append(shown[i]);
    }
    QByteArray f(8 + payload.size(), '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    writeHeader(b, int(f.size()), 0x10, 0x01);
    std::copy(payload.begin(), payload.end(), f.begin() + 6);
    writeFrameCheck(b, int(f.size()));
    return f;
}

// Microseconds per 16-tag inventory answer: which tags it names, and the log.
double answerCost(const QByteArray &answer, int rounds)
{
    TagLog log;
    const QByteArray request = QByteArray::fromHex("010A00102201");
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        log.record(ResponseFamily::Iso15693,
                   tagsNamed(ResponseFamily::Iso15693, FrameView(answer), FrameView(request), 0), 1'000 * i);
    return double(t.nsecsElapsed()) / 1e3 / rounds;
}

double bytesPerRow(int rows, bool withTable)
{
    const size_t before = heapInUse();
    double result = 0;
    {
        TagLog log;
        std::unique_ptr<TagLogModel> model;
        std::unique_ptr<TagLogFilter> filter;
        if (withTable) {
            model = std::make_unique<TagLogModel>(log);
            filter = std::make_unique<TagLogFilter>();
            filter->setSourceModel(model.get());
            filter->sort(TagLogModel::FirstSeenColumn);
        }
        for (int n = 0; n < rows; ++n)
            log.record(ResponseFamily::Iso15693, {TagSighting{uid(n), {{0, QStringLiteral("11223344")}}}}, n);
        if (model)
            model->update();
        result = double(heapInUse() - before) / rows;
    }
    return result;
}

void exportRun(int tags, const QString &name)
{
    TagLog log;
    for (int n = 0; n < tags; ++n)
        log.record(ResponseFamily::Tagit, {TagSighting{QString::asprintf("%08X", n), {{1, QStringLiteral("0000ABCD")}}}},
                   QDateTime::currentMSecsSinceEpoch());
    QTemporaryDir dir;
    TagLogExport out(log);
    QString reason = QStringLiteral("not finished");
    QObject::connect(&out, &TagLogExport::finished, [&](const QString &r) { reason = r; });
    // The loop's own view: the longest wait of a timer that wants every turn.
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    QElapsedTimer whole;
    whole.start();
    sinceTick.start();
    watch.start();
    out.start(dir.filePath(name), QDateTime::currentMSecsSinceEpoch());
    waitUntil([&] { return !out.running(); }, 120'000);
    runFor(5);
    watch.stop();
    const double seconds = double(whole.elapsed()) / 1000.0;
    if (!reason.isEmpty()) {
        std::printf("export failed: %s\n", qPrintable(reason));
        return;
    }
    infoLine(QStringLiteral("export of %1 tags to %2 (%3 MiB)")
                 .arg(tags)
                 .arg(name)
                 .arg(double(QFileInfo(dir.filePath(name)).size()) / 1048576.0, 0, 'f', 1),
             seconds, "s");
    ratioLine(QStringLiteral("%1: longest slice of the export / 100 ms").arg(name), double(out.longestSliceMs()) / 100.0,
              1.0, true);
    ratioLine(QStringLiteral("%1: longest turn away from the event loop / 100 ms").arg(name), double(longestGap) / 100.0,
              1.0, true);
}

int repeatRun(int seconds, qint64 reads, int tags)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QStringLiteral("38400"), QStringLiteral("--no-tags")})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    for (int n = 0; n < tags; ++n)
        sim.control(QStringLiteral("tag add iso15693 ") + uid(n));
    test::ScriptedPrompt prompt;
    ReaderSession session(prompt);
    ReaderSession::Settings stored;
    stored.baudRate = 38400;
    session.runStartExchange(session.begin(stored));
    if (!waitUntil([&] { return !session.changingBaud() && !session.link().busy(); }, 10'000, 5)) {
        std::fprintf(stderr, "the session did not reach the simulator\n");
        return 1;
    }
    QWidget main;
    TagLogWindow window(session.tagLog(), prompt, {}, &main);
    window.showBeside();
    if (!QTest::qWaitForWindowExposed(&window, 10'000))
        std::fprintf(stderr, "the Tag Log window did not show\n");

    CommandCycle &cycle = session.cycle();
    ReaderLink &link = session.link();
    iso15693::Request request;
    request.command = iso15693::Inventory;
    const auto send = [&] { session.send(request); };
    cycle.setRepeatMode(true);
    cycle.go(send);
    const test::RepeatPhase early = test::measureRepeat(link, seconds);

    // Pause, let the log count as many reads as hours of Repeat would, go on.
    cycle.go([] {});
    waitUntil([&] { return cycle.state() == CommandCycle::State::Idle; }, 10'000, 5);
    sim.forgetTraffic();
    const QByteArray answer = inventoryAnswer(tags);
    const QByteArray inventoryRequest = QByteArray::fromHex("010A00102201");
    QElapsedTimer fill;
    fill.start();
    TagLog &log = session.tagLog();
    qint64 ms = QDateTime::currentMSecsSinceEpoch();
    while (log.readCount() < reads) {
        log.record(ResponseFamily::Iso15693,
                   tagsNamed(ResponseFamily::Iso15693, FrameView(answer), FrameView(inventoryRequest), 0), ms);
        ms += 110;
    }
    const double fillSeconds = double(fill.elapsed()) / 1000.0;
    runFor(500);
    cycle.go(send);
    const test::RepeatPhase late = test::measureRepeat(link, seconds);
    cycle.go([] {});
    waitUntil([&] { return cycle.state() == CommandCycle::State::Idle; }, 10'000, 5);

    infoLine(QStringLiteral("Repeat %1-tag inventory, early").arg(tags), early.perSecond, "/s");
    infoLine(QStringLiteral("Repeat, late (%1 reads counted, filled in %2 s)")
                 .arg(log.readCount())
                 .arg(fillSeconds, 0, 'f', 1),
             late.perSecond, "/s");
    infoLine(QStringLiteral("CPU early"), early.cpuPercent, "% of a core");
    infoLine(QStringLiteral("CPU late"), late.cpuPercent, "% of a core");
    ratioLine(QStringLiteral("Repeat rate late / early"), late.perSecond / early.perSecond, 0.95, false);
    session.end();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tag log benchmark"));
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of each Repeat run."),
                                     QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption reads(QStringLiteral("reads"), QStringLiteral("Tag reads counted between the runs."),
                                   QStringLiteral("n"), QStringLiteral("1000000"));
    const QCommandLineOption tags(QStringLiteral("tags"), QStringLiteral("Tags in the field."), QStringLiteral("n"),
                                  QStringLiteral("16"));
    const QCommandLineOption noRepeat(QStringLiteral("no-repeat"), QStringLiteral("Skip the Repeat runs."));
    parser.addOptions({seconds, reads, tags, noRepeat});
    parser.process(app);
    const int tagCount = std::clamp(parser.value(tags).toInt(), 1, 25);

    std::printf("VexaHost tag log benchmark\n");
    infoLine(QStringLiteral("one %1-tag inventory answer into the log").arg(tagCount),
             answerCost(inventoryAnswer(tagCount), 100'000), "us");
    const double logBytes = bytesPerRow(100'000, false);
    const double tableBytes = bytesPerRow(100'000, true);
    infoLine(QStringLiteral("heap per tag row, the log alone (100,000 rows)"), logBytes, "bytes");
    infoLine(QStringLiteral("heap per tag row with the sorted table"), tableBytes, "bytes");
    exportRun(TagLog::kDefaultCap, QStringLiteral("tags.csv"));
    exportRun(TagLog::kDefaultCap, QStringLiteral("tags.xlsx"));
    if (!parser.isSet(noRepeat))
        return repeatRun(std::max(5, parser.value(seconds).toInt()), parser.value(reads).toLongLong(), tagCount);
    return 0;
}
