#pragma once
// Plays a recorded log back onto the live displays: the recorded values go out through the same
// signal as the live poll's, so the real-time frames, the chart markers and the gauges show the
// run as it was. While playback is engaged (from the first Play or seek until stop or unload)
// the live poll is meant to be paused; engagedChanged tells whoever pauses it.
#include "live/LiveFeed.h"
#include "live/LogFile.h"

#include <QElapsedTimer>

class QTimer;

class LogPlayer : public LiveFeed {
    Q_OBJECT
public:
    static constexpr int TickMs = 20;
    static constexpr int Speeds[4] = {1, 2, 4, 8};

    explicit LogPlayer(QObject *parent = nullptr);
    ~LogPlayer() override;

    // A log to play, from its start; stops any playback first.
    void load(LogRecord record);
    // No log any more (stops playback).
    void unload();
    bool loaded() const { return m_loaded; }
    const LogRecord &record() const { return m_record; }
    double duration() const { return m_duration; }
    double position() const { return m_position; }

    // The recorded values at t seconds: each channel's last sample at or before t (a missed
    // sample keeps the one before it); channels the log lacks keep their defaults.
    LiveValues valuesAt(double t) const;

    // Shows the values at t at once (engages playback; playing goes on from there).
    void seek(double t);
    void play();
    void pause();
    // Playback ends: the displays are the live poll's again.
    void stop();
    bool playing() const;
    bool engaged() const { return m_engaged; }
    // 1, 2, 4 or 8 times as fast as recorded.
    void setSpeed(int factor);
    int speed() const { return m_speed; }
    // Moves the play position on by this much recorded time (what each timer tick does).
    void advance(double seconds);

signals:
    void positionChanged(double seconds);
    void playingChanged(bool playing);
    void engagedChanged(bool engaged);

private:
    void setEngaged(bool on);
    void show();
    void tick();

    LogRecord m_record;
    bool m_loaded = false;
    bool m_engaged = false;
    double m_duration = 0;
    double m_position = 0;
    int m_speed = 1;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
};
