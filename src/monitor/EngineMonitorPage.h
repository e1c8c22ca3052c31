#pragma once
// The "Engine Monitor" page: seven dial gauges around a large RPM gauge, and the event logger
// box under it.
#include <QWidget>

struct LiveValues;
class QLabel;
class QPlainTextEdit;
class TA3nalogGauge;

class EngineMonitorPage : public QWidget {
    Q_OBJECT
public:
    explicit EngineMonitorPage(QWidget *parent = nullptr);

    // One poll tick: every needle, in the order RPM, vacuum, timing, temperature, volts, lambda,
    // injector duty.
    void update(const LiveValues &v);
    using QWidget::update;

    // Connect: the RPM gauge follows the RPM range R (RPM) and the vacuum gauge the map sensor
    // range S (kPa x 10).
    void rescale(double rpmRange, int mapSensorRange);

    TA3nalogGauge *RPMGauge = nullptr;
    TA3nalogGauge *VacuumGauge = nullptr;
    TA3nalogGauge *AnalogTiming = nullptr;
    TA3nalogGauge *TempGauge = nullptr;
    TA3nalogGauge *VoltGauge = nullptr;
    TA3nalogGauge *LambdaGauge = nullptr;
    TA3nalogGauge *InjectorGauge = nullptr;
    QLabel *EventLoggerLabel = nullptr;
    QPlainTextEdit *EventLog = nullptr;

    // The side gauges are tall enough for the lambda gauge's full circle (a 270-degree dial's
    // radius follows the width alone); the RPM dial is always 16 pixels wider than tall, which
    // keeps its circle inside at any size.
    static constexpr int SideWidth = 209;
    static constexpr int SideHeight = 193;
    static constexpr int RpmSize = 505;
    static constexpr int RpmWidth = 521;
    static constexpr int RpmExtraWidth = RpmWidth - RpmSize;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
