#pragma once
// TRT: the real-time frame shown beside the maps on every editing tab (RT1..RT4). Big value
// labels for timing, RPM and vacuum, bars for water, air, battery, throttle, tuning pot and the
// injectors, and the lambda panel with its target marker.
#include <QFrame>

struct LiveValues;
class QLabel;
class TALProgressBar;

class TRT : public QFrame {
    Q_OBJECT
public:
    static constexpr int FrameWidth = 180;
    static constexpr int FrameHeight = 440;

    explicit TRT(QWidget *parent = nullptr);

    // One poll tick: the big labels, the bars and the small value labels from the live values.
    void update(const LiveValues &v);
    using QFrame::update; // the ordinary repaint request stays available

    // Lambda target marker for a target of `volts` (0.25..0.75). rt2Style: the placement used
    // while the target track bar is moved (the label without its one-pixel shift to the left).
    void placeLambdaTarget(double volts, bool rt2Style = false);
    // While the target track bar has the focus the caption under the lambda bars reads
    // "Set Target" and the lambda value is hidden.
    void setTargetEditing(bool on);
    bool targetEditing() const { return m_targetEditing; }

    // Controls, under their form names.
    QLabel *Label49 = nullptr; // total timing
    QLabel *Label50 = nullptr; // RPM
    QLabel *Label51 = nullptr; // vacuum
    TALProgressBar *WaterBar = nullptr;
    TALProgressBar *AirBar = nullptr;
    TALProgressBar *BATBar = nullptr;
    TALProgressBar *TPSBar = nullptr;
    TALProgressBar *POTBar = nullptr;
    TALProgressBar *InjBar = nullptr;
    TALProgressBar *InjPers = nullptr;
    TALProgressBar *LambdaBarL = nullptr;
    TALProgressBar *LambdaBarR = nullptr;
    QLabel *Label53 = nullptr; // water °C
    QLabel *Label54 = nullptr; // air °C
    QLabel *Label55 = nullptr; // battery V
    QLabel *Label19 = nullptr; // TPS on its bar
    QLabel *Label20 = nullptr; // POT on its bar
    QLabel *Label10 = nullptr; // injector ms
    QLabel *Label13 = nullptr; // injector duty %
    QLabel *Label56 = nullptr; // lambda V
    QWidget *LambdaPanel = nullptr;
    QWidget *Shape1 = nullptr; // target marker
    QLabel *Label6 = nullptr;  // target text
    QLabel *LambdaCaption = nullptr;

private:
    QLabel *addLabel(const QString &text, const QRect &r, Qt::Alignment align, int pointSize,
                     QWidget *parent = nullptr);
    // A label showing a live value: caption and unit are what assistive technology reads.
    QLabel *addValue(const QString &caption, const QString &unit, const QString &text,
                     const QRect &r, Qt::Alignment align, int pointSize, QWidget *parent = nullptr);
    TALProgressBar *addBar(const char *name, const QString &caption, const QRect &r, int min,
                           int max, QWidget *parent = nullptr);
    void buildValues();
    void buildTemperatureBars();
    void buildThrottleAndInjectors();
    void buildLambda();

    bool m_targetEditing = false;
};
