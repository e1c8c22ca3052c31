#pragma once
// Time source for the link: every protocol wait and every time-out goes through a Clock, so the
// program really waits while tests advance a fake clock in zero real time.
#include <QtGlobal>
#include <functional>

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic millisecond tick count.
    virtual qint64 tickMs() = 0;
    // Blocking sleep of the calling thread.
    virtual void sleepMs(int ms) = 0;
    // A blocking wait of ms in all with work done at its start: the wait ends no earlier than ms
    // after it began, and the work's time is part of it. Here the work is taken to cost no time
    // (right for a clock that moves only when told); the real clock measures it.
    virtual void sleepMsWith(int ms, const std::function<void()> &work);

    // The program's real clock.
    static Clock &system();
};

class SystemClock : public Clock {
public:
    SystemClock();
    qint64 tickMs() override;
    void sleepMs(int ms) override;
    void sleepMsWith(int ms, const std::function<void()> &work) override;

private:
    qint64 m_start;
};

// A clock that only moves when told to: sleepMs advances it at once.
class FakeClock : public Clock {
public:
    qint64 tickMs() override { return m_now; }
    void sleepMs(int ms) override;
    void advance(qint64 ms);
    // Total time slept through sleepMs (what the protocol waited).
    qint64 slept() const { return m_slept; }
    // Called after every advance with the new time (a virtual EMU can release late bytes).
    std::function<void(qint64)> onAdvance;

private:
    qint64 m_now = 0;
    qint64 m_slept = 0;
};
