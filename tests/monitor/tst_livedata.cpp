// Decoding of the live data frame (reply to 0xFC) and what the poll derives from it.
#include "live/LiveData.h"
#include "model/Maps.h"

#include <QtTest>

Q_DECLARE_METATYPE(FuelRegion)

namespace {
// A reply as the EMU sends it: every value + 1.
QByteArray frame(std::initializer_list<int> bytes) {
    QByteArray out;
    for (int b : bytes)
        out.append(char(quint8(b)));
    return out;
}

double field(const LiveValues &v, const QString &name) {
    if (name == "rpm") return v.rpm;
    if (name == "vacuum") return v.vacuum;
    if (name == "tps") return v.tps;
    if (name == "lambda") return v.lambda;
    if (name == "water") return v.waterTemp;
    if (name == "air") return v.airTemp;
    if (name == "pot") return v.pot;
    if (name == "battery") return v.battery;
    if (name == "injector") return v.injectorTime;
    qFatal("unknown field");
}

const QByteArray Typical = frame({31, 129, 41, 51, 81, 46, 129, 131, 36});
} // namespace

class TestLiveData : public QObject {
    Q_OBJECT
private slots:
    void decodesEachByte_data();
    void decodesEachByte();
    void replyBuffer_data();
    void replyBuffer();
    void calibrationDecodesTpsOnly();
    void rpmIndex_data();
    void rpmIndex();
    void vacuumIndex_data();
    void vacuumIndex();
    void totalTimingFromBothMaps_data();
    void totalTimingFromBothMaps();
    void injectorDuty_data();
    void injectorDuty();
    void region_data();
    void region();
    void thresholdVacuumFromTheWire();
};

void TestLiveData::decodesEachByte_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("expected");

    QTest::newRow("rpm") << Typical << 10 << "rpm" << 30.0;
    QTest::newRow("rpm byte 1 is 0") << frame({1, 2, 2, 2, 2, 2, 2, 2, 2}) << 10 << "rpm" << 0.0;
    QTest::newRow("rpm top") << frame({255, 2, 2, 2, 2, 2, 2, 2, 2}) << 10 << "rpm" << 254.0;
    QTest::newRow("vacuum top byte S=10")
        << frame({2, 255, 2, 2, 2, 2, 2, 2, 2}) << 10 << "vacuum" << 1.0;
    QTest::newRow("vacuum 128/255 of 3.5 bar") << Typical << 35 << "vacuum" << 1.76;
    QTest::newRow("vacuum top byte S=35")
        << frame({2, 255, 2, 2, 2, 2, 2, 2, 2}) << 35 << "vacuum" << 3.49; // 254 / 255 x 3.5
    QTest::newRow("vacuum 1/255 rounds to 0")
        << frame({2, 2, 2, 2, 2, 2, 2, 2, 2}) << 10 << "vacuum" << 0.0;
    QTest::newRow("vacuum with S=0") << Typical << 0 << "vacuum" << 0.0;
    QTest::newRow("tps") << Typical << 10 << "tps" << 40.0;
    QTest::newRow("lambda") << Typical << 10 << "lambda" << 50.0;
    QTest::newRow("water") << Typical << 10 << "water" << 80.0;
    QTest::newRow("air") << Typical << 10 << "air" << 25.0;
    QTest::newRow("air lowest") << frame({2, 2, 2, 2, 2, 1, 2, 2, 2}) << 10 << "air" << -20.0;
    QTest::newRow("air highest") << frame({2, 2, 2, 2, 2, 255, 2, 2, 2}) << 10 << "air" << 234.0;
    QTest::newRow("pot 128/255") << Typical << 10 << "pot" << 50.2;
    QTest::newRow("pot top byte") << frame({2, 2, 2, 2, 2, 2, 255, 2, 2}) << 10 << "pot" << 99.61;
    QTest::newRow("pot 1/255") << frame({2, 2, 2, 2, 2, 2, 2, 2, 2}) << 10 << "pot" << 0.39;
    QTest::newRow("battery") << Typical << 10 << "battery" << 130.0;
    QTest::newRow("injector") << Typical << 10 << "injector" << 35.0;
}

void TestLiveData::decodesEachByte() {
    QFETCH(QByteArray, reply);
    QFETCH(int, sensorRange);
    QFETCH(QString, name);
    QFETCH(double, expected);

    LiveFrameBuffer buffer;
    buffer.take(reply);
    LiveContext ctx;
    ctx.mapSensorRange = sensorRange;
    LiveValues v;
    Live::decode(buffer, ctx, v);
    QCOMPARE(field(v, name), expected);
    QCOMPARE(v.frames, quint64(1));
}

void TestLiveData::replyBuffer_data() {
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected"); // all 11 buffer bytes afterwards

    const QByteArray ten = frame({11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    QTest::newRow("nine bytes into an empty buffer")
        << QByteArray() << Typical << frame({31, 129, 41, 51, 81, 46, 129, 131, 36, 0, 0});
    QTest::newRow("five bytes keep bytes 6 to 8")
        << Typical << frame({2, 3, 4, 5, 6}) << frame({2, 3, 4, 5, 6, 0, 129, 131, 36, 0, 0});
    QTest::newRow("empty reply") << Typical << QByteArray()
                                 << frame({0, 129, 41, 51, 81, 46, 129, 131, 36, 0, 0});
    QTest::newRow("NUL inside ends the copy") << ten << frame({2, 3, 0, 5, 6, 7, 8, 9, 10, 11})
                                              << frame({2, 3, 0, 14, 15, 16, 17, 18, 19, 20, 0});
    QTest::newRow("more than ten bytes")
        << QByteArray() << frame({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})
        << frame({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0});
}

void TestLiveData::replyBuffer() {
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);

    LiveFrameBuffer buffer;
    buffer.take(previous);
    buffer.take(reply);
    const auto &bytes = buffer.bytes();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())), expected);
}

void TestLiveData::calibrationDecodesTpsOnly() {
    LiveFrameBuffer buffer;
    buffer.take(Typical);
    LiveValues v;
    v.rpm = 12;
    v.frames = 7;
    Live::decodeTps(buffer, v);
    QCOMPARE(v.tps, 40.0);
    QCOMPARE(v.rpm, 12.0);
    QCOMPARE(v.frames, quint64(7));
}

void TestLiveData::rpmIndex_data() {
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("rpmRange");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("expected");

    QTest::newRow("in the map") << 35.0 << 7000.0 << 70 << 35;
    QTest::newRow("last point") << 70.0 << 7000.0 << 70 << 70;
    QTest::newRow("R not a multiple of 100") << 50.0 << 7250.0 << 72 << 50;
    QTest::newRow("top of R 7250") << 72.0 << 7250.0 << 72 << 72; // 72 x 72 / 72.5 = 71.503
    QTest::newRow("RPM 0 stays in the map") << 0.0 << 7000.0 << 70 << 1;
    QTest::newRow("empty reply RPM -1") << -1.0 << 7000.0 << 70 << 1;
    QTest::newRow("above the RPM range") << 254.0 << 7000.0 << 70 << 70;
    QTest::newRow("R 0") << 40.0 << 0.0 << 70 << 40;
}

void TestLiveData::rpmIndex() {
    QFETCH(double, rpm);
    QFETCH(double, rpmRange);
    QFETCH(int, points);
    QFETCH(int, expected);
    LiveContext ctx;
    ctx.rpmRange = rpmRange;
    ctx.timingPoints = points;
    QCOMPARE(Live::rpmIndex(rpm, ctx), expected);
}

void TestLiveData::vacuumIndex_data() {
    QTest::addColumn<double>("vacuum");
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<int>("expected");

    QTest::newRow("1.0 bar of 1.0") << 1.0 << 10 << 32;
    QTest::newRow("half scale") << 0.5 << 10 << 16;
    QTest::newRow("1.76 of 3.5") << 1.76 << 35 << 16;
    QTest::newRow("below half a step") << 0.01 << 10 << 1;
    QTest::newRow("zero") << 0.0 << 10 << 1;
    QTest::newRow("above the sensor range") << 1.2 << 10 << 32;
    QTest::newRow("S 0") << 0.0 << 0 << 1;
}

void TestLiveData::vacuumIndex() {
    QFETCH(double, vacuum);
    QFETCH(int, sensorRange);
    QFETCH(int, expected);
    LiveContext ctx;
    ctx.mapSensorRange = sensorRange;
    QCOMPARE(Live::vacuumIndex(vacuum, ctx), expected);
}

void TestLiveData::totalTimingFromBothMaps_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<double>("expected");

    // Timing point p holds p; vacuum timing point q holds -q / 2 rounded down (see below).
    QTest::newRow("RPM 30, vacuum index 32")
        << frame({31, 255, 2, 2, 2, 2, 2, 2, 2}) << 10 << 30.0 - 16.0;
    QTest::newRow("RPM 0 and vacuum 0 use point 1")
        << frame({1, 1, 2, 2, 2, 2, 2, 2, 2}) << 10 << 1.0 - 0.0;
    QTest::newRow("RPM above the range uses point N")
        << frame({255, 129, 2, 2, 2, 2, 2, 2, 2}) << 10 << 70.0 - 8.0;
    QTest::newRow("empty reply") << QByteArray() << 10 << 1.0 - 0.0;
    QTest::newRow("S 0") << frame({21, 200, 2, 2, 2, 2, 2, 2, 2}) << 0 << 20.0 - 0.0;
}

void TestLiveData::totalTimingFromBothMaps() {
    QFETCH(QByteArray, reply);
    QFETCH(int, sensorRange);
    QFETCH(double, expected);

    EmuMaps maps;
    for (int p = 1; p <= 100; ++p)
        maps.setValue(MapId::Timing, p, p);
    for (int q = 1; q <= 32; ++q)
        maps.setValue(MapId::VacuumTiming, q, -(q / 2));

    LiveContext ctx;
    ctx.mapSensorRange = sensorRange;
    LiveFrameBuffer buffer;
    buffer.take(reply);
    LiveValues v;
    Live::decode(buffer, ctx, v);
    Live::derive(maps, ctx, v);
    QCOMPARE(v.totalTiming, expected);
}

void TestLiveData::injectorDuty_data() {
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("injectorTime");
    QTest::addColumn<int>("strokeFactor");
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("expected");

    // duty = t * RPM / 120 before rounding.
    QTest::newRow("10 percent") << 30.0 << 40.0 << 1 << 0 << 10;
    QTest::newRow("rounded 2.6") << 12.0 << 26.0 << 1 << 0 << 3;
    QTest::newRow("two-stroke doubles after rounding") << 12.0 << 26.0 << 2 << 0 << 6;
    QTest::newRow("RPM 0 keeps the last duty") << 0.0 << 40.0 << 1 << 17 << 17;
    QTest::newRow("RPM -1 keeps the last duty") << -1.0 << 40.0 << 1 << 17 << 17;
    QTest::newRow("injector 0") << 30.0 << 0.0 << 1 << 17 << 0;
    QTest::newRow("largest frame") << 254.0 << 254.0 << 2 << 0 << 1076; // 537.6 -> 538
}

void TestLiveData::injectorDuty() {
    QFETCH(double, rpm);
    QFETCH(double, injectorTime);
    QFETCH(int, strokeFactor);
    QFETCH(int, previous);
    QFETCH(int, expected);

    EmuMaps maps;
    LiveContext ctx;
    ctx.strokeFactor = strokeFactor;
    LiveValues v;
    v.rpm = rpm;
    v.injectorTime = injectorTime;
    v.injectorDuty = previous;
    Live::derive(maps, ctx, v);
    QCOMPARE(v.injectorDuty, expected);
}

void TestLiveData::region_data() {
    QTest::addColumn<double>("vacuum");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<FuelRegion>("expected");

    QTest::newRow("below L") << 0.05 << 0.1 << 0.9 << FuelRegion::Low;
    QTest::newRow("at L") << 0.1 << 0.1 << 0.9 << FuelRegion::None;
    QTest::newRow("between") << 0.5 << 0.1 << 0.9 << FuelRegion::Cruise;
    QTest::newRow("at H") << 0.9 << 0.1 << 0.9 << FuelRegion::None;
    QTest::newRow("above H") << 0.95 << 0.1 << 0.9 << FuelRegion::High;
    QTest::newRow("L above H: High tested last") << 0.5 << 0.6 << 0.4 << FuelRegion::High;
}

void TestLiveData::region() {
    QFETCH(double, vacuum);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(FuelRegion, expected);
    LiveContext ctx;
    ctx.lowThrottleVacuum = low;
    ctx.highThrottleVacuum = high;
    QCOMPARE(Live::region(vacuum, ctx), expected);
}

void TestLiveData::thresholdVacuumFromTheWire() {
    // 25/255 bar rounds to exactly the default low threshold 0.1; 230/255 to 0.9.
    LiveContext ctx;
    LiveFrameBuffer buffer;
    LiveValues v;
    buffer.take(frame({2, 26, 2, 2, 2, 2, 2, 2, 2}));
    Live::decode(buffer, ctx, v);
    QCOMPARE(v.vacuum, 0.1);
    QCOMPARE(Live::region(v.vacuum, ctx), FuelRegion::None);
    buffer.take(frame({2, 231, 2, 2, 2, 2, 2, 2, 2}));
    Live::decode(buffer, ctx, v);
    QCOMPARE(v.vacuum, 0.9);
    QCOMPARE(Live::region(v.vacuum, ctx), FuelRegion::None);
}

QTEST_GUILESS_MAIN(TestLiveData)
#include "tst_livedata.moc"
