#pragma once
// The "Low", "Cruise" and "High" buttons on the fuel RPM chart: which of the three fuel RPM maps
// mouse and keyboard edit (the chosen one in bold), and the operating region the live poll
// finds, checked and coloured.
#include <QObject>

class Session;
class MapChart;
class QRadioButton;

class FuelVariantButtons : public QObject {
    Q_OBJECT
public:
    // The buttons go into the chart's title; "Cruise" is chosen at start.
    FuelVariantButtons(Session &session, MapChart *fuelRpmChart, QObject *parent = nullptr);

    // Make a variant (a FuelVariant) the edited one. fromRadio: its button was clicked;
    // otherwise (decoding, a point chosen elsewhere) the buttons are set to show it.
    void setVariant(int variant, bool fromRadio);
    // Operating region chosen by the live poll: check the radio button, colour and bold it.
    void showRegion(int region);

signals:
    // The edited variant was set.
    void variantChanged();

public slots:
    void RadioLowClick();
    void RadioCruiseClick();
    void RadioHighClick();

private:
    Session &m_s;
    QRadioButton *m_radioLow = nullptr;
    QRadioButton *m_radioCruise = nullptr;
    QRadioButton *m_radioHigh = nullptr;
};
