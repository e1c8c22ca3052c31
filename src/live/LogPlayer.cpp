#include "live/LogPlayer.h"

#include "live/LogChannels.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

LogPlayer::LogPlayer(QObject *parent) : LiveFeed(parent) {
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("PlayTimer"));
    m_timer->setInterval(TickMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &LogPlayer::tick);
}

LogPlayer::~LogPlayer() = default;

void LogPlayer::load(LogRecord record) {
    stop();
    m_record = std::move(record);
    m_loaded = true;
    m_duration = m_record.duration();
    m_position = 0;
    emit positionChanged(0);
}

void LogPlayer::unload() {
    stop();
    m_record = LogRecord();
    m_loaded = false;
    m_duration = 0;
    m_position = 0;
}

LiveValues LogPlayer::valuesAt(double t) const {
    LiveValues v;
    const int row = m_record.rowAt(t);
    for (int c = 0; c < m_record.series.size(); ++c) {
        const std::vector<double> &values = m_record.values[c];
        int i = row;
        while (i >= 0 && std::isnan(values[i]))
            --i;
        if (i >= 0) LogChannels::setFromFile(m_record.series[c], values[i], v);
    }
    return v;
}

void LogPlayer::seek(double t) {
    if (!m_loaded) return;
    m_position = std::clamp(t, 0.0, m_duration);
    setEngaged(true);
    show();
}

void LogPlayer::play() {
    if (!m_loaded || playing()) return;
    if (m_position >= m_duration) m_position = 0; // from the start again
    setEngaged(true);
    show();
    m_clock.start();
    m_timer->start();
    emit playingChanged(true);
}

void LogPlayer::pause() {
    if (!playing()) return;
    m_timer->stop();
    emit playingChanged(false);
}

void LogPlayer::stop() {
    pause();
    setEngaged(false);
}

bool LogPlayer::playing() const {
    return m_timer->isActive();
}

void LogPlayer::setSpeed(int factor) {
    if (std::find(std::begin(Speeds), std::end(Speeds), factor) != std::end(Speeds))
        m_speed = factor;
}

void LogPlayer::advance(double seconds) {
    if (!m_loaded) return;
    m_position = std::min(m_position + seconds * m_speed, m_duration);
    show();
    // The end of the log: the last values stay on the displays until stop.
    if (m_position >= m_duration) pause();
}

void LogPlayer::setEngaged(bool on) {
    if (on == m_engaged) return;
    m_engaged = on;
    emit engagedChanged(on);
}

void LogPlayer::show() {
    emit liveValues(valuesAt(m_position));
    emit positionChanged(m_position);
}

void LogPlayer::tick() {
    // Recorded time follows the wall clock, however late a tick comes.
    const qint64 ns = m_clock.nsecsElapsed();
    m_clock.start();
    advance(ns / 1e9);
}
