#include "tuning/SetupRadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

SetupRadioGroup::SetupRadioGroup(const QString &title, const QStringList &items, QWidget *parent)
    : QGroupBox(title, parent), m_items(items), m_group(new QButtonGroup(this)) {
    setAccessibleName(title);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(6, 4, 6, 4);
    lay->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        b->setAccessibleName(items.at(i));
        m_group->addButton(b, i);
        lay->addWidget(b);
    }
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit itemSelected(id);
    });
}

int SetupRadioGroup::count() const {
    return int(m_items.size());
}

int SetupRadioGroup::itemIndex() const {
    return m_group->checkedId();
}

QRadioButton *SetupRadioGroup::button(int index) const {
    return qobject_cast<QRadioButton *>(m_group->button(index));
}

void SetupRadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= count()) {
        if (QAbstractButton *b = m_group->checkedButton()) {
            m_group->setExclusive(false);
            b->setChecked(false);
            m_group->setExclusive(true);
        }
        return;
    }
    button(index)->setChecked(true);
}
