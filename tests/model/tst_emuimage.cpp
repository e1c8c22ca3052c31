// The EMU image: fills, copies, identity, serial number text, model codes and the setup field
// table with its display values.
#include "model/EmuImage.h"
#include "model/SetupFields.h"

#include <QSet>
#include <QtTest>

class TstEmuImage : public QObject {
    Q_OBJECT
private slots:
    void serialText_data();
    void serialText();
    void modelInfo_data();
    void modelInfo();
    void fillSetupFrom_data();
    void fillSetupFrom();
    void fillIdentityFrom();
    void fillFileTableFrom();
    void copySetupFromFileTableKeepsZeroBytes();
    void fieldTable();
    void displayValue_data();
    void displayValue();
    void outputConversions_data();
    void outputConversions();
};

void TstEmuImage::serialText_data() {
    QTest::addColumn<QByteArray>("bytes"); // offsets 94..99
    QTest::addColumn<QString>("text");
    QTest::newRow("classic") << QByteArray("\x06\x0D\x64\x02\x42\x43") << "AB-051299-01";
    QTest::newRow("zeros") << QByteArray("\x01\x01\x01\x01\x5B\x5B") << "ZZ-000000-00";
    QTest::newRow("fill bytes") << QByteArray("000000") << "//-474747-47";
}

void TstEmuImage::serialText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    EmuImage img;
    for (int i = 0; i < 6; ++i)
        img.setSetupByte(94 + i, quint8(bytes.at(i)));
    QCOMPARE(img.serialText(), text);
}

void TstEmuImage::modelInfo_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("timing");
    QTest::addColumn<bool>("fuel");
    QTest::newRow("0") << 0 << false << "before" << false << false;
    QTest::newRow("1") << 1 << true << "Timing and Vacuum" << true << false;
    QTest::newRow("2") << 2 << true << "Fuel" << false << true;
    QTest::newRow("3") << 3 << true << "Fuel and Timing" << true << true;
    QTest::newRow("4") << 4 << false << "before" << false << false;
    QTest::newRow("5") << 5 << true << "Advanced Fuel and Timing" << true << true;
    QTest::newRow("6") << 6 << true << "Advanced Fuel and Timing" << true << true;
    QTest::newRow("7") << 7 << false << "before" << false << false;
    QTest::newRow("48") << 48 << false << "before" << false << false;
}

void TstEmuImage::modelInfo() {
    QFETCH(int, code);
    QFETCH(bool, known);
    QFETCH(QString, name);
    QFETCH(bool, timing);
    QFETCH(bool, fuel);
    QString n = QStringLiteral("before");
    Capabilities caps;
    QCOMPARE(emu::model::modelInfo(code, &n, &caps), known);
    QCOMPARE(n, name);
    QCOMPARE(caps.timing, timing);
    QCOMPARE(caps.vacuum, timing);
    QCOMPARE(caps.fuel, fuel);
}

void TstEmuImage::fillSetupFrom_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("copied");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("two bytes") << QByteArray("\x05\x06") << 2;
    QTest::newRow("zero at 2") << QByteArray("\x05\x06\x00\x07", 4) << 2;
    QTest::newRow("whole") << QByteArray(101, '\x09') << 101;
    QTest::newRow("longer") << QByteArray(300, '\x09') << 101;
}

void TstEmuImage::fillSetupFrom() {
    QFETCH(QByteArray, reply);
    QFETCH(int, copied);
    EmuImage img;
    img.bytes.fill(0xAA);
    img.fillSetupFrom(reply);
    for (int i = 0; i < copied; ++i)
        QCOMPARE(img.setupByte(i), quint8(reply.at(i)));
    QCOMPARE(img.bytes[copied], quint8(0)); // the terminator
    for (int i = copied + 1; i < EmuImage::SetupSize; ++i)
        QCOMPARE(img.setupByte(i), quint8(48));
    QCOMPARE(img.bytes[EmuImage::FileTableOffset], quint8(0xAA)); // nothing beyond
}

void TstEmuImage::fillIdentityFrom() {
    EmuImage img;
    img.fillIdentityFrom(QByteArray("\x01\x03\x0C", 3));
    QCOMPARE(img.identity[3], quint8(0));
    QCOMPARE(img.identity[4], quint8(48));
    QCOMPARE(img.signature(), QStringLiteral("4848"));
    img.fillIdentityFrom(QByteArray("\x07\x09\x63\x01\x02\x05\x06\x08"));
    QCOMPARE(img.signature(), QStringLiteral("56"));
    QCOMPARE(img.modelCode(), 9);
}

void TstEmuImage::fillFileTableFrom() {
    EmuImage img;
    QByteArray reply(500, '\x02');
    reply[300] = '\0';
    img.fillFileTableFrom(reply);
    QCOMPARE(img.fileTable()[299], quint8(2));
    QCOMPARE(img.fileTable()[300], quint8(0x30));
    QCOMPARE(img.fileTable()[457], quint8(0x30));
    img.fillFileTableFrom(QByteArray(500, '\x02'));
    QCOMPARE(img.fileTable()[456], quint8(2));
    QCOMPARE(img.fileTable()[457], quint8(0x30)); // at most 457 bytes
    QCOMPARE(img.bytes[EmuImage::FileTableOffset + 458], quint8(0));
}

void TstEmuImage::copySetupFromFileTableKeepsZeroBytes() {
    EmuImage img;
    for (int i = 0; i < 101; ++i)
        img.fileTable()[i] = quint8(i + 1);
    img.fileTable()[3] = 0; // a main jet of 255
    img.bytes[EmuImage::TerminatorOffset] = 0x55;
    img.copySetupFromFileTable();
    QCOMPARE(img.setupByte(3), quint8(0));
    QCOMPARE(img.setupByte(4), quint8(5));
    QCOMPARE(img.setupByte(100), quint8(101));
    QCOMPARE(img.bytes[EmuImage::TerminatorOffset], quint8(0));
}

void TstEmuImage::fieldTable() {
    const QList<int> notInterpreted = {18, 19, 20, 21, 22, 53, 79, 85, 87, 93, 100};
    QSet<QString> names;
    QSet<int> offsets;
    for (const SetupField &f : emu::model::setupFields()) {
        QVERIFY2(!names.contains(QLatin1String(f.name)), f.name);
        QVERIFY(!offsets.contains(f.offset));
        QVERIFY(!notInterpreted.contains(f.offset));
        names.insert(QLatin1String(f.name));
        offsets.insert(f.offset);
        QCOMPARE(emu::model::setupField(QLatin1String(f.name)), &f);
        QCOMPARE(emu::model::setupFieldAt(f.offset), &f);
    }
    QCOMPARE(int(emu::model::setupFields().size()), 60);
    QCOMPARE(emu::model::setupFieldAt(38)->name, "TpsMinimum");
    QCOMPARE(emu::model::setupFieldAt(39)->name, "TpsSpan");
    QCOMPARE(emu::model::setupField("Cylinders")->offset, int(emu::model::OffCylinders));
    QCOMPARE(emu::model::setupField("CoilCombination")->offset,
             int(emu::model::OffCoilCombination));
    QCOMPARE(emu::model::setupField("SerialLetter2")->offset, int(emu::model::OffSerialLetter2));
    QCOMPARE(emu::model::setupField("MapPumpMaxRpm")->offset, int(emu::model::OffMapPumpMaxRpm));
    QCOMPARE(emu::model::setupFieldAt(86)->items().value(1), QStringLiteral("Wasted Spark"));
    QCOMPARE(emu::model::setupFieldAt(14)->items().size(), 5);
    QCOMPARE(emu::model::setupFieldAt(37)->items().value(3), QStringLiteral("Both"));
    QVERIFY(emu::model::setupField("NoSuchField") == nullptr);
    QVERIFY(emu::model::setupFieldAt(85) == nullptr);
}

void TstEmuImage::displayValue_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("sourceByte"); // for output limits; -1 none
    QTest::addColumn<QString>("text");   // "" = unset
    QTest::newRow("rpm range 0") << "RpmRange" << 1 << -1 << "7000";
    QTest::newRow("rpm range 70") << "RpmRange" << 71 << -1 << "7000";
    QTest::newRow("rpm range 85") << "RpmRange" << 86 << -1 << "8500";
    QTest::newRow("rpm range unset") << "RpmRange" << 255 << -1 << "";
    QTest::newRow("coil time 10") << "CoilTime" << 21 << -1 << "10";
    QTest::newRow("coil time 10.5") << "CoilTime" << 22 << -1 << "10.5";
    QTest::newRow("limit rpm") << "Output1Min" << 46 << 2 << "4500";
    QTest::newRow("limit vacuum") << "Output1Max" << 81 << 3 << "0.8";
    QTest::newRow("limit tps") << "Output2Min" << 81 << 4 << "80";
    QTest::newRow("limit lambda") << "Output2Max" << 46 << 5 << "0.45";
    QTest::newRow("limit water") << "Output2Max" << 91 << 6 << "90";
    QTest::newRow("limit source none") << "Output1Min" << 46 << 1 << "0";
    QTest::newRow("limit unset source none") << "Output1Max" << 255 << 1 << "0";
    QTest::newRow("limit unset") << "Output2Min" << 255 << 2 << "";
    QTest::newRow("low vacuum 0") << "LowThrottleVacuum" << 1 << -1 << "0.1";
    QTest::newRow("low vacuum 0.3") << "LowThrottleVacuum" << 31 << -1 << "0.3";
    QTest::newRow("high vacuum 0") << "HighThrottleVacuum" << 1 << -1 << "0.9";
    QTest::newRow("high vacuum unset") << "HighThrottleVacuum" << 255 << -1 << "";
    QTest::newRow("coil byte 0") << "CoilCombination" << 0 << -1 << "Single";
    QTest::newRow("coil byte 1") << "CoilCombination" << 1 << -1 << "Single";
    QTest::newRow("coil byte 3") << "CoilCombination" << 3 << -1 << "Multi Coil";
    QTest::newRow("coil unset") << "CoilCombination" << 255 << -1 << "";
    QTest::newRow("pot byte 0") << "TuningPotInput" << 0 << -1 << "Off";
    QTest::newRow("pot launch") << "TuningPotInput" << 5 << -1 << "Launch";
    QTest::newRow("sensor active") << "MapSensor" << 3 << -1 << "on";
    QTest::newRow("sensor off") << "MapSensor" << 2 << -1 << "off";
    QTest::newRow("lambda target") << "LambdaTarget" << 46 << -1 << "0.45";
    QTest::newRow("max fueling") << "MaxFueling" << 26 << -1 << "2.5";
    QTest::newRow("fuel cut rpm") << "FuelCutRpm" << 61 << -1 << "6000";
    QTest::newRow("enrichment") << "TpsPumpEnrichment" << 6 << -1 << "50";
    QTest::newRow("main jet 100") << "MainJet" << 101 << -1 << "100";
    QTest::newRow("main jet 255") << "MainJet" << 0 << -1 << "255";
    QTest::newRow("serial digit") << "SerialNumber1" << 6 << -1 << "05";
    QTest::newRow("serial letter") << "SerialLetter1" << 66 << -1 << "A";
    QTest::newRow("fill byte") << "Cylinders" << 48 << -1 << "47";
}

void TstEmuImage::displayValue() {
    QFETCH(QString, field);
    QFETCH(int, byte);
    QFETCH(int, sourceByte);
    QFETCH(QString, text);
    const SetupField *f = emu::model::setupField(field);
    QVERIFY(f);
    EmuImage img;
    img.setSetupByte(f->offset, quint8(byte));
    if (sourceByte >= 0) img.setSetupByte(f->offset <= 31 ? 29 : 32, quint8(sourceByte));
    QCOMPARE(emu::model::displayText(img, *f), text);
    QCOMPARE(emu::model::displayValue(img, *f).has_value(), !text.isEmpty());
}

void TstEmuImage::outputConversions_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<double>("device");
    QTest::addColumn<double>("display");
    QTest::newRow("none") << 0 << 0.0 << 0.0;
    QTest::newRow("rpm") << 1 << 45.0 << 4500.0;
    QTest::newRow("vacuum") << 2 << 80.0 << 0.8;
    QTest::newRow("tps") << 3 << 80.0 << 80.0;
    QTest::newRow("lambda") << 4 << 45.0 << 0.45;
    QTest::newRow("water") << 5 << 90.0 << 90.0;
    QTest::newRow("air") << 6 << 20.0 << 20.0;
}

void TstEmuImage::outputConversions() {
    QFETCH(int, source);
    QFETCH(double, device);
    QFETCH(double, display);
    QCOMPARE(emu::model::outputDisplayFromDevice(source, device), display);
    QCOMPARE(emu::model::outputDeviceFromDisplay(source, display), device);
    // Device values are whole: halves go to the even neighbour.
    if (source == 1) {
        QCOMPARE(emu::model::outputDeviceFromDisplay(1, 4550), 46.0);
        QCOMPARE(emu::model::outputDeviceFromDisplay(1, 4650), 46.0);
    }
    if (source == 0) QCOMPARE(emu::model::outputDeviceFromDisplay(0, 1234), 0.0);
}

QTEST_APPLESS_MAIN(TstEmuImage)
#include "tst_emuimage.moc"
