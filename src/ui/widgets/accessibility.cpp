// VexaHost - accessible interfaces for tool buttons and combo boxes.
#include "accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolButton>
#include <QWindow>

namespace vexa {

namespace {

QString withoutMnemonic(QString text)
{
    // "C&lear" reads "Clear"; "&&" stands for one '&'.
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The character after the access-key mark, upper case; null without one.
QChar accessChar(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toUpper();
        ++i; // "&&" is a plain '&'
    }
    return {};
}

// A key as the desktop writes it ("Alt+F", "P", "Ctrl+P").
QString keyText(QKeyCombination key)
{
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

QString accessKey(const QString &text)
{
    const QChar key = accessChar(text);
    return key.isNull() ? QString() : keyText(QKeyCombination(Qt::AltModifier, Qt::Key(key.unicode())));
}

// The menu or menu bar that shows `action` (the first, when several do).
QWidget *menuOf(const QAction *action)
{
    if (!action)
        return nullptr;
    for (QObject *object : action->associatedObjects())
        if (qobject_cast<QMenu *>(object) || qobject_cast<QMenuBar *>(object))
            return static_cast<QWidget *>(object);
    return nullptr;
}

class ToolButtonAccessible : public QAccessibleWidget
{
public:
    explicit ToolButtonAccessible(QToolButton *button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (text.isEmpty() && t == QAccessible::Name)
            text = withoutMnemonic(button()->text());
        if (text.isEmpty() && t == QAccessible::Name)
            text = button()->toolTip();
        if (text.isEmpty() && t == QAccessible::Accelerator)
            text = button()->shortcut().toString(QKeySequence::NativeText);
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = button()->isCheckable();
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction()) {
            // As the toolkit's own buttons: the click comes from the event
            // loop, so a box it opens never holds the caller.
            if (button()->isEnabled())
                button()->animateClick();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString &action) const override
    {
        if (action == pressAction() && !button()->shortcut().isEmpty())
            return {button()->shortcut().toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }
};

// The name is the label; the current item is the value and, because the
// desktop's accessibility bus carries no text value, also the text: screen
// readers read a combo box's text interface as what it shows.
class ComboBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ComboBoxAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The text interface, read only: the current item.
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override
    {
        const QString all = value();
        start = qBound(0, start, int(all.size()));
        end = end < 0 ? int(all.size()) : qBound(start, end, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(value().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return value();
        QString text = QAccessibleWidget::text(t); // accessible name, else the label
        if (text.isEmpty() && t == QAccessible::Name)
            text = value();
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = box()->view()->isVisible();
        state.editable = box()->isEditable();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (box()->isEnabled())
            names << showMenuAction() << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction()) {
            if (!box()->isEnabled())
                return;
            if (box()->view()->isVisible())
                box()->hidePopup();
            else
                box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
    QString value() const { return box()->isEditable() ? box()->lineEdit()->text() : box()->currentText(); }
};

// A menu item whose "Press" triggers its action from the event loop. The
// toolkit's own item triggers at once, so an item that opens a dialog held
// the screen reader until the dialog closed.
//
// Its key bindings are the desktop's three for a menu item, joined by ';'
// on the bus: the access key while the menu is open ("P"), the keys from the
// window through the menus ("Alt+F:P"), and the shortcut ("Ctrl+P", empty
// when there is none). The toolkit's own item gives the shortcut alone, so
// a screen reader never heard the access key of an item that has one.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    explicit MenuItemAccessible(QAction *action) : m_action(action) {}

    bool isValid() const override { return m_action && owner(); }
    QObject *object() const override { return m_action; }
    QWindow *window() const override
    {
        QWidget *menu = owner();
        return menu ? menu->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(owner()); }
    int childCount() const override { return m_action && m_action->menu() ? 1 : 0; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && childCount() ? QAccessible::queryAccessibleInterface(m_action->menu()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && childCount() && child->object() == m_action->menu() ? 0 : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QAccessibleInterface *menu = child(0);
        return menu && menu->rect().contains(x, y) ? menu : nullptr;
    }
    QAccessibleInterface *focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!m_action)
            return {};
        switch (t) {
        case QAccessible::Name: return withoutMnemonic(m_action->text());
        case QAccessible::Accelerator:
            // The shortcut, else the access key ("&File" is Alt+F). The bus
            // asks the key bindings below first.
            return m_action->shortcut().isEmpty() ? accessKey(m_action->text())
                                                  : m_action->shortcut().toString(QKeySequence::NativeText);
        case QAccessible::Description: return m_action->statusTip();
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        QWidget *widget = owner();
        QRect area;
        if (auto *menu = qobject_cast<QMenu *>(widget))
            area = menu->actionGeometry(m_action);
        else if (auto *bar = qobject_cast<QMenuBar *>(widget))
            area = bar->actionGeometry(m_action);
        return widget && area.isValid() ? QRect(widget->mapToGlobal(area.topLeft()), area.size()) : QRect();
    }
    QAccessible::Role role() const override
    {
        return m_action && m_action->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        QWidget *widget = owner();
        if (!m_action || !widget)
            return s;
        s.invisible = !m_action->isVisible() || !widget->isVisible();
        s.disabled = !m_action->isEnabled();
        s.focusable = m_action->isEnabled();
        s.checkable = m_action->isCheckable();
        s.checked = m_action->isChecked();
        s.hasPopup = m_action->menu() != nullptr;
        QAction *active = nullptr;
        if (auto *menu = qobject_cast<QMenu *>(widget))
            active = menu->activeAction();
        else if (auto *bar = qobject_cast<QMenuBar *>(widget))
            active = bar->activeAction();
        s.focused = s.hotTracked = active == m_action;
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override
    {
        // A disabled item keeps its action, which then does nothing: the bus
        // tells an action's keys, and the item's keys are still its own.
        if (!m_action || m_action->isSeparator())
            return {};
        return {m_action->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString &name) override
    {
        if (!m_action || !m_action->isEnabled())
            return;
        if (name == pressAction()) {
            QMetaObject::invokeMethod(
                m_action,
                [action = m_action] {
                    if (action && action->isEnabled())
                        action->trigger();
                },
                Qt::QueuedConnection);
        } else if (name == showMenuAction()) {
            if (m_action->menu() && m_action->menu()->isVisible())
                m_action->menu()->hide();
            else if (auto *bar = qobject_cast<QMenuBar *>(owner()))
                bar->setActiveAction(m_action);
            else if (auto *menu = qobject_cast<QMenu *>(owner()))
                menu->setActiveAction(m_action);
        }
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        if (!actionNames().contains(name))
            return {};
        const QString shortcut = m_action->shortcut().toString(QKeySequence::NativeText);
        const QChar key = accessChar(m_action->text());
        if (key.isNull())
            return shortcut.isEmpty() ? QStringList() : QStringList{QString(), QString(), shortcut};
        const bool onBar = qobject_cast<QMenuBar *>(owner()) != nullptr;
        const QString mnemonic = onBar ? accessKey(m_action->text()) : keyText(Qt::Key(key.unicode()));
        return {mnemonic, keysFromWindow(), shortcut};
    }

private:
    QWidget *owner() const { return menuOf(m_action); }

    // "Alt+S:B:9" for "9600" in "Settings" > "Baud Rate"; empty for an item
    // that no chain of access keys reaches from a menu bar (a context menu).
    QString keysFromWindow() const
    {
        QStringList keys;
        const QAction *item = m_action;
        for (int depth = 0; item && depth < 16; ++depth) {
            const QChar key = accessChar(item->text());
            QWidget *shownIn = menuOf(item);
            if (key.isNull() || !shownIn)
                return {};
            if (qobject_cast<QMenuBar *>(shownIn)) {
                keys.prepend(accessKey(item->text()));
                return keys.join(QLatin1Char(':'));
            }
            keys.prepend(keyText(Qt::Key(key.unicode())));
            item = static_cast<QMenu *>(shownIn)->menuAction();
        }
        return {};
    }

    QPointer<QAction> m_action;
};

QAccessibleInterface *makeInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("QAction")) {
        // Only items shown in a menu: the toolkit asks for no other action.
        if (auto *action = qobject_cast<QAction *>(object); action && menuOf(action))
            return new MenuItemAccessible(action);
        return nullptr;
    }
    if (className == QLatin1String("QToolButton")) {
        auto *button = qobject_cast<QToolButton *>(object);
        // Buttons with a menu keep the toolkit's menu handling.
        if (button && !button->menu())
            return new ToolButtonAccessible(button);
    } else if (className == QLatin1String("QComboBox")) {
        if (auto *box = qobject_cast<QComboBox *>(object))
            return new ComboBoxAccessible(box);
    } else if (className == QLatin1String("QWidget")) {
        // A window built on a plain widget (the Tag Log) is a "client area"
        // to the toolkit, which a screen reader does not announce as a
        // window. Dialogs and main windows are answered for their own class
        // before this one is asked.
        if (auto *widget = qobject_cast<QWidget *>(object); widget && widget->isWindow())
            return new QAccessibleWidget(widget, QAccessible::Window);
    }
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace vexa
