#include "monitor/TPSCalForm.h"

#include "connection/Session.h"
#include "link/Clock.h"
#include "model/EmuImage.h"
#include "model/Numbers.h"
#include "widgets/ALProgressBar.h"
#include "widgets/ValueLabel.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

const QString TTPSCalForm::TextOpen =
    QStringLiteral("Open throttle as far as possible and press F1");
const QString TTPSCalForm::TextRelease = QStringLiteral("Release throttle completely and press F1");
const QString TTPSCalForm::TextError = QStringLiteral("Error...please try again or click CANCEL");
const QString TTPSCalForm::TextCalibrated =
    QStringLiteral("TPS Calibrated. Please click OK to return to the SETUP tab");

namespace {
const QColor SkyBlue(166, 202, 240);
} // namespace

TTPSCalForm::TTPSCalForm(Session &session, QWidget *mainWindow)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint),
      m_session(session), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("TPSCalForm"));
    setWindowTitle(QStringLiteral("Throttle Position Sensor Calibration"));
    setAccessibleName(windowTitle());
    setFixedSize(360, 200);

    auto *minLabel = new QLabel(QStringLiteral("Min"), this);
    minLabel->setGeometry(16, 8, 40, 16);
    auto *maxLabel = new QLabel(QStringLiteral("Max"), this);
    maxLabel->setGeometry(304, 8, 40, 16);
    maxLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    TPSCalBar = new TALProgressBar(this);
    TPSCalBar->setObjectName(QStringLiteral("TPSCalBar"));
    TPSCalBar->setGeometry(16, 26, 328, 24);
    TPSCalBar->setBarColorStyle(TALProgressBar::cs1Color);
    TPSCalBar->setBarColor1(SkyBlue);
    TPSCalBar->setDirection(TALProgressBar::pdLeftToRight);
    TPSCalBar->setMin(0);
    TPSCalBar->setMax(100);
    TPSCalBar->setPercentage(true);
    TPSCalBar->setShowPosText(false);
    TPSCalBar->setAccessibleName(QStringLiteral("Throttle position"));

    Label3 = new ValueLabel(QStringLiteral("Throttle reading"), QStringLiteral("%"), this);
    Label3->setText(QStringLiteral("0"));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(16, 26, 328, 24);
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label3->raise();

    const auto makeEdit = [this](const char *name, int x, const QString &accessible) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(x, 54, 48, 22);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignCenter);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, SkyBlue);
        e->setPalette(p);
        e->setAccessibleName(accessible);
        e->setText(QStringLiteral("0"));
        return e;
    };
    Edit1 = makeEdit("Edit1", 16, QStringLiteral("Min"));
    Edit2 = makeEdit("Edit2", 296, QStringLiteral("Max"));

    Panel1 = new QLabel(TextOpen, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(16, 86, 328, 56);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setWordWrap(true);
    Panel1->setAccessibleName(QStringLiteral("Instruction"));
    Panel1->setAccessibleDescription(TextOpen);

    const auto makeButton = [this](const char *name, const QString &text, int x) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, 156, 96, 28);
        b->setAccessibleName(text);
        return b;
    };
    Button1 = makeButton("Button1", QStringLiteral("OK"), 16);
    Button2 = makeButton("Button2", QStringLiteral("Reset"), 132);
    Button3 = makeButton("Button3", QStringLiteral("Cancel"), 248);
    connect(Button1, &QPushButton::clicked, this, &TTPSCalForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTPSCalForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TTPSCalForm::Button3Click);

    // The form sees every key before its controls.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
}

void TTPSCalForm::open() {
    m_leaving = false;
    if (m_mainWindow) {
        const QRect main = m_mainWindow->frameGeometry();
        move(main.center() - QPoint(width() / 2, height() / 2));
    }
    if (isVisible()) FormShow();
    show();
    raise();
    activateWindow();
}

void TTPSCalForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TTPSCalForm::FormShow() {
    m_leaving = false;
    Edit1->setText(QString::number(m_session.tpsMinimum()));
    Edit2->setText(QString::number(m_session.tpsMinimum() + m_session.tpsSpan()));
    // Every calibration starts from the first step, whatever text the last one ended with.
    setInstruction(TextOpen);
}

void TTPSCalForm::setInstruction(const QString &text) {
    Panel1->setText(text);
    Panel1->setAccessibleDescription(text);
}

int TTPSCalForm::editValue(const QLineEdit *edit) const {
    // The boxes are read-only and only ever hold whole numbers written here.
    return edit->text().toInt();
}

void TTPSCalForm::showReading(double tps) {
    if (tps <= TPSCalBar->max()) TPSCalBar->setPosition(emu::num::roundInt(tps));
    const QString text = emu::num::formatGeneral(tps);
    static_cast<ValueLabel *>(Label3)->setValueText(text);
}

void TTPSCalForm::FormKeyDown(int key) {
    if (key != Qt::Key_F1 || m_showingError) return;
    if (!m_maxCaptured) {
        Edit2->setText(QString::number(TPSCalBar->position()));
        m_maxCaptured = true;
        setInstruction(TextRelease);
    } else {
        Edit1->setText(QString::number(TPSCalBar->position()));
        m_minCaptured = true;
        m_session.setTpsWorkingValues(editValue(Edit1), editValue(Edit2) - editValue(Edit1));
    }

    if (m_minCaptured && editValue(Edit1) >= editValue(Edit2)) {
        // The closed-throttle reading must lie below the full-throttle one: say so for a
        // moment, then start over (F1 does nothing meanwhile).
        setInstruction(TextError);
        Edit1->setText(QStringLiteral("0"));
        Edit2->setText(QStringLiteral("100"));
        m_showingError = true;
        m_session.clock().schedule(ErrorShowMs, this, [this] {
            m_showingError = false;
            setInstruction(TextOpen);
            m_maxCaptured = false;
            m_minCaptured = false;
        });
        return;
    }

    if (m_maxCaptured && m_minCaptured) {
        setInstruction(TextCalibrated);
        Button1->setEnabled(true);
    }
}

void TTPSCalForm::Button1Click() {
    m_maxCaptured = false;
    m_minCaptured = false;
    const int minimum = editValue(Edit1);
    const int span = editValue(Edit2) - minimum;
    if (span <= 0) {
        // A span of nothing (or less) would calibrate the sensor to a single point; the EMU keeps
        // its calibration and the capture starts over.
        setInstruction(TextError);
        return;
    }
    m_session.setTpsCalibration(minimum, span, tr("Throttle calibration"));
    leave();
}

void TTPSCalForm::Button2Click() {
    Edit1->setText(QStringLiteral("0"));
    Edit2->setText(QStringLiteral("100"));
    // The EMU goes back to minimum 0, span 100; the image and the working values follow, so that
    // a later table write or a saved file carries what the EMU now holds.
    m_session.setTpsCalibration(0, 100, tr("Throttle calibration reset"));
    m_maxCaptured = false;
    m_minCaptured = false;
    TPSCalBar->setMin(0);
    TPSCalBar->setMax(100);
}

void TTPSCalForm::Button3Click() {
    m_maxCaptured = false;
    m_minCaptured = false;
    leave();
}

void TTPSCalForm::leave() {
    if (!m_leaving) {
        m_leaving = true;
        emit finished();
    }
    hide();
}

void TTPSCalForm::closeEvent(QCloseEvent *event) {
    // However the window goes away, the main window comes back.
    m_maxCaptured = false;
    m_minCaptured = false;
    if (!m_leaving) {
        m_leaving = true;
        emit finished();
    }
    QWidget::closeEvent(event);
}

void TTPSCalForm::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_F1) {
        FormKeyDown(event->key());
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TTPSCalForm::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1) {
        FormKeyDown(Qt::Key_F1);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
