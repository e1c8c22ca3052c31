// emu-sim: the virtual EMU on a pseudo-terminal, driven over the terminal like a real port.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString simPath() {
    const QByteArray dir = qgetenv("EMU_BIN_DIR");
    return (dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir)) +
           QStringLiteral("/emu-sim");
}

// Opens a terminal the way the program's port does: raw, 19200 baud, no controlling tty.
int openRaw(const QByteArray &path) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Everything that arrives within ms.
// Reads what arrives within ms. With expect, a loaded machine (a sanitizer build next to other
// work) gets more time: reading stops once expect bytes are in and the line has gone quiet, or
// after a generous deadline, so a reply that is late on the pty is not miscounted as short.
QByteArray readFor(int fd, int ms, int expect = -1) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    const int deadline = expect > 0 ? ms * 4 + 1000 : ms;
    qint64 lastByte = 0;
    while (t.elapsed() < deadline) {
        if (expect > 0 && got.size() >= expect && t.elapsed() - lastByte > 30) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buf[1024];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, int(n));
                lastByte = t.elapsed();
            }
        }
    }
    return got;
}

struct Sim {
    ~Sim() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    bool start(const QStringList &args) {
        proc.start(simPath(), args);
        if (!proc.waitForStarted(5000)) return false;
        while (!proc.canReadLine())
            if (!proc.waitForReadyRead(5000)) return false;
        path = proc.readLine().trimmed();
        return !path.isEmpty();
    }
    QProcess proc;
    QByteArray path;
};

} // namespace

class TestEmuSim : public QObject {
    Q_OBJECT
private slots:
    void answersOverThePty_data();
    void answersOverThePty();
    void logAndLinkAndCleanExit();
    void writesArriveUnchanged();
    void badArguments();
    void linkReplacesOnlyALink_data();
    void linkReplacesOnlyALink();
};

void TestEmuSim::answersOverThePty_data() {
    QTest::addColumn<int>("model");
    QTest::newRow("model 1") << 1;
    QTest::newRow("model 3") << 3;
    QTest::newRow("model 6") << 6;
}

void TestEmuSim::answersOverThePty() {
    QFETCH(int, model);
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("--model"), QString::number(model)}));
    QVERIFY2(sim.path.startsWith("/dev/"), sim.path.constData());
    const int fd = openRaw(sim.path);
    QVERIFY(fd >= 0);
    const char identify = char(0xFF);
    QCOMPARE(::write(fd, &identify, 1), ssize_t(1));
    const QByteArray reply = readFor(fd, 300, 7);
    QCOMPARE(reply.size(), 7);
    QCOMPARE(int(quint8(reply.at(1))), model);
    QCOMPARE(int(reply.at(5)), 5);
    QCOMPARE(int(reply.at(6)), 6);

    const char live = char(0xFC);
    QCOMPARE(::write(fd, &live, 1), ssize_t(1));
    const QByteArray frame = readFor(fd, 100, 9);
    QCOMPARE(frame.size(), 9);
    QVERIFY(!frame.contains('\0'));

    // The whole image stream arrives within the program's 500 ms wait.
    const char image = char(0xFD);
    QCOMPARE(::write(fd, &image, 1), ssize_t(1));
    QCOMPARE(readFor(fd, 500, 457).size(), 457);
    ::close(fd);

    // A second program opening the terminal is served as well.
    const int fd2 = openRaw(sim.path);
    QVERIFY(fd2 >= 0);
    QCOMPARE(::write(fd2, &identify, 1), ssize_t(1));
    QCOMPARE(readFor(fd2, 300, 7).size(), 7);
    ::close(fd2);
}

void TestEmuSim::logAndLinkAndCleanExit() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyEMU"));
    const QString log = dir.filePath(QStringLiteral("emu.log"));
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("--link"), link, QStringLiteral("--log"), log}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLocal8Bit(sim.path));

    const int fd = openRaw(QFile::encodeName(link));
    QVERIFY(fd >= 0);
    const char cmds[] = {char(0xFF), char(0xF2), char(0x50), char(0x04)};
    QCOMPARE(::write(fd, cmds, sizeof cmds), ssize_t(sizeof cmds));
    QCOMPARE(readFor(fd, 300, 7).size(), 7);
    ::close(fd);

    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines, QStringList({QStringLiteral("FF identify"),
                                 QStringLiteral("F2 50 04 parameter 80 = 4")}));

    sim.proc.terminate(); // SIGTERM
    QVERIFY(sim.proc.waitForFinished(5000));
    QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.proc.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestEmuSim::writesArriveUnchanged() {
    // Bytes a terminal would otherwise interpret (CR, LF, ^C, ^S, DEL, 0) reach the EMU as sent.
    Sim sim;
    QVERIFY(sim.start({}));
    const int fd = openRaw(sim.path);
    QVERIFY(fd >= 0);
    QByteArray cmds;
    const int values[] = {0x0D, 0x0A, 0x03, 0x13, 0x7F, 0x00};
    for (int i = 0; i < 6; ++i)
        cmds += QByteArray("\xF2") + char(0x50 + i) + char(values[i]);
    cmds += char(0xFD);
    QCOMPARE(::write(fd, cmds.constData(), size_t(cmds.size())), ssize_t(cmds.size()));
    const QByteArray image = readFor(fd, 600, 457);
    QCOMPARE(image.size(), 457);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(int(quint8(image.at(0x50 + i))), values[i] + 1);
    ::close(fd);
}

void TestEmuSim::badArguments() {
    QProcess p;
    p.start(simPath(), {QStringLiteral("--model"), QStringLiteral("x")});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("model"));
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

void TestEmuSim::linkReplacesOnlyALink_data() {
    QTest::addColumn<QString>("there"); // what PATH is before emu-sim starts
    QTest::addColumn<bool>("replaced");
    QTest::newRow("a file") << "file" << false;
    QTest::newRow("a folder") << "folder" << false;
    QTest::newRow("a link of an earlier run") << "dangling" << true;
    QTest::newRow("a link to a file") << "link" << true;
}

void TestEmuSim::linkReplacesOnlyALink() {
    QFETCH(QString, there);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ttyEMU"));
    const QString file = dir.filePath(QStringLiteral("tune.emu"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep") == 4);
    f.close();
    if (there == "file")
        QVERIFY(QFile::copy(file, path));
    else if (there == "folder")
        QVERIFY(QDir().mkdir(path));
    else
        QVERIFY(QFile::link(there == "link" ? file : QStringLiteral("/dev/pts/9999"), path));

    Sim sim;
    if (!replaced) {
        sim.proc.start(simPath(), {QStringLiteral("--link"), path});
        QVERIFY(sim.proc.waitForFinished(5000));
        QCOMPARE(sim.proc.exitCode(), 2);
        QVERIFY(sim.proc.readAllStandardError().contains("is not a symbolic link"));
        QVERIFY(sim.proc.readAllStandardOutput().isEmpty());
        QCOMPARE(QFileInfo(path).isDir(), there == "folder");
        if (there == "file") {
            QVERIFY(!QFileInfo(path).isSymLink());
            QFile kept(path);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), QByteArray("keep"));
        }
        return;
    }
    QVERIFY(sim.start({QStringLiteral("--link"), path}));
    QCOMPARE(QFileInfo(path).symLinkTarget(), QString::fromLocal8Bit(sim.path));
    ::kill(pid_t(sim.proc.processId()), SIGINT);
    QVERIFY(sim.proc.waitForFinished(5000));
    QCOMPARE(sim.proc.exitCode(), 0);
    QVERIFY(!QFileInfo(path).isSymLink() && !QFileInfo::exists(path));
    QVERIFY(QFileInfo(file).isFile() && QFileInfo(file).size() == 4); // the old target untouched
}

QTEST_GUILESS_MAIN(TestEmuSim)
#include "tst_emusim.moc"
