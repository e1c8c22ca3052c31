// The real serial device over a pseudo-terminal pair: the test plays the EMU on the master side.
#include "link/Clock.h"
#include "link/EmuLink.h"
#include "link/QCCom32.h"
#include "link/SerialDevice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {
struct Pty {
    int master = -1;
    QString slave;
    bool open() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
        slave = QString::fromLocal8Bit(ptsname(master));
        return true;
    }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    ~Pty() { closeMaster(); }
    bool send(const QByteArray &bytes) const {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything the program wrote, waiting up to timeoutMs for want bytes.
    QByteArray take(int want, int timeoutMs = 1000) const {
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (out.size() < want && t.elapsed() < timeoutMs) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[512];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) out.append(buf, int(n));
            }
        }
        return out;
    }
};

QByteArray everyByte() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}
} // namespace

class TestSerialDevice : public QObject {
    Q_OBJECT

private slots:
    void bytesQueuedDuringABlockingWaitAreSeen() {
        Pty pty;
        QVERIFY(pty.open());
        SerialDevice dev(pty.slave);
        QVERIFY2(dev.open(19200, false), qPrintable(dev.errorString()));
        QCOMPARE(dev.queued(), 0);

        const QByteArray reply = everyByte() + everyByte();
        QVERIFY(pty.send(reply));
        QThread::msleep(100); // the protocol's blocking wait: no event loop runs
        QCOMPARE(dev.queued(), reply.size());
        QCOMPARE(dev.read(reply.size()), reply);
        QCOMPARE(dev.queued(), 0);
        QVERIFY(!dev.lost());
    }

    void writeReachesTheLineBeforeReturning() {
        Pty pty;
        QVERIFY(pty.open());
        SerialDevice dev(pty.slave);
        QVERIFY(dev.open(19200, false));
        const QByteArray stream = QByteArray(1, char(0xF3)) + everyByte();
        QCOMPARE(dev.write(stream), qint64(stream.size()));
        // Already in the driver: the other end reads it without this side doing anything more.
        QCOMPARE(pty.take(stream.size(), 500), stream);
    }

    void clearInputDropsStaleInput() {
        Pty pty;
        QVERIFY(pty.open());
        SerialDevice dev(pty.slave);
        QVERIFY(dev.open(19200, false));
        QVERIFY(pty.send("stale"));
        // A command still on its way out when the input is cleared: it must reach the EMU.
        const QByteArray command = QByteArray(1, char(0xF3)) + everyByte();
        QCOMPARE(dev.write(command), qint64(command.size()));
        QThread::msleep(50);
        dev.clearInput();
        QCOMPARE(dev.queued(), 0);
        QCOMPARE(pty.take(command.size(), 500), command);
        QVERIFY(pty.send("fresh"));
        QThread::msleep(50);
        QCOMPARE(dev.read(100), QByteArray("fresh"));
    }

    void exchangeEndToEnd() {
        Pty pty;
        QVERIFY(pty.open());
        std::atomic<bool> stop{false};
        // The EMU: answers the identify command 30 ms after it arrives.
        std::thread emu([&] {
            while (!stop) {
                const QByteArray cmd = pty.take(1, 50);
                if (cmd.contains(char(0xFF))) {
                    QThread::msleep(30);
                    pty.send(QByteArray("\x03\x03\x0c\x01\x02\x05\x06", 7));
                }
            }
        });
        TQCCom32 com(nullptr, &Clock::system());
        const QString device = pty.slave;
        com.setDeviceFactory([device](int) { return std::make_unique<SerialDevice>(device); });
        com.setShowErrors(false);
        com.setBaud(19200);
        EmuLink link(com, Clock::system());
        quint8 id[7];
        link.identify(emu::link::WaitIdentifyConnect, [&id](const EmuLink::Reply &r) {
            emu::link::fillAndCopy(r.bytes, id, 7, 7, false);
        });
        link.waitIdle(); // the wait is a timer: the event loop runs meanwhile
        stop = true;
        emu.join();
        QCOMPARE(emu::link::signature(id), QByteArray("56"));
        QCOMPARE(id[2], quint8(12));
        QCOMPARE(com.deviceName(), device);
    }

    void closedOtherEndIsLost() {
        Pty pty;
        QVERIFY(pty.open());
        SerialDevice dev(pty.slave);
        QVERIFY(dev.open(19200, false));
        QVERIFY(pty.send("ab"));
        QThread::msleep(20);
        pty.closeMaster();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 5 && !dev.lost(); ++i)
            dev.queued();
        QVERIFY(dev.lost());
        QCOMPARE(dev.queued(), 0);
        QCOMPARE(dev.write("x"), qint64(-1));
        QVERIFY(t.elapsed() < 1000);
        dev.close();
        QVERIFY(!dev.isOpen());
    }

    void portNoticesLostDevice() {
        Pty pty;
        QVERIFY(pty.open());
        const QString device = pty.slave;
        TQCCom32 com(nullptr, &Clock::system());
        com.setDeviceFactory([device](int) { return std::make_unique<SerialDevice>(device); });
        com.setShowErrors(false);
        QSignalSpy spy(&com, &TQCCom32::lostDevice);
        QVERIFY(com.Open());
        pty.closeMaster(); // also removes the slave device
        QElapsedTimer t;
        t.start();
        QVERIFY(!com.Send("\xFC"));
        QCOMPARE(com.Receive(), QByteArray());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().at(1).toString(), device);
        QVERIFY(!com.Opened());
        QVERIFY(t.elapsed() < 2000);
    }

    void missingDeviceIsNotFound() {
        SerialDevice dev(QStringLiteral("/dev/emu-no-such-tty"));
        QVERIFY(!dev.open(19200, false));
        QCOMPARE(dev.lastError(), ByteDevice::OpenError::NotFound);
        QVERIFY(!dev.errorString().isEmpty());
        QCOMPARE(dev.queued(), 0);
        QCOMPARE(dev.write("x"), qint64(-1));
    }

    void secondOpenIsBusy() {
        Pty pty;
        QVERIFY(pty.open());
        SerialDevice first(pty.slave);
        QVERIFY(first.open(19200, false));
        SerialDevice second(pty.slave);
        QVERIFY(!second.open(19200, false));
        QCOMPARE(second.lastError(), ByteDevice::OpenError::Busy);
    }
};

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
