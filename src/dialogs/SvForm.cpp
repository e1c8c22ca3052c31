#include "dialogs/SvForm.h"
#include "dialogs/AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TsvForm::TsvForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("svForm"));
    setWindowTitle(QStringLiteral("Stop"));
    setAccessibleName(windowTitle());

    Label1 = new QLabel(QStringLiteral("You have changed the EMU setup."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 = new QLabel(
        QStringLiteral("Would you like to save the new setup information to the EMU?"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label1->setAccessibleName(Label1->text());
    Label2->setAccessibleName(Label2->text());

    Button1 = new QPushButton(QStringLiteral("Yes"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setEnabled(false);
    Button3 = new QPushButton(QStringLiteral("Later"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button2 = new QPushButton(QStringLiteral("Discard"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    for (QPushButton *b : {Button1, Button3, Button2}) {
        b->setAccessibleName(b->text());
        b->setAutoDefault(false);
    }

    auto *lay = new QVBoxLayout(this);
    lay->addWidget(Label1);
    lay->addWidget(Label2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button3);
    buttons->addWidget(Button2);
    lay->addLayout(buttons);
    setMinimumWidth(440);

    connect(Button1, &QPushButton::clicked, this, [this] { answer(Answer::Yes); });
    connect(Button3, &QPushButton::clicked, this, [this] { answer(Answer::Later); });
    connect(Button2, &QPushButton::clicked, this, [this] { answer(Answer::Discard); });
}

void TsvForm::showOver(QWidget *owner, bool yesAllowed) {
    Button1->setEnabled(yesAllowed);
    adjustSize();
    emu::ui::placeOver(this, owner);
    show();
    raise();
    activateWindow();
}

void TsvForm::reject() {
    if (isVisible()) answer(Answer::Later);
}

void TsvForm::answer(Answer a) {
    QDialog::hide();
    emit answered(a);
}
