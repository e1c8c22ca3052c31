#pragma once
// TThreadedTimer: a non-visual timer whose waiting is done by a worker thread of its own
// (TTimerThread) at a chosen priority, while its OnTimer handler runs on the thread that owns the
// timer (the GUI thread). Each tick is handed over and the worker waits until the handler has
// returned, so ticks never overlap each other or any other handler of that thread.
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>
#include <functional>
#include <memory>

enum TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical,
};

class TThreadedTimer;

// The worker. It only waits on its wake event (an auto-reset event: a signal ends exactly one
// wait, or the next one when nobody is waiting) with a time-out of the interval, and on a time-out
// hands a tick to the owner's thread. While parked (the timer is disabled) it waits for nothing
// but the resume. The owner's thread never waits for the worker except at destruction, and every
// wait of the worker is also ended by the terminate request, so neither side can block the other.
class TTimerThread : public QThread {
    Q_OBJECT
public:
    explicit TTimerThread(TThreadedTimer *owner);
    ~TTimerThread() override;

    TThreadedTimer *owner() const { return m_owner; }
    quint32 interval() const;
    void setInterval(quint32 ms);

    void signalWake();  // set the wake event
    void resume();      // leave the parked state (the worker carries on where it stood)
    void suspend();     // park: no further tick is handed over until resume()
    void requestStop(); // terminate: ends every wait, the worker leaves run() at once
    void tickDone();    // the owner's thread has run the tick handed over last

protected:
    void run() override;

private:
    TThreadedTimer *m_owner;
    mutable QMutex m_mutex;
    QWaitCondition m_cond;
    quint32 m_interval = 1000;
    bool m_wake = false;        // the auto-reset wake event
    bool m_running = false;     // false while parked
    bool m_stop = false;        // told to terminate
    bool m_tickPending = false; // a tick was handed over and has not returned yet
};

class TThreadedTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadedTimer(QObject *parent = nullptr);
    // Returns only after the worker has ended; no tick is run after (or during) destruction.
    ~TThreadedTimer() override;

    bool AllowZero() const { return m_allowZero; }
    void setAllowZero(bool on) { m_allowZero = on; }
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on);
    quint32 Interval() const;
    void setInterval(quint32 ms);
    TThreadPriority ThreadPriority() const { return m_priority; }
    void setThreadPriority(TThreadPriority priority);

    // Run on each tick with the timer as sender; anything it throws is caught and discarded.
    std::function<void(QObject *sender)> OnTimer;

private:
    friend class TTimerThread;
    void deliverTick(); // on the owner's thread

    std::unique_ptr<TTimerThread> m_thread;
    bool m_allowZero = false;
    bool m_enabled = false;
    bool m_destroying = false;
    TThreadPriority m_priority = tpNormal;
};
