#pragma once
// The live data poll: Timer1 asks the EMU for a live data frame every 20 ms, decodes it into the
// live values and hands them to whoever listens; Timer2 runs the reduced poll of the throttle
// calibration, which takes the throttle position only.
#include "link/EmuLink.h"
#include "live/LiveFeed.h"

#include <QString>
#include <functional>

class QTimer;
class TQCCom32;
class EmuMaps;

// What the poll works on: the port and the link, whether an EMU has answered Connect, what it
// reads from the setup and the maps, and where the reply bytes and the decoded values are kept.
class LivePollHost {
public:
    virtual ~LivePollHost() = default;
    virtual TQCCom32 &livePort() = 0;
    virtual EmuLink &liveLink() = 0;
    virtual bool liveReady() const = 0;
    virtual LiveContext liveContext() const = 0;
    virtual const EmuMaps &liveMaps() const = 0;
    virtual LiveFrameBuffer &liveFrameBuffer() = 0;
    virtual LiveValues &liveStore() = 0;
};

class LivePoll : public LiveFeed {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 20;
    // Live ticks in a row without a whole frame (half a second) before the EMU counts as silent.
    static constexpr int SilentAfterMisses = 25;

    explicit LivePoll(LivePollHost &host, QObject *parent = nullptr);
    ~LivePoll() override;

    QTimer *Timer1 = nullptr; // live poll, disabled at start
    QTimer *Timer2 = nullptr; // calibration poll, disabled at start

    // "Analog Signals": on starts Timer1 and enables tracking (trackingAvailable(true)), off stops
    // both; the tracking choice itself stays as it was.
    void setAnalogEnabled(bool on);
    bool analogEnabled() const;

    // While paused (a recorded log plays on the displays) Timer1 is stopped and nothing is sent;
    // at the end of the pause the poll runs again if analog signals were on. Switching analog
    // signals during the pause takes effect when it ends.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }

    // "Realtime Tracking": the operating region and the keyboard selections follow the engine
    // only while the query says so (the window asks its check box).
    void setTrackingQuery(std::function<bool()> query);
    bool tracking() const;

    // The throttle calibration: Timer2 emits tpsReading; stopCalibration ends it.
    void startCalibration();
    void stopCalibration();
    bool calibrating() const;

    // One tick of each poll (what the timers run): the request goes into the link's queue and
    // the reply is decoded when it is taken. A tick that comes while its poll's request is
    // still out sends its request as soon as that one is done.
    void Timer1Timer();
    void Timer2Timer();
    void tick() { Timer1Timer(); }
    void calibrationTick() { Timer2Timer(); }

    // Time the last live tick spent on the displays (decode excluded), in nanoseconds.
    qint64 lastDisplayNs() const { return m_lastDisplayNs; }
    quint64 polls() const { return m_polls; }
    // No whole frame for SilentAfterMisses live ticks in a row: the displays show old values.
    bool silent() const { return m_silent; }

signals:
    // A frame was decoded and every display listening to liveValues is up to date.
    void liveUpdated();
    // A live tick that updated the displays has done all its work (the keyboard selections
    // included).
    void tickEnded();
    // One reading of the calibration poll (throttle position, percent).
    void tpsReading(double tps);
    // The operating region found while tracking (an int of FuelRegion: Low, Cruise or High).
    void regionChanged(int region);
    // While tracking: the keyboard selections follow this operating point (RPM in hundreds,
    // vacuum in bar).
    void operatingPoint(double rpm, double vacuum);
    // Tracking can (analog signals on) or cannot (off, device lost) be used now.
    void trackingAvailable(bool available);
    // The serial device went away: both polls have stopped. Text for the status bar.
    void linkLost(const QString &message);
    // Analog signals were switched off by the poll itself (device lost).
    void stopped();
    // The EMU has sent no whole frame for a while (true), or does again, or the poll stopped
    // (false). Sent only on a change.
    void silentChanged(bool silent);

private:
    // Stops both polls when the device has gone; true when it has.
    bool checkLost();
    // How a live reply is taken.
    enum class Take {
        Frame, // a whole frame: decoded
        Short, // fewer bytes, from this reply alone: the rest of the buffer is an older frame's,
               // so the displays keep what they show; the calibration takes its TPS byte
        None,  // may hold bytes of another reply: a missed sample, nothing decoded
    };
    // Asked when a live request's turn comes: the bytes of earlier live replies that may still
    // arrive (EmuLink::OwedUnknown when it is not known how many).
    int owed();
    // Accounts for what came before and with a reply (both polls share the line) and says how
    // to take it.
    Take noteReply(const EmuLink::Reply &reply);
    void sendRequest(EmuLink::Done done);
    void liveReply(const EmuLink::Reply &reply);
    void nextTickSoon(bool calibration);
    void deviceLost(int port, const QString &device);
    void setSilent(bool silent);

    LivePollHost &m_host;
    std::function<bool()> m_trackQuery;
    bool m_lost = false;
    bool m_paused = false;
    bool m_resume = false; // Timer1 runs again when the pause ends
    bool m_inTick = false;
    // Bytes of earlier live replies that may still arrive (EmuLink::OwedUnknown: some may, how
    // many is not known). A reply whose request went out while any may still come cannot be
    // told from one made of two replies.
    int m_owed = 0;
    bool m_carried = false;  // m_owed outlived one quiet line: the next quiet line forgives it
    quint64 m_owedAfter = 0; // the link's answered requests when m_owed was last counted
    bool m_liveOut = false, m_calOut = false; // a request of the poll is in the link's queue
    bool m_liveDue = false, m_calDue = false; // a tick came meanwhile
    qint64 m_lastDisplayNs = 0;
    quint64 m_polls = 0;
    int m_misses = 0; // live ticks in a row without a whole frame
    bool m_silent = false;
};
