#pragma once
// The live data poll: Timer1 asks the EMU for a live data frame every 20 ms, decodes it into the
// session's live values and updates the displays; Timer2 runs the reduced poll of the throttle
// calibration, which takes the throttle position only.
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractButton;
class QTimer;
class Session;
class TRT;
class EngineMonitorPage;
class TTPSCalForm;

class LivePoll : public QObject {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 20;

    explicit LivePoll(Session &session, QObject *parent = nullptr);
    ~LivePoll() override;

    QTimer *Timer1 = nullptr; // live poll, disabled at start
    QTimer *Timer2 = nullptr; // calibration poll, disabled at start

    // "Analog Signals": on starts Timer1 and enables the tracking box, off stops both; the
    // tracking box keeps its check state.
    void setAnalogEnabled(bool on);
    bool analogEnabled() const;

    // "Realtime Tracking": the operating region and the keyboard selections follow the engine
    // only while this box is checked. A query can stand in for the box (tests, other windows).
    void setTrackingButton(QAbstractButton *rtTrack);
    void setTrackingQuery(std::function<bool()> query);
    bool tracking() const;

    // Displays updated after each decoded frame, in this order: the real-time frames, the chart
    // markers, the gauges. Hidden displays take their values and paint when shown.
    void setFrames(const QList<TRT *> &frames);
    void setMarkerUpdate(std::function<void()> update);
    void setMonitorPage(EngineMonitorPage *page);

    // The throttle calibration: Timer2 feeds the dialog; leaving the dialog stops Timer2.
    void setCalibrationForm(TTPSCalForm *form);
    void startCalibration();
    void stopCalibration();
    bool calibrating() const;

    // One tick of each poll (what the timers run).
    void Timer1Timer();
    void Timer2Timer();
    void tick() { Timer1Timer(); }
    void calibrationTick() { Timer2Timer(); }

    // Time the last live tick spent on the displays (decode excluded), in nanoseconds.
    qint64 lastDisplayNs() const { return m_lastDisplayNs; }
    quint64 polls() const { return m_polls; }

signals:
    // A frame was decoded and the registered displays are up to date.
    void liveUpdated();
    // The operating region found while tracking (an int of FuelRegion: Low, Cruise or High).
    void regionChanged(int region);
    // While tracking: the keyboard selections follow this operating point (RPM in hundreds,
    // vacuum in bar).
    void operatingPoint(double rpm, double vacuum);
    // The serial device went away: both polls have stopped. Text for the status bar.
    void linkLost(const QString &message);
    // Analog signals were switched off by the poll itself (device lost).
    void stopped();

private:
    // Stops both polls when the device has gone; true when it has.
    bool checkLost();
    void deviceLost(int port, const QString &device);
    void updateDisplays();

    Session &m_session;
    QPointer<QAbstractButton> m_track;
    std::function<bool()> m_trackQuery;
    QList<QPointer<TRT>> m_frames;
    std::function<void()> m_markers;
    QPointer<EngineMonitorPage> m_page;
    QPointer<TTPSCalForm> m_calForm;
    bool m_lost = false;
    bool m_inTick = false;
    qint64 m_lastDisplayNs = 0;
    quint64 m_polls = 0;
};
