#pragma once
// Time source for the link: every protocol wait and every time-out goes through a Clock. The
// program's clock runs waits as timers on the event loop; the tests' fake clock runs them in no
// real time, either at once or when the test moves it.
#include <QObject>
#include <QPointer>
#include <QtGlobal>
#include <functional>
#include <vector>

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic millisecond tick count.
    virtual qint64 tickMs() = 0;
    // Calls fn once ms have passed. Nothing is called after context is destroyed. The program's
    // clock calls it from the event loop, never from inside this call.
    virtual void schedule(int ms, QObject *context, std::function<void()> fn) = 0;
    // A blocking sleep of the calling thread. Only the port's wait for an end marker uses it;
    // the protocol's waits are scheduled.
    virtual void sleepMs(int ms) = 0;

    // The program's real clock.
    static Clock &system();
};

class SystemClock : public Clock {
public:
    SystemClock();
    qint64 tickMs() override;
    void schedule(int ms, QObject *context, std::function<void()> fn) override;
    void sleepMs(int ms) override;

private:
    qint64 m_start;
};

// A clock that only moves when told to. By default a scheduled wait runs at once, moving the
// clock by its length (a wait scheduled while another one runs follows it, in time order); in
// manual mode scheduled waits run only when the test advances the clock past them.
class FakeClock : public Clock {
public:
    qint64 tickMs() override { return m_now; }
    void schedule(int ms, QObject *context, std::function<void()> fn) override;
    void sleepMs(int ms) override;
    // Moves the clock, running every scheduled wait that falls due on the way, in time order.
    void advance(qint64 ms);
    void setManual(bool manual) { m_manual = manual; }
    bool manual() const { return m_manual; }
    // Waits scheduled and not yet run.
    int pending() const { return int(m_queue.size()); }
    // Total time the clock moved for scheduled waits and sleeps (what the protocol waited).
    qint64 slept() const { return m_slept; }
    // Called after every move with the new time (a virtual EMU can release late bytes).
    std::function<void(qint64)> onAdvance;

private:
    struct Due {
        qint64 at;
        quint64 order;
        QPointer<QObject> context;
        bool hadContext;
        std::function<void()> fn;
    };
    // Runs the earliest wait due by `until`; false when there is none. `waited`: the clock
    // moves for the wait itself (counted as slept), not for an advance.
    bool runNext(qint64 until, bool waited);
    void drain();
    void moveTo(qint64 t);

    qint64 m_now = 0;
    qint64 m_slept = 0;
    quint64 m_order = 0;
    bool m_manual = false;
    bool m_running = false;
    std::vector<Due> m_queue;
};
