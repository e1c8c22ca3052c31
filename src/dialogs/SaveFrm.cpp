#include "dialogs/SaveFrm.h"
#include "dialogs/AboutBox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TSaveFrm::TSaveFrm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("SaveFrm"));
    setWindowTitle(QStringLiteral("Save From?"));
    setAccessibleName(windowTitle());

    RadioButton2 = new QRadioButton(QStringLiteral("Save From EMU"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton1 = new QRadioButton(QStringLiteral("Save From Memory"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2->setChecked(true);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    // OK is not a default button: Enter on a radio button must not save by accident.
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    for (QWidget *w : {static_cast<QWidget *>(RadioButton1), static_cast<QWidget *>(RadioButton2),
                       static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button2)})
        w->setAccessibleName(static_cast<QAbstractButton *>(w)->text());

    auto *lay = new QVBoxLayout(this);
    lay->addWidget(RadioButton2);
    lay->addWidget(RadioButton1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    lay->addLayout(buttons);
    setMinimumWidth(240);

    connect(Button1, &QPushButton::clicked, this, &TSaveFrm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSaveFrm::Button2Click);
}

void TSaveFrm::showOver(QWidget *owner) {
    adjustSize();
    emu::ui::placeOver(this, owner);
    show();
    raise();
    activateWindow();
}

bool TSaveFrm::fromMemory() const {
    return RadioButton1->isChecked();
}

void TSaveFrm::Button1Click() {
    emit saveRequested(fromMemory());
}

void TSaveFrm::Button2Click() {
    reject();
}

void TSaveFrm::reject() {
    const bool wasVisible = isVisible();
    QDialog::reject();
    if (wasVisible) emit cancelled();
}

void TSaveFrm::finish() {
    QDialog::hide();
}

void TSaveFrm::keyReleaseEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyReleaseEvent(event);
}
