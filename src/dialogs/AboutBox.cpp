#include "dialogs/AboutBox.h"

#include "connection/Session.h"
#include "dialogs/ProgramIcon.h"
#include "dialogs/SerialFrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

const QString TForm2::AccessCode = QStringLiteral("ZKVDecant638&");

namespace {

// The second picture: a small timing chart, advance rising with engine speed.
QPixmap chartPicture(int w, int h, qreal dpr) {
    QPixmap pm(QSize(w, h) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0.5, 0.5, w - 1, h - 1);
    QLinearGradient bg(frame.topLeft(), frame.bottomLeft());
    bg.setColorAt(0, QColor(250, 252, 255));
    bg.setColorAt(1, QColor(214, 228, 246));
    p.setPen(QPen(QColor(120, 140, 170), 1));
    p.setBrush(bg);
    p.drawRoundedRect(frame, 4, 4);
    p.setPen(QPen(QColor(190, 204, 224), 1, Qt::DotLine));
    for (int i = 1; i < 6; ++i)
        p.drawLine(QPointF(w * i / 6.0, 4), QPointF(w * i / 6.0, h - 4));
    for (int i = 1; i < 3; ++i)
        p.drawLine(QPointF(4, h * i / 3.0), QPointF(w - 4, h * i / 3.0));
    QPainterPath curve;
    curve.moveTo(6, h - 8);
    curve.cubicTo(w * 0.3, h - 10, w * 0.35, h * 0.3, w * 0.6, h * 0.25);
    curve.cubicTo(w * 0.75, h * 0.22, w * 0.85, h * 0.2, w - 6, h * 0.2);
    p.setPen(QPen(QColor(200, 40, 30), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 70, 160));
    for (double t : {0.0, 0.25, 0.5, 0.75, 1.0})
        p.drawEllipse(curve.pointAtPercent(t), 2.2, 2.2);
    return pm;
}

} // namespace

namespace emu::ui {
void centreOver(QWidget *window, QWidget *owner) {
    if (!owner) return;
    QRect r = window->frameGeometry();
    r.moveCenter(owner->window()->frameGeometry().center());
    window->move(r.topLeft());
}

void placeOver(QWidget *window, QWidget *owner) {
    if (!owner) return;
    QWidget *top = owner->window();
    window->winId();
    top->winId();
    if (window->windowHandle() && top->windowHandle())
        window->windowHandle()->setTransientParent(top->windowHandle());
    window->adjustSize();
    centreOver(window, top);
}
} // namespace emu::ui

// ---- HiddenSpot ------------------------------------------------------------------------------

HiddenSpot::HiddenSpot(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image4"));
    setFixedSize(13, 14);
    setFocusPolicy(Qt::NoFocus);
}

void HiddenSpot::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) m_pressed = true;
    event->accept();
}

void HiddenSpot::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) emit clicked();
}

// ---- TForm2 ----------------------------------------------------------------------------------

TForm2::TForm2(Session &session, QWidget *mainWindow)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_session(session), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("About the EMU Interface"));
    setWindowIcon(emu::ui::programIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(emu::ui::programPixmap(72, devicePixelRatioF()));
    Image1->setAccessibleName(QStringLiteral("EMU Interface"));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto *name = new QLabel(QStringLiteral("EMU Interface"), this);
    name->setObjectName(QStringLiteral("Label1"));
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setStyleSheet(QStringLiteral("color: rgb(20, 50, 110);"));
    auto *blurb = new QLabel(
        QStringLiteral("Tuning and monitoring for the EMU engine management unit"), this);
    blurb->setObjectName(QStringLiteral("Label2"));
    blurb->setWordWrap(true);
    QString version = QCoreApplication::applicationVersion();
    auto *versionLabel = new QLabel(
        version.isEmpty() ? QString() : QStringLiteral("Program version %1").arg(version), this);
    versionLabel->setObjectName(QStringLiteral("Label3"));
    versionLabel->setVisible(!version.isEmpty());

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(chartPicture(96, 44, devicePixelRatioF()));
    Image2->setAccessibleName(QStringLiteral("Timing map"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName(QStringLiteral("EMU identity"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFocusPolicy(Qt::ClickFocus);
    {
        const QFontMetrics fm(Memo1->font());
        Memo1->setFixedHeight(fm.lineSpacing() * 6 + 2 * Memo1->frameWidth() + 8);
    }

    ContactLabel =
        new QLabel(QStringLiteral("Support: see the documentation that came with your EMU"), this);
    ContactLabel->setObjectName(QStringLiteral("ContactLabel"));
    ContactLabel->setWordWrap(true);
    ContactLabel->setStyleSheet(QStringLiteral("color: rgb(70, 70, 80);"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setMaxLength(16);
    Edit1->setAccessibleName(QStringLiteral("Access code"));
    Edit1->setPlaceholderText(QStringLiteral("Access code"));
    Edit1->setFixedWidth(130);
    Edit1->hide();
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("OK"));
    Button2->setAutoDefault(false);
    Button2->hide();
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleName(QStringLiteral("OK"));
    Button1->setDefault(true);

    Image4 = new HiddenSpot(this);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Button2Click(); });
    connect(Image4, &HiddenSpot::clicked, this, [this] { Image4Click(); });

    auto *heading = new QVBoxLayout;
    heading->setSpacing(2);
    heading->addWidget(name);
    heading->addWidget(blurb);
    heading->addWidget(versionLabel);
    heading->addStretch(1);
    auto *top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(heading, 1);
    top->addWidget(Image2, 0, Qt::AlignTop);

    auto *bottom = new QHBoxLayout;
    bottom->addSpacing(14); // room for the spot
    bottom->addWidget(Edit1);
    bottom->addWidget(Button2);
    bottom->addStretch(1);
    bottom->addWidget(Button1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(10);
    layout->addLayout(top);
    layout->addWidget(Memo1);
    layout->addWidget(ContactLabel);
    layout->addLayout(bottom);
    setFixedWidth(440);

    // Key preview: the box sees every key before the control that has the focus.
    for (QWidget *w : {static_cast<QWidget *>(Memo1), static_cast<QWidget *>(Button1),
                       static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Button2)})
        w->installEventFilter(this);

    m_serialFrm = std::make_unique<TSerialFrm>(session, this, mainWindow);
    placeSpot();
}

TForm2::~TForm2() = default;

void TForm2::placeSpot() {
    Image4->move(0, height() - Image4->height());
    Image4->raise();
}

void TForm2::showAbout() {
    if (m_mainWindow) m_mainWindow->setEnabled(false);
    emu::ui::placeOver(this, m_mainWindow);
    show();
    raise();
    activateWindow();
}

void TForm2::FormShow() {
    const QStringList lines{QString(), QStringLiteral("Model: EMU ") + m_session.modelText(),
                            QStringLiteral("Version: ") + m_session.versionText(),
                            QStringLiteral("Type: ") + m_session.moduleTypeName(),
                            QStringLiteral("Serial: ") + m_session.image().serialText()};
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    m_altHeld = false;
    m_ctrlHeld = false;
}

void TForm2::FormKeyDown(int key) {
    if (key == Qt::Key_Alt) m_altHeld = true;
    if (key == Qt::Key_Control) m_ctrlHeld = true;
}

void TForm2::FormKeyUp(int) {
    m_altHeld = false;
    m_ctrlHeld = false;
}

void TForm2::Image4Click() {
    if (!m_session.isConnected() || !m_altHeld || !m_ctrlHeld) return;
    Edit1->show();
    Button2->show();
    Edit1->setFocus();
}

void TForm2::Button1Click() {
    leave();
    close();
}

void TForm2::Button2Click() {
    if (Edit1->text() != AccessCode) {
        Edit1->clear();
        return;
    }
    setEnabled(false);
    Edit1->clear();
    Edit1->hide();
    Button2->hide();
    m_serialFrm->showForm();
}

void TForm2::leave() {
    if (m_mainWindow) m_mainWindow->setEnabled(true);
    Edit1->clear();
    Edit1->hide();
    Button2->hide();
    m_altHeld = false;
    m_ctrlHeld = false;
}

void TForm2::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm2::closeEvent(QCloseEvent *event) {
    // The window manager's close (Alt+F4) is one more way out.
    leave();
    QWidget::closeEvent(event);
}

void TForm2::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeSpot();
}

void TForm2::keyPressEvent(QKeyEvent *event) {
    FormKeyDown(event->key());
    if (event->key() == Qt::Key_Escape) {
        Button1Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm2::keyReleaseEvent(QKeyEvent *event) {
    if (!event->isAutoRepeat()) FormKeyUp(event->key());
    QWidget::keyReleaseEvent(event);
}

bool TForm2::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        FormKeyDown(static_cast<QKeyEvent *>(event)->key());
    } else if (event->type() == QEvent::KeyRelease) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (!ke->isAutoRepeat()) FormKeyUp(ke->key());
    }
    return QWidget::eventFilter(watched, event);
}
