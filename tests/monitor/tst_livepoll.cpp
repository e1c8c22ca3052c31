// The live poll: its bytes and waits on the line, what it decodes, the order in which it feeds
// the displays, realtime tracking, the calibration poll and a vanishing adapter.
#include "MonitorRig.h"
#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
const QByteArray Quiet = liveFrame(30, 129, 40, 50, 80, 25, 129, 130, 35);

QByteArray vacuumFrame(int vacuumByte) {
    return liveFrame(30, vacuumByte, 40, 50, 80, 25, 129, 130, 35);
}
} // namespace

class TestLivePoll : public QObject {
    Q_OBJECT
private slots:
    void pollBytesAndWait();
    void noFrameFromTwoReplies();
    void silentEmuIsMarked();
    void nothingBeforeConnect();
    void analogSignalsSwitch();
    void timerRunsThePoll();
    void region_data();
    void region();
    void noTrackingTouchesNothing();
    void trackingFollowsTheEngine();
    void displayOrder();
    void anotherFeedDrivesTheSameDisplays();
    void rpmZeroKeepsDuty();
    void calibrationPollTakesTpsOnly();
    void calibrationStopsWithTheDialog();
    void deviceLostDuringTick();
    void deviceLostWhileRunning();
    void deviceLostByAnotherExchange();
    void calibrationPollNoticesLoss();
};

void TestLivePoll::pollBytesAndWait() {
    MonitorRig rig;
    rig.emu.pinLiveFrame(Quiet);
    LivePoll poll(rig.session);
    poll.tick();
    poll.tick();
    QCOMPARE(rig.wires.size(), 2);
    QCOMPARE(rig.wires[0].bytes, QByteArray("\xFC", 1));
    QCOMPARE(rig.wires[0].at, 0);
    QCOMPARE(rig.wires[1].bytes, QByteArray("\xFC", 1));
    QCOMPARE(rig.wires[1].at, 20); // the first tick waited 20 ms for the reply
    QCOMPARE(rig.clock.slept(), 40);
    QCOMPARE(rig.session.live().rpm, 30.0);
    QCOMPARE(rig.session.live().frames, quint64(2));
    QCOMPARE(poll.polls(), quint64(2));
}

void TestLivePoll::noFrameFromTwoReplies() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    rig.emu.pinLiveFrame(Quiet);
    // The first reply comes 18 ms late: its last bytes miss the read and would lead the next
    // reply. The next request waits for that rest, so it gets its own frame whole.
    rig.emu.setReplyFault(VirtualEmu::ReplyFault::LateReply, 18, 0xFC, 1);
    poll.tick();
    QVERIFY(!rig.session.live().complete);
    poll.tick();
    QVERIFY(rig.session.live().complete);
    QCOMPARE(rig.session.live().rpm, 30.0);
    QCOMPARE(rig.session.live().injectorTime, 35.0);
    QVERIFY(rig.wires[1].at > 20); // after the rest of the first reply
    QCOMPARE(rig.session.live().sentMs, rig.wires[1].at);

    // More bytes than a frame hold parts of two replies: a missed sample, nothing decoded (the
    // first, cut-short reply was none either).
    rig.emu.pinLiveFrame(Quiet.right(4) + liveFrame(60, 200, 90, 50, 80, 25, 129, 130, 35));
    poll.tick();
    QVERIFY(!rig.session.live().complete);
    QCOMPARE(rig.session.live().rpm, 30.0);
    QCOMPARE(rig.session.live().frames, quint64(1));
}

// Half a second without a whole frame marks the EMU silent, once; the next frame or the end
// of the poll clears the mark.
void TestLivePoll::silentEmuIsMarked() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    rig.emu.pinLiveFrame(Quiet);
    QSignalSpy marks(&poll, &LivePoll::silentChanged);
    poll.tick();
    rig.emu.setReplyFault(VirtualEmu::ReplyFault::NoAnswer, 0, 0xFC,
                          LivePoll::SilentAfterMisses + 5);
    for (int i = 1; i < LivePoll::SilentAfterMisses; ++i)
        poll.tick();
    QCOMPARE(marks.count(), 0);
    for (int i = 0; i < 6; ++i)
        poll.tick();
    QCOMPARE(marks.count(), 1);
    QCOMPARE(marks.at(0).at(0).toBool(), true);
    QCOMPARE(rig.session.live().rpm, 30.0); // the last whole frame stays
    poll.tick();
    QCOMPARE(marks.count(), 2);
    QCOMPARE(marks.at(1).at(0).toBool(), false);

    rig.emu.setReplyFault(VirtualEmu::ReplyFault::NoAnswer, 0, 0xFC);
    poll.setAnalogEnabled(true);
    for (int i = 0; i < LivePoll::SilentAfterMisses; ++i)
        poll.tick();
    QVERIFY(poll.silent());
    poll.setAnalogEnabled(false);
    QVERIFY(!poll.silent());
    QCOMPARE(marks.count(), 4);
}

void TestLivePoll::nothingBeforeConnect() {
    MonitorRig rig(false);
    LivePoll poll(rig.session);
    poll.tick();
    QVERIFY(rig.wires.isEmpty());
    QCOMPARE(rig.clock.slept(), 0);
    QCOMPARE(rig.session.live().frames, quint64(0));
}

void TestLivePoll::analogSignalsSwitch() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    QCheckBox track(QStringLiteral("Realtime Tracking"));
    track.setEnabled(false);
    track.setChecked(true);
    connect(&poll, &LivePoll::trackingAvailable, &track, &QWidget::setEnabled);
    poll.setTrackingQuery([&] { return track.isChecked(); });
    QVERIFY(!poll.Timer1->isActive());
    QVERIFY(!poll.Timer2->isActive());
    QCOMPARE(poll.Timer1->interval(), 20);
    QCOMPARE(poll.Timer2->interval(), 20);

    poll.setAnalogEnabled(true);
    QVERIFY(poll.analogEnabled());
    QVERIFY(track.isEnabled());
    QVERIFY(track.isChecked());
    poll.setAnalogEnabled(false);
    QVERIFY(!poll.analogEnabled());
    QVERIFY(!track.isEnabled());
    QVERIFY(track.isChecked()); // the check state stays
}

void TestLivePoll::timerRunsThePoll() {
    MonitorRig rig;
    rig.emu.pinLiveFrame(Quiet);
    LivePoll poll(rig.session);
    poll.setAnalogEnabled(true);
    QTRY_VERIFY(poll.polls() >= 3);
    poll.setAnalogEnabled(false);
    const quint64 n = poll.polls();
    QTest::qWait(60);
    QCOMPARE(poll.polls(), n);
    QCOMPARE(rig.sent(), QByteArray(int(n), char(0xFC)));
}

void TestLivePoll::region_data() {
    QTest::addColumn<int>("vacuumByte");
    QTest::addColumn<int>("region");
    // L = 0.1, H = 0.9 with S = 10: byte 1 + 255 v.
    QTest::newRow("low") << 11 << int(FuelRegion::Low);        // 0.04 bar
    QTest::newRow("at low threshold") << 27 << -1;             // 0.10 bar: no change
    QTest::newRow("cruise") << 129 << int(FuelRegion::Cruise); // 0.50 bar
    QTest::newRow("at high threshold") << 231 << -1;           // 0.90 bar: no change
    QTest::newRow("high") << 250 << int(FuelRegion::High);     // 0.98 bar
}

void TestLivePoll::region() {
    QFETCH(int, vacuumByte);
    QFETCH(int, region);
    MonitorRig rig;
    LivePoll poll(rig.session);
    poll.setTrackingQuery([] { return true; });
    QSignalSpy regions(&poll, &LivePoll::regionChanged);
    rig.emu.pinLiveFrame(vacuumFrame(vacuumByte));
    poll.tick();
    if (region < 0) {
        QCOMPARE(regions.count(), 0);
    } else {
        QCOMPARE(regions.count(), 1);
        QCOMPARE(regions.at(0).at(0).toInt(), region);
    }
}

void TestLivePoll::noTrackingTouchesNothing() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    QCheckBox track;
    track.setChecked(false);
    connect(&poll, &LivePoll::trackingAvailable, &track, &QWidget::setEnabled);
    poll.setTrackingQuery([&] { return track.isChecked(); });
    QSignalSpy regions(&poll, &LivePoll::regionChanged);
    QSignalSpy points(&poll, &LivePoll::operatingPoint);
    for (int b : {11, 129, 250}) {
        rig.emu.pinLiveFrame(vacuumFrame(b));
        poll.tick();
    }
    QCOMPARE(regions.count(), 0);
    QCOMPARE(points.count(), 0);
    track.setChecked(true);
    poll.tick();
    QCOMPARE(regions.count(), 1);
    QCOMPARE(points.count(), 1);
}

void TestLivePoll::trackingFollowsTheEngine() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    poll.setTrackingQuery([] { return true; });
    QSignalSpy points(&poll, &LivePoll::operatingPoint);
    rig.emu.pinLiveFrame(liveFrame(42, 129, 40, 50, 80, 25, 129, 130, 35));
    poll.tick();
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.at(0).at(0).toDouble(), 42.0);
    QCOMPARE(points.at(0).at(1).toDouble(), 0.5);
}

void TestLivePoll::displayOrder() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    TRT rt1, rt2, rt3, rt4;
    EngineMonitorPage page;
    QStringList seen;
    // The markers come after all four frames and before the gauges.
    const auto markers = [&](const LiveValues &) {
        for (TRT *rt : {&rt1, &rt2, &rt3, &rt4})
            seen << rt->Label50->text();
        seen << QString::number(page.RPMGauge->position());
    };
    subscribeLiveDisplays(poll, {{&rt1, &rt2, &rt3, &rt4}, markers, &page});
    bool trackedAfterGauges = false;
    poll.setTrackingQuery([] { return true; });
    connect(&poll, &LivePoll::operatingPoint, this,
            [&] { trackedAfterGauges = page.RPMGauge->position() == 42.0f; });
    rig.emu.pinLiveFrame(liveFrame(42, 129, 40, 50, 80, 25, 129, 130, 35));
    poll.tick();
    QCOMPARE(seen, QStringList({"4200", "4200", "4200", "4200", "0"}));
    QCOMPARE(page.RPMGauge->position(), 42.0f);
    QVERIFY(trackedAfterGauges);
}

void TestLivePoll::anotherFeedDrivesTheSameDisplays() {
    // Values recorded from the poll and sent again by another feed (log playback) show the same.
    MonitorRig rig;
    LivePoll poll(rig.session);
    TRT polled, replayed;
    EngineMonitorPage polledPage, replayedPage;
    subscribeLiveDisplays(poll, {{&polled}, {}, &polledPage});
    QList<LiveValues> recorded;
    connect(&poll, &LiveFeed::liveValues, this, [&](const LiveValues &v) { recorded << v; });
    rig.emu.pinLiveFrame(liveFrame(42, 200, 40, 50, 80, 25, 129, 130, 35));
    poll.tick();
    QCOMPARE(recorded.size(), 1);

    LiveFeed player;
    subscribeLiveDisplays(player, {{&replayed}, {}, &replayedPage});
    emit player.liveValues(recorded.constFirst());
    for (QLabel *TRT::*label : {&TRT::Label50, &TRT::Label51, &TRT::Label13, &TRT::Label10})
        QCOMPARE((replayed.*label)->text(), (polled.*label)->text());
    QCOMPARE(replayedPage.RPMGauge->position(), polledPage.RPMGauge->position());
    QCOMPARE(replayedPage.VacuumGauge->position(), polledPage.VacuumGauge->position());
}

void TestLivePoll::rpmZeroKeepsDuty() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    TRT rt;
    subscribeLiveDisplays(poll, {{&rt}, {}, nullptr});
    rig.emu.pinLiveFrame(liveFrame(30, 129, 40, 50, 80, 25, 129, 130, 60));
    poll.tick();
    QCOMPARE(rt.Label13->text(), QStringLiteral("15"));
    rig.emu.pinLiveFrame(liveFrame(0, 129, 40, 50, 80, 25, 129, 130, 90));
    poll.tick();
    QCOMPARE(rt.Label13->text(), QStringLiteral("15"));
    QCOMPARE(rt.Label50->text(), QStringLiteral("0"));
    QCOMPARE(rt.Label10->text(), QStringLiteral("9"));
}

void TestLivePoll::calibrationPollTakesTpsOnly() {
    MonitorRig rig(false); // the calibration poll does not look at the connected flag
    LivePoll poll(rig.session);
    TTPSCalForm form(rig.session);
    subscribeCalibration(poll, form);
    rig.emu.pinLiveFrame(liveFrame(30, 129, 73, 50, 80, 25, 129, 130, 35));
    poll.calibrationTick();
    QCOMPARE(rig.sent(), QByteArray("\xFC", 1));
    QCOMPARE(rig.clock.slept(), 20);
    QCOMPARE(rig.session.live().tps, 73.0);
    QCOMPARE(rig.session.live().rpm, 0.0); // nothing else decoded
    QCOMPARE(rig.session.live().frames, quint64(0));
    QCOMPARE(form.TPSCalBar->position(), 73);
    QCOMPARE(form.Label3->text(), QStringLiteral("73"));
    // A reading beyond the bar leaves the bar and shows the number.
    rig.emu.pinLiveFrame(liveFrame(30, 129, 140, 50, 80, 25, 129, 130, 35));
    poll.calibrationTick();
    QCOMPARE(form.TPSCalBar->position(), 73);
    QCOMPARE(form.Label3->text(), QStringLiteral("140"));
}

void TestLivePoll::calibrationStopsWithTheDialog() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    TTPSCalForm form(rig.session);
    subscribeCalibration(poll, form);
    form.open();
    poll.startCalibration();
    QVERIFY(poll.calibrating());
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    QVERIFY(!poll.calibrating());
    QVERIFY(!form.isVisible());
}

void TestLivePoll::deviceLostDuringTick() {
    MonitorRig rig;
    rig.emu.pinLiveFrame(Quiet);
    LivePoll poll(rig.session);
    TRT rt;
    subscribeLiveDisplays(poll, {{&rt}, {}, nullptr});
    poll.tick();
    QCOMPARE(rt.Label50->text(), QStringLiteral("3000"));
    poll.setAnalogEnabled(true);
    QSignalSpy lost(&poll, &LivePoll::linkLost);
    QSignalSpy stopped(&poll, &LivePoll::stopped);
    rig.emu.setVanished(true);
    poll.tick();
    QCOMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(), QStringLiteral("Link lost on Com3 (virtual EMU)"));
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!poll.analogEnabled());
    QCOMPARE(rt.Label50->text(), QStringLiteral("3000")); // the last frame stays on show
    QCOMPARE(rig.sent(), QByteArray("\xFC", 1));          // nothing went out after the loss
}

void TestLivePoll::deviceLostWhileRunning() {
    MonitorRig rig;
    rig.emu.pinLiveFrame(Quiet);
    LivePoll poll(rig.session);
    QSignalSpy lost(&poll, &LivePoll::linkLost);
    poll.setAnalogEnabled(true);
    QTRY_VERIFY(poll.polls() >= 2);
    rig.emu.setVanished(true);
    QTRY_VERIFY(!poll.analogEnabled());
    QCOMPARE(lost.count(), 1);
    const quint64 n = poll.polls();
    QTest::qWait(60);
    QCOMPARE(poll.polls(), n);
}

void TestLivePoll::deviceLostByAnotherExchange() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    QSignalSpy lost(&poll, &LivePoll::linkLost);
    poll.setAnalogEnabled(true);
    rig.emu.setVanished(true);
    rig.session.sendParameter(0x26, 5); // an editor's write finds the adapter gone first
    QVERIFY(!poll.analogEnabled());
    QCOMPARE(lost.count(), 1);
}

void TestLivePoll::calibrationPollNoticesLoss() {
    MonitorRig rig;
    LivePoll poll(rig.session);
    TTPSCalForm form(rig.session);
    subscribeCalibration(poll, form);
    poll.startCalibration();
    QSignalSpy lost(&poll, &LivePoll::linkLost);
    rig.emu.setVanished(true);
    poll.calibrationTick();
    QVERIFY(!poll.calibrating());
    QCOMPARE(lost.count(), 1);
}

QTEST_MAIN(TestLivePoll)
#include "tst_livepoll.moc"
