// The virtual EMU: reply bytes and layouts per model, writes applied to its image, table write
// layouts, live data, reply timing on the fake clock and the fault switches.
#include "link/Clock.h"
#include "sim/VirtualEmu.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(char(quint8(v)));
    return b;
}

quint8 at(const QByteArray &b, int i) {
    return quint8(b.at(i));
}

struct Rig {
    explicit Rig(int model = 3) : emu(clock, model), dev(emu.makeDevice()) {
        dev->open(19200, false);
    }
    // One exchange as the program does it: send, wait, take what is queued.
    QByteArray exchange(const QByteArray &cmd, int waitMs) {
        dev->write(cmd);
        clock.sleepMs(waitMs);
        return dev->read(dev->queued());
    }
    QByteArray image() { return exchange(bytes({0xFD}), 500); }

    FakeClock clock;
    VirtualEmu emu;
    std::unique_ptr<ByteDevice> dev;
};

// The table write stream for a model, laid out as the program builds it: setup block, then the
// sections of the present capabilities moved up, filler to 458 bytes. Map values are chosen so
// every section is recognisable.
struct Layout {
    bool timing, vacuum, fuel;
};
Layout layoutOf(int model) {
    return model == 1   ? Layout{true, true, false}
           : model == 2 ? Layout{false, false, true}
                        : Layout{true, true, true};
}
int rawTiming(int p) {
    return (p * 7) % 46;
} // 0..45 degrees
int rawVacuum(int p) {
    return (p * 3) % 21;
} // -10..+10 as 0..20
int rawFuel(int i) {
    return 50 + (i * 13) % 111;
} // i counts over all fuel sections

QByteArray tableStream(int model, const QByteArray &setupRaw) {
    const Layout l = layoutOf(model);
    QByteArray s = setupRaw;
    if (l.timing)
        for (int p = 1; p <= 100; ++p)
            s.append(char(rawTiming(p)));
    if (l.vacuum)
        for (int p = 1; p <= 32; ++p)
            s.append(char(rawVacuum(p)));
    if (l.fuel)
        for (int i = 0; i < 224; ++i)
            s.append(char(rawFuel(i)));
    while (s.size() < 458)
        s.append(char(0xFF)); // filler that looks like a command
    return s;
}

} // namespace

class TestVirtualEmu : public QObject {
    Q_OBJECT
private slots:
    void identify_data();
    void identify();
    void readImage_data();
    void readImage();
    void parameterWrite_data();
    void parameterWrite();
    void pointWrite_data();
    void pointWrite();
    void pointWriteMissingMap_data();
    void pointWriteMissingMap();
    void tableWrite_data();
    void tableWrite();
    void tableWriteInPieces();
    void incompleteCommandIsDropped();
    void liveFrameBiases_data();
    void liveFrameBiases();
    void liveDataOverAMinute();
    void waterWarmsUp();
    void replyTiming_data();
    void replyTiming();
    void repliesQueueOnTheLine();
    void purgeKeepsBytesInFlight();
    void replyFaults_data();
    void replyFaults();
    void faultOnOneCommandOnly();
    void faultForACount();
    void openFaults_data();
    void openFaults();
    void vanish();
    void wrongBaudIsNotUnderstood();
    void writtenAndLog();
    void devicesShareOneEmu();
    void deviceOutlivesEmu();
};

void TestVirtualEmu::identify_data() {
    QTest::addColumn<int>("model");
    for (int m : {1, 2, 3, 5, 6})
        QTest::addRow("model %d", m) << m;
}

void TestVirtualEmu::identify() {
    QFETCH(int, model);
    Rig r(model);
    const QByteArray reply = r.exchange(bytes({0xFF}), 100);
    QCOMPARE(reply, bytes({1, model, 12, 1, 1, 5, 6}));
    QVERIFY(!reply.contains('\0'));

    r.emu.setIdentity(bytes({2, model, 14, 9, 9, 5, 6}));
    QCOMPARE(r.exchange(bytes({0xFF}), 100), bytes({2, model, 14, 9, 9, 5, 6}));
}

void TestVirtualEmu::readImage_data() {
    identify_data();
}

void TestVirtualEmu::readImage() {
    QFETCH(int, model);
    Rig r(model);
    const QByteArray img = r.image();
    QCOMPARE(img.size(), 457);
    QVERIFY2(!img.contains('\0'), "no byte of the image stream may be 0");

    const bool fuel = model != 1;
    const bool timing = model != 2;
    QCOMPARE(at(img, 80), 5);  // 4 cylinders
    QCOMPARE(at(img, 81), 71); // RPM range 7000
    QCOMPARE(at(img, 83), 11); // map sensor 1 bar
    for (int sensor : {5, 6, 7, 9})
        QCOMPARE(at(img, sensor), 3); // active
    QCOMPARE(at(img, 98), 'E' + 1);
    QCOMPARE(at(img, 99), 'M' + 1);
    QCOMPARE(at(img, 3), fuel ? 129 : 255);  // main jet
    QCOMPARE(at(img, 2), fuel ? 101 : 255);  // idle jet
    QCOMPARE(at(img, 10), fuel ? 46 : 255);  // lambda target 0.45 V
    QCOMPARE(at(img, 82), timing ? 7 : 255); // coil time 3 ms
    QCOMPARE(at(img, 86), timing ? 2 : 255); // wasted spark (stored as is)

    // Timing: 10° at idle, rising to about 32°, never down, inside 0..45.
    QCOMPARE(at(img, 101 + 8) - 1, 10);
    QCOMPARE(at(img, 101 + 69) - 1, 32);
    for (int p = 2; p <= 100; ++p) {
        QVERIFY(at(img, 100 + p) >= at(img, 99 + p));
        QVERIFY(at(img, 100 + p) - 1 <= 45);
    }
    // Vacuum timing advances at high vacuum (low pressure), nothing at full load.
    QVERIFY(at(img, 201) - 11 > 0);
    QCOMPARE(at(img, 232) - 11, 0);
    for (int s = 201; s <= 232; ++s)
        QVERIFY(qAbs(at(img, s) - 11) <= 10);
    // Fuel maps near 0 %, corrections within their ranges; cold water enriches.
    for (int s = 233; s <= 456; ++s) {
        const int pct = at(img, s) - 101;
        const bool water = s >= 329 && s <= 352;
        QVERIFY2(qAbs(pct) <= (water ? 60 : 50), qPrintable(QString::number(s)));
    }
    QVERIFY(at(img, 329) - 101 >= 20);
    QCOMPARE(at(img, 352) - 101, 0);
    QCOMPARE(r.emu.mapValue(MapId::Timing, 9), 10);
    QCOMPARE(r.emu.imageStream(), img);
}

void TestVirtualEmu::parameterWrite_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::newRow("cylinders") << 0x50 << 4 << 5;
    QTest::newRow("rpm range 0") << 0x51 << 0 << 1;
    QTest::newRow("lambda target") << 0x0A << 50 << 51;
    QTest::newRow("coil combination stores its value") << 0x56 << 3 << 3;
    QTest::newRow("main jet 254") << 0x03 << 254 << 255;
    QTest::newRow("serial letter") << 0x62 << int('A') << int('B');
    QTest::newRow("last code") << 100 << 7 << 8;
}

void TestVirtualEmu::parameterWrite() {
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(int, stored);
    Rig r;
    QSignalSpy spy(&r.emu, &VirtualEmu::parameterWritten);
    QCOMPARE(r.dev->write(bytes({0xF2, code, value})), qint64(3));
    QCOMPARE(r.dev->queued(), 0);
    r.clock.advance(50);
    QCOMPARE(r.dev->queued(), 0); // never acknowledged
    QCOMPARE(r.emu.setupByte(code), quint8(stored));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(at(r.image(), code), stored);
}

void TestVirtualEmu::pointWrite_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("streamPos");
    QTest::addColumn<int>("mapId");
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("value");
    QTest::newRow("vacuum timing 1 = -10")
        << bytes({0xE8, 0x64, 0x00}) << 201 << int(MapId::VacuumTiming) << 1 << -10;
    QTest::newRow("timing 100 = 45")
        << bytes({0xE8, 0x63, 0x2D}) << 200 << int(MapId::Timing) << 100 << 45;
    QTest::newRow("timing 1 = 0") << bytes({0xE8, 0x00, 0x00}) << 101 << int(MapId::Timing) << 1
                                  << 0;
    QTest::newRow("vacuum timing 32 = 10")
        << bytes({0xE8, 131, 20}) << 232 << int(MapId::VacuumTiming) << 32 << 10;
    QTest::newRow("fuel vacuum 64 = 50")
        << bytes({0xDE, 63, 150}) << 296 << int(MapId::FuelVacuum) << 64 << 50;
    QTest::newRow("cruise 1 = -5")
        << bytes({0xDE, 64, 95}) << 297 << int(MapId::FuelCruise) << 1 << -5;
    QTest::newRow("water 24 = 60")
        << bytes({0xD4, 23, 160}) << 352 << int(MapId::WaterTemp) << 24 << 60;
    QTest::newRow("air 1 = -50") << bytes({0xD4, 24, 50}) << 353 << int(MapId::AirTemp) << 1 << -50;
    QTest::newRow("voltage 16 = 7")
        << bytes({0xD4, 63, 107}) << 392 << int(MapId::Voltage) << 16 << 7;
    QTest::newRow("low 1 = 0") << bytes({0xCA, 0, 100}) << 393 << int(MapId::FuelLow) << 1 << 0;
    QTest::newRow("high 32 = -50")
        << bytes({0xCA, 0x3F, 0x32}) << 456 << int(MapId::FuelHigh) << 32 << -50;
}

void TestVirtualEmu::pointWrite() {
    QFETCH(QByteArray, command);
    QFETCH(int, streamPos);
    QFETCH(int, mapId);
    QFETCH(int, point);
    QFETCH(int, value);
    Rig r;
    const QByteArray before = r.image();
    QSignalSpy spy(&r.emu, &VirtualEmu::pointWritten);
    r.dev->write(command);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(r.emu.mapValue(MapId(mapId), point), value);
    const QByteArray after = r.image();
    QCOMPARE(at(after, streamPos), quint8(at(command, 2) + 1));
    for (int i = 0; i < 457; ++i)
        if (i != streamPos) QCOMPARE(at(after, i), at(before, i));
}

void TestVirtualEmu::pointWriteMissingMap_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("model 1 has no fuel maps") << 1 << bytes({0xDE, 0, 150});
    QTest::newRow("model 1 has no corrections") << 1 << bytes({0xD4, 5, 150});
    QTest::newRow("model 2 has no timing map") << 2 << bytes({0xE8, 5, 30});
    QTest::newRow("model 2 has no vacuum timing") << 2 << bytes({0xE8, 100, 3});
    QTest::newRow("offset past the timing section") << 3 << bytes({0xE8, 132, 1});
    QTest::newRow("offset past the fuel section") << 3 << bytes({0xDE, 96, 1});
    QTest::newRow("offset past the variant section") << 3 << bytes({0xCA, 64, 1});
}

void TestVirtualEmu::pointWriteMissingMap() {
    QFETCH(int, model);
    QFETCH(QByteArray, command);
    Rig r(model);
    const QByteArray before = r.image();
    r.dev->write(command);
    QCOMPARE(r.image(), before);
    // The parser is still in step: the next command is answered.
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
}

void TestVirtualEmu::tableWrite_data() {
    QTest::addColumn<int>("model");
    for (int m : {1, 2, 3})
        QTest::addRow("model %d", m) << m;
}

void TestVirtualEmu::tableWrite() {
    QFETCH(int, model);
    Rig r(model);
    const QByteArray before = r.image();
    QByteArray setupRaw;
    for (int i = 0; i < 101; ++i)
        setupRaw.append(char(quint8(before.at(i)) - 1));
    setupRaw[80] = char(6); // 6 cylinders
    setupRaw[86] = char(2); // coil combination travels as byte - 1 like every other
    const QByteArray stream = tableStream(model, setupRaw);
    QCOMPARE(stream.size(), 458);

    QSignalSpy spy(&r.emu, &VirtualEmu::tablesWritten);
    r.dev->write(bytes({0xF3}));
    r.clock.sleepMs(100);
    r.dev->write(stream);
    QCOMPARE(spy.count(), 1);
    r.clock.advance(50);
    QCOMPARE(r.dev->queued(), 0); // bytes of the stream are never taken as commands

    const QByteArray img = r.image();
    QCOMPARE(img.size(), 457);
    QCOMPARE(at(img, 80), 7);
    QCOMPARE(at(img, 86), 3);
    for (int i = 0; i < 101; ++i)
        QCOMPARE(at(img, i), quint8(quint8(setupRaw.at(i)) + 1));
    const Layout l = layoutOf(model);
    for (int p = 1; p <= 100; ++p)
        QCOMPARE(at(img, 100 + p), l.timing ? quint8(rawTiming(p) + 1) : at(before, 100 + p));
    for (int p = 1; p <= 32; ++p)
        QCOMPARE(at(img, 200 + p), l.vacuum ? quint8(rawVacuum(p) + 1) : at(before, 200 + p));
    for (int i = 0; i < 224; ++i)
        QCOMPARE(at(img, 233 + i), l.fuel ? quint8(rawFuel(i) + 1) : at(before, 233 + i));
    if (model == 2) // the fuel vacuum map travels at 101.., comes back at 233..
        QCOMPARE(r.emu.mapValue(MapId::FuelVacuum, 1), quint8(stream.at(101)) - 100);
}

void TestVirtualEmu::tableWriteInPieces() {
    Rig r(3);
    const QByteArray stream = tableStream(3, QByteArray(101, char(9)));
    r.dev->write(bytes({0xF3}));
    for (int i = 0; i < stream.size(); i += 100) {
        r.clock.advance(10);
        r.dev->write(stream.mid(i, 100));
    }
    QCOMPARE(r.emu.setupByte(50), quint8(10));
    QCOMPARE(r.emu.mapValue(MapId::Timing, 3), rawTiming(3));
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
}

void TestVirtualEmu::incompleteCommandIsDropped() {
    Rig r;
    r.dev->write(bytes({0xF3, 1, 2, 3}));
    r.clock.advance(1500); // the rest never comes
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
    QVERIFY(r.emu.commandLog().join('\n').contains(QLatin1String("incomplete")));
    QCOMPARE(r.emu.setupByte(0), quint8(61)); // nothing applied

    r.dev->write(bytes({0xF2, 0x50}));
    r.clock.advance(50); // still within the command
    r.dev->write(bytes({8}));
    QCOMPARE(r.emu.setupByte(0x50), quint8(9));
}

void TestVirtualEmu::liveFrameBiases_data() {
    QTest::addColumn<int>("mapRange");
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("vacuum");
    QTest::addColumn<double>("air");
    QTest::addColumn<double>("pot");
    QTest::addColumn<QByteArray>("frame");
    // rpm/100+1, vac/(S/10)*255+1, tps+1, lambda*100+1, water+1, air+21, pot*2.55+1,
    // battery*10+1, injector*10+1 (tps 30, lambda 0.45, water 88, battery 13.8, injector 2.5);
    // a value never exceeds 254, so full scale is the byte 255.
    QTest::newRow("mid") << 10 << 2500.0 << 0.5 << 25.0 << 20.0
                         << bytes({26, 129, 31, 46, 89, 46, 52, 139, 26});
    QTest::newRow("extremes") << 10 << 0.0 << 1.0 << -20.0 << 100.0
                              << bytes({1, 255, 31, 46, 89, 1, 255, 139, 26});
    QTest::newRow("2 bar sensor") << 20 << 7000.0 << 1.0 << 0.0 << 0.0
                                  << bytes({71, 129, 31, 46, 89, 21, 1, 139, 26});
    QTest::newRow("clamped") << 10 << 40000.0 << 3.0 << 300.0 << 200.0
                             << bytes({255, 255, 31, 46, 89, 255, 255, 139, 26});
}

void TestVirtualEmu::liveFrameBiases() {
    QFETCH(int, mapRange);
    QFETCH(double, rpm);
    QFETCH(double, vacuum);
    QFETCH(double, air);
    QFETCH(double, pot);
    QFETCH(QByteArray, frame);
    Rig r;
    r.emu.setSetupByte(83, quint8(mapRange + 1));
    EngineState s;
    s.rpm = rpm;
    s.vacuum = vacuum;
    s.tps = 30;
    s.lambda = 0.45;
    s.waterTemp = 88;
    s.airTemp = air;
    s.pot = pot;
    s.battery = 13.8;
    s.injectorMs = 2.5;
    r.emu.pinEngineState(s);
    QCOMPARE(r.exchange(bytes({0xFC}), 20), frame);

    r.emu.pinLiveFrame(bytes({1, 2, 3}));
    QCOMPARE(r.exchange(bytes({0xFC}), 20), bytes({1, 2, 3}));
    r.emu.unpinLive();
    QCOMPARE(r.exchange(bytes({0xFC}), 20).size(), 9);
}

void TestVirtualEmu::liveDataOverAMinute() {
    Rig r;
    double rpmMin = 1e9, rpmMax = 0, vacAtIdle = 0, vacAtTop = 0, potMin = 1e9, potMax = 0;
    double coldLambdaMax = 0, warmLambdaMin = 1, warmLambdaMax = 0, lastWater = -100;
    int n = 0;
    for (int i = 0; i < 3000; ++i) { // one poll each 20 ms
        const QByteArray f = r.exchange(bytes({0xFC}), 20);
        QCOMPARE(f.size(), 9);
        QVERIFY(!f.contains('\0'));
        const double rpm = (at(f, 0) - 1) * 100.0;
        const double vac = (at(f, 1) - 1) / 255.0 * 1.0;
        const int tps = at(f, 2) - 1;
        const double lambda = (at(f, 3) - 1) / 100.0;
        const int water = at(f, 4) - 1;
        const int air = at(f, 5) - 21;
        const double pot = (at(f, 6) - 1) / 255.0 * 100;
        const double battery = (at(f, 7) - 1) / 10.0;
        const double injector = (at(f, 8) - 1) / 10.0;
        QVERIFY(rpm >= 500 && rpm <= 7000);
        QVERIFY(vac >= 0 && vac <= 1.0);
        QVERIFY(tps >= 0 && tps <= 100);
        QVERIFY(lambda >= 0 && lambda <= 1.0);
        QVERIFY(water >= 19 && water <= 90);
        QVERIFY(water >= lastWater - 0.5);
        QVERIFY(air >= 20 && air <= 30);
        QVERIFY(battery >= 12.5 && battery <= 14.5);
        QVERIFY(injector >= 0 && injector <= 20);
        rpmMin = qMin(rpmMin, rpm);
        rpmMax = qMax(rpmMax, rpm);
        potMin = qMin(potMin, pot);
        potMax = qMax(potMax, pot);
        if (tps == 0 && rpm < 1500) vacAtIdle = qMax(vacAtIdle, vac);
        if (tps > 90) vacAtTop = qMax(vacAtTop, vac);
        // The sensor reads nothing useful while cold (its first 20 s), then answers to the fuel.
        if (i < 1000) coldLambdaMax = qMax(coldLambdaMax, lambda);
        if (i >= 1500) warmLambdaMin = qMin(warmLambdaMin, lambda);
        if (i >= 1500) warmLambdaMax = qMax(warmLambdaMax, lambda);
        lastWater = water;
        ++n;
    }
    QVERIFY2(rpmMin <= 1400, qPrintable(QString::number(rpmMin))); // idles
    QVERIFY2(rpmMax >= 5000, qPrintable(QString::number(rpmMax))); // revs
    QVERIFY(vacAtIdle > 0 && vacAtIdle < 0.5);
    QVERIFY(vacAtTop > 0.85);
    QVERIFY(coldLambdaMax < 0.15);
    QVERIFY(warmLambdaMin < 0.2 && warmLambdaMax > 0.7);
    QVERIFY(potMax - potMin > 10); // the pot moves
    QVERIFY(lastWater > 25);       // warming
}

void TestVirtualEmu::waterWarmsUp() {
    Rig r;
    QCOMPARE(at(r.exchange(bytes({0xFC}), 20), 4) - 1, 20);
    r.clock.advance(20 * 60 * 1000);
    const int water = at(r.exchange(bytes({0xFC}), 20), 4) - 1;
    QVERIFY2(water >= 85 && water <= 89, qPrintable(QString::number(water)));
}

void TestVirtualEmu::replyTiming_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("incompleteAtMs");
    QTest::addColumn<int>("completeAtMs");
    // 10 bits per byte at 19200 baud: 0.52 ms per byte.
    QTest::newRow("identify") << 0xFF << 7 << 3 << 4;
    QTest::newRow("read image") << 0xFD << 457 << 238 << 239;
    QTest::newRow("live data") << 0xFC << 9 << 4 << 5;
}

void TestVirtualEmu::replyTiming() {
    QFETCH(int, command);
    QFETCH(int, size);
    QFETCH(int, incompleteAtMs);
    QFETCH(int, completeAtMs);
    Rig r;
    r.clock.advance(1000);
    QCOMPARE(r.emu.msUntilNextByte(), -1);
    r.dev->write(bytes({command}));
    QCOMPARE(r.dev->queued(), 0);
    QCOMPARE(r.emu.msUntilNextByte(), 1);
    r.clock.advance(incompleteAtMs);
    const int partial = r.dev->queued();
    QVERIFY(partial > 0 && partial < size);
    QCOMPARE(partial, int(incompleteAtMs / VirtualEmu::transmitMs(1)));
    r.clock.advance(completeAtMs - incompleteAtMs);
    QCOMPARE(r.dev->queued(), size);
    QCOMPARE(r.dev->read(1000).size(), size);
    QCOMPARE(r.dev->queued(), 0);
}

void TestVirtualEmu::repliesQueueOnTheLine() {
    Rig r;
    r.dev->write(bytes({0xFF, 0xFF}));
    r.clock.advance(4);
    QCOMPARE(r.dev->queued(), 7); // the second reply follows the first on the line
    r.clock.advance(4);
    QCOMPARE(r.dev->read(100), bytes({1, 3, 12, 1, 1, 5, 6, 1, 3, 12, 1, 1, 5, 6}));
}

void TestVirtualEmu::purgeKeepsBytesInFlight() {
    Rig r;
    r.dev->write(bytes({0xFD}));
    r.clock.advance(100);
    const int arrived = r.dev->queued();
    QVERIFY(arrived > 100);
    r.dev->clearInput();
    QCOMPARE(r.dev->queued(), 0);
    r.clock.advance(400);
    QCOMPARE(r.dev->queued(), 457 - arrived);
}

void TestVirtualEmu::replyFaults_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("wait");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("param");
    const struct {
        const char *name;
        int cmd, wait;
    } cmds[] = {{"identify", 0xFF, 100}, {"image", 0xFD, 500}, {"live", 0xFC, 20}};
    for (const auto &c : cmds) {
        QTest::addRow("%s no answer", c.name)
            << c.cmd << c.wait << int(VirtualEmu::ReplyFault::NoAnswer) << 0;
        QTest::addRow("%s short", c.name)
            << c.cmd << c.wait << int(VirtualEmu::ReplyFault::ShortReply) << 3;
        QTest::addRow("%s late", c.name)
            << c.cmd << c.wait << int(VirtualEmu::ReplyFault::LateReply) << 300;
        QTest::addRow("%s garbage", c.name)
            << c.cmd << c.wait << int(VirtualEmu::ReplyFault::Garbage) << 0;
        QTest::addRow("%s zero byte", c.name)
            << c.cmd << c.wait << int(VirtualEmu::ReplyFault::ZeroByte) << 2;
    }
}

void TestVirtualEmu::replyFaults() {
    QFETCH(int, command);
    QFETCH(int, wait);
    QFETCH(int, fault);
    QFETCH(int, param);
    Rig good;
    Rig r;
    const auto kind = VirtualEmu::ReplyFault(fault);
    const QByteArray normal = good.exchange(bytes({command}), wait);
    r.emu.setReplyFault(kind, param);
    const QByteArray reply = r.exchange(bytes({command}), wait);
    switch (kind) {
    case VirtualEmu::ReplyFault::NoAnswer:
        QVERIFY(reply.isEmpty());
        r.clock.advance(2000);
        QCOMPARE(r.dev->queued(), 0);
        break;
    case VirtualEmu::ReplyFault::ShortReply:
        QCOMPARE(reply, normal.left(3));
        break;
    case VirtualEmu::ReplyFault::LateReply:
        QVERIFY(reply.isEmpty() || reply.size() < normal.size());
        r.clock.advance(300);
        QCOMPARE(reply + r.dev->read(1000), normal);
        break;
    case VirtualEmu::ReplyFault::Garbage:
        QCOMPARE(reply.size(), normal.size());
        QVERIFY(reply != normal);
        break;
    case VirtualEmu::ReplyFault::ZeroByte: {
        QCOMPARE(reply.size(), normal.size());
        QCOMPARE(reply.at(2), '\0');
        QByteArray fixed = reply;
        fixed[2] = normal.at(2);
        QCOMPARE(fixed, normal);
        break;
    }
    case VirtualEmu::ReplyFault::None:
        break;
    }
    r.emu.clearReplyFaults();
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
}

void TestVirtualEmu::faultOnOneCommandOnly() {
    Rig r;
    r.emu.setReplyFault(VirtualEmu::ReplyFault::NoAnswer, 0, 0xFD);
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
    QCOMPARE(r.exchange(bytes({0xFC}), 20).size(), 9);
    QVERIFY(r.image().isEmpty());
    QVERIFY(r.image().isEmpty());
}

void TestVirtualEmu::faultForACount() {
    Rig r;
    r.emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, 2, 0xFF, 2);
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 2);
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 2);
    QCOMPARE(r.exchange(bytes({0xFF}), 100).size(), 7);
}

void TestVirtualEmu::openFaults_data() {
    QTest::addColumn<int>("error");
    QTest::newRow("busy") << int(ByteDevice::OpenError::Busy);
    QTest::newRow("permission denied") << int(ByteDevice::OpenError::PermissionDenied);
    QTest::newRow("not found") << int(ByteDevice::OpenError::NotFound);
}

void TestVirtualEmu::openFaults() {
    QFETCH(int, error);
    FakeClock clock;
    VirtualEmu emu(clock);
    emu.setOpenFault(ByteDevice::OpenError(error));
    auto dev = emu.makeDevice();
    QVERIFY(!dev->open(19200, false));
    QVERIFY(!dev->isOpen());
    QCOMPARE(int(dev->lastError()), error);
    QVERIFY(!dev->errorString().isEmpty());
    QCOMPARE(dev->write(bytes({0xFF})), qint64(-1));
    QVERIFY(emu.written().isEmpty());
    emu.setOpenFault(ByteDevice::OpenError::None);
    QVERIFY(dev->open(19200, false));
    QCOMPARE(int(dev->lastError()), int(ByteDevice::OpenError::None));
}

void TestVirtualEmu::vanish() {
    Rig r;
    r.dev->write(bytes({0xFD}));
    r.clock.advance(50);
    r.emu.setVanished(true);
    QVERIFY(r.dev->lost());
    QCOMPARE(r.dev->write(bytes({0xFF})), qint64(-1));
    QCOMPARE(r.dev->queued(), 0);
    QVERIFY(r.dev->read(100).isEmpty());
    QCOMPARE(int(r.dev->lastError()), int(ByteDevice::OpenError::NotFound));
    auto other = r.emu.makeDevice();
    QVERIFY(!other->open(19200, false));
    QVERIFY(!other->lost()); // never opened, so nothing was lost
    r.dev->close();
    QVERIFY(!r.dev->lost());

    r.emu.setVanished(false); // plugged in again
    QVERIFY(other->open(19200, false));
    other->write(bytes({0xFF}));
    r.clock.advance(100);
    QCOMPARE(other->read(100).size(), 7); // no stale half reply
}

void TestVirtualEmu::wrongBaudIsNotUnderstood() {
    FakeClock clock;
    VirtualEmu emu(clock);
    auto dev = emu.makeDevice();
    QVERIFY(dev->open(9600, false));
    dev->write(bytes({0xFF}));
    clock.advance(100);
    QCOMPARE(dev->queued(), 0);
    QCOMPARE(emu.written(), bytes({0xFF}));
}

void TestVirtualEmu::writtenAndLog() {
    Rig r;
    QSignalSpy spy(&r.emu, &VirtualEmu::commandReceived);
    r.exchange(bytes({0xFF}), 100);
    r.dev->write(bytes({0xF2, 0x50, 0x04}));
    r.dev->write(bytes({0xE8, 0x05, 0x1E}));
    r.dev->write(bytes({0x42}));
    QCOMPARE(r.emu.written(), bytes({0xFF, 0xF2, 0x50, 0x04, 0xE8, 0x05, 0x1E, 0x42}));
    const QStringList log = r.emu.commandLog();
    QCOMPARE(log.size(), 4);
    QCOMPARE(spy.count(), 4);
    QCOMPARE(log.at(0), QStringLiteral("FF identify"));
    QCOMPARE(log.at(1), QStringLiteral("F2 50 04 parameter 80 = 4"));
    QCOMPARE(log.at(2), QStringLiteral("E8 05 1E point timing 6 = 30"));
    QVERIFY(log.at(3).startsWith(QLatin1String("42 unknown")));
    r.emu.clearWritten();
    r.emu.clearCommandLog();
    QVERIFY(r.emu.written().isEmpty());
    QVERIFY(r.emu.commandLog().isEmpty());
}

void TestVirtualEmu::devicesShareOneEmu() {
    Rig r;
    auto second = r.emu.makeDevice();
    QVERIFY(second->open(19200, false));
    second->write(bytes({0xF2, 0x50, 0x07}));
    QCOMPARE(at(r.image(), 0x50), 8);
    QCOMPARE(r.emu.written(), bytes({0xF2, 0x50, 0x07, 0xFD}));
}

void TestVirtualEmu::deviceOutlivesEmu() {
    FakeClock clock;
    std::unique_ptr<ByteDevice> dev;
    {
        VirtualEmu emu(clock);
        dev = emu.makeDevice();
        QVERIFY(dev->open(19200, false));
    }
    QVERIFY(dev->lost());
    QCOMPARE(dev->write(bytes({0xFF})), qint64(-1));
    QCOMPARE(dev->queued(), 0);
    dev->close();
    QVERIFY(!dev->open(19200, false));
}

QTEST_GUILESS_MAIN(TestVirtualEmu)
#include "tst_virtualemu.moc"
