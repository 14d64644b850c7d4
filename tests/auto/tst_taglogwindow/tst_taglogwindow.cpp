// The Tag Log window from the keyboard and assistive technology, its place
// kept across runs, Export through it, and Save Report As against the pane.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "core/session/taglog.h"
#include "core/session/taglogexport.h"
#include "core/session/taglogmodel.h"
#include "core/session/readersession.h"
#include "ui/window/mainwindow.h"
#include "controls.h"
#include "fakes.h"
#include "ui/window/responsepane.h"
#include "ui/window/responseprint.h"
#include "ui/window/taglogwindow.h"

using namespace vexa;
using namespace vexa::test;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Two ISO tags, one read twice, and one Tag-it tag.
void fill(TagLog &log)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    log.record(ResponseFamily::Iso15693, {{QStringLiteral("E0040100A1B2C3D4"), {}}, {QStringLiteral("E002030405060708"), {}}}, now);
    log.record(ResponseFamily::Iso15693, {{QStringLiteral("E0040100A1B2C3D4"), {}}}, now);
    log.record(ResponseFamily::Tagit, {{QStringLiteral("12345678"), {{1, QStringLiteral("00000001")}}}}, now);
}

} // namespace

class TestTagLogWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void mainWindowOpensItAndKeepsItOpen();
    void keyboardAndAssistiveTechnology();
    void sortFromTheKeyboard();
    void statusFilterAndClear_data();
    void statusFilterAndClear();
    void placeKeptAcrossRuns();
    void firstPlaceIsOnTheScreen_data();
    void firstPlaceIsOnTheScreen();
    void exportWritesTheLog();
    void saveReportAs_data();
    void saveReportAs();
    void saveReportAsAsksAgainOnFailure();
};

void TestTagLogWindow::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tst_taglogwindow_config");
    isolateWindowTests();
}

// F7 opens it beside the main window; open at the close, it opens again at
// the next start.
void TestTagLogWindow::mainWindowOpensItAndKeepsItOpen()
{
    ScriptedPrompt prompt;
    {
        MainWindow w(&prompt);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(!w.findChild<TagLogWindow *>());
        QTest::keyClick(&w, Qt::Key_F7);
        auto *log = w.findChild<TagLogWindow *>();
        QVERIFY(log);
        QTRY_VERIFY(log->isVisible());
        QVERIFY(w.findChild<QAction *>(QStringLiteral("SaveReportAs1")));
        const QList<TagSighting> tag{{QStringLiteral("E004015000000001"), {}}};
        w.session().tagLog().record(ResponseFamily::Iso15693, tag, 0);
        w.session().tagPresence().record(ResponseFamily::Iso15693, tag, QDateTime::currentMSecsSinceEpoch());
        log->model().update(); // the state column is the session's presence:
        QCOMPARE(log->model().index(0, TagLogModel::StateColumn).data().toString(), QStringLiteral("present"));
        w.close();
    }
    QVERIFY(QString::fromUtf8(fileBytes(settingsFilePath())).contains(QStringLiteral("[Tag Log]\nVisible=1\n")));
    MainWindow again(&prompt);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    auto *log = again.findChild<TagLogWindow *>();
    QVERIFY(log);
    QTRY_VERIFY(log->isVisible());
    again.close();
}

void TestTagLogWindow::keyboardAndAssistiveTechnology()
{
    TagLog log;
    ScriptedPrompt prompt;
    QWidget main;
    TagLogWindow window(log, prompt, {}, &main);
    window.showBeside();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *family = &control<QComboBox>(window, QStringLiteral("tagLogFamily"));
    auto *sort = &control<QComboBox>(window, QStringLiteral("tagLogSort"));
    auto *descending = &control<QCheckBox>(window, QStringLiteral("tagLogDescending"));
    auto *table = &control<QTableView>(window, QStringLiteral("tagLogTable"));
    auto *clear = &control<QPushButton>(window, QStringLiteral("btnTagLogClear"));
    auto *exportButton = &control<QPushButton>(window, QStringLiteral("btnTagLogExport"));
    QVERIFY(family && table && clear && exportButton);

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(table);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Tag Log"));
    QCOMPARE(iface->role(), QAccessible::Table);

    // Alt+F reaches the family list; Tab walks the lists, table, Clear, Export.
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), family);
    for (QWidget *next : std::initializer_list<QWidget *>{sort, descending, table, clear, exportButton}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), next);
    }
    // Escape puts it away; the log is not touched.
    fill(log);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(log.count(), 3);
}

// The header sorts with the mouse; "Sort by" and "Descending" do the same
// from the keyboard and follow the header.
void TestTagLogWindow::sortFromTheKeyboard()
{
    TagLog log;
    fill(log);
    ScriptedPrompt prompt;
    QWidget main;
    TagLogWindow window(log, prompt, {}, &main);
    window.showBeside();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto &sort = control<QComboBox>(window, QStringLiteral("tagLogSort"));
    auto &descending = control<QCheckBox>(window, QStringLiteral("tagLogDescending"));
    auto &table = control<QTableView>(window, QStringLiteral("tagLogTable"));
    QTRY_COMPARE(table.model()->rowCount(), 3);
    const auto firstTag = [&] { return table.model()->index(0, TagLogModel::TagColumn).data().toString(); };
    QCOMPARE(sort.currentText(), QStringLiteral("First Seen"));

    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), &sort);
    QTest::keyClick(&sort, Qt::Key_Home);
    QTest::keyClick(&sort, Qt::Key_Down);
    QCOMPARE(table.horizontalHeader()->sortIndicatorSection(), int(TagLogModel::TagColumn));
    QCOMPARE(firstTag(), QStringLiteral("12345678"));
    QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
    QTRY_VERIFY(descending.isChecked());
    QCOMPARE(firstTag(), QStringLiteral("E0040100A1B2C3D4"));

    QHeaderView *header = table.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(TagLogModel::ReadsColumn) + 5, header->height() / 2));
    QCOMPARE(sort.currentIndex(), int(TagLogModel::ReadsColumn));
    QCOMPARE(descending.isChecked(), header->sortIndicatorOrder() == Qt::DescendingOrder);
}

void TestTagLogWindow::statusFilterAndClear_data()
{
    QTest::addColumn<int>("familyItem");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("rows");
    QTest::newRow("All") << 0 << "3 tags, 4 reads" << 3;
    QTest::newRow("ISO/IEC 15693") << 1 << "2 tags, 3 reads" << 2;
    QTest::newRow("Tag-it") << 2 << "1 tags, 1 reads" << 1;
    QTest::newRow("ISO/IEC 14443-A") << 3 << "0 tags, 0 reads" << 0;
}

void TestTagLogWindow::statusFilterAndClear()
{
    QFETCH(int, familyItem);
    QFETCH(QString, status);
    QFETCH(int, rows);
    TagLog log;
    ScriptedPrompt prompt;
    TagLogWindow window(log, prompt, {}, nullptr);
    auto *statusLine = &control<QLabel>(window, QStringLiteral("tagLogStatus"));
    auto *table = &control<QTableView>(window, QStringLiteral("tagLogTable"));
    QCOMPARE(statusLine->text(), QStringLiteral("0 tags, 0 reads"));
    fill(log);
    control<QComboBox>(window, QStringLiteral("tagLogFamily")).setCurrentIndex(familyItem);
    QTRY_COMPARE(statusLine->text(), status); // after the next batch
    QTRY_COMPARE(table->model()->rowCount(), rows);
    control<QPushButton>(window, QStringLiteral("btnTagLogClear")).click();
    QCOMPARE(log.count(), 0);
    QCOMPARE(table->model()->rowCount(), 0);
    QCOMPARE(statusLine->text(), QStringLiteral("0 tags, 0 reads"));
}

void TestTagLogWindow::placeKeptAcrossRuns()
{
    TagLog log;
    ScriptedPrompt prompt;
    QWidget main;
    main.setGeometry(40, 40, 300, 200);
    main.show();
    TagLogPlacement kept;
    {
        TagLogWindow window(log, prompt, {}, &main);
        // Never opened this run: what was stored stays as it was.
        const TagLogPlacement stored{false, 5, 6, 700, 300, {10, 20}};
        QCOMPARE(TagLogWindow(log, prompt, stored, &main).placement(), stored);
        window.showBeside();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.x() > main.x()); // beside the main window the first time
        window.resize(610, 270);
        control<QTableView>(window, QStringLiteral("tagLogTable")).setColumnWidth(1, 177);
        control<QComboBox>(window, QStringLiteral("tagLogSort")).setCurrentIndex(TagLogModel::ReadsColumn);
        control<QCheckBox>(window, QStringLiteral("tagLogDescending")).setChecked(true);
        kept = window.placement();
        QVERIFY(kept.visible);
        QCOMPARE(kept.width, 610);
        QCOMPARE(kept.columnWidths.size(), int(TagLogModel::ColumnCount));
        QCOMPARE(kept.columnWidths[1], 177);
    }
    TagLogWindow again(log, prompt, kept, &main);
    again.showBeside();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.size(), QSize(610, 270));
    QCOMPARE(control<QTableView>(again, QStringLiteral("tagLogTable")).columnWidth(1), 177);
    const QHeaderView *header = control<QTableView>(again, QStringLiteral("tagLogTable")).horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), int(TagLogModel::ReadsColumn));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(control<QComboBox>(again, QStringLiteral("tagLogSort")).currentIndex(), int(TagLogModel::ReadsColumn));
    QVERIFY(control<QCheckBox>(again, QStringLiteral("tagLogDescending")).isChecked());

    // Kept from a monitor since removed, only its right edge on this one:
    // beside the main window again, where it can be reached.
    TagLogPlacement gone = kept;
    gone.left = 5 - gone.width;
    gone.top = 100;
    TagLogWindow lost(log, prompt, gone, &main);
    lost.showBeside();
    QVERIFY(QTest::qWaitForWindowExposed(&lost));
    QVERIFY(QGuiApplication::screenAt(lost.pos() + QPoint(20, 20)));
}

void TestTagLogWindow::firstPlaceIsOnTheScreen_data()
{
    QTest::addColumn<QRect>("mainFrame");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("frame");
    const QRect screen(0, 0, 1280, 900);
    QTest::newRow("room on the right") << QRect(0, 0, 680, 605) << QSize(580, 340) << screen
                                       << QRect(688, 0, 580, 340);
    QTest::newRow("no room right: left of it") << QRect(600, 100, 680, 605) << QSize(580, 340) << screen
                                               << QRect(12, 100, 580, 340);
    QTest::newRow("no room either side: narrower on the wider") << QRect(0, 0, 680, 605) << QSize(660, 340)
                                                                << screen << QRect(688, 0, 592, 340);
    QTest::newRow("narrower on the left") << QRect(700, 0, 500, 605) << QSize(900, 340) << screen
                                          << QRect(0, 0, 692, 340);
    QTest::newRow("too little room beside: over it at the right edge")
        << QRect(0, 0, 1000, 605) << QSize(660, 340) << screen << QRect(620, 0, 660, 340);
    QTest::newRow("low main window: pulled up") << QRect(0, 700, 680, 605) << QSize(580, 340) << screen
                                                << QRect(688, 560, 580, 340);
    QTest::newRow("larger than the screen: shrunk") << QRect(0, 0, 1000, 605) << QSize(1600, 1000) << screen
                                                    << screen;
    QTest::newRow("second screen's origin") << QRect(1300, 50, 680, 605) << QSize(660, 340)
                                            << QRect(1280, 0, 1280, 1024) << QRect(1988, 50, 572, 340);
    QTest::newRow("no screen known: right of it") << QRect(0, 0, 680, 605) << QSize(660, 340) << QRect()
                                                  << QRect(688, 0, 660, 340);
}

void TestTagLogWindow::firstPlaceIsOnTheScreen()
{
    QFETCH(QRect, mainFrame);
    QFETCH(QSize, size);
    QFETCH(QRect, available);
    QFETCH(QRect, frame);
    QCOMPARE(TagLogWindow::besideFrame(mainFrame, size, available), frame);
}

void TestTagLogWindow::exportWritesTheLog()
{
    TagLog log;
    fill(log);
    ScriptedPrompt prompt;
    TagLogWindow window(log, prompt, {}, nullptr);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("tags"));
    window.chooseExportFile = [&] { return base; };
    QSignalSpy finished(&window.exporter(), &TagLogExport::finished);
    control<QPushButton>(window, QStringLiteral("btnTagLogExport")).click();
    QVERIFY(finished.wait(10'000));
    QCOMPARE(fileBytes(base + QStringLiteral(".csv")).count('\n'), 4); // header and three tags
    QCOMPARE(prompt.messages, QStringList());

    // A folder that is not there: the operator is told why.
    window.chooseExportFile = [&] { return dir.filePath(QStringLiteral("missing/tags.csv")); };
    control<QPushButton>(window, QStringLiteral("btnTagLogExport")).click();
    QVERIFY(finished.wait(10'000));
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(prompt.messages.first().startsWith(QStringLiteral("The tag log could not be saved as ")));
}

void TestTagLogWindow::saveReportAs_data()
{
    QTest::addColumn<int>("lineCap"); // of the pane; 0: the default
    QTest::addColumn<int>("reports");
    QTest::newRow("empty pane") << 0 << 0;
    QTest::newRow("three reports") << 0 << 3;
    // The oldest report kept loses its bottom line.
    QTest::newRow("older lines dropped: the note first") << 11 << 8;
}

void TestTagLogWindow::saveReportAs()
{
    QFETCH(int, lineCap);
    QFETCH(int, reports);
    ScriptedPrompt prompt;
    QWidget window;
    auto *pane = new ResponsePane(&window);
    if (lineCap)
        pane->setCaps(lineCap);
    // In turn: heading, details and separator; a heading alone; details
    // under a separator without a heading.
    QList<qsizetype> sizes;
    for (int i = 0; i < reports; ++i) {
        const QString clock = QStringLiteral(" 12:00:0%1 ").arg(i);
        Report r;
        r.separator = true;
        if (i % 3 == 1) {
            pane->writeHeading(QStringLiteral("Error: Message timeout"), clock);
            sizes << 1;
            continue;
        }
        if (i % 3 == 0) {
            r.heading = QStringLiteral("ISO Inventory: %1").arg(i);
            r.lines << QStringLiteral("    01   E0040100A1B2C3D4");
        }
        r.lines << QStringLiteral("    Größe µ %1").arg(i);
        pane->writeReport(r, clock);
        sizes << ResponsePane::reportLines(r, clock).size();
    }
    ResponsePrint print(*pane, prompt, &window);
    QTemporaryDir dir;
    print.chooseTextFile = [&] { return dir.filePath(QStringLiteral("report")); };
    QVERIFY(print.saveReportAs());

    // The pane's text cut into its reports (the newest on top), oldest first.
    QStringList shown = pane->lines(), expected;
    if (lineCap)
        expected << shown.takeLast(); // the drop note
    QStringList newer;
    for (qsizetype i = sizes.size() - 1; i >= 0 && !shown.isEmpty(); --i) {
        const QStringList report = shown.mid(0, sizes[i]);
        shown.remove(0, report.size());
        newer = report + newer;
    }
    expected += newer;
    const QString written = QString::fromUtf8(fileBytes(dir.filePath(QStringLiteral("report.txt"))));
    QCOMPARE(written.split(QLatin1Char('\n')), expected + QStringList{QString()});
    if (lineCap)
        QVERIFY(written.startsWith(QStringLiteral("    ... ")));
}

void TestTagLogWindow::saveReportAsAsksAgainOnFailure()
{
    ScriptedPrompt prompt;
    QWidget window;
    auto *pane = new ResponsePane(&window);
    pane->writeHeading(QStringLiteral("Error: Message timeout"), QStringLiteral(" 12:00:00 "));
    ResponsePrint print(*pane, prompt, &window);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    QStringList answers = {dir.filePath(QStringLiteral("folder.txt")), dir.filePath(QStringLiteral("ok.txt"))};
    print.chooseTextFile = [&] { return answers.takeFirst(); };
    QVERIFY(print.saveReportAs());
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(prompt.messages.first().endsWith(QStringLiteral("Choose another file.")));
    QVERIFY(fileBytes(dir.filePath(QStringLiteral("ok.txt"))).endsWith("Error: Message timeout\n"));
    print.chooseTextFile = [] { return QString(); }; // cancelled
    QVERIFY(!print.saveReportAs());
}

QTEST_MAIN(TestTagLogWindow)
#include "tst_taglogwindow.moc"
