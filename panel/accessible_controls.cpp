#include "panel/accessible_controls.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace varlo {

namespace {

// An option button as Qt presents it (role, caption as its name, check mark), but Toggle is a
// click: the clicked signal runs the option's handler as the mouse does.
class OptionAccess final : public QAccessibleWidget {
public:
    explicit OptionAccess(OptionButton* option)
        : QAccessibleWidget(option, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && option()->accessibleName().isEmpty())
            return option()->text();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = option()->isChecked();
        state.pressed = option()->isDown();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (option()->isEnabled())
            names << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if (name != toggleAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        // As Qt's Press does on a key: shown pressed for a moment, then clicked.
        if (option()->isEnabled())
            option()->animateClick();
    }

private:
    OptionButton* option() const { return static_cast<OptionButton*>(widget()); }
};

// A scroll bar as Qt presents it (its value as text and through the value interface), with
// Increase and Decrease stepping it as its arrows do. Every way of moving it ends in a change
// of its value, which is what runs the bar's handler.
class StepAccess final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit StepAccess(StepBar* bar) : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return QString::number(bar()->value());
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant& value) override { bar()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

    QStringList actionNames() const override
    {
        QStringList names;
        if (bar()->isEnabled())
            names << increaseAction() << decreaseAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if (name == increaseAction() || name == decreaseAction()) {
            if (bar()->isEnabled())
                bar()->triggerAction(name == increaseAction()
                                         ? QAbstractSlider::SliderSingleStepAdd
                                         : QAbstractSlider::SliderSingleStepSub);
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    StepBar* bar() const { return static_cast<StepBar*>(widget()); }
};

QAccessibleInterface* accessFor(const QString& className, QObject* object)
{
    if (className == QLatin1String(OptionButton::staticMetaObject.className()))
        return new OptionAccess(static_cast<OptionButton*>(object));
    if (className == QLatin1String(StepBar::staticMetaObject.className()))
        return new StepAccess(static_cast<StepBar*>(object));
    return nullptr;
}

// Before the first control of these kinds exists, so that no reader ever meets Qt's own.
void installAccess()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessFor);
        return true;
    }();
    (void)installed;
}

} // namespace

OptionButton::OptionButton(const QString& caption, QWidget* parent) : QRadioButton(caption, parent)
{
    installAccess();
}

StepBar::StepBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent)
{
    installAccess();
}

} // namespace varlo
