// Fuel suggestions proved on the virtual engine: a known fuel error, the scripted drive, a log,
// the suggestion applied, again, until the tune fits the engine.
#include "sim/FuelRig.h"

#include <QtTest>

class TestFuelSuggest : public QObject {
    Q_OBJECT
private slots:
    void convergesOnTheTrueNeed();
    void leftOutSamplesMoveNothing_data();
    void leftOutSamplesMoveNothing();
    void lambdaReactsToTheTune();
    void closedLoopTrimIsBounded();
    void readingsBelongToTheDelayedPoint_data();
    void readingsBelongToTheDelayedPoint();
};

void TestFuelSuggest::convergesOnTheTrueNeed() {
    FuelRig r({{8, 3000, 4000, 2}, {-6, 1500, 2500, 1}, {5, 4500, 5500, 3}});
    const emu::model::Tune before = r.tune();
    const double lap = ScriptedDrive::standard(7000, 0.25, 0.85, 1.0).duration();
    r.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0, 200)); // starts cold
    LogRecord log = r.record(200 + lap);
    FuelSuggest::Result res = r.suggest(log);
    std::array<std::vector<int>, MapCount> visited;
    for (MapId id : res.maps)
        visited[int(id)].assign(33, 0);
    for (const FuelSuggest::PointResult &p : res.points)
        visited[int(p.map)][size_t(p.point)] += p.samples;
    QCOMPARE(res.counts.rows, log.rows);
    QVERIFY(res.counts.cold > 0 && res.counts.overrun > 0 && res.counts.transient > 0);
    r.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0)); // warm from here on

    int rounds = 0;
    while (res.changed() > 0) {
        QVERIFY2(++rounds <= 5, "no fit after 5 rounds");
        r.apply(res);
        log = r.record(lap);
        res = r.suggest(log);
        for (const FuelSuggest::PointResult &p : res.points)
            visited[int(p.map)][size_t(p.point)] += p.samples;
    }
    int checked = 0;
    for (const FuelSuggest::PointResult &p : res.points) {
        const double truth = r.emu.fuel().trueRpmMapValue(r.emu, FuelRig::regionOf(p.map), p.point);
        const QString where = QStringLiteral("%1 point %2 (%3 samples, rich %4): %5, needs %6")
                                  .arg(QLatin1String(emu::model::mapInfo(p.map).key))
                                  .arg(p.point)
                                  .arg(p.samples)
                                  .arg(p.richShare)
                                  .arg(r.emu.mapValue(p.map, p.point))
                                  .arg(truth);
        if (p.samples >= FuelSuggest::Options().minSamples) {
            QVERIFY2(qAbs(r.emu.mapValue(p.map, p.point) - truth) <= 2, qPrintable(where));
            QVERIFY2(p.richShare >= 0.4 && p.richShare <= 0.6, qPrintable(where));
            ++checked;
        } else if (visited[int(p.map)][size_t(p.point)] == 0) {
            QVERIFY2(r.emu.mapValue(p.map, p.point) == before.maps.value(p.map, p.point),
                     qPrintable(where));
        }
    }
    QVERIFY2(checked >= 40, qPrintable(QString::number(checked)));
    QVERIFY(rounds >= 2); // the error took more than one bounded step
    qInfo("%d rounds, %d points checked", rounds, checked);
}

void TestFuelSuggest::leftOutSamplesMoveNothing_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("error");
    // The cold start: cold sensor and water, with an error the warm engine would show at once.
    QTest::newRow("cold") << "cold" << 12.0;
    // Tip-ins: the accelerator pump makes them rich although the maps are right.
    QTest::newRow("transient") << "transient" << 0.0;
    // Overrun: fuel cut, the sensor reads lean although the maps are right.
    QTest::newRow("overrun") << "overrun" << 0.0;
}

void TestFuelSuggest::leftOutSamplesMoveNothing() {
    QFETCH(QString, kind);
    QFETCH(double, error);
    FuelRig r({{error, 0, 1e9, 0}});
    std::vector<DriveSegment> d;
    double seconds = 150; // the water stays below 70 °C
    if (kind != QLatin1String("cold")) {
        r.emu.setDrive(ScriptedDrive({{DriveSegment::Idle, 600, 0, 900, 900, 0.3}}));
        r.record(600, 200); // warm up
        for (int i = 0; i < 40; ++i) {
            d.push_back({DriveSegment::Steady, 0.5, 12, 2625, 2625, 0.375});
            if (kind == QLatin1String("transient"))
                d.push_back({DriveSegment::TipIn, 1.5, 70, 2625, 2843.75, 0.9});
            else
                d.push_back({DriveSegment::Overrun, 3, 0, 4000, 2000, 0.15});
        }
        seconds = ScriptedDrive(d).duration();
    } else {
        d = ScriptedDrive::standard(7000, 0.25, 0.85, 1.0).segments();
    }
    r.emu.setDrive(ScriptedDrive(d));
    const LogRecord log = r.record(seconds);
    const FuelSuggest::Result res = r.suggest(log);
    QCOMPARE(res.changed(), 0);
    const int leftOut = kind == QLatin1String("cold")        ? res.counts.cold
                        : kind == QLatin1String("transient") ? res.counts.transient
                                                             : res.counts.overrun;
    QVERIFY2(leftOut > log.rows / 3, qPrintable(QString::number(leftOut)));

    // The samples left out are one-sided: counted, they would move points.
    if (kind == QLatin1String("overrun")) {
        const int c = log.column(3);
        int lean = 0;
        for (int i = 0; i < log.rows; ++i)
            lean += log.value(c, i) < 0.45;
        QVERIFY(lean > log.rows / 2);
        return;
    }
    FuelSuggest::Options open;
    open.minWater = -100;
    open.maxThrottleRate = open.maxVacuumRate = 1e9;
    open.tipInWindow = 0;
    QVERIFY(r.suggest(log, open).changed() > 0);
}

void TestFuelSuggest::lambdaReactsToTheTune() {
    // Warm, open loop, steady cruise: 20 % leaner in the map reads lean, 20 % richer reads rich.
    FuelRig r({});
    r.emu.setDrive(ScriptedDrive({{DriveSegment::Steady, 1e6, 20, 2625, 2625, 0.5}}));
    r.record(400, 200);
    auto meanLambda = [&r] {
        const LogRecord log = r.record(10, 100);
        const int c = log.column(3);
        double sum = 0;
        for (int i = 0; i < log.rows; ++i)
            sum += log.value(c, i);
        return sum / log.rows;
    };
    const double right = meanLambda();
    r.emu.setMapValue(MapId::FuelCruise, 12, -20);
    const double lean = meanLambda();
    r.emu.setMapValue(MapId::FuelCruise, 12, 20);
    const double rich = meanLambda();
    QVERIFY2(lean < 0.2 && rich > 0.75 && right > lean && right < rich,
             qPrintable(QStringLiteral("%1 %2 %3").arg(lean).arg(right).arg(rich)));
}

void TestFuelSuggest::closedLoopTrimIsBounded() {
    // 8 % lean with the EMU's trim limited to 5 %: the trim stays at its limit, still lean.
    FuelRig r({{8, 0, 1e9, 0}}, true);
    r.emu.setSetupByte(11, 6); // Control Percentage 5
    r.emu.setDrive(ScriptedDrive({{DriveSegment::Steady, 1e6, 20, 2625, 2625, 0.5}}));
    r.record(400, 200);
    double lo = 100, hi = -100;
    for (int i = 0; i < 50; ++i) {
        r.record(0.2, 200);
        lo = std::min(lo, r.emu.fuel().trim());
        hi = std::max(hi, r.emu.fuel().trim());
    }
    QCOMPARE(hi, 5.0);
    QVERIFY(lo >= 3);
    // With room to trim it away the sensor switches around the target again.
    r.emu.setSetupByte(11, 21); // 20 %
    r.record(5, 200);
    const FuelSuggest::Result res = r.suggest(r.record(60));
    const FuelSuggest::PointResult *p = res.at(MapId::FuelCruise, 12);
    QVERIFY(r.emu.fuel().trim() > 5 && r.emu.fuel().trim() < 12);
    QVERIFY2(p && p->richShare > 0.3 && p->richShare < 0.7,
             p ? qPrintable(QString::number(p->richShare)) : "");
    QCOMPARE(res.controlPercent, 20);
}

void TestFuelSuggest::readingsBelongToTheDelayedPoint_data() {
    QTest::addColumn<double>("delayMs");
    QTest::addColumn<int>("mixedSamples");
    QTest::addColumn<int>("gapSamples");
    // The default delay at 3500 RPM is 200 ms: each reading lands on the point it came from.
    // Gaps: the first 216 ms (no reading has its point yet), the missed row and the 200 ms of
    // readings whose exhaust left before it.
    QTest::newRow("default delay") << -1.0 << 0 << 11 + 1 + 10;
    // Taken as it comes, the first 200 ms after the step count the old exhaust at the new point.
    QTest::newRow("no delay") << 0.0 << 10 << 1;
}

void TestFuelSuggest::readingsBelongToTheDelayedPoint() {
    QFETCH(double, delayMs);
    QFETCH(int, mixedSamples);
    QFETCH(int, gapSamples);
    // Steady at 3062 RPM (cruise point 14), lean; a step to 3500 RPM (point 16) at 10 s whose
    // exhaust, rich, reaches the sensor 200 ms later; a missed row at 20 s.
    QByteArray csv = "time_s,rpm,vacuum_bar,lambda_v,water_c,throttle_pct,injector_ms\n";
    for (int i = 1; i <= 1500; ++i) {
        const double t = i * 0.02;
        if (i == 1000) {
            csv += QByteArray::number(t) + ",,,,,,\n";
            continue;
        }
        const bool second = t >= 10 - 1e-9;
        const bool rich = t >= 10.2 - 1e-9;
        csv += QByteArray::number(t) + (second ? ",3500" : ",3100") + ",0.5," +
               (rich ? "0.8" : "0.1") + ",88,20,3\n";
    }
    LogRecord log;
    QString error;
    QVERIFY2(LogReader::parse(csv, "log", &log, &error), qPrintable(error));
    FuelRig r({});
    FuelSuggest::Options o;
    o.delayMs = delayMs;
    const FuelSuggest::Result res = r.suggest(log, o);
    const FuelSuggest::PointResult *p16 = res.at(MapId::FuelCruise, 16);
    QCOMPARE(p16->samples - int(std::lround(p16->richShare * p16->samples)), mixedSamples);
    QCOMPARE(res.at(MapId::FuelCruise, 14)->richShare, 0.0);
    QCOMPARE(res.counts.gap, gapSamples);
}

QTEST_GUILESS_MAIN(TestFuelSuggest)
#include "tst_fuelsuggest.moc"
