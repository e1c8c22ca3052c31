// Logs against the live poll and the displays: a tick without a whole live frame is a missed
// sample (empty row, chart gap, counted), logs of the earlier format open converted, and a log
// played back drives the real-time frames and gauges while nothing goes to the EMU.
#include "MonitorRig.h"
#include "live/LivePoll.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LogReadout.h"
#include "monitor/RTFrame.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"
#include "widgets/Messages.h"
#include "widgets/ThdTimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {
QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(f.write(text) == text.size());
}

// One sample of the logger after one poll tick.
void pollAndSample(LivePoll &poll, DataLoggerPage &page) {
    poll.tick();
    page.ThreadedTimer1Timer();
}
} // namespace

class TestLogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void missedSample_data();
    void missedSample();
    void oldFormatOpens_data();
    void oldFormatOpens();
    void playbackDrivesDisplays();
    void cursorReadout_data();
    void cursorReadout();
    void longLogSlider();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_messages;
};

void TestLogs::init() {
    m_messages.clear();
    Messages::setHandler([this](const QString &text, Messages::Kind) { m_messages << text; });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLogs::cleanup() {
    Messages::setHandler(nullptr);
    m_dir.reset();
}

void TestLogs::missedSample_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("param");
    QTest::addColumn<int>("missed"); // samples from the second on
    QTest::newRow("whole frame") << int(VirtualEmu::ReplyFault::None) << 0 << 0;
    QTest::newRow("no answer") << int(VirtualEmu::ReplyFault::NoAnswer) << 0 << 1;
    // The rest of the cut reply never comes: had it come late, it would lead the next reply,
    // so that one is no sample either.
    QTest::newRow("short reply") << int(VirtualEmu::ReplyFault::ShortReply) << 8 << 2;
    QTest::newRow("late reply") << int(VirtualEmu::ReplyFault::LateReply) << 30 << 1;
}

void TestLogs::missedSample() {
    QFETCH(int, fault);
    QFETCH(int, param);
    QFETCH(int, missed);
    MonitorRig rig;
    rig.emu.pinLiveFrame(liveFrame(25, 121, 40, 45, 80, 25, 129, 126, 35));
    LivePoll poll(rig.session);
    TRT rt;
    subscribeLiveDisplays(poll, {{&rt}, {}, nullptr});
    connect(&poll, &LiveFeed::liveValues, &rig.session, &Session::takeLive);
    DataLoggerPage page(rig.session);
    const QString path = m_dir->filePath("gap.csv");
    page.setSaveFileDialog([&](QWidget *, const QString &) { return path; });
    page.CheckBox19->setChecked(true);
    for (int s : {1, 4, 5, 6, 7, 8, 9, 10})
        page.channelBox(s)->setChecked(false); // rpm, vacuum, lambda
    page.SpeedButton1Click();
    QVERIFY(page.recording());
    QSignalSpy status(&rig.session, &Session::status);

    pollAndSample(poll, page);
    rig.emu.setReplyFault(VirtualEmu::ReplyFault(fault), param, 0xFC, 1);
    pollAndSample(poll, page);
    rig.emu.clearReplyFaults();
    rig.clock.advance(100); // a late reply has arrived by now and is taken by the next tick
    pollAndSample(poll, page);
    pollAndSample(poll, page);
    page.SpeedButton2Click();

    // Each row carries the time its request went out: the second came after the first's 20 ms.
    const QByteArray row = missed > 0 ? "0.02,,,\n" : "0.02,2500,0.47,0.45\n";
    QVERIFY2(readAll(path).startsWith("time_s,rpm,vacuum_bar,lambda_v\n"
                                      "0,2500,0.47,0.45\n" +
                                      row),
             readAll(path).constData());
    QCOMPARE(readAll(path).count('\n'), 5);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(std::isnan(page.series(0)->points().at(i).value), i <= missed);
    QCOMPARE(page.series(0)->points().at(0).value, 2500.0);
    QCOMPARE(page.missed(), qint64(missed));
    QCOMPARE(status.last().at(1).toString(), DataLoggerPage::stoppedText(4, missed));
    // The live displays still show what the poll decoded.
    QCOMPARE(rt.Label50->text(), QStringLiteral("2500"));

    // Read back, the missed sample is a gap again.
    page.openLog(path);
    QCOMPARE(std::isnan(page.series(2)->points().at(1).value), missed > 0);
    QCOMPARE(page.series(2)->points().at(0).value, 0.47);
    QCOMPARE(page.player().record().missed, missed);
}

void TestLogs::oldFormatOpens_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("earlier format")
        << QByteArray("time_s,RPM,Timing,Vacuum,Lambda,Volt,Injector (ms),Injector %,Temperature,"
                      "Throttle %,Air Temp,POT %\n"
                      "0,25,28,47,4.5,12.6,3.5,12,88,10,-3,50.2\n");
    QTest::newRow("engineering units")
        << QByteArray("time_s,rpm,timing_deg,vacuum_bar,lambda_v,battery_v,injector_ms,"
                      "injector_pct,water_c,throttle_pct,air_c,pot_pct\n"
                      "0,2500,28,0.47,0.45,12.6,3.5,12,88,10,-3,50.2\n");
}

void TestLogs::oldFormatOpens() {
    QFETCH(QByteArray, text);
    FakeClock clock;
    Session session(clock);
    DataLoggerPage page(session);
    const QString path = m_dir->filePath("past.csv");
    writeFile(path, text);
    QVERIFY(page.openLog(path));
    QVERIFY(m_messages.isEmpty());
    const double charted[11] = {2500, 28, 0.47, 0.45, 12.6, 3.5, 12, 88, 10, -3, 50.2};
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page.series(i)->points().at(0).value, charted[i]);
    const LiveValues v = page.player().valuesAt(0);
    QCOMPARE(v.rpm, 25.0);
    QCOMPARE(v.vacuum, 0.47);
    QCOMPARE(v.lambda, 45.0);
    QCOMPARE(v.battery, 126.0);
    QCOMPARE(v.injectorTime, 35.0);
    QCOMPARE(v.injectorDuty, 12);
    QCOMPARE(v.airTemp, -3.0);
    QCOMPARE(v.pot, 50.2);
}

void TestLogs::playbackDrivesDisplays() {
    MonitorRig rig;
    rig.emu.pinLiveFrame(liveFrame(30, 129, 40, 50, 80, 25, 129, 130, 35));
    LivePoll poll(rig.session);
    TRT rt;
    EngineMonitorPage gauges;
    DataLoggerPage page(rig.session);
    subscribeLiveDisplays(poll, {{&rt}, {}, &gauges});
    subscribeLiveDisplays(page.player(), {{&rt}, {}, &gauges});
    connect(&page.player(), &LogPlayer::engagedChanged, &poll, &LivePoll::setPaused);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    poll.setAnalogEnabled(true);

    // Ten seconds: RPM climbs 1000 per second, a missed sample at 5 s.
    QByteArray text = "time_s,rpm,vacuum_bar,battery_v,water_c\n";
    for (int i = 0; i <= 10; ++i)
        text += i == 5 ? QByteArray("5,,,,\n")
                       : QByteArray::number(i) + "," + QByteArray::number(1000 * i) + ",0.5,12." +
                             QByteArray::number(i % 10) + ",8" + QByteArray::number(i % 10) + "\n";
    const QString path = m_dir->filePath("run.csv");
    writeFile(path, text);
    QVERIFY(page.openLog(path));
    QVERIFY(!poll.paused());
    QVERIFY(page.PlayStatus->text().isEmpty());
    rig.wires.clear();

    // Scrubbing shows the values at that time at once, and pauses the poll.
    QSlider *slider = page.PlaySlider;
    QCOMPARE(slider->maximum(), 10000);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(2, slider->height() / 2)); // engage
    slider->setValue(3400);
    QVERIFY(poll.paused());
    QVERIFY(!poll.Timer1->isActive());
    QVERIFY(page.PlayStatus->text().contains("recording"));
    QCOMPARE(rt.Label50->text(), QStringLiteral("3000"));
    QCOMPARE(rt.Label55->text(), QStringLiteral("12.3"));
    QCOMPARE(gauges.RPMGauge->position(), 30.0);
    QCOMPARE(gauges.TempGauge->position(), 83.0);
    slider->setValue(5500); // in the missed sample: the values before it stay
    QCOMPARE(rt.Label50->text(), QStringLiteral("4000"));

    // Playing at 4x moves the displays on; the end keeps the last values.
    page.PlaySpeed->setCurrentIndex(2);
    QTest::mouseClick(page.PlayButton, Qt::LeftButton);
    QVERIFY(page.player().playing());
    QCOMPARE(page.PlayButton->text(), QStringLiteral("Pause"));
    page.player().advance(0.5); // 2 s of the run
    QCOMPARE(rt.Label50->text(), QStringLiteral("7000"));
    QCOMPARE(slider->value(), 7500);
    QVERIFY(QTest::qWaitFor([&] { return !page.player().playing(); }, 5000));
    QCOMPARE(rt.Label50->text(), QStringLiteral("10000"));
    QCOMPARE(gauges.RPMGauge->position(), 100.0);
    QVERIFY2(rig.wires.isEmpty(), "nothing is sent while a log plays");

    // Stop: the poll takes the displays back.
    QTest::mouseClick(page.PlayStopButton, Qt::LeftButton);
    QVERIFY(!poll.paused());
    QVERIFY(poll.Timer1->isActive());
    QVERIFY(page.PlayStatus->text().isEmpty());
    poll.tick();
    QCOMPARE(rt.Label50->text(), QStringLiteral("3000"));
    QVERIFY(!rig.wires.isEmpty());

    // Closing the log ends a playback too.
    slider->setValue(1000);
    QVERIFY(poll.paused());
    QTest::mouseClick(page.CloseLogButton, Qt::LeftButton);
    QVERIFY(!poll.paused());
    QVERIFY(!page.PlayButton->isEnabled());
    poll.setAnalogEnabled(false);
}

void TestLogs::cursorReadout_data() {
    QTest::addColumn<QList<int>>("keys"); // key presses on the chart from Home
    QTest::addColumn<double>("time");
    QTest::addColumn<QString>("rpm");
    QTest::addColumn<QString>("vacuum");
    QTest::newRow("first sample") << QList<int>{} << 0.0 << "1000 RPM"
                                  << "0.5 bar";
    QTest::newRow("next") << QList<int>{Qt::Key_Right} << 1.0 << "2000 RPM"
                          << "0.4 bar";
    QTest::newRow("a missed sample") << QList<int>{Qt::Key_Right, Qt::Key_Right} << 2.0 << "missed"
                                     << "missed";
    QTest::newRow("vacuum not sampled") << QList<int>{Qt::Key_End} << 3.0 << "3000 RPM"
                                        << "";
    QTest::newRow("back from the end")
        << QList<int>{Qt::Key_End, Qt::Key_Left, Qt::Key_Left} << 1.0 << "2000 RPM"
        << "0.4 bar";
}

void TestLogs::cursorReadout() {
    QFETCH(QList<int>, keys);
    QFETCH(double, time);
    QFETCH(QString, rpm);
    QFETCH(QString, vacuum);
    FakeClock clock;
    Session session(clock);
    DataLoggerPage page(session);
    const QString path = m_dir->filePath("gap.csv");
    writeFile(path, "time_s,rpm,vacuum_bar\n0,1000,0.5\n1,2000,0.4\n2,,\n3,3000,\n");
    QVERIFY(page.openLog(path));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    LogViewer *chart = page.LogChart;
    chart->setFocus();
    QTest::keyClick(chart, Qt::Key_Home);
    for (int k : keys)
        QTest::keyClick(chart, Qt::Key(k));
    QCOMPARE(chart->cursorTime(), time);
    // Rows: time, then the channels in series order (RPM, Vacuum); column 1 the cursor.
    LogReadout *r = page.Readout;
    QCOMPARE(r->item(1, 0)->text(), QStringLiteral("RPM"));
    QCOMPARE(r->item(1, 1)->text(), rpm);
    QCOMPARE(r->item(2, 1)->text(), vacuum);
    QVERIFY(chart->accessibleDescription().contains(rpm));
    // The cursor is the play position.
    QVERIFY(page.player().engaged());
    QCOMPARE(page.player().position(), time);

    // Between two samples the one before counts, not a mix of both; the second cursor gives
    // the differences.
    chart->setCursorTime(1.5);
    emit chart->cursorMoved(1.5);
    QCOMPARE(r->item(1, 1)->text(), QStringLiteral("2000 RPM"));
    const QPoint at(chart->xAxis->coordToPixel(3.0), chart->pane(0)->rect().center().y());
    QTest::mouseClick(chart, Qt::LeftButton, Qt::ShiftModifier, at);
    QVERIFY(chart->hasSecondCursor());
    QCOMPARE(r->item(1, 2)->text(), QStringLiteral("3000 RPM"));
    QCOMPARE(r->item(1, 3)->text(), QStringLiteral("1000 RPM"));
    QCOMPARE(r->item(2, 3)->text(), QString()); // no vacuum at the second cursor

    // Playing moves the cursor.
    page.player().play();
    page.player().advance(0.25);
    QCOMPARE(chart->cursorTime(), 1.75);
    page.player().stop();
}

void TestLogs::longLogSlider() {
    // 3,000,000 s: more milliseconds than a slider holds; the slider steps coarser instead.
    FakeClock clock;
    Session session(clock);
    DataLoggerPage page(session);
    const QString path = m_dir->filePath("long.csv");
    writeFile(path, "time_s,rpm\n0,1000\n1500000,2000\n3000000,3000\n");
    QVERIFY(page.openLog(path));
    QSlider *slider = page.PlaySlider;
    QVERIFY(slider->maximum() > 1000000);
    QVERIFY(slider->maximum() * page.sliderStep() >= 3000000);
    slider->setValue(slider->maximum());
    QCOMPARE(page.player().position(), 3000000.0);
    QCOMPARE(page.player().valuesAt(page.player().position()).rpm, 30.0);
    slider->setValue(slider->maximum() / 2 + 1);
    QCOMPARE(page.player().valuesAt(page.player().position()).rpm, 20.0);
}

QTEST_MAIN(TestLogs)
#include "tst_logs.moc"
