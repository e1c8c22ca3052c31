#include "widgets/ValueLabel.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace {

class ValueLabelAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ValueLabelAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::StaticText) {}

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return label()->spokenValue();
        if (t == QAccessible::Description && label()->accessibleDescription().isEmpty())
            return label()->spokenValue();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
    QVariant currentValue() const override { return label()->text(); }
    void setCurrentValue(const QVariant &) override {} // a display, not an input
    QVariant maximumValue() const override { return {}; }
    QVariant minimumValue() const override { return {}; }
    QVariant minimumStepSize() const override { return {}; }

private:
    ValueLabel *label() const { return static_cast<ValueLabel *>(widget()); }
};

QAccessibleInterface *valueLabelFactory(const QString &key, QObject *object) {
    if (key == QLatin1String("ValueLabel")) {
        if (auto *l = qobject_cast<ValueLabel *>(object)) return new ValueLabelAccessible(l);
    }
    return nullptr;
}

} // namespace

ValueLabel::ValueLabel(const QString &caption, const QString &unit, QWidget *parent)
    : QLabel(parent), m_unit(unit) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(valueLabelFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAccessibleName(caption);
}

QString ValueLabel::spokenValue() const {
    return m_unit.isEmpty() ? text() : text() + QLatin1Char(' ') + m_unit;
}

bool ValueLabel::setValueText(const QString &t) {
    // A label repaints (and re-lays out) on every setText; most values stay put between ticks.
    if (text() == t) return false;
    setText(t);
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent value(this, t);
        QAccessible::updateAccessibility(&value);
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
    }
    return true;
}
