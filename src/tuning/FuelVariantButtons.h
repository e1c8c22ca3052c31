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

    // The buttons show the session's edited variant, whoever set it (a click, the live region,
    // a read, a point chosen elsewhere).
    void showVariant();
    // Operating region chosen by the live poll: check the radio button, colour and bold it.
    void showRegion(int region);

signals:
    // The edited variant changed.
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
