#pragma once
// A titled group of radio buttons whose selection is an item index (-1: none), like the radio
// groups of the Setup tab ("Coil Combination", "Tuning POT Input", "Accelerator Pump").
#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class SetupRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ itemIndex WRITE setItemIndex NOTIFY itemSelected)

public:
    SetupRadioGroup(const QString &title, const QStringList &items, QWidget *parent = nullptr);

    int count() const;
    QStringList items() const { return m_items; }
    // The checked item, -1 when none is.
    int itemIndex() const;
    // Checks item i (-1 or an index outside the items: none). A change of the selection emits
    // itemSelected just as a click does.
    void setItemIndex(int index);
    QRadioButton *button(int index) const;

signals:
    // The selection moved to item i (by a click or by setItemIndex).
    void itemSelected(int index);

private:
    QStringList m_items;
    QButtonGroup *m_group;
};
