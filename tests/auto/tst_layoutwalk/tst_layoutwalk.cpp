// Every option panel is usable at the main window's design size and at its
// minimum size: each command of each page is chosen and every visible field
// must be at least as tall as its font, show its caption whole, and lie
// inside the visible area. A field in a scroll area counts as visible when
// scrolling brings it wholly into view. Status bar panels never overlap.
#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

#include "core/link/readerlink.h"
#include "fakes.h"
#include "ui/pages/commandlist.h"
#include "ui/window/mainwindow.h"

using namespace vexa;
using vexa::test::FakeTransport;
using vexa::test::ScriptedPrompt;
using Window = MainWindow;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

// Why `field` is not usable, or an empty text when it is.
QString fieldProblem(QWidget *field, QWidget *window)
{
    QString caption = field->accessibleName();
    if (auto *button = qobject_cast<QAbstractButton *>(field); button && caption.isEmpty())
        caption = button->text();
    if (auto *label = qobject_cast<QLabel *>(field); label && caption.isEmpty())
        caption = label->text();
    if (auto *box = qobject_cast<QGroupBox *>(field); box && caption.isEmpty())
        caption = box->title();
    if (caption.isEmpty())
        caption = field->objectName();
    const QString name = QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(field->metaObject()->className()), caption);
    // Scroll it into view first, through every scroll area it sits in.
    for (QWidget *p = field->parentWidget(); p && p != window; p = p->parentWidget())
        if (auto *area = qobject_cast<QScrollArea *>(p))
            area->ensureWidgetVisible(field, 0, 0);
    settle();

    const int fontHeight = field->fontMetrics().height();
    if (field->height() < fontHeight)
        return QStringLiteral("%1 is %2 px tall, its font %3 px").arg(name).arg(field->height()).arg(fontHeight);
    if (auto *button = qobject_cast<QAbstractButton *>(field); button && !button->text().isEmpty()) {
        if (field->width() < button->sizeHint().width())
            return QStringLiteral("%1 clips its caption (%2 of %3 px)")
                .arg(name).arg(field->width()).arg(button->sizeHint().width());
    }
    if (auto *label = qobject_cast<QLabel *>(field); label && !label->wordWrap() && !label->text().isEmpty()) {
        if (field->width() < label->sizeHint().width())
            return QStringLiteral("%1 clips its caption").arg(label->text());
    }
    if (auto *box = qobject_cast<QGroupBox *>(field)) {
        if (field->width() < box->minimumSizeHint().width())
            return QStringLiteral("group \"%1\" is narrower than its contents").arg(box->title());
    }
    if (auto *grid = qobject_cast<QTableWidget *>(field)) {
        // The header row and at least two value rows.
        if (grid->rowCount() > 0 && grid->viewport()->height() < 3 * grid->rowHeight(0))
            return QStringLiteral("%1 shows fewer than three rows").arg(name);
    }
    // Wholly inside every widget it sits in, up to the window.
    for (QWidget *p = field->parentWidget(); p; p = p->parentWidget()) {
        const QRect inParent(field->mapTo(p, QPoint(0, 0)), field->size());
        const QRect area = p->rect();
        if (!area.contains(inParent))
            return QStringLiteral("%1 at (%2,%3 %4x%5) lies outside %6 (%7x%8)")
                .arg(name).arg(inParent.x()).arg(inParent.y()).arg(inParent.width()).arg(inParent.height())
                .arg(QString::fromLatin1(p->metaObject()->className())).arg(area.width()).arg(area.height());
        if (p == window)
            break;
    }
    return {};
}

QStringList pageProblems(QWidget *page, QWidget *window)
{
    QStringList problems;
    const auto widgets = page->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->isVisible())
            continue;
        const bool field = qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                           qobject_cast<QTableWidget *>(w) || qobject_cast<QAbstractButton *>(w) ||
                           qobject_cast<QLabel *>(w) || qobject_cast<QGroupBox *>(w);
        // A combo box's own edit field is judged with its combo box.
        if (!field || qobject_cast<QComboBox *>(w->parentWidget()))
            continue;
        const QString problem = fieldProblem(w, window);
        if (!problem.isEmpty())
            problems << problem;
    }
    return problems;
}

} // namespace

class tst_LayoutWalk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyCommandOfEveryPage_data();
    void everyCommandOfEveryPage();
    void statusPanelsNeverOverlap_data();
    void statusPanelsNeverOverlap();

private:
    QTemporaryDir m_config;
};

void tst_LayoutWalk::initTestCase()
{
    // The window reads and writes its stored settings: never the real ones.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    vexa::test::isolateWindowTests();
}

void tst_LayoutWalk::everyCommandOfEveryPage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design 678x583") << QSize(678, 583);
    QTest::newRow("minimum 547x480") << QSize(547, 480);
}

void tst_LayoutWalk::everyCommandOfEveryPage()
{
    QFETCH(QSize, size);
    ScriptedPrompt prompt;
    Window w(&prompt);
    auto *transport = new FakeTransport(&w);
    w.session().link().setTransport(transport);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(size); // after the first showing, which restores the stored size
    QTRY_COMPARE(w.size(), size);

    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    QVERIFY(tabs);
    QStringList problems;
    int walked = 0;
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QWidget *panel = tabs->widget(page);
        auto *list = panel->findChild<CommandList *>();
        QVERIFY(list);
        const auto items = list->findChildren<QRadioButton *>();
        for (QRadioButton *item : items) {
            item->click();
            // Commands with a count show as many fields as the count asks
            // for: walk them at their largest and at a middle count.
            QList<std::function<void()>> counts{[] {}};
            if (auto *blocks = panel->findChild<QComboBox *>(QStringLiteral("cmbBxNumBlocks")); blocks && blocks->isVisible())
                counts = {[blocks] { blocks->setEditText(QStringLiteral("4")); },
                          [blocks] { blocks->setEditText(QStringLiteral("8")); }};
            if (auto *blocks = panel->findChild<QLineEdit *>(QStringLiteral("edtNumIsoBlocks")); blocks && blocks->isVisible())
                counts = {[blocks] { blocks->setText(QStringLiteral("8")); }};
            for (const auto &setCount : counts) {
                setCount();
                settle();
                ++walked;
                for (const QString &problem : pageProblems(panel, &w))
                    problems << QStringLiteral("%1 / %2: %3").arg(tabs->tabText(page), item->text(), problem);
            }
        }
    }
    QVERIFY(walked > 20);
    problems.removeDuplicates();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QVERIFY(prompt.messages.isEmpty());
}

void tst_LayoutWalk::statusPanelsNeverOverlap_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("texts");
    // Panels whose text must show whole; the others may give way.
    QTest::addColumn<QList<int>>("whole");
    const QStringList usual{QStringLiteral("COM1"), QStringLiteral("Baud: 38400"), QStringLiteral("Repeat: Off"),
                            QStringLiteral("Tx         Rx"), QStringLiteral("LED: On"), QStringLiteral("Audio: On"),
                            QString(), QStringLiteral(" 23:59:59 ")};
    const QStringList longest{QStringLiteral("COM8"), QStringLiteral("USB Device change "), QStringLiteral("Repeat: Off"),
                              QStringLiteral("Tx         Rx"), QStringLiteral("LED: Off"), QStringLiteral("Audio: Off"),
                              QStringLiteral("Address Reader: 4000123"), QStringLiteral(" 23:59:59 ")};
    const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("design, usual texts") << QSize(678, 583) << usual << all;
    QTest::newRow("minimum, usual texts") << QSize(547, 480) << usual << all;
    QTest::newRow("design, longest texts") << QSize(678, 583) << longest << QList<int>{0, 1, 2, 3, 4, 5, 7};
    QTest::newRow("minimum, longest texts") << QSize(547, 480) << longest << QList<int>{0, 2, 3, 4, 5, 7};
}

void tst_LayoutWalk::statusPanelsNeverOverlap()
{
    QFETCH(QSize, size);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, whole);
    ScriptedPrompt prompt;
    Window w(&prompt);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(size);
    QTRY_COMPARE(w.size(), size);
    QList<QLabel *> panels;
    for (int i = 0; i < texts.size(); ++i) {
        auto *panel = w.findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i));
        QVERIFY(panel);
        panel->setText(texts[i]);
        panels << panel;
    }
    settle();
    QStatusBar *bar = w.statusBar();
    for (int i = 0; i < panels.size(); ++i) {
        QLabel *panel = panels[i];
        const QRect inBar(panel->mapTo(bar, QPoint(0, 0)), panel->size());
        QVERIFY2(panel->isVisible(), qPrintable(panel->objectName()));
        QVERIFY2(bar->rect().contains(inBar), qPrintable(panel->objectName()));
        const int needed = panel->fontMetrics().horizontalAdvance(panel->text()) + 2 * panel->frameWidth();
        if (whole.contains(i))
            QVERIFY2(panel->width() >= needed, qPrintable(QStringLiteral("%1 \"%2\": %3 of %4 px")
                                                              .arg(panel->objectName(), panel->text())
                                                              .arg(panel->width()).arg(needed)));
        for (int j = i + 1; j < panels.size(); ++j)
            QVERIFY2(!inBar.intersects(QRect(panels[j]->mapTo(bar, QPoint(0, 0)), panels[j]->size())),
                     qPrintable(panel->objectName() + QLatin1String(" overlaps ") + panels[j]->objectName()));
    }
}

QTEST_MAIN(tst_LayoutWalk)
#include "tst_layoutwalk.moc"
