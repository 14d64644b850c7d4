// The panes that show the newest line first: the line store under them
// (order, caps and the drop note, offsets for assistive technology) and the
// widgets (colours and styles as drawn, selection, copy, Clear).
#include <QtTest>

#include <QAccessible>
#include <QClipboard>
#include <QRandomGenerator>
#include <QScrollBar>

#include "core/util/linestore.h"
#include "ui/window/responsepane.h"

using namespace vexa;

namespace {

Report report(int n, int details, bool separator = true)
{
    Report r;
    r.separator = separator;
    r.heading = QStringLiteral("Report %1").arg(n);
    for (int i = 0; i < details; ++i)
        r.lines << QStringLiteral("    %1.%2").arg(n).arg(i);
    return r;
}

// Pixels of a drawn line that are not the background.
QList<QColor> ink(const QImage &image, const QRect &band, const QColor &background)
{
    QList<QColor> result;
    for (int y = std::max(0, band.top()); y <= std::min(image.height() - 1, band.bottom()); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QColor c = image.pixelColor(x, y); c != background)
                result << c;
    return result;
}

} // namespace

class tst_ResponsePane : public QObject
{
    Q_OBJECT
private slots:
    void newestFirstAcrossManyReports();
    void reportLayout_data();
    void reportLayout();
    void capDropsOldestAndSaysSo_data();
    void capDropsOldestAndSaysSo();
    void characterCapBoundsLongLines();
    void offsetsMatchTheJoinedText_data();
    void offsetsMatchTheJoinedText();
    void lineBreaksStayInOneLine();
    void headingAndDetailAsDrawn();
    void messageViewOrderAndClear();
    void keyboardSelectAndCopy();
    void returnGoesToTheWindow();
    void selectionFollowsItsTextWhenLinesArrive();
    void viewFollowsItsTextUnlessAtTheTop();
    void paneSaysWhatItDropped();
    void accessibleText();
};

void tst_ResponsePane::newestFirstAcrossManyReports()
{
    ResponsePane pane;
    const int reports = 3000;
    for (int n = 0; n < reports; ++n)
        pane.writeReport(report(n, n % 4), QStringLiteral(" 10:00:00 "));
    const QStringList lines = pane.lines();
    // Read from the top: each report's heading, its details, its separator,
    // newest report first.
    qsizetype at = 0;
    for (int n = reports - 1; n >= 0; --n) {
        QCOMPARE(lines.at(at++), QStringLiteral(" 10:00:00  -  Report %1").arg(n));
        for (int i = 0; i < n % 4; ++i)
            QCOMPARE(lines.at(at++), QStringLiteral("    %1.%2").arg(n).arg(i));
        QCOMPARE(lines.at(at++), QString());
    }
    QCOMPARE(at, lines.size());
    QCOMPARE(pane.store().style(0), LineStyle::Heading);
    QCOMPARE(pane.store().style(1), LineStyle::Detail);
}

void tst_ResponsePane::reportLayout_data()
{
    QTest::addColumn<bool>("separator");
    QTest::addColumn<bool>("heading");
    QTest::addColumn<QStringList>("expected");
    // The older report below is "old".
    QTest::newRow("heading and separator") << true << true << QStringList{"T -  H", "    a", "    b", "", "old"};
    QTest::newRow("heading only") << false << true << QStringList{"T -  H", "    a", "    b", "old"};
    // A handler that knows no heading still reports the status error under
    // its separator.
    QTest::newRow("separator only") << true << false << QStringList{"", "    a", "    b", "old"};
    QTest::newRow("details only") << false << false << QStringList{"    a", "    b", "old"};
}

void tst_ResponsePane::reportLayout()
{
    QFETCH(bool, separator);
    QFETCH(bool, heading);
    QFETCH(QStringList, expected);
    ResponsePane pane;
    pane.addLine(QStringLiteral("old"));
    Report r;
    r.separator = separator;
    if (heading)
        r.heading = QStringLiteral("H");
    r.lines << QStringLiteral("    a") << QStringLiteral("    b");
    pane.writeReport(r, QStringLiteral("T"));
    QCOMPARE(pane.lines(), expected);
}

void tst_ResponsePane::capDropsOldestAndSaysSo_data()
{
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("added");
    QTest::newRow("small") << 10 << 55;
    QTest::newRow("one chunk") << 64 << 64;
    QTest::newRow("many chunks") << 5000 << 23456;
}

void tst_ResponsePane::capDropsOldestAndSaysSo()
{
    QFETCH(int, cap);
    QFETCH(int, added);
    LineStore store(cap);
    for (int i = 0; i < added; ++i)
        store.addOnTop(QString::number(i));
    QVERIFY(store.keptLines() <= cap);
    QVERIFY(store.keptLines() >= cap - cap / 8); // drops take little more than needed
    QCOMPARE(store.keptLines() + store.droppedLines(), qsizetype(added));
    // The newest lines are kept, in order, and the oldest went.
    for (qsizetype i = 0; i < store.keptLines(); ++i)
        QCOMPARE(store.text(i), QString::number(added - 1 - i));
    if (added > cap) {
        QCOMPARE(store.count(), store.keptLines() + 1);
        const QString note = store.text(store.count() - 1);
        QVERIFY2(note.contains(QString::number(store.droppedLines())), qPrintable(note));
        QVERIFY2(note.contains(QString::number(cap)), qPrintable(note));
        QCOMPARE(store.style(store.count() - 1), LineStyle::Detail);
    } else {
        QCOMPARE(store.count(), store.keptLines());
    }
    store.clear();
    QCOMPARE(store.count(), 0);
    QCOMPARE(store.droppedLines(), 0);
    QCOMPARE(store.characterCount(), 0);
}

void tst_ResponsePane::characterCapBoundsLongLines()
{
    LineStore store(1000, 10'000);
    const QString longLine(700, u'A');
    for (int i = 0; i < 200; ++i)
        store.addOnTop(longLine);
    QVERIFY(store.characterCount() <= 10'000 + 200);
    QVERIFY(store.droppedLines() > 0);
    QCOMPARE(store.text(0), longLine);
}

void tst_ResponsePane::offsetsMatchTheJoinedText_data()
{
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("added");
    QTest::newRow("no drop") << 1000 << 300;
    QTest::newRow("drops") << 40 << 300;
}

void tst_ResponsePane::offsetsMatchTheJoinedText()
{
    QFETCH(int, cap);
    QFETCH(int, added);
    LineStore store(cap);
    QRandomGenerator random(7);
    for (int i = 0; i < added; ++i)
        store.addOnTop(QString(int(random.bounded(12)), QChar(u'a' + i % 26)),
                       i % 5 ? LineStyle::Detail : LineStyle::Heading);
    const QString joined = store.lines().join(u'\n');
    QCOMPARE(store.characterCount(), joined.size());
    for (qsizetype line = 0; line < store.count(); ++line) {
        const qsizetype start = store.offsetOfLine(line);
        QCOMPARE(joined.mid(start, store.length(line)), store.text(line));
        QVERIFY(start == 0 || joined.at(start - 1) == u'\n');
        for (qsizetype column = 0; column <= store.length(line); ++column)
            QCOMPARE(store.lineAtOffset(start + column), line);
    }
    for (int i = 0; i < 50; ++i) {
        const qsizetype a = random.bounded(int(store.count())), b = random.bounded(int(store.count()));
        const qsizetype from = std::min(a, b), to = std::max(a, b);
        const qsizetype fromColumn = store.length(from) / 2, toColumn = store.length(to);
        QCOMPARE(store.text(from, fromColumn, to, toColumn),
                 joined.mid(store.offsetOfLine(from) + fromColumn,
                            store.offsetOfLine(to) + toColumn - store.offsetOfLine(from) - fromColumn));
    }
}

void tst_ResponsePane::lineBreaksStayInOneLine()
{
    LineStore store;
    store.addOnTop(QStringLiteral("a\nb\rc"));
    QCOMPARE(store.count(), 1);
    QCOMPARE(store.text(0), QStringLiteral("a b c"));
}

void tst_ResponsePane::headingAndDetailAsDrawn()
{
    ResponsePane pane;
    pane.resize(500, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const QString text = QStringLiteral("WWWW 0123 Block Data");
    pane.addLine(text, LineStyle::Detail);
    pane.addLine(text, LineStyle::Heading); // line 0 heading, line 1 detail
    pane.addLine(QStringLiteral("    Block Number: 7")); // nothing black below the first line
    QCOMPARE(pane.textColour(), QColor(0, 0, 255));
    QVERIFY(pane.lineFont(LineStyle::Heading).bold() && pane.lineFont(LineStyle::Heading).italic());
    QVERIFY(!pane.lineFont(LineStyle::Detail).bold() && !pane.lineFont(LineStyle::Detail).italic());
    QCOMPARE(pane.lineFont(LineStyle::Detail).pixelSize(), 12);

    const QImage image = pane.viewport()->grab().toImage();
    const QColor background = pane.palette().color(QPalette::Base);
    QList<int> inkCount;
    for (int line = 0; line < 3; ++line) {
        const QList<QColor> pixels = ink(image, pane.lineRect(line), background);
        QVERIFY2(pixels.size() > 20, qPrintable(QStringLiteral("line %1 not drawn").arg(line)));
        for (const QColor &c : pixels) // blue on white, however smoothed
            QVERIFY2(c.blue() > 200 && c.red() == c.green() && c.red() < c.blue(),
                     qPrintable(QStringLiteral("line %1 has %2").arg(line).arg(c.name())));
        inkCount << int(pixels.size());
    }
    // Line 1 (detail) and line 2 (detail, same text as the heading): bold
    // puts more ink on the page.
    QVERIFY2(inkCount[1] > inkCount[2] * 11 / 10, qPrintable(QStringLiteral("%1 %2").arg(inkCount[1]).arg(inkCount[2])));
}

void tst_ResponsePane::messageViewOrderAndClear()
{
    LinePane view(11);
    QCOMPARE(view.lineFont(LineStyle::Detail).pixelSize(), 11);
    for (int i = 0; i < 500; ++i)
        view.addLine(QStringLiteral("Host -- %1").arg(i));
    QCOMPARE(view.lines().size(), 500);
    QCOMPARE(view.lines().first(), QStringLiteral("Host -- 499"));
    QCOMPARE(view.lines().last(), QStringLiteral("Host -- 0"));
    view.selectAll();
    view.clear();
    QVERIFY(view.lines().isEmpty());
    QVERIFY(!view.hasSelection());
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);
}

void tst_ResponsePane::keyboardSelectAndCopy()
{
    ResponsePane pane;
    pane.resize(400, 150);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.writeHeading(QStringLiteral("First:"), QStringLiteral(" 10:00:00 "));
    pane.writeHeading(QStringLiteral("Second:"), QStringLiteral(" 10:00:01 "));
    pane.setFocus();
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral(" 10:00:01  -  Second:\n 10:00:00  -  First:"));
    // From the top: Shift+Down, Shift+End takes the first line and the second.
    QTest::keyClick(&pane, Qt::Key_Home, Qt::ControlModifier);
    QVERIFY(!pane.hasSelection());
    QTest::keyClick(&pane, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&pane, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), QStringLiteral(" 1"));
    QTest::keyClick(&pane, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&pane, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), pane.lines().join(u'\n'));
    // Dragging with the mouse selects too.
    const QRect top = pane.lineRect(0);
    QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, top.center());
    QTest::mouseMove(pane.viewport(), pane.lineRect(1).center());
    QTest::mouseRelease(pane.viewport(), Qt::LeftButton, {}, pane.lineRect(1).center());
    QVERIFY(pane.selectedText().contains(u'\n'));
}

void tst_ResponsePane::returnGoesToTheWindow()
{
    QWidget window;
    class KeyCatcher : public QObject
    {
    public:
        int returns = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return)
                ++returns;
            return false;
        }
    } catcher;
    auto *pane = new ResponsePane(&window);
    window.installEventFilter(&catcher);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Return);
    QCOMPARE(catcher.returns, 1);
}

void tst_ResponsePane::selectionFollowsItsTextWhenLinesArrive()
{
    ResponsePane pane;
    pane.addLine(QStringLiteral("keep me"));
    pane.select({0, 0}, {0, 4});
    QCOMPARE(pane.selectedText(), QStringLiteral("keep"));
    pane.writeReport(report(1, 3), QStringLiteral("T"));
    QCOMPARE(pane.selectedText(), QStringLiteral("keep"));
}

void tst_ResponsePane::viewFollowsItsTextUnlessAtTheTop()
{
    ResponsePane pane;
    pane.resize(300, 120);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    for (int n = 0; n < 100; ++n)
        pane.writeReport(report(n, 2), QStringLiteral("T"));
    QTRY_VERIFY(pane.verticalScrollBar()->maximum() > 100);
    // At the top the newest report stays in sight.
    pane.writeReport(report(100, 2), QStringLiteral("T"));
    QTRY_COMPARE(pane.verticalScrollBar()->maximum(), int(pane.store().count()) - pane.verticalScrollBar()->pageStep());
    QCOMPARE(pane.verticalScrollBar()->value(), 0);
    // Scrolled down, the lines in sight stay in sight.
    pane.verticalScrollBar()->setValue(40);
    const QString inSight = pane.store().text(40);
    pane.writeReport(report(101, 2), QStringLiteral("T"));
    QTRY_COMPARE(pane.verticalScrollBar()->value(), 44);
    QCOMPARE(pane.store().text(44), inSight);
}

void tst_ResponsePane::paneSaysWhatItDropped()
{
    ResponsePane pane;
    pane.setCaps(100);
    for (int n = 0; n < 40; ++n)
        pane.writeReport(report(n, 2), QStringLiteral("T"));
    const QStringList lines = pane.lines();
    QVERIFY(lines.size() <= 101);
    QCOMPARE(lines.first(), QStringLiteral("T -  Report 39"));
    QVERIFY2(lines.last().contains(QStringLiteral("%1 older lines dropped").arg(pane.store().droppedLines())),
             qPrintable(lines.last()));
    pane.clear();
    QVERIFY(pane.lines().isEmpty());
}

void tst_ResponsePane::accessibleText()
{
    ResponsePane pane;
    pane.setAccessibleName(QStringLiteral("Reader Response"));
    pane.writeReport(report(1, 2), QStringLiteral("T"));
    pane.writeReport(report(2, 1), QStringLiteral("T"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&pane);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Reader Response"));
    QVERIFY(iface->state().readOnly);
    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text);
    const QString joined = pane.lines().join(u'\n');
    QCOMPARE(text->characterCount(), joined.size());
    QCOMPARE(text->text(0, text->characterCount()), joined);
    text->setSelection(0, 4, 9);
    QCOMPARE(pane.selectedText(), joined.mid(4, 5));
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(start, 4);
    QCOMPARE(end, 9);
    QCOMPARE(text->cursorPosition(), 9);
}

QTEST_MAIN(tst_ResponsePane)
#include "tst_responsepane.moc"
