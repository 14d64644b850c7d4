// Every control works through assistive technology and the keyboard: the
// accessible actions of Go, Repeat and the "Command Type" items do what a
// click does, no action waits for the box it opens, combo boxes are named
// by their labels and tell their item as text, and Go and Repeat have keys.
#include <QtTest>

#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include "core/codecs/iso15693.h"
#include "core/link/portmap.h"
#include "controls.h"
#include "fakes.h"
#include "core/link/readerlink.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responseprint.h"

using namespace vexa;
using vexa::test::control;
using vexa::test::FakeTransport;
using vexa::test::ScriptedPrompt;
using vexa::test::statusPanel;

namespace {

QAccessibleActionInterface *actions(QObject *control)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
    return iface ? iface->actionInterface() : nullptr;
}

// "Press" on a tool button, and the click it queues.
bool pressAndWait(QToolButton *button)
{
    actions(button)->doAction(QAccessibleActionInterface::pressAction());
    return QTest::qWaitFor([button] { return !button->isDown(); });
}

QAccessible::State state(QObject *control)
{
    return QAccessible::queryAccessibleInterface(control)->state();
}

// Which of the page's option controls are shown.
QStringList shownOptions(QWidget *page)
{
    QStringList shown;
    const auto widgets = page->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        const bool option = qobject_cast<QGroupBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                            qobject_cast<QComboBox *>(w) || qobject_cast<QTableWidget *>(w);
        if (option && !qobject_cast<CommandList *>(w) && w->isVisibleTo(page))
            shown << w->objectName() + QLatin1Char('/') + w->accessibleName();
    }
    shown.sort();
    return shown;
}

// The menu at `path` ("Settings/Baud Rate"), captions read without their
// access-key marks; the menu bar's own items for an empty path.
QList<QAction *> menuItems(QMenuBar *bar, const QString &path)
{
    QList<QAction *> items = bar->actions();
    for (const QString &caption : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QMenu *menu = nullptr;
        for (QAction *a : std::as_const(items))
            if (a->menu() && QString(a->text()).remove(QLatin1Char('&')) == caption)
                menu = a->menu();
        if (!menu)
            return {};
        items = menu->actions();
    }
    return items;
}

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void goAndRepeatOfferPress_data();
    void goAndRepeatOfferPress();
    void goPressSendsOnce();
    void repeatPressStaysInStep();
    void commandItemSelectedByAnyMeans_data();
    void commandItemSelectedByAnyMeans();
    void selectedItemSendsWithItsFields();
    void comboBoxesNamedByLabel_data();
    void comboBoxesNamedByLabel();
    void keysForGoRepeatAndMenus();
    void actionReturnsBeforeItsBox_data();
    void actionReturnsBeforeItsBox();
    void menuAccessKeys_data();
    void menuAccessKeys();

private:
    ScriptedPrompt m_prompt;
    FakeTransport *m_transport = nullptr;
    MainWindow *m_window = nullptr;
};

void tst_Accessibility::init()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tst_accessibility_config");
    vexa::test::isolateWindowTests();
    m_prompt.messages.clear();
    m_prompt.confirmations.clear();
    m_window = new MainWindow(&m_prompt);
    m_transport = new FakeTransport(m_window);
    m_window->session().link().setTransport(m_transport);
    control<QTabWidget>(*m_window, "PageControl1").setCurrentIndex(1); // "Read UID": Go always sends
}

void tst_Accessibility::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_Accessibility::goAndRepeatOfferPress_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("Go") << "btnSend" << "Go" << "F5";
    QTest::newRow("Repeat") << "btnContinuous" << "Repeat" << "F6";
}

void tst_Accessibility::goAndRepeatOfferPress()
{
    QFETCH(QString, button);
    QFETCH(QString, name);
    QFETCH(QString, key);
    auto *b = m_window->findChild<QToolButton *>(button);
    QVERIFY(b);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
    QVERIFY(iface && iface->actionInterface());
    const QStringList names = iface->actionInterface()->actionNames();
    QVERIFY2(names.contains(QAccessibleActionInterface::pressAction()), qPrintable(names.join(',')));
    QVERIFY2(!names.contains(QAccessibleActionInterface::toggleAction()), qPrintable(names.join(',')));
    QCOMPARE(iface->role(), QAccessible::Button);
    QVERIFY(iface->state().checkable);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QVERIFY(iface->text(QAccessible::Description).contains(key));
}

void tst_Accessibility::goPressSendsOnce()
{
    MainWindow &w = *m_window;
    auto &go = control<QToolButton>(w, "btnSend");
    QVERIFY(pressAndWait(&go));
    QCOMPARE(m_transport->written.size(), 1);
    QVERIFY(!state(&go).checked);
    QVERIFY(!go.isChecked());
    QVERIFY(!control<QAction>(w, "Send1").isChecked());
    QCOMPARE(go.text(), QStringLiteral("Go"));
}

void tst_Accessibility::repeatPressStaysInStep()
{
    MainWindow &w = *m_window;
    auto &repeatButton = control<QToolButton>(w, "btnContinuous");
    auto &go = control<QToolButton>(w, "btnSend");
    auto repeatInStep = [&](bool on) {
        QCOMPARE(bool(state(&repeatButton).checked), on);
        QCOMPARE(repeatButton.isChecked(), on);
        QCOMPARE(control<QAction>(w, "ContinuousMode1").isChecked(), on);
        QCOMPARE(statusPanel(w, 2).text(), on ? QStringLiteral("Repeat: On") : QStringLiteral("Repeat: Off"));
    };
    auto press = [](QToolButton *button) { QVERIFY(pressAndWait(button)); };

    press(&repeatButton);
    repeatInStep(true);
    press(&go); // starts the cycle: Pause
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(QAccessible::queryAccessibleInterface(&go)->text(QAccessible::Name), QStringLiteral("Pause"));
    QVERIFY(state(&go).checked);
    QVERIFY(control<QAction>(w, "Send1").isChecked());
    press(&go); // Pause: nothing sent
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QVERIFY(!state(&go).checked);
    QVERIFY(!control<QAction>(w, "Send1").isChecked());

    // The menu item and the button are one control.
    control<QAction>(w, "ContinuousMode1").trigger();
    repeatInStep(false);
    press(&repeatButton);
    repeatInStep(true);
    press(&repeatButton);
    repeatInStep(false);
}

void tst_Accessibility::commandItemSelectedByAnyMeans_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("means");
    for (const char *means : {"assistive technology", "code"}) {
        QTest::addRow("ISO/IEC 15693, %s", means) << 0 << QString::fromLatin1(means);
        QTest::addRow("Tag-it, %s", means) << 2 << QString::fromLatin1(means);
    }
}

void tst_Accessibility::commandItemSelectedByAnyMeans()
{
    QFETCH(int, page);
    QFETCH(QString, means);
    MainWindow &w = *m_window;
    auto &tabs = control<QTabWidget>(w, "PageControl1");
    tabs.setCurrentIndex(page);
    QWidget *panel = tabs.widget(page);
    auto *list = panel->findChild<CommandList *>();
    QVERIFY(list);
    const auto items = list->findChildren<QRadioButton *>();
    QVERIFY(items.size() > 3);
    for (int i = 0; i < items.size(); ++i) {
        // What a click shows for item i, coming from another item.
        const int other = (i + 1) % int(items.size());
        items[other]->click();
        items[i]->click();
        const QStringList clicked = shownOptions(panel);
        items[other]->click();
        if (means == QLatin1String("code")) {
            list->setItemIndex(i);
        } else {
            QAccessibleActionInterface *act = actions(items[i]);
            QVERIFY(act);
            QVERIFY(act->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            act->doAction(QAccessibleActionInterface::toggleAction());
        }
        QCOMPARE(list->itemIndex(), i);
        QVERIFY(items[i]->isChecked());
        QCOMPARE(shownOptions(panel), clicked);
    }
}

void tst_Accessibility::selectedItemSendsWithItsFields()
{
    // "Program One Block" chosen through its accessible action: the data
    // field is there, and Go sends instead of asking for data.
    MainWindow &w = *m_window;
    auto &isoPage = control<IsoPage>(w, "TSISO");
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(0);
    const auto items = isoPage.commandList->findChildren<QRadioButton *>();
    actions(items[iso15693::ProgramOneBlock])->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(isoPage.dataEdit->isVisibleTo(&isoPage));
    isoPage.dataEdit->setText(QStringLiteral("11223344"));
    control<QToolButton>(w, "btnSend").click();
    QVERIFY2(m_prompt.messages.isEmpty(), qPrintable(m_prompt.messages.join('\n')));
    QCOMPARE(m_transport->written.size(), 1);
}

void tst_Accessibility::comboBoxesNamedByLabel_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("Block Number") << "cmbBxBlockNum" << "Block Number" << "3";
    QTest::newRow("Number of Blocks") << "cmbBxNumBlocks" << "Number of Blocks" << "5";
    QTest::newRow("AFI family") << "cboxInvAfiCategory" << "AFI family" << "3: ID/Access Control";
}

void tst_Accessibility::comboBoxesNamedByLabel()
{
    QFETCH(QString, combo);
    QFETCH(QString, name);
    QFETCH(QString, value);
    auto *box = m_window->findChild<QComboBox *>(combo);
    QVERIFY(box);
    box->setCurrentIndex(box->findText(value));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::ComboBox);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Value), value);
    // The bus carries the text interface, not a text value.
    QVERIFY(iface->textInterface());
    QCOMPARE(iface->textInterface()->text(0, iface->textInterface()->characterCount()), value);
    // A disabled box (the AFI family until "Use AFI") offers no action.
    QCOMPARE(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::showMenuAction()),
             box->isEnabled());
}

void tst_Accessibility::keysForGoRepeatAndMenus()
{
    MainWindow &w = *m_window;
    QCOMPARE(control<QAction>(w, "Send1").shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(control<QAction>(w, "ContinuousMode1").shortcut(), QKeySequence(Qt::Key_F6));
    QVERIFY(control<QToolButton>(w, "btnSend").toolTip().endsWith(QLatin1String("(F5)")));
    QVERIFY(control<QToolButton>(w, "btnContinuous").toolTip().endsWith(QLatin1String("(F6)")));

    // Every top-level menu has its own access key.
    QSet<QChar> keys;
    for (QAction *menu : w.menuBar()->actions()) {
        const QString text = menu->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        QVERIFY2(amp >= 0 && amp + 1 < text.size() && text[amp + 1] != QLatin1Char('&'), qPrintable(text));
        const QChar key = text[amp + 1].toLower();
        QVERIFY2(!keys.contains(key), qPrintable(text));
        keys.insert(key);
    }
    QCOMPARE(keys.size(), 5);

    // The keys work from anywhere in the window.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F6);
    QCOMPARE(statusPanel(w, 2).text(), QStringLiteral("Repeat: On"));
    QVERIFY(control<QToolButton>(w, "btnContinuous").isChecked());
    QTest::keyClick(&w, Qt::Key_F6);
    QCOMPARE(statusPanel(w, 2).text(), QStringLiteral("Repeat: Off"));
    w.session().link().setTransport(m_transport); // showing the window chose the serial link
    QTest::keyClick(&w, Qt::Key_F5);
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(control<QToolButton>(w, "btnSend").text(), QStringLiteral("Go"));
    // Ctrl+P prints (no printer here: the question shows it began), Ctrl+Q exits.
    control<ResponsePrint>(w, "ResponsePrint").printerAvailable = [] { return false; };
    m_prompt.confirmAnswer = false;
    QTest::keySequence(&w, QKeySequence(Qt::CTRL | Qt::Key_P));
    QCOMPARE(m_prompt.confirmations.size(), 1);
    m_prompt.confirmAnswer = true;
    QTest::keySequence(&w, QKeySequence(Qt::CTRL | Qt::Key_Q));
    QVERIFY(!w.isVisible());
}

void tst_Accessibility::menuAccessKeys_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<bool>("repeating"); // Go reads "Pause"
    // Each item's keys as the accessibility bus joins them: access key,
    // keys from the window, shortcut. Disabled items tell theirs too.
    QTest::addColumn<QStringList>("told");
    QTest::newRow("menu bar") << "" << false
                              << QStringList{"Alt+F;Alt+F;", "Alt+C;Alt+C;", "Alt+S;Alt+S;", "Alt+T;Alt+T;", "Alt+H;Alt+H;"};
    const QStringList file{"L;Alt+F:L;", "P;Alt+F:P;Ctrl+P", "S;Alt+F:S;", "G;Alt+F:G;F5",
                           "R;Alt+F:R;F6", "A;Alt+F:A;", "X;Alt+F:X;Ctrl+Q"};
    QTest::newRow("File") << "File" << false << file;
    QTest::newRow("File/Activate") << "File/Activate" << false << QStringList{"L;Alt+F:A:L;", "A;Alt+F:A:A;"};
    QTest::newRow("Configuration") << "Configuration" << false
                                   << QStringList{"I;Alt+C:I;", "E;Alt+C:E;", "A;Alt+C:A;", "R;Alt+C:R;", "W;Alt+C:W;",
                                                  "D;Alt+C:D;"};
    QTest::newRow("Configuration/RF Modulation") << "Configuration/RF Modulation" << false
                                                 << QStringList{"N;Alt+C:R:N;", "F;Alt+C:R:F;"};
    QTest::newRow("Settings") << "Settings" << false
                              << QStringList{"R;Alt+S:R;", "P;Alt+S:P;", "B;Alt+S:B;", "V;Alt+S:V;"};
    QTest::newRow("Settings/Reader Interface") << "Settings/Reader Interface" << false
                                               << QStringList{"C;Alt+S:R:C;", "U;Alt+S:R:U;"};
    QTest::newRow("Settings/Port") << "Settings/Port" << false
                                   << QStringList{"1;Alt+S:P:1;", "2;Alt+S:P:2;", "3;Alt+S:P:3;"};
    QTest::newRow("Settings/Baud Rate") << "Settings/Baud Rate" << false
                                        << QStringList{"9;Alt+S:B:9;", "1;Alt+S:B:1;", "3;Alt+S:B:3;", "5;Alt+S:B:5;"};
    // "View auto read..." is disabled until USB is chosen.
    QTest::newRow("Tools") << "Tools" << false << QStringList{"V;Alt+T:V;", "T;Alt+T:T;F7", "M;Alt+T:M;F8", "U;Alt+T:U;"};
    QTest::newRow("Help") << "Help" << false << QStringList{"A;Alt+H:A;"};
    QTest::newRow("File while Repeat runs") << QStringLiteral("File") << true
                                            << QStringList(file).replaceInStrings("G;Alt+F:G;", "U;Alt+F:U;");
}

// Every item of every menu has an access key, and no two items of one menu
// share one: Alt and the letter always reach exactly one item. A screen
// reader hears it, with the shortcut where there is one.
void tst_Accessibility::menuAccessKeys()
{
    QFETCH(QString, menu);
    QFETCH(bool, repeating);
    QFETCH(QStringList, told);
    // Ports to list: the tests' dangling entries give way to ones that open.
    auto entry = [](int n) { return portFolder() + QStringLiteral("/COM%1").arg(n); };
    for (int n = 1; n <= 3; ++n)
        QVERIFY(QFile::remove(entry(n)) && QFile::link(QStringLiteral("/dev/ptmx"), entry(n)));
    const auto restore = qScopeGuard([&] {
        for (int n = 1; n <= 3; ++n)
            QFile::remove(entry(n)), QFile::link(QStringLiteral("/nonexistent/vexa-port"), entry(n));
    });
    MainWindow &w = *m_window;
    w.session().refreshPorts();
    if (repeating) {
        control<QAction>(w, "ContinuousMode1").trigger();
        control<QAction>(w, "Send1").trigger();
        QCOMPARE(control<QToolButton>(w, "btnSend").text(), QStringLiteral("Pause"));
    }
    const QList<QAction *> items = menuItems(w.menuBar(), menu);
    QSet<QChar> keys;
    QStringList onTheBus;
    for (QAction *item : items) {
        if (item->isSeparator())
            continue;
        QAccessibleActionInterface *act = actions(item);
        QVERIFY(act && act->actionNames().size() == 1);
        onTheBus << act->keyBindingsForAction(act->actionNames().constFirst()).join(QLatin1Char(';'));
        const QString text = item->text();
        const QKeySequence mnemonic = QKeySequence::mnemonic(text);
        QVERIFY2(!mnemonic.isEmpty(), qPrintable(text));
        const QChar key = QChar(mnemonic[0].key()).toLower();
        QVERIFY2(!keys.contains(key), qPrintable(QStringLiteral("%1 shares its key").arg(text)));
        keys.insert(key);
    }
    QVERIFY2(keys.size() >= 2 || (menu == QLatin1String("Help") && keys.size() == 1), qPrintable(menu));
    QCOMPARE(onTheBus, told);
}

void tst_Accessibility::actionReturnsBeforeItsBox_data()
{
    QTest::addColumn<QString>("name"); // of a tool button or a menu item
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("title"); // of the box it opens
    QTest::newRow("Go, port gone") << "btnSend" << "port gone" << "Vexa Host";
    QTest::newRow("Go, data missing") << "btnSend" << "no data" << "Vexa Host";
    QTest::newRow("About...") << "About1" << "" << "About VexaHost";
    QTest::newRow("Wiegand...") << "Wiegand1" << "" << "Select Wiegand Mode";
    QTest::newRow("Address reader...") << "Addressreader1" << "" << "Address Reader";
}

void tst_Accessibility::actionReturnsBeforeItsBox()
{
    QFETCH(QString, name);
    QFETCH(QString, setup);
    QFETCH(QString, title);
    MainWindow w; // the real boxes
    auto *transport = new FakeTransport(&w);
    w.session().link().setTransport(transport);
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(1); // "Read UID": Go always sends
    if (setup == QLatin1String("port gone")) {
        transport->failWith = QStringLiteral("No such device");
    } else if (setup == QLatin1String("no data")) {
        control<QTabWidget>(w, "PageControl1").setCurrentIndex(0);
        control<IsoPage>(w, "TSISO").commandList->setItemIndex(iso15693::ProgramOneBlock);
    }
    QObject *target = w.findChild<QObject *>(name);
    QVERIFY(target);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(target);
    if (auto *item = qobject_cast<QAction *>(target)) {
        // A menu item is reached as assistive technology reaches it: a child of its menu.
        auto *menu = qobject_cast<QMenu *>(item->associatedObjects().value(0));
        QVERIFY(menu);
        iface = QAccessible::queryAccessibleInterface(menu)->child(int(menu->actions().indexOf(item)));
    }
    QVERIFY(iface && iface->object() == target);
    QAccessibleActionInterface *act = iface->actionInterface();
    QVERIFY(act);
    QVERIFY(act->actionNames().contains(QAccessibleActionInterface::pressAction()));

    // Watches for the box from whatever event loop runs: the action's own
    // (it waits for the box) or the test's (it returned first).
    bool returned = false;
    QString firstBox;
    bool boxBeforeReturn = false;
    QTimer watcher;
    watcher.setInterval(10);
    connect(&watcher, &QTimer::timeout, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        if (firstBox.isEmpty()) {
            firstBox = box->windowTitle();
            boxBeforeReturn = !returned;
        }
        if (auto *dialog = qobject_cast<QDialog *>(box))
            dialog->reject();
        else
            box->close();
    });
    watcher.start();
    act->doAction(QAccessibleActionInterface::pressAction());
    returned = true;
    QTRY_VERIFY_WITH_TIMEOUT(!firstBox.isEmpty(), 10000);
    QVERIFY2(!boxBeforeReturn, qPrintable(QStringLiteral("the action waited for \"%1\"").arg(firstBox)));
    QCOMPARE(firstBox, title);
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
