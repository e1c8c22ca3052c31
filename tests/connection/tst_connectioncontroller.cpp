// The connection controller without any window: Connect, the table read that ends it, a second
// read and a write against a virtual EMU on the fake clock, with what each one sends, reports
// and keeps when the EMU's image comes back short (the image already in memory stays).
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"

#include <QSignalSpy>
#include <QtTest>

class TstConnectionController : public QObject {
    Q_OBJECT
private slots:
    void sequence_data();
    void sequence();
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
    s.EFI.setDeviceFactory([&](int n) -> std::unique_ptr<ByteDevice> {
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
    QCOMPARE(s.connected, emuPresent);
    QCOMPARE(read.count(), emuPresent ? 1 : 0);
    QCOMPARE(live.count(), emuPresent ? 1 : 0);
    if (emuPresent) {
        QCOMPARE(s.caps, (Capabilities{true, true, true}));
        QCOMPARE(int(s.image.fileTable()[timing5]), 22);
        emu.setMapValue(MapId::Timing, 5, 30);
        if (shortImage) emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, shortImage, 0xFD);
        c.readTables();
        QCOMPARE(read.count(), shortImage ? 1 : 2);
        QCOMPARE(int(s.image.fileTable()[timing5]), shortImage ? 22 : 31);
        if (!shortImage) c.writeTables();
    }
    QCOMPARE(emu.commandLog(), log);
    QString panel0;
    for (const QList<QVariant> &args : status)
        if (args.at(0).toInt() == 0) panel0 = args.at(1).toString();
    QCOMPARE(panel0, lastStatus);
}

QTEST_GUILESS_MAIN(TstConnectionController)
#include "tst_connectioncontroller.moc"
