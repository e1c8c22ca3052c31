#include "ScriptedDevice.h"
#include "link/PortMap.h"
#include "link/QCCom32.h"

#include <QtTest>

class TestPortMap : public QObject {
    Q_OBJECT

    PortMap &map = PortMap::instance();

private slots:
    void init() { map.clear(); }
    void cleanupTestCase() { map.clear(); }

    void order_data() {
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("ordered");
        QTest::newRow("adapters first")
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyACM0"}
            << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS1"};
        QTest::newRow("numbers by value")
            << QStringList{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB10", "/dev/ttyUSB9"}
            << QStringList{"/dev/ttyUSB9", "/dev/ttyUSB10", "/dev/ttyS2", "/dev/ttyS10"};
        QTest::newRow("duplicates once")
            << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyS0"}
            << QStringList{"/dev/ttyUSB0", "/dev/ttyS0"};
        QTest::newRow("same result from any scan order")
            << QStringList{"/dev/ttyACM1", "/dev/ttyAMA0", "/dev/ttyUSB1", "/dev/ttyACM0"}
            << QStringList{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyUSB1", "/dev/ttyAMA0"};
        QTest::newRow("nothing") << QStringList{} << QStringList{};
    }
    void order() {
        QFETCH(QStringList, found);
        QFETCH(QStringList, ordered);
        QCOMPARE(PortMap::orderDevices(found), ordered);
    }

    void portNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::newRow("Com3") << "Com3" << 3;
        QTest::newRow("COM12") << "COM12" << 12;
        QTest::newRow("com1") << "com1" << 1;
        QTest::newRow("plain") << "7" << 7;
        QTest::newRow("word") << "ttyS0" << 0;
        QTest::newRow("Com alone") << "Com" << 0;
        QTest::newRow("sign") << "Com-1" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void portNumber() {
        QFETCH(QString, text);
        QFETCH(int, n);
        QCOMPARE(PortMap::portNumber(text), n);
    }

    void arguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QStringList>("described");
        QTest::newRow("separate value")
            << QStringList{"prog", "--port", "Com2=/dev/ttyX", "--demo"} << true
            << QStringList{"prog", "--demo"} << QStringList{"Com2 = /dev/ttyX"};
        QTest::newRow("joined value") << QStringList{"prog", "--port=com5=/dev/pts/3"} << true
                                      << QStringList{"prog"} << QStringList{"Com5 = /dev/pts/3"};
        QTest::newRow("repeated, last wins")
            << QStringList{"prog",   "--port",     "Com1=/dev/a", "--port=Com3=/dev/b",
                           "--port", "Com1=/dev/c"}
            << true << QStringList{"prog"} << QStringList{"Com1 = /dev/c", "Com3 = /dev/b"};
        QTest::newRow("missing value") << QStringList{"prog", "--port"} << false
                                       << QStringList{"prog", "--port"} << QStringList{};
        QTest::newRow("no equals") << QStringList{"prog", "--port", "Com1"} << false
                                   << QStringList{"prog", "--port", "Com1"} << QStringList{};
        QTest::newRow("port 0") << QStringList{"prog", "--port=Com0=/dev/a"} << false
                                << QStringList{"prog", "--port=Com0=/dev/a"} << QStringList{};
        QTest::newRow("port 21") << QStringList{"prog", "--port=Com21=/dev/a"} << false
                                 << QStringList{"prog", "--port=Com21=/dev/a"} << QStringList{};
        QTest::newRow("no device") << QStringList{"prog", "--port=Com2="} << false
                                   << QStringList{"prog", "--port=Com2="} << QStringList{};
        QTest::newRow("other options untouched")
            << QStringList{"prog", "--portable", "x"} << true
            << QStringList{"prog", "--portable", "x"} << QStringList{};
    }
    void arguments() {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(QStringList, rest);
        QFETCH(QStringList, described);
        QString error;
        QCOMPARE(map.takeArguments(args, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        QCOMPARE(args, rest);
#ifndef Q_OS_WIN
        QCOMPARE(map.describe(), described);
#endif
    }

#ifndef Q_OS_WIN
    void scanNumbering() {
        map.setSystemDevices({"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1"});
        QCOMPARE(map.device(1), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(map.device(2), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(map.device(3), QStringLiteral("/dev/ttyS1"));
        QCOMPARE(map.device(4), QString());
        QCOMPARE(map.device(0), QString());
        QCOMPARE(map.device(21), QString());

        // An explicit entry takes its number; the device it names is not listed twice, and
        // the scanned devices fill the free numbers in order.
        map.setOverride(1, "/dev/ttyS1");
        QCOMPARE(map.describe(),
                 (QStringList{"Com1 = /dev/ttyS1", "Com2 = /dev/ttyUSB0", "Com3 = /dev/ttyS0"}));
        // Overrides stay across a new scan.
        map.setSystemDevices({"/dev/ttyACM0"});
        QCOMPARE(map.describe(), (QStringList{"Com1 = /dev/ttyS1", "Com2 = /dev/ttyACM0"}));
    }

    void atMostTwentyPorts() {
        QStringList many;
        for (int i = 0; i < 30; ++i)
            many << QStringLiteral("/dev/ttyS%1").arg(i);
        map.setSystemDevices(many);
        QCOMPARE(map.describe().size(), PortMap::MaxPorts);
        QCOMPARE(map.device(20), QStringLiteral("/dev/ttyS19"));
    }

    void realScanDoesNotCrash() {
        map.scanSystem();
        QVERIFY(map.describe().size() <= PortMap::MaxPorts);
    }
#endif

    void virtualDevice() {
        FakeClock clock;
        auto line = std::make_shared<ScriptedLine>(&clock);
        map.setVirtual(4, [line] { return std::make_unique<ScriptedDevice>(line); });
        QCOMPARE(map.device(4), QString::fromLatin1(PortMap::VirtualDevice));
        QVERIFY(map.describe().contains(QStringLiteral("Com4 = virtual EMU")));

        // The port component uses the program-wide map by default.
        TQCCom32 com(nullptr, &clock);
        com.setShowErrors(false);
        com.setPort(4);
        QCOMPARE(com.deviceName(), QStringLiteral("virtual EMU"));
        QVERIFY(com.Send("\xFF"));
        QCOMPARE(line->written, QByteArray("\xFF"));
        QCOMPARE(com.deviceName(), QStringLiteral("scripted"));

        // Removing it leaves the number empty again.
        com.Close();
        map.setVirtual(4, nullptr);
#ifndef Q_OS_WIN
        QCOMPARE(map.device(4), QString());
#endif
    }

#ifndef Q_OS_WIN
    void unmappedNumberFailsLikeMissingPort() {
        map.setSystemDevices({"/dev/ttyUSB0"});
        QVERIFY(!map.create(5));
        TQCCom32 com;
        com.setShowErrors(false);
        com.setPort(5);
        QVERIFY(!com.Open());
        QCOMPARE(com.lastOpenError(), ByteDevice::OpenError::NotFound);
        QCOMPARE(com.deviceName(), QString());
    }

    void mappedMissingDeviceIsNotFound() {
        map.setOverride(6, "/dev/emu-no-such-device");
        TQCCom32 com;
        com.setShowErrors(false);
        com.setPort(6);
        QCOMPARE(com.deviceName(), QStringLiteral("/dev/emu-no-such-device"));
        QVERIFY(!com.Open());
        QCOMPARE(com.lastOpenError(), ByteDevice::OpenError::NotFound);
        QVERIFY(!com.Send("x"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
