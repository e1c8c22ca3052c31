// Map tables (layout, positions, nearest points, decoding, encoding) and the table write stream.
#include "model/Maps.h"
#include "model/TableStream.h"

#include <QtTest>

Q_DECLARE_METATYPE(MapId)

class TstMaps : public QObject {
    Q_OBJECT
private slots:
    void layoutIsContiguous();
    void timingPointsFor_data();
    void timingPointsFor();
    void axesFromSetup();
    void position_data();
    void position();
    void nearest_data();
    void nearest();
    void decodeBytes_data();
    void decodeBytes();
    void decodeKeepsSlotsBeyondN();
    void rpmRangeAbove10000StaysWithin100Slots();
    void decodeSetsVacuumPositions();
    void vacuumPositionRounded_data();
    void vacuumPositionRounded();
    void decodeRespectsCapabilities();
    void encode_data();
    void encode();
    void pointWriteAddress_data();
    void pointWriteAddress();
    void tableStream_data();
    void tableStream();
    void tableStreamSetupBytes();
};

void TstMaps::layoutIsContiguous() {
    int next = 101;
    for (MapId id : emu::model::allMaps()) {
        const MapInfo &info = emu::model::mapInfo(id);
        QCOMPARE(info.id, id);
        QCOMPARE(info.streamOffset, next);
        next += info.points;
    }
    QCOMPARE(next, 457);
}

void TstMaps::timingPointsFor_data() {
    QTest::addColumn<double>("rpm");
    QTest::addColumn<int>("n");
    QTest::newRow("7000") << 7000.0 << 70;
    QTest::newRow("10000") << 10000.0 << 100;
    QTest::newRow("25300") << 25300.0 << 100;
    QTest::newRow("250 half to even") << 250.0 << 2;
    QTest::newRow("350 half to even") << 350.0 << 4;
    QTest::newRow("0") << 0.0 << 1;
    QTest::newRow("negative") << -500.0 << 1;
    QTest::newRow("nan") << qQNaN() << 1;
}

void TstMaps::timingPointsFor() {
    QFETCH(double, rpm);
    QFETCH(int, n);
    QCOMPARE(emu::model::timingPointsFor(rpm), n);
}

void TstMaps::axesFromSetup() {
    EmuImage img;
    img.setSetupByte(emu::model::OffRpmRange, 1);
    img.setSetupByte(emu::model::OffMapSensorRange, 21);
    MapAxes a = emu::model::axesFromSetup(img);
    QCOMPARE(a.rpmRange, 7000.0);
    QCOMPARE(a.timingPoints, 70);
    QCOMPARE(a.mapSensorRange, 20);
    img.setSetupByte(emu::model::OffRpmRange, 255);
    img.setSetupByte(emu::model::OffMapSensorRange, 255);
    MapAxes prev;
    prev.rpmRange = 5000;
    prev.mapSensorRange = 25;
    a = emu::model::axesFromSetup(img, prev);
    QCOMPARE(a.rpmRange, 5000.0);
    QCOMPARE(a.timingPoints, 50);
    QCOMPARE(a.mapSensorRange, 25);
    img.setSetupByte(emu::model::OffRpmRange, 254);
    a = emu::model::axesFromSetup(img);
    QCOMPARE(a.rpmRange, 25300.0);
    QCOMPARE(a.timingPoints, 100);
}

void TstMaps::position_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("p");
    QTest::addColumn<double>("x");
    QTest::newRow("timing 70") << MapId::Timing << 70 << 70.0;
    QTest::newRow("cruise 32") << MapId::FuelCruise << 32 << 70.0;
    QTest::newRow("high 16") << MapId::FuelHigh << 16 << 35.0;
    QTest::newRow("water 1") << MapId::WaterTemp << 1 << 5.0;
    QTest::newRow("water 24") << MapId::WaterTemp << 24 << 120.0;
    QTest::newRow("air 1") << MapId::AirTemp << 1 << -20.0;
    QTest::newRow("air 24") << MapId::AirTemp << 24 << 100.0;
    QTest::newRow("voltage 1") << MapId::Voltage << 1 << 8.0;
    QTest::newRow("voltage 16") << MapId::Voltage << 16 << 16.0;
}

void TstMaps::position() {
    QFETCH(MapId, map);
    QFETCH(int, p);
    QFETCH(double, x);
    EmuMaps maps;
    QVERIFY(qFuzzyCompare(maps.position(map, p, MapAxes()) + 1000, x + 1000));
}

void TstMaps::nearest_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("s");
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("p");
    QTest::newRow("timing 41.4") << MapId::Timing << 10 << 41.4 << 41;
    QTest::newRow("timing half to even") << MapId::Timing << 10 << 2.5 << 2;
    QTest::newRow("vacuum 0.5 bar") << MapId::VacuumTiming << 10 << 0.5 << 16;
    QTest::newRow("fuel vacuum 1 bar") << MapId::FuelVacuum << 10 << 1.0 << 64;
    QTest::newRow("fuel vacuum S 20") << MapId::FuelVacuum << 20 << 1.0 << 32;
    QTest::newRow("vacuum S 0") << MapId::VacuumTiming << 0 << 0.5 << 0;
    QTest::newRow("fuel vacuum S 0") << MapId::FuelVacuum << 0 << 0.0 << 0;
    QTest::newRow("cruise 70") << MapId::FuelCruise << 10 << 70.0 << 32;
    QTest::newRow("water 60") << MapId::WaterTemp << 10 << 60.0 << 12;
    QTest::newRow("air 0 degrees") << MapId::AirTemp << 10 << 0.0 << 5;
    QTest::newRow("air -20") << MapId::AirTemp << 10 << -20.0 << 1;
    QTest::newRow("voltage 8") << MapId::Voltage << 10 << 8.0 << 1;
    QTest::newRow("voltage 12") << MapId::Voltage << 10 << 12.0 << 8;
    QTest::newRow("far away") << MapId::Voltage << 10 << 1e300 << 0;
}

void TstMaps::nearest() {
    QFETCH(MapId, map);
    QFETCH(int, s);
    QFETCH(double, x);
    QFETCH(int, p);
    MapAxes axes;
    axes.mapSensorRange = s;
    QCOMPARE(EmuMaps().nearest(map, x, axes), p);
}

void TstMaps::decodeBytes_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("byte");
    QTest::addColumn<double>("value");
    QTest::newRow("timing 1") << MapId::Timing << 1 << 0.0;
    QTest::newRow("timing 46") << MapId::Timing << 46 << 45.0;
    QTest::newRow("vacuum 1") << MapId::VacuumTiming << 1 << -10.0;
    QTest::newRow("vacuum 21") << MapId::VacuumTiming << 21 << 10.0;
    QTest::newRow("fuel 1") << MapId::FuelVacuum << 1 << -100.0;
    QTest::newRow("fuel 51") << MapId::FuelLow << 51 << -50.0;
    QTest::newRow("water 161") << MapId::WaterTemp << 161 << 60.0;
    QTest::newRow("timing fill") << MapId::Timing << 0x30 << 47.0;
    QTest::newRow("vacuum fill") << MapId::VacuumTiming << 0x30 << 37.0;
    QTest::newRow("voltage fill") << MapId::Voltage << 0x30 << -53.0;
}

void TstMaps::decodeBytes() {
    QFETCH(MapId, map);
    QFETCH(int, byte);
    QFETCH(double, value);
    const MapInfo &info = emu::model::mapInfo(map);
    EmuImage img;
    std::fill(img.fileTable(), img.fileTable() + 458, quint8(99));
    img.fileTable()[info.streamOffset] = quint8(byte);                   // point 1
    img.fileTable()[info.streamOffset + info.points - 1] = quint8(byte); // last point
    MapAxes axes;
    axes.timingPoints = 100;
    EmuMaps maps;
    maps.decodeMap(map, img, axes);
    QCOMPARE(maps.value(map, 1), value);
    QCOMPARE(maps.value(map, info.points), value);
    QCOMPARE(maps.value(map, 2), 99.0 - 1 - info.bias);
}

void TstMaps::decodeKeepsSlotsBeyondN() {
    // A Read followed by a Write sends the timing slots beyond N back as the EMU held them.
    EmuImage img;
    std::fill(img.fileTable(), img.fileTable() + 458, quint8(11));
    img.fileTable()[100 + 71] = 34; // timing slot 71 holds 33
    EmuMaps maps;
    const Capabilities caps{true, true, true};
    maps.decode(img, caps, MapAxes()); // N = 70
    QCOMPARE(maps.value(MapId::Timing, 70), 10.0);
    QCOMPARE(maps.value(MapId::Timing, 71), 33.0);
    QCOMPARE(maps.value(MapId::Timing, 100), 10.0);
    QCOMPARE(maps.pointCount(MapId::Timing, MapAxes()), 70);
    const TableStream stream = emu::model::buildTableStream(img, maps, caps);
    QCOMPARE(quint8(stream.raw.at(101 + 70)), quint8(33));
    QCOMPARE(quint8(stream.raw.at(101 + 99)), quint8(10));
}

void TstMaps::rpmRangeAbove10000StaysWithin100Slots() {
    EmuImage img;
    img.setSetupByte(emu::model::OffRpmRange, 254);
    std::fill(img.fileTable(), img.fileTable() + 458, quint8(6));
    img.fileTable()[201] = 200; // vacuum timing point 1, right after timing slot 100
    MapAxes axes = emu::model::axesFromSetup(img);
    axes.timingPoints = 253; // even when handed an unbounded N
    EmuMaps maps;
    QCOMPARE(maps.pointCount(MapId::Timing, axes), 100);
    maps.decode(img, Capabilities{true, false, false}, axes);
    QCOMPARE(maps.value(MapId::Timing, 100), 5.0);
    QCOMPARE(maps.value(MapId::Timing, 101), 0.0);
    maps.setValue(MapId::Timing, 101, 7); // ignored
    QCOMPARE(maps.value(MapId::Timing, 101), 0.0);
    QCOMPARE(int(maps.values(MapId::Timing).size()), 101);
    const TableStream s = emu::model::buildTableStream(img, maps, Capabilities{true, false, false});
    QCOMPARE(s.used, 201);
    QCOMPARE(s.raw.size(), 458);
}

void TstMaps::decodeSetsVacuumPositions() {
    EmuImage img;
    MapAxes axes;
    axes.mapSensorRange = 10;
    EmuMaps maps;
    maps.decode(img, Capabilities{true, true, true}, axes);
    QCOMPARE(maps.position(MapId::VacuumTiming, 16, axes), 0.5);
    QCOMPARE(maps.position(MapId::FuelVacuum, 64, axes), 1.0);
    QCOMPARE(maps.storedPosition(MapId::FuelVacuum, 32), 0.5);
    axes.mapSensorRange = 0;
    maps.decode(img, Capabilities{true, true, true}, axes);
    QCOMPARE(maps.position(MapId::VacuumTiming, 32, axes), 0.0);
    QCOMPARE(maps.nearest(MapId::VacuumTiming, 0.0, axes), 0);
}

// Where a drag puts a vacuum point: p / n x S / 10 rounded to 0.01 bar, halves to even. Points
// exactly half way between two hundredths went either way with the rounding error of the
// division before.
void TstMaps::vacuumPositionRounded_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<int>("p");
    QTest::addColumn<double>("x");
    QTest::newRow("S 10, point 17 of 32") << MapId::VacuumTiming << 10 << 17 << 0.53;
    QTest::newRow("S 8, 0.425 half way") << MapId::VacuumTiming << 8 << 17 << 0.42;
    QTest::newRow("S 8, 0.575 half way") << MapId::FuelVacuum << 8 << 46 << 0.58;
    QTest::newRow("S 24, 2.325 half way") << MapId::VacuumTiming << 24 << 31 << 2.32;
    QTest::newRow("S 0") << MapId::FuelVacuum << 0 << 64 << 0.0;
}

void TstMaps::vacuumPositionRounded() {
    QFETCH(MapId, map);
    QFETCH(int, sensorRange);
    QFETCH(int, p);
    QFETCH(double, x);
    MapAxes axes;
    axes.mapSensorRange = sensorRange;
    QCOMPARE(emu::model::vacuumPositionRounded(map, p, axes), x);
}

void TstMaps::decodeRespectsCapabilities() {
    EmuImage img;
    std::fill(img.fileTable(), img.fileTable() + 458, quint8(20));
    EmuMaps maps;
    maps.decode(img, Capabilities{true, true, false}, MapAxes());
    QCOMPARE(maps.value(MapId::Timing, 1), 19.0);
    QCOMPARE(maps.value(MapId::VacuumTiming, 1), 9.0);
    QCOMPARE(maps.value(MapId::FuelVacuum, 1), 0.0);
    QCOMPARE(maps.value(MapId::FuelHigh, 32), 0.0);
    EmuMaps fuel;
    fuel.decode(img, Capabilities{false, false, true}, MapAxes());
    QCOMPARE(fuel.value(MapId::Timing, 1), 0.0);
    QCOMPARE(fuel.value(MapId::FuelHigh, 32), -81.0);
}

void TstMaps::encode_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("byte");
    QTest::newRow("timing 45") << MapId::Timing << 45.0 << 45;
    QTest::newRow("timing half to even") << MapId::Timing << 2.5 << 2;
    QTest::newRow("timing 3.5") << MapId::Timing << 3.5 << 4;
    QTest::newRow("vacuum -10") << MapId::VacuumTiming << -10.0 << 0;
    QTest::newRow("fuel -50") << MapId::FuelHigh << -50.0 << 50;
    QTest::newRow("fuel -101 low byte") << MapId::FuelVacuum << -101.0 << 255;
    QTest::newRow("timing 300 low byte") << MapId::Timing << 300.0 << 44;
}

void TstMaps::encode() {
    QFETCH(MapId, map);
    QFETCH(double, value);
    QFETCH(int, byte);
    QCOMPARE(int(EmuMaps::encodeValue(map, value)), byte);
    EmuMaps maps;
    maps.setValue(map, 1, value);
    QCOMPARE(int(maps.encode(map, 1)), byte);
}

void TstMaps::pointWriteAddress_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("p");
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("offset");
    QTest::newRow("timing 100") << MapId::Timing << 100 << 0xE8 << 99;
    QTest::newRow("vacuum 1") << MapId::VacuumTiming << 1 << 0xE8 << 100;
    QTest::newRow("vacuum 32") << MapId::VacuumTiming << 32 << 0xE8 << 131;
    QTest::newRow("fuel vacuum 1") << MapId::FuelVacuum << 1 << 0xDE << 0;
    QTest::newRow("cruise 1") << MapId::FuelCruise << 1 << 0xDE << 64;
    QTest::newRow("water 24") << MapId::WaterTemp << 24 << 0xD4 << 23;
    QTest::newRow("air 1") << MapId::AirTemp << 1 << 0xD4 << 24;
    QTest::newRow("voltage 16") << MapId::Voltage << 16 << 0xD4 << 63;
    QTest::newRow("low 1") << MapId::FuelLow << 1 << 0xCA << 0;
    QTest::newRow("high 32") << MapId::FuelHigh << 32 << 0xCA << 63;
}

void TstMaps::pointWriteAddress() {
    QFETCH(MapId, map);
    QFETCH(int, p);
    QFETCH(int, section);
    QFETCH(int, offset);
    EmuMaps maps;
    QCOMPARE(int(maps.section(map)), section);
    QCOMPARE(int(maps.pointOffset(map, p)), offset);
}

// Each map point gets a value that identifies it, so that every stream position can be checked.
static quint8 marker(MapId id, int p) {
    return quint8((int(id) * 37 + p * 3) % 150 + 1);
}

void TstMaps::tableStream_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("used");
    QTest::addColumn<QList<int>>("starts"); // stream position of each map's point 1, -1 absent
    QTest::newRow("model 1") << 1 << 233 << QList<int>{101, 201, -1, -1, -1, -1, -1, -1, -1};
    QTest::newRow("model 2") << 2 << 325 << QList<int>{-1, -1, 101, 165, 197, 221, 245, 261, 293};
    QTest::newRow("model 3") << 3 << 457 << QList<int>{101, 201, 233, 297, 329, 353, 377, 393, 425};
    QTest::newRow("model 6") << 6 << 457 << QList<int>{101, 201, 233, 297, 329, 353, 377, 393, 425};
    QTest::newRow("model 4") << 4 << 101 << QList<int>{-1, -1, -1, -1, -1, -1, -1, -1, -1};
}

void TstMaps::tableStream() {
    QFETCH(int, model);
    QFETCH(int, used);
    QFETCH(QList<int>, starts);
    Capabilities caps;
    emu::model::modelInfo(model, nullptr, &caps);
    EmuImage img;
    for (int i = 0; i < 101; ++i)
        img.setSetupByte(i, quint8(i + 2));
    std::fill(img.fileTable(), img.fileTable() + 458, quint8(0xEE));
    EmuMaps maps;
    for (MapId id : emu::model::allMaps())
        for (int p = 1; p <= emu::model::mapInfo(id).points; ++p)
            maps.setValue(id, p, marker(id, p) - emu::model::mapInfo(id).bias);

    const TableStream s = emu::model::buildTableStream(img, maps, caps);
    QCOMPARE(s.raw.size(), 458);
    QCOMPARE(s.encoded.size(), 458);
    QCOMPARE(s.fileTable.size(), 458);
    QCOMPARE(s.used, used);
    for (int i = 0; i < 101; ++i)
        QCOMPARE(quint8(s.raw.at(i)), quint8(i + 1));
    for (int m = 0; m < MapCount; ++m) {
        const MapId id = emu::model::allMaps()[m];
        const MapInfo &info = emu::model::mapInfo(id);
        for (int p = 1; p <= info.points; ++p) {
            const int at = info.streamOffset + p - 1;
            if (starts[m] >= 0) {
                QCOMPARE(quint8(s.raw.at(starts[m] + p - 1)), marker(id, p));
                QCOMPARE(quint8(s.fileTable.at(at)), quint8(marker(id, p) + 1));
            } else {
                QCOMPARE(quint8(s.fileTable.at(at)), quint8(0xEE)); // kept from the image
            }
        }
    }
    for (int i = used; i < 458; ++i)
        QCOMPARE(quint8(s.raw.at(i)), emu::model::StreamFiller);
    QCOMPARE(quint8(s.fileTable.at(457)), quint8(0));
    for (int i = 0; i < 458; ++i) {
        QCOMPARE(quint8(s.encoded.at(i)), quint8(quint8(s.raw.at(i)) + 1));
        QCOMPARE(img.encodedStream()[i], quint8(s.encoded.at(i)));
        QCOMPARE(img.rawStream()[i], quint8(s.raw.at(i)));
    }
    // The file table area itself is not changed by building.
    QCOMPARE(img.fileTable()[101], quint8(0xEE));
}

void TstMaps::tableStreamSetupBytes() {
    EmuImage img;
    img.setSetupByte(emu::model::OffMainJet, 0);   // jet 255
    img.setSetupByte(emu::model::OffIdleJet, 255); // unset
    img.setSetupByte(emu::model::OffCoilCombination, 1);
    const TableStream s = emu::model::buildTableStream(img, EmuMaps(), Capabilities{});
    QCOMPARE(quint8(s.raw.at(emu::model::OffMainJet)), quint8(255));
    QCOMPARE(quint8(s.encoded.at(emu::model::OffMainJet)), quint8(0));
    QCOMPARE(quint8(s.fileTable.at(emu::model::OffMainJet)), quint8(0));
    QCOMPARE(quint8(s.raw.at(emu::model::OffIdleJet)), quint8(254));
    QCOMPARE(quint8(s.raw.at(emu::model::OffCoilCombination)), quint8(0));
}

QTEST_APPLESS_MAIN(TstMaps)
#include "tst_maps.moc"
