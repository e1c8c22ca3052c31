#include "dialogs/SerialFrm.h"

#include "connection/Session.h"
#include "dialogs/AboutBox.h"
#include "model/Numbers.h"
#include "widgets/Messages.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QLineEdit *makeEdit(QWidget *parent, const char *name, const QString &accessible, int maxLength,
                    const QString &pattern) {
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setAccessibleName(accessible);
    e->setMaxLength(maxLength);
    e->setAlignment(Qt::AlignCenter);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), e));
    const QFontMetrics fm(e->font());
    e->setFixedWidth(fm.horizontalAdvance(QStringLiteral("WW")) + 16);
    return e;
}

// A serial letter as shown: its character, "A" for a byte that holds no character.
QString letterText(quint8 stored) {
    if (stored <= 1) return QStringLiteral("A");
    return QString(QChar(char16_t(stored - 1)));
}

// A serial number part as two digits ("05"); "00" for a byte outside 0 to 99.
QString numberText(quint8 stored) {
    const int v = int(stored) - 1;
    if (v < 0 || v > 99) return QStringLiteral("00");
    return v < 10 ? QStringLiteral("0") + QString::number(v) : QString::number(v);
}

} // namespace

TSerialFrm::TSerialFrm(Session &session, TForm2 *aboutBox, QWidget *mainWindow)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint), m_session(session),
      m_aboutBox(aboutBox), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("TSerialFrm"));
    setWindowTitle(QStringLiteral("Serial Number"));

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);

    auto *title = new QLabel(QStringLiteral("EMU Serial Number"), panel);
    QFont tf = title->font();
    tf.setBold(true);
    title->setFont(tf);

    // Letters: printable characters, shown upper case. Numbers: up to two digits.
    const QString letter = QStringLiteral("[\\x21-\\x7E]?");
    const QString number = QStringLiteral("[0-9]{0,2}");
    Edit1 = makeEdit(panel, "Edit1", QStringLiteral("Cust"), 1, letter);
    Edit6 = makeEdit(panel, "Edit6", QStringLiteral("Cust"), 1, letter);
    Edit2 = makeEdit(panel, "Edit2", QStringLiteral("1"), 2, number);
    Edit3 = makeEdit(panel, "Edit3", QStringLiteral("2"), 2, number);
    Edit4 = makeEdit(panel, "Edit4", QStringLiteral("3"), 2, number);
    Edit5 = makeEdit(panel, "Edit5", QStringLiteral("H/W"), 2, number);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    auto caption = [panel](const QString &text) {
        auto *l = new QLabel(text, panel);
        l->setAlignment(Qt::AlignCenter);
        return l;
    };
    grid->addWidget(caption(QStringLiteral("Cust")), 0, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("1")), 0, 3);
    grid->addWidget(caption(QStringLiteral("2")), 0, 4);
    grid->addWidget(caption(QStringLiteral("3")), 0, 5);
    grid->addWidget(caption(QStringLiteral("H/W")), 0, 7);
    grid->addWidget(Edit1, 1, 0);
    grid->addWidget(Edit6, 1, 1);
    grid->addWidget(caption(QStringLiteral("-")), 1, 2);
    grid->addWidget(Edit2, 1, 3);
    grid->addWidget(Edit3, 1, 4);
    grid->addWidget(Edit4, 1, 5);
    grid->addWidget(caption(QStringLiteral("-")), 1, 6);
    grid->addWidget(Edit5, 1, 7);

    Button1 = new QPushButton(QStringLiteral("Update"), panel);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleName(QStringLiteral("Update"));
    Button1->setEnabled(false);
    Button2 = new QPushButton(QStringLiteral("Exit"), panel);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("Exit"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *inner = new QVBoxLayout(panel);
    inner->setContentsMargins(14, 10, 14, 10);
    inner->setSpacing(8);
    inner->addWidget(title);
    inner->addLayout(grid);
    inner->addLayout(buttons);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    for (QLineEdit *e : {Edit1, Edit6, Edit2, Edit3, Edit4, Edit5})
        connect(e, &QLineEdit::textEdited, this, [this] { EditChange(); });
    for (QLineEdit *e : {Edit1, Edit6})
        connect(e, &QLineEdit::textEdited, e, [e](const QString &text) {
            const QString upper = text.toUpper();
            if (upper != text) e->setText(upper);
        });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TSerialFrm::showForm() {
    FormShow();
    emu::ui::placeOver(this, m_mainWindow ? m_mainWindow : m_aboutBox);
    // Above the about box, which stays above the main window.
    if (m_aboutBox) {
        winId();
        m_aboutBox->winId();
        if (windowHandle() && m_aboutBox->windowHandle())
            windowHandle()->setTransientParent(m_aboutBox->windowHandle());
    }
    show();
    raise();
    activateWindow();
    Edit2->setFocus();
}

void TSerialFrm::FormShow() {
    const EmuImage &img = m_session.image();
    Edit1->setText(letterText(img.bytes[emu::model::OffSerialLetter1]));
    Edit6->setText(letterText(img.bytes[emu::model::OffSerialLetter2]));
    Edit2->setText(numberText(img.bytes[emu::model::OffSerialNumber1]));
    Edit3->setText(numberText(img.bytes[emu::model::OffSerialNumber2]));
    Edit4->setText(numberText(img.bytes[emu::model::OffSerialNumber3]));
    Edit5->setText(numberText(img.bytes[emu::model::OffSerialHardware]));
    Button1->setEnabled(false);
}

void TSerialFrm::EditChange() {
    Button1->setEnabled(true);
}

void TSerialFrm::Button1Click() {
    // Every box is checked before the first write, so that a typing error cannot leave a half
    // written serial number in the EMU.
    for (QLineEdit *e : {Edit1, Edit6}) {
        if (e->text().size() != 1 || e->text().at(0).unicode() < 0x21 ||
            e->text().at(0).unicode() > 0x7E) {
            Messages::error(this, QStringLiteral("'%1' is not a valid serial letter: enter one "
                                                 "letter or digit in each \"Cust\" box")
                                      .arg(e->text()));
            e->setFocus();
            return;
        }
    }
    QLineEdit *const numberBoxes[4] = {Edit2, Edit3, Edit4, Edit5};
    int numbers[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        QString error;
        if (!emu::num::parseInteger(numberBoxes[i]->text(), &numbers[i], &error)) {
            Messages::error(this, error);
            numberBoxes[i]->setFocus();
            return;
        }
        if (numbers[i] < 0 || numbers[i] > 99) {
            Messages::error(this, QStringLiteral("'%1' is not a serial number part from 0 to 99")
                                      .arg(numberBoxes[i]->text()));
            numberBoxes[i]->setFocus();
            return;
        }
    }

    m_session.setSerialNumber(Edit1->text().at(0).unicode(), Edit6->text().at(0).unicode(),
                              {numbers[0], numbers[1], numbers[2], numbers[3]});
    for (QLineEdit *box : numberBoxes)
        if (box->text() == QLatin1String("0")) box->setText(QStringLiteral("00"));

    const QString serial = m_session.image().serialText();
    if (m_aboutBox) {
        m_aboutBox->Memo1->setPlainText(QStringLiteral("Serial number updated...\n") +
                                        QStringLiteral("New serial number is ") + serial);
    }
}

void TSerialFrm::Button2Click() {
    close();
}

void TSerialFrm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
}

void TSerialFrm::closeEvent(QCloseEvent *event) {
    // Every way out gives the about box back.
    if (m_aboutBox) m_aboutBox->setEnabled(true);
    QWidget::closeEvent(event);
}
