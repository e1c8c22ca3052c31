#include "tuning/FuelVariantButtons.h"

#include "connection/Session.h"
#include "tuning/MapChart.h"
#include "widgets/Palette.h"

#include <QRadioButton>
#include <QSignalBlocker>

namespace {
namespace pal = emu::ui::palette;

void setBold(QWidget *w, bool bold) {
    QFont f = w->font();
    if (f.bold() == bold) return;
    f.setBold(bold);
    w->setFont(f);
}
} // namespace

FuelVariantButtons::FuelVariantButtons(Session &session, MapChart *rpm, QObject *parent)
    : QObject(parent), m_s(session) {
    m_radioLow = new QRadioButton(QStringLiteral("Low"));
    m_radioCruise = new QRadioButton(QStringLiteral("Cruise"));
    m_radioHigh = new QRadioButton(QStringLiteral("High"));
    m_radioLow->setObjectName(QStringLiteral("RadioLow"));
    m_radioCruise->setObjectName(QStringLiteral("RadioCruise"));
    m_radioHigh->setObjectName(QStringLiteral("RadioHigh"));
    for (QRadioButton *r : {m_radioLow, m_radioCruise, m_radioHigh}) {
        r->setAccessibleName(r->text());
        rpm->addTitleWidget(r);
    }
    m_radioCruise->setChecked(true);
    setBold(m_radioCruise, true);
    connect(m_radioLow, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioLowClick();
    });
    connect(m_radioCruise, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioCruiseClick();
    });
    connect(m_radioHigh, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioHighClick();
    });
    connect(&m_s, &Session::fuelVariantChanged, this, &FuelVariantButtons::showVariant);
}

void FuelVariantButtons::showVariant() {
    const FuelVariant variant = m_s.fuelVariant();
    QRadioButton *chosen = variant == FuelVariant::Low    ? m_radioLow
                           : variant == FuelVariant::High ? m_radioHigh
                                                          : m_radioCruise;
    if (!chosen->isChecked()) {
        // Decoding makes "Cruise" the edited map; the buttons show what is edited.
        QSignalBlocker block(chosen);
        chosen->setChecked(true);
    }
    for (QRadioButton *r : {m_radioLow, m_radioCruise, m_radioHigh})
        setBold(r, r == chosen);
    emit variantChanged();
}

void FuelVariantButtons::RadioLowClick() {
    m_s.setFuelVariant(FuelVariant::Low);
}
void FuelVariantButtons::RadioCruiseClick() {
    m_s.setFuelVariant(FuelVariant::Cruise);
}
void FuelVariantButtons::RadioHighClick() {
    m_s.setFuelVariant(FuelVariant::High);
}

void FuelVariantButtons::showRegion(int region) {
    QRadioButton *r = nullptr;
    QColor color;
    switch (FuelRegion(region)) {
    case FuelRegion::Low:
        r = m_radioLow;
        color = QColor(pal::Navy);
        break;
    case FuelRegion::High:
        r = m_radioHigh;
        color = QColor(pal::Green);
        break;
    case FuelRegion::Cruise:
        r = m_radioCruise;
        color = QColor(pal::Red);
        break;
    case FuelRegion::None:
        return;
    }
    QPalette pal = r->palette();
    if (pal.color(QPalette::WindowText) != color) {
        pal.setColor(QPalette::WindowText, color);
        r->setPalette(pal);
    }
    r->setChecked(true); // runs the button's handler: the variant follows
}
