// The connection controller without any window: Connect, the table read that ends it, a second
// read and a write against a virtual EMU on the fake clock, with what each one sends, reports
// and keeps when the EMU's image comes back short (the image already in memory stays).
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "model/TableStream.h"
#include "sim/VirtualEmu.h"
#include "support/SessionState.h"

#include <QSignalSpy>
#include <QtTest>

class TstConnectionController : public QObject {
    Q_OBJECT
private slots:
    void sequence_data();
    void sequence();
    void verifiedWrite_data();
    void verifiedWrite();
    void unsavedYes_data();
    void unsavedYes();
};

void TstConnectionController::sequence_data() {
    QTest::addColumn<bool>("emuPresent");
    QTest::addColumn<int>("shortImage"); // bytes of every image reply after Connect; 0: whole
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("lastStatus"); // panel 0
    const QStringList connectLog{"FF identify", "FD read image", "FD read image"};
    QTest::newRow("whole image, write")
        << true << 0 << connectLog + QStringList{"FD read image", "F3 [458 bytes] write tables"}
        << "Data table written to EMU";
    QTest::newRow("short image on the second read")
        << true << 200 << connectLog + QStringList{"FD read image"}
        << "Read from EMU failed: the EMU sent 200 of 457 bytes; the maps in memory are kept";
    QTest::newRow("no EMU") << false << 0 << QStringList() << "Reading EMU Setup Data...";
}

void TstConnectionController::sequence() {
    QFETCH(bool, emuPresent);
    QFETCH(int, shortImage);
    QFETCH(QStringList, log);
    QFETCH(QString, lastStatus);

    FakeClock clock;
    VirtualEmu emu(clock, 3);
    emu.setMapValue(MapId::Timing, 5, 21);
    const int timing5 = emu::model::mapInfo(MapId::Timing).streamOffset + 4;
    Session s(clock);
    s.port().setDeviceFactory([&](int n) -> std::unique_ptr<ByteDevice> {
        return emuPresent && n == 2 ? emu.makeDevice() : nullptr;
    });
    ConnectionController c(s);
    c.setPortSource([] { return 2; });
    QSignalSpy status(&c, &ConnectionController::status);
    QSignalSpy read(&c, &ConnectionController::tablesRead);
    QSignalSpy live(&c, &ConnectionController::liveRequested);
    QSignalSpy finished(&c, &ConnectionController::connectFinished);
    // The setup is decoded before the table read asks for the image again.
    int imagesAtSetup = -1;
    connect(&c, &ConnectionController::setupLoaded, this,
            [&] { imagesAtSetup = emu.commandLog().count("FD read image"); });

    c.connectEmu();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(imagesAtSetup, emuPresent ? 1 : 0);
    QCOMPARE(s.isConnected(), emuPresent);
    QCOMPARE(read.count(), emuPresent ? 1 : 0);
    QCOMPARE(live.count(), emuPresent ? 1 : 0);
    if (emuPresent) {
        QCOMPARE(s.caps(), (Capabilities{true, true, true}));
        QCOMPARE(int(s.image().fileTable()[timing5]), 22);
        emu.setMapValue(MapId::Timing, 5, 30);
        if (shortImage) emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, shortImage, 0xFD);
        c.readTables();
        QCOMPARE(read.count(), shortImage ? 1 : 2);
        QCOMPARE(int(s.image().fileTable()[timing5]), shortImage ? 22 : 31);
        if (!shortImage) c.writeTables();
    }
    QCOMPARE(emu.commandLog(), log);
    QString panel0;
    for (const QList<QVariant> &args : status)
        if (args.at(0).toInt() == 0) panel0 = args.at(1).toString();
    QCOMPARE(panel0, lastStatus);
}

// A write with the read-back: the table write, then exactly one read image command once the line
// has carried the tables; the status names the first position the EMU does not hold.
void TstConnectionController::verifiedWrite_data() {
    QTest::addColumn<bool>("verify");
    QTest::addColumn<QString>("fault"); // "", "alter" (the EMU keeps another value), "silent"
    QTest::addColumn<QString>("lastStatus");
    QTest::newRow("no verify") << false << "alter"
                               << "Data table written to EMU";
    QTest::newRow("verified") << true << ""
                              << "Data table written to EMU and verified";
    QTest::newRow("EMU keeps another point")
        << true << "alter"
        << "Data table written to EMU, but the read-back differs: fuelRpmLow point 5: wrote "
           "101, read back 91";
    QTest::newRow("EMU silent") << true << "silent"
                                << "Data table written to EMU, but the read-back differs: the EMU "
                                   "sent nothing back";
}

void TstConnectionController::verifiedWrite() {
    QFETCH(bool, verify);
    QFETCH(QString, fault);
    QFETCH(QString, lastStatus);
    FakeClock clock;
    VirtualEmu emu(clock, 3);
    Session s(clock);
    s.port().setDeviceFactory([&](int) { return emu.makeDevice(); });
    ConnectionController c(s);
    c.setPortSource([] { return 1; });
    c.connectEmu();
    QVERIFY(s.isConnected());
    // Memory differs from the EMU: 100 goes out.
    editMaps(s, [](EmuMaps &m) { m.setValue(MapId::FuelLow, 5, 0); });
    if (fault == "alter")
        connect(&emu, &VirtualEmu::tablesWritten, this,
                [&] { emu.setMapValue(MapId::FuelLow, 5, -10); });
    if (fault == "silent") emu.setReplyFault(VirtualEmu::ReplyFault::NoAnswer, 0, 0xFD);
    QSignalSpy status(&c, &ConnectionController::status);
    const QByteArray raw = s.buildTableStream().raw;
    emu.clearWritten();
    const qint64 start = clock.tickMs();
    c.writeTables(verify);
    QCOMPARE(emu.written(), QByteArray("\xF3") + raw + (verify ? "\xFD" : ""));
    if (verify) QVERIFY(clock.tickMs() - start >= 100 + 239 + 500); // pause, line time, wait
    QCOMPARE(status.constLast().at(1).toString(), lastStatus);
}

QTEST_GUILESS_MAIN(TstConnectionController)
#include "tst_connectioncontroller.moc"

// "Yes" of the unsaved-changes prompt: Connect (which reads and decodes the tables), then the
// table write only when an EMU answered.
void TstConnectionController::unsavedYes_data() {
    QTest::addColumn<bool>("emuPresent");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("lastStatus");
    QTest::newRow("EMU") << true
                         << QStringList{"FF identify", "FD read image", "FD read image",
                                        "F3 [458 bytes] write tables"}
                         << "Data table written to EMU";
    QTest::newRow("no EMU") << false << QStringList()
                            << "EMU not connected, data NOT written to EMU";
}

void TstConnectionController::unsavedYes() {
    QFETCH(bool, emuPresent);
    QFETCH(QStringList, log);
    QFETCH(QString, lastStatus);
    FakeClock clock;
    VirtualEmu emu(clock, 3);
    emu.setMapValue(MapId::Timing, 5, 21);
    Session s(clock);
    s.port().setDeviceFactory([&](int) -> std::unique_ptr<ByteDevice> {
        return emuPresent ? emu.makeDevice() : nullptr;
    });
    ConnectionController c(s);
    c.setPortSource([] { return 1; });
    s.setModified(true);
    QSignalSpy status(&c, &ConnectionController::status);
    int writing = 0;
    c.connectAndWrite(false, [&] { ++writing; });
    s.link().waitIdle();
    QCOMPARE(emu.commandLog(), log);
    QCOMPARE(writing, emuPresent ? 1 : 0);
    QString panel0;
    for (const QList<QVariant> &args : status)
        if (args.at(0).toInt() == 0) panel0 = args.at(1).toString();
    QCOMPARE(panel0, lastStatus);
    // The read that Connect ends with decoded the EMU's maps into memory.
    QCOMPARE(s.maps().value(MapId::Timing, 5), emuPresent ? 21.0 : 0.0);
}
