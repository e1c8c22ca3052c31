// The threaded timer: ticks come from its worker thread but run on the owner's thread, one at a
// time, only while enabled; destruction never hangs and never runs a further tick.
#include "widgets/ThdTimer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {
// Records when each tick ran (ms since start()) and on which thread.
struct TickLog {
    QElapsedTimer clock;
    std::vector<qint64> at;
    bool offThread = false;
    QObject *lastSender = nullptr;

    void start() { clock.start(); }
    void attach(TThreadedTimer &timer) {
        timer.OnTimer = [this](QObject *sender) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                offThread = true;
            lastSender = sender;
            at.push_back(clock.elapsed());
        };
    }
    int count() const { return int(at.size()); }
};

// Keeps the event loop running until the log has n ticks or the time-out passes.
bool waitTicks(const TickLog &log, int n, int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return log.count() >= n; }, timeoutMs);
}
} // namespace

class TestThdTimer : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void firstTickOneIntervalAfterEnabling();
    void zeroInterval_data();
    void zeroInterval();
    void intervalChangeWhileEnabled_data();
    void intervalChangeWhileEnabled();
    void sameValuesChangeNothing();
    void handlerThatThrows();
    void disableStopsTicks_data();
    void disableStopsTicks();
    void destroy_data();
    void destroy();
    void destroyFromTheHandler();
    void threadPriority();
};

void TestThdTimer::defaults() {
    TThreadedTimer timer;
    QCOMPARE(timer.Enabled(), false);
    QCOMPARE(timer.AllowZero(), false);
    QCOMPARE(timer.Interval(), 1000u);
    QCOMPARE(timer.ThreadPriority(), tpNormal);
    QVERIFY(!timer.OnTimer);
}

void TestThdTimer::firstTickOneIntervalAfterEnabling() {
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setInterval(150);
    log.start();
    timer.setEnabled(true);
    QVERIFY(waitTicks(log, 3));
    QVERIFY2(log.at[0] >= 149, qPrintable(QString::number(log.at[0])));
    QVERIFY2(log.at[0] < 1000, qPrintable(QString::number(log.at[0])));
    // Each following tick starts its wait only after the previous one has run.
    QVERIFY(log.at[1] - log.at[0] >= 149);
    QVERIFY(log.at[2] - log.at[1] >= 149);
    QVERIFY(!log.offThread);
    QCOMPARE(log.lastSender, &timer);
}

void TestThdTimer::zeroInterval_data() {
    QTest::addColumn<bool>("allowZero");
    QTest::newRow("AllowZero") << true;
    QTest::newRow("no AllowZero") << false;
}

void TestThdTimer::zeroInterval() {
    QFETCH(bool, allowZero);
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setAllowZero(allowZero);
    timer.setInterval(0);
    log.start();
    timer.setEnabled(true);
    QVERIFY(timer.Enabled());
    if (allowZero) {
        // Back to back: each tick as soon as the previous one has run.
        QVERIFY(waitTicks(log, 50, 2000));
        QVERIFY(!log.offThread);
    } else {
        QTest::qWait(200);
        QCOMPARE(log.count(), 0);
        // A later non-zero interval starts the worker after all.
        timer.setInterval(30);
        QVERIFY(waitTicks(log, 1));
    }
}

void TestThdTimer::intervalChangeWhileEnabled_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("changeAfter");
    QTest::newRow("shorter") << 2000 << 200 << 300;
    QTest::newRow("longer, restarts the wait") << 300 << 400 << 200;
}

void TestThdTimer::intervalChangeWhileEnabled() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, changeAfter);
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setInterval(first);
    timer.setEnabled(true);
    QTest::qWait(changeAfter);
    QCOMPARE(log.count(), 0);
    log.start();
    timer.setInterval(second);
    QVERIFY(timer.Enabled());
    QCOMPARE(timer.Interval(), quint32(second));
    QVERIFY(waitTicks(log, 1));
    // One full new interval after the change, not what was left of the old wait.
    QVERIFY2(log.at[0] >= second - 1, qPrintable(QString::number(log.at[0])));
    QVERIFY2(log.at[0] < first + second, qPrintable(QString::number(log.at[0])));
}

void TestThdTimer::sameValuesChangeNothing() {
    // Enabling again or setting the same interval does not restart the wait.
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setInterval(400);
    log.start();
    timer.setEnabled(true);
    QTest::qWait(250);
    timer.setEnabled(true);
    timer.setInterval(400);
    QVERIFY(waitTicks(log, 1));
    QVERIFY2(log.at[0] < 600, qPrintable(QString::number(log.at[0])));
}

void TestThdTimer::handlerThatThrows() {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&calls](QObject *) {
        ++calls;
        if (calls == 1) throw std::runtime_error("handler failed");
        if (calls == 2) throw 42;
    };
    timer.setInterval(20);
    timer.setEnabled(true);
    QVERIFY(QTest::qWaitFor([&] { return calls >= 4; }, 5000));
    QVERIFY(timer.Enabled());
}

void TestThdTimer::disableStopsTicks_data() {
    QTest::addColumn<bool>("tickAlreadyHandedOver");
    QTest::newRow("between ticks") << false;
    QTest::newRow("tick handed over, not yet run") << true;
}

void TestThdTimer::disableStopsTicks() {
    QFETCH(bool, tickAlreadyHandedOver);
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setInterval(20);
    timer.setEnabled(true);
    QVERIFY(waitTicks(log, 2));
    if (tickAlreadyHandedOver)
        QThread::msleep(80); // the worker has handed the next tick over and waits for it
    timer.setEnabled(false);
    const int ticks = log.count();
    QTest::qWait(200);
    QCOMPARE(log.count(), ticks);

    // Enabling again: the first tick one full interval later.
    timer.setInterval(150);
    log.start();
    timer.setEnabled(true);
    QVERIFY(waitTicks(log, ticks + 1));
    QVERIFY2(log.at[ticks] >= 149, qPrintable(QString::number(log.at[ticks])));
}

void TestThdTimer::destroy_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("blockFirst"); // ms the owner's thread is busy before destroying
    QTest::newRow("never enabled") << false << 1000 << 0;
    QTest::newRow("disabled after running") << false << 20 << 0;
    QTest::newRow("enabled, waiting") << true << 1000 << 0;
    QTest::newRow("enabled, back to back") << true << 0 << 0;
    QTest::newRow("enabled, tick handed over") << true << 10 << 80;
}

void TestThdTimer::destroy() {
    QFETCH(bool, enabled);
    QFETCH(int, interval);
    QFETCH(int, blockFirst);

    auto ticks = std::make_shared<int>(0);
    auto *timer = new TThreadedTimer;
    timer->OnTimer = [ticks](QObject *) { ++*ticks; };
    timer->setAllowZero(true);
    timer->setInterval(quint32(interval));
    if (interval != 1000 || enabled) {
        timer->setEnabled(true);
        if (interval < 1000) QVERIFY(QTest::qWaitFor([&] { return *ticks >= 2; }, 5000));
    }
    if (!enabled) timer->setEnabled(false);
    if (blockFirst) QThread::msleep(blockFirst);

    const int before = *ticks;
    QElapsedTimer clock;
    clock.start();
    delete timer;
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(100);
    QCOMPARE(*ticks, before);
}

void TestThdTimer::destroyFromTheHandler() {
    auto *timer = new TThreadedTimer;
    QPointer<TThreadedTimer> guard(timer);
    int ticks = 0;
    timer->OnTimer = [&ticks](QObject *sender) {
        ++ticks;
        delete sender;
    };
    timer->setInterval(20);
    timer->setEnabled(true);
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, 5000));
    QTest::qWait(100);
    QCOMPARE(ticks, 1);
}

void TestThdTimer::threadPriority() {
    TThreadedTimer timer;
    TickLog log;
    log.attach(timer);
    timer.setThreadPriority(tpTimeCritical);
    timer.setInterval(85);
    timer.setAllowZero(true);
    timer.setEnabled(true);
    QVERIFY(waitTicks(log, 1));
    timer.setThreadPriority(tpLowest);
    QCOMPARE(timer.ThreadPriority(), tpLowest);
    QVERIFY(waitTicks(log, 2));
}

QTEST_GUILESS_MAIN(TestThdTimer)
#include "tst_thdtimer.moc"
