// Hit tables of a log over the maps, their filters, and the log loader's limits.
#include "live/LogFile.h"
#include "live/MapHits.h"

#include <QtTest>

Q_DECLARE_METATYPE(FuelRegion)
Q_DECLARE_METATYPE(MapId)

namespace {
LogRecord parsed(const QByteArray &text) {
    LogRecord rec;
    QString error;
    if (!LogReader::parse(text, QStringLiteral("t.csv"), &rec, &error))
        qFatal("%s", qPrintable(error));
    return rec;
}
} // namespace

class TestMapHits : public QObject {
    Q_OBJECT
private slots:
    void pointOfSample_data();
    void pointOfSample();
    void filtersAndNumbers();
    void loaderLimits_data();
    void loaderLimits();
};

void TestMapHits::pointOfSample_data() {
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("vacuum");
    QTest::addColumn<FuelRegion>("previous");
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("point");
    // R 7000: 32 fuel RPM points 218.75 RPM apart, 70 timing points. S 10: 1 bar, L 0.1, H 0.9.
    QTest::newRow("timing nearest") << 2549.0 << 0.5 << FuelRegion::None << MapId::Timing << 25;
    QTest::newRow("timing below the first") << 0.0 << 0.5 << FuelRegion::None << MapId::Timing << 1;
    QTest::newRow("timing beyond the last")
        << 9000.0 << 0.5 << FuelRegion::None << MapId::Timing << 70;
    QTest::newRow("cruise") << 2550.0 << 0.5 << FuelRegion::None << MapId::FuelCruise << 12;
    QTest::newRow("cruise, not low") << 2550.0 << 0.5 << FuelRegion::None << MapId::FuelLow << 0;
    QTest::newRow("just below L") << 2550.0 << 0.09 << FuelRegion::Cruise << MapId::FuelLow << 12;
    // Exactly at a threshold the region stays what it was.
    QTest::newRow("at L after cruise")
        << 2550.0 << 0.1 << FuelRegion::Cruise << MapId::FuelCruise << 12;
    QTest::newRow("at L after cruise, not low")
        << 2550.0 << 0.1 << FuelRegion::Cruise << MapId::FuelLow << 0;
    QTest::newRow("at L after low") << 2550.0 << 0.1 << FuelRegion::Low << MapId::FuelLow << 12;
    QTest::newRow("at H after high") << 2550.0 << 0.9 << FuelRegion::High << MapId::FuelHigh << 12;
    QTest::newRow("at H, no region yet")
        << 2550.0 << 0.9 << FuelRegion::None << MapId::FuelHigh << 0;
    QTest::newRow("at H, no region yet, cruise")
        << 2550.0 << 0.9 << FuelRegion::None << MapId::FuelCruise << 0;
    QTest::newRow("fuel vacuum") << 2550.0 << 0.47 << FuelRegion::None << MapId::FuelVacuum << 30;
    QTest::newRow("vacuum timing")
        << 2550.0 << 0.47 << FuelRegion::None << MapId::VacuumTiming << 15;
}

void TestMapHits::pointOfSample() {
    QFETCH(double, rpm);
    QFETCH(double, vacuum);
    QFETCH(FuelRegion, previous);
    QFETCH(MapId, map);
    QFETCH(int, point);
    MapHits::Context ctx;
    MapHits::Sample s;
    s.rpm = rpm;
    s.vacuum = vacuum;
    const FuelRegion region = MapHits::regionOf(vacuum, previous, ctx);
    QCOMPARE(MapHits::pointOf(map, s, region, ctx), point);
}

void TestMapHits::filtersAndNumbers() {
    // 0.1 s rows. Row 0.3 is a missed sample; throttle jumps 30 % between 0.4 and 0.5 (300 %/s).
    const LogRecord log = parsed("time_s,rpm,vacuum_bar,lambda_v,water_c,throttle_pct\n"
                                 "0,2500,0.5,0.40,60,10\n"
                                 "0.1,2500,0.5,0.50,70,10\n"
                                 "0.2,2500,0.5,0.46,80,12\n"
                                 "0.3,,,,,\n"
                                 "0.4,800,0.5,0.45,80,12\n"
                                 "0.5,2500,0.1,0.30,80,42\n");
    MapHits::Context ctx; // target 0.45 V
    MapHits::Hits all = MapHits::compute(log, ctx);
    QCOMPARE(all.counts.rows, 6);
    QCOMPARE(all.counts.kept, 5);
    QCOMPARE(all.counts.missed, 1);
    // 2500 RPM is cruise point 11 (2500 / 218.75 = 11.43); row 0.5 sits at L after cruise.
    const MapHits::Point &p = all.at(MapId::FuelCruise, 11);
    QCOMPARE(p.samples, 4);
    QCOMPARE(p.seconds, 0.4); // 0.1 each; the last row as long as the step before it
    QCOMPARE(p.meanLambda(), (0.40 + 0.50 + 0.46 + 0.30) / 4);
    QCOMPARE(p.richShare(), 0.5); // 0.50 and 0.46 above 0.45
    QCOMPARE(all.at(MapId::FuelLow, 11).samples, 0);
    QCOMPARE(all.at(MapId::WaterTemp, 16).samples, 3); // 80 °C
    QCOMPARE(all.at(MapId::Timing, 25).samples, 4);
    QCOMPARE(all.at(MapId::Timing, 8).samples, 1);

    MapHits::Filter f;
    f.minWater = 70;
    f.minRpm = 1000;
    f.maxThrottleRate = 100;
    f.from = 0.05;
    MapHits::Hits some = MapHits::compute(log, ctx, f);
    QCOMPARE(some.counts.outsideTime, 1);
    QCOMPARE(some.counts.missed, 1);
    QCOMPARE(some.counts.coldWater, 0);
    QCOMPARE(some.counts.lowRpm, 1);
    QCOMPARE(some.counts.throttleChange, 1);
    QCOMPARE(some.counts.kept, 2);
    QCOMPARE(some.at(MapId::FuelCruise, 11).samples, 2);

    // A kept missed sample counts with the whole sample before it.
    MapHits::Filter withMissed;
    withMissed.excludeMissed = false;
    MapHits::Hits held = MapHits::compute(log, ctx, withMissed);
    QCOMPARE(held.counts.kept, 6);
    QCOMPARE(held.at(MapId::FuelCruise, 11).samples, 5);
}

void TestMapHits::loaderLimits_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<QString>("error");
    const QByteArray head = "time_s,rpm,vacuum_bar\n0,2500,0.5\n";
    QTest::newRow("whole") << head + "0.1,2600,0.4\n" << 2 << false << QString();
    QTest::newRow("last line cut") << head + "0.1,26" << 1 << true << QString();
    QTest::newRow("blank lines at the end") << head + "\n\r\n" << 1 << false << QString();
    QTest::newRow("blank line inside") << head + "\n0.1,2600,0.4\n"
                                       << 0 << false << "line 3: 1 fields where the header has 3";
    QTest::newRow("line too long")
        << head + QByteArray(10'000'000, '1') + "\n"
        << 0 << false << "line 3: the line is longer than 4096 characters";
}

void TestMapHits::loaderLimits() {
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(bool, dropped);
    QFETCH(QString, error);
    LogRecord rec;
    QString message;
    const bool ok = LogReader::parse(text, QStringLiteral("t.csv"), &rec, &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    QCOMPARE(rec.rows, rows);
    QCOMPARE(int(rec.times.size()), rows);
    QCOMPARE(rec.droppedCutLine, dropped);
    QCOMPARE(LogReader::droppedText(rec, "t.csv").isEmpty(), !dropped);
}

QTEST_GUILESS_MAIN(TestMapHits)
#include "tst_maphits.moc"
