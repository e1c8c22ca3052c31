#include "tuning/JetControls.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "widgets/Messages.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

namespace {
void makeJet(const QString &name, const QString &box, const QString &caption, QSlider **bar,
             QLineEdit **edit) {
    *bar = new QSlider(Qt::Vertical);
    (*bar)->setObjectName(name);
    (*bar)->setRange(0, 255);
    (*bar)->setPageStep(10);
    (*bar)->setSingleStep(1);
    (*bar)->setInvertedAppearance(true); // position 0 (value 255) at the top
    (*bar)->setInvertedControls(true);
    (*bar)->setValue(127);
    (*bar)->setEnabled(false);
    (*bar)->setAccessibleName(caption);
    *edit = new QLineEdit;
    (*edit)->setObjectName(box);
    (*edit)->setAccessibleName(caption);
    (*edit)->setFixedWidth(48);
}

// One jet column: caption, vertical track bar (top = 255), value box.
QWidget *jetColumn(const QString &caption, QSlider *bar, QLineEdit *box, QWidget *parent) {
    auto *w = new QWidget(parent);
    auto *v = new QVBoxLayout(w);
    v->setContentsMargins(2, 2, 2, 2);
    auto *label = new QLabel(caption, w);
    label->setAlignment(Qt::AlignHCenter);
    label->setBuddy(bar);
    v->addWidget(label);
    v->addWidget(bar, 1, Qt::AlignHCenter);
    v->addWidget(box);
    return w;
}
} // namespace

JetControls::JetControls(Session &session, QWidget *parent) : QObject(parent), m_s(session) {
    makeJet(QStringLiteral("MainJetAdjust"), QStringLiteral("Edit28"), QStringLiteral("Main Jet"),
            &m_mainJet, &m_edit28);
    makeJet(QStringLiteral("IdleJetAdjust"), QStringLiteral("Edit32"), QStringLiteral("Idle Jet"),
            &m_idleJet, &m_edit32);
    m_mainColumn = jetColumn(QStringLiteral("Main Jet"), m_mainJet, m_edit28, parent);
    m_idleColumn = jetColumn(QStringLiteral("Idle Jet"), m_idleJet, m_edit32, parent);
    connect(m_mainJet, &QSlider::valueChanged, this, &JetControls::MainJetAdjustChange);
    connect(m_idleJet, &QSlider::valueChanged, this, &JetControls::IdleJetAdjustChange);
    connect(m_edit28, &QLineEdit::textChanged, this, &JetControls::Edit28Change);
    connect(m_edit32, &QLineEdit::textChanged, this, &JetControls::Edit32Change);
    connect(&m_s, &Session::setupRestored, this, &JetControls::showSetupRestored);
}

void JetControls::setEnabled(bool on) {
    m_mainJet->setEnabled(on);
    m_idleJet->setEnabled(on);
}

void JetControls::setBars() {
    // Position = 255 - value; a stored byte of 0 is the value 255 under the +1 rule.
    auto place = [](QSlider *bar, QLineEdit *box, quint8 stored) {
        const int value = emu::model::jetValue(stored);
        const int position = 255 - value;
        if (bar->value() != position) {
            bar->setValue(position); // runs the change handler, which sends while editing
        } else if (box->text() != QString::number(value)) {
            // Same position (e.g. after Close all cleared the box): show the value again
            // without sending what the EMU already holds.
            QSignalBlocker block(box);
            box->setText(QString::number(value));
        }
    };
    place(m_mainJet, m_edit28, m_s.image().setupByte(emu::model::OffMainJet));
    place(m_idleJet, m_edit32, m_s.image().setupByte(emu::model::OffIdleJet));
}

void JetControls::clearMainJetBox() {
    QSignalBlocker block(m_edit28); // nothing is sent for the cleared box
    m_edit28->clear();
}

void JetControls::keyDown(int key) {
    QSlider *bar = nullptr;
    int delta = 0;
    switch (key) {
    case Qt::Key_Q:
        bar = m_mainJet;
        delta = -1;
        break;
    case Qt::Key_A:
        bar = m_mainJet;
        delta = 1;
        break;
    case Qt::Key_W:
        bar = m_mainJet;
        delta = -10;
        break;
    case Qt::Key_S:
        bar = m_mainJet;
        delta = 10;
        break;
    case Qt::Key_D:
        bar = m_idleJet;
        delta = -1;
        break;
    case Qt::Key_C:
        bar = m_idleJet;
        delta = 1;
        break;
    case Qt::Key_F:
        bar = m_idleJet;
        delta = -10;
        break;
    case Qt::Key_V:
        bar = m_idleJet;
        delta = 10;
        break;
    default:
        return;
    }
    // The bar keeps within 0..255 (QSlider bounds it); its change handler sends.
    if (bar->isEnabled()) bar->setValue(bar->value() + delta);
}

void JetControls::MainJetAdjustChange(int position) {
    m_edit28->setText(QString::number(255 - position));
}
void JetControls::IdleJetAdjustChange(int position) {
    m_edit32->setText(QString::number(255 - position));
}
void JetControls::Edit28Change() {
    textChanged(m_edit28, emu::model::OffMainJet, m_mainJet);
}
void JetControls::Edit32Change() {
    textChanged(m_edit32, emu::model::OffIdleJet, m_idleJet);
}

void JetControls::textChanged(QLineEdit *box, int code, QSlider *bar) {
    if (!m_s.editingEnabled()) return;
    const QString text = box->text();
    if (text.isEmpty()) return; // a cleared box (while typing, or Close all) sends nothing
    int v = 0;
    QString error;
    if (!emu::num::parseInteger(text, &v, &error)) {
        Messages::error(box->window(), error);
        return;
    }
    if (v < emu::model::JetMin || v > emu::model::JetMax) {
        Messages::error(box->window(), tr("'%1' is not a valid jet value: enter %2 to %3")
                                           .arg(text)
                                           .arg(emu::model::JetMin)
                                           .arg(emu::model::JetMax));
        return;
    }
    m_s.setSetupValue(code, v);
    // The track bar follows a typed value (without running its handler again).
    QSignalBlocker block(bar);
    bar->setValue(255 - v);
}

void JetControls::showSetupRestored(int code) {
    QLineEdit *box = code == emu::model::OffMainJet   ? m_edit28
                     : code == emu::model::OffIdleJet ? m_edit32
                                                      : nullptr;
    if (!box) return;
    QSlider *bar = box == m_edit28 ? m_mainJet : m_idleJet;
    const int value = emu::model::jetValue(m_s.image().setupByte(code));
    QSignalBlocker blockBox(box), blockBar(bar);
    box->setText(QString::number(value));
    bar->setValue(255 - value);
}
