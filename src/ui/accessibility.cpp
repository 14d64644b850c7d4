// VexaHost - accessible interfaces for tool buttons and combo boxes.
#include "accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

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
            if (button()->isEnabled())
                button()->click();
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

class ComboBoxAccessible : public QAccessibleWidget
{
public:
    explicit ComboBoxAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

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

QAccessibleInterface *makeInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("QToolButton")) {
        auto *button = qobject_cast<QToolButton *>(object);
        // Buttons with a menu keep the toolkit's menu handling.
        if (button && !button->menu())
            return new ToolButtonAccessible(button);
    } else if (className == QLatin1String("QComboBox")) {
        if (auto *box = qobject_cast<QComboBox *>(object))
            return new ComboBoxAccessible(box);
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
