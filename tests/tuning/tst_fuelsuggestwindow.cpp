// Fuel suggestions on the charts: nothing is sent until Apply; Apply writes only the changed
// points of the chosen range, in point order, as one history step; the ghost curve and its
// tooltips show what is suggested. Live mode steps by itself within its limits.
#include "live/LiveFeed.h"
#include "support/SessionState.h"
#include "tests/sim/FuelRig.h"
#include "tests/tuning/MapRig.h"
#include "tuning/FuelSuggestWindow.h"

#include <QSpinBox>
#include <QTableWidget>
#include <QToolTip>

class TestFuelSuggestWindow : public QObject {
    Q_OBJECT
private slots:
    void reviewThenApply();
    void liveModeStepsWithinItsLimits();
};

namespace {
QByteArray cruise(std::initializer_list<std::pair<int, int>> pointValue) {
    QByteArray b;
    for (auto [p, v] : pointValue)
        b += bytes({0xDE, 64 + p - 1, v + 100});
    return b;
}
} // namespace

void TestFuelSuggestWindow::reviewThenApply() {
    // A log of an engine 8 % lean at 3000-4000 RPM in the cruise region (points 14 to 18).
    FuelRig engine({{8, 3000, 4000, 2}});
    engine.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0, 200));
    engine.record(200 + ScriptedDrive::standard(7000, 0.25, 0.85, 1.0).duration());

    Rig r;
    r.s.markConnected();
    // The tune in memory differs a little.
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::FuelCruise, 14, 1); });
    FuelSuggestWindow w(r.s, *r.pages);
    QString error;
    QVERIFY2(w.openLog(engine.dir.filePath("log1.csv"), &error), qPrintable(error));
    QCOMPARE(r.emu.written(), QByteArray()); // nothing without Apply
    for (int p = 14; p <= 18; ++p)
        QCOMPARE(w.result().at(MapId::FuelCruise, p)->change, 3.0);
    QCOMPARE(w.result().changed(), 5);

    // The same log as the Data Logger holds it suggests the same; without one, nothing changes.
    {
        FuelSuggestWindow fromLogger(r.s, *r.pages);
        LogRecord held;
        const LogRecord *shown = nullptr;
        fromLogger.setLoggerLog({[&] { return shown; }, [] { return QStringLiteral("rec.csv"); }});
        QVERIFY(!fromLogger.useLoggerLog(&error));
        QVERIFY(LogReader::read(engine.dir.filePath("log1.csv"), &held, &error));
        shown = &held;
        QVERIFY2(fromLogger.useLoggerLog(&error), qPrintable(error));
        QCOMPARE(fromLogger.result().changed(), 5);
        QCOMPARE(fromLogger.result().at(MapId::FuelCruise, 14)->change, 3.0);
    }

    // The ghost curve: the suggested values at the points' positions, with their tooltips.
    QCPGraph *g = w.ghost(MapId::FuelCruise);
    QVERIFY(g);
    const double x14 = r.s.maps().position(MapId::FuelCruise, 14, r.s.axes());
    QCOMPARE(g->data()->findBegin(x14, false)->value, 4.0);
    r.showChart(MapPages::FuelRpm);
    MapChart *chart = r.chart(MapPages::FuelRpm);
    const QPoint at = r.pixel(MapPages::FuelRpm, x14, 4);
    QHelpEvent help(QEvent::ToolTip, at, chart->mapToGlobal(at));
    QApplication::sendEvent(chart, &help);
    QVERIFY2(QToolTip::text().contains(QLatin1String("point 14")) &&
                 QToolTip::text().contains(QLatin1String("samples")),
             qPrintable(QToolTip::text()));

    // A range: points 15 and 16 only, one step.
    const int steps = r.s.history().count();
    QCOMPARE(w.applyRange(MapId::FuelCruise, 16, 15), 2);
    QCOMPARE(r.emu.written(), cruise({{15, 3}, {16, 3}}));
    QCOMPARE(r.s.history().count(), steps + 1);
    QCOMPARE(w.result().changed(), 3);
    r.emu.clearWritten();
    r.s.history().undo();
    QCOMPARE(r.emu.written(), cruise({{15, 0}, {16, 0}}));
    QCOMPARE(w.result().changed(), 5); // undone: suggested again

    // All: the changed points, in point order, one step.
    r.emu.clearWritten();
    QCOMPARE(w.applyAll(), 5);
    QCOMPARE(r.emu.written(), cruise({{14, 4}, {15, 3}, {16, 3}, {17, 3}, {18, 3}}));
    QCOMPARE(r.s.history().count(), steps + 1);
    QCOMPARE(w.result().changed(), 0);
    QCOMPARE(w.applyAll(), 0);

    w.close();
    QVERIFY(!w.ghost(MapId::FuelCruise));
}

void TestFuelSuggestWindow::liveModeStepsWithinItsLimits() {
    // The engine, warm, held at cruise point 15 where it needs 8 % more than the map gives.
    FuelRig engine({{8, 3000, 4000, 2}});
    engine.emu.setDrive(ScriptedDrive({{DriveSegment::Idle, 300, 0, 900, 900, 0.3}}));
    engine.record(300, 200);
    engine.emu.setDrive(ScriptedDrive({{DriveSegment::Steady, 1e6, 20, 3281.25, 3281.25, 0.5}}));
    engine.record(5, 200);

    Rig r;
    r.s.markConnected();
    LiveFeed feed;
    FuelSuggestWindow w(r.s, *r.pages);
    w.setLiveFeed(&feed);
    w.findChild<QSpinBox *>(QStringLiteral("LiveInterval"))->setValue(10);
    w.setLive(true);
    QVERIFY(w.windowTitle().contains(QLatin1String("live")));
    LiveContext ctx;
    LiveFrameBuffer buf;
    LiveValues v;
    auto run = [&](int seconds) {
        for (int i = 0; i < seconds * 50; ++i) {
            engine.clock.advance(20);
            r.clock.advance(20);
            buf.take(engine.emu.liveFrame());
            Live::decode(buf, ctx, v);
            emit feed.liveValues(v);
        }
    };
    const int steps = r.s.history().count();
    run(10);
    QCOMPARE(r.emu.written(), cruise({{15, 1}})); // one point, one percent
    r.emu.clearWritten();
    run(80);
    // Eight steps were due; live mode stops at 5 % from where it began.
    QCOMPARE(r.value(MapId::FuelCruise, 15), w.LiveMaxTotal);
    QCOMPARE(w.liveSteps(), 5);
    QCOMPARE(r.s.history().count(), steps + 5);
    QCOMPARE(r.emu.written(), cruise({{15, 2}, {15, 3}, {15, 4}, {15, 5}}));
    r.emu.clearWritten();
    r.s.history().undo();
    QCOMPARE(r.emu.written(), cruise({{15, 4}}));

    w.close(); // live mode ends with the window
    QVERIFY(!w.live());
    r.emu.clearWritten();
    run(20);
    QCOMPARE(r.emu.written(), QByteArray());
}

QTEST_MAIN(TestFuelSuggestWindow)
#include "tst_fuelsuggestwindow.moc"
