// emutool read and write against emu-sim on a pseudo-terminal: the file a read saves, the bytes a
// write sends (seen in emu-sim's command log and in what a later read returns), and refusals
// that must leave files and the EMU alone.
#include "connection/SetupFile.h"
#include "link/Clock.h"
#include "model/Maps.h"
#include "sim/VirtualEmu.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
struct Run {
    int code = -1;
    QByteArray out, err;
};

Run emutool(const QStringList &args, const QString &folder = QString()) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool", args);
    Run r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// emu-sim serving one model on a pseudo-terminal, with its command log.
class EmuSim {
public:
    EmuSim(int model, const QString &logPath, const QStringList &more = {}) : m_log(logPath) {
        QFile::remove(logPath); // emu-sim appends
        m_proc.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emu-sim",
                     QStringList{"--model", QString::number(model), "--log", logPath} + more);
        if (m_proc.waitForStarted(5000)) {
            QElapsedTimer t;
            t.start();
            while (!m_proc.canReadLine() && t.elapsed() < 5000)
                m_proc.waitForReadyRead(100);
            m_path = QString::fromLocal8Bit(m_proc.readLine().trimmed());
        }
    }
    ~EmuSim() {
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000)) m_proc.kill();
        m_proc.waitForFinished(1000);
    }
    QString path() const { return m_path; }
    QStringList log() const {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // The log once it holds `lines` lines (emu-sim may still be taking the last bytes).
    QStringList waitLog(int lines) const {
        QElapsedTimer t;
        t.start();
        QStringList l = log();
        while (l.size() < lines && t.elapsed() < 3000) {
            QTest::qWait(20);
            l = log();
        }
        return l;
    }
    void clearLog() const { QFile(m_log).resize(0); }

private:
    QProcess m_proc;
    QString m_log, m_path;
};

SetupFileData parseFile(const QString &path) {
    SetupFileData d;
    QString error;
    if (!SetupFile::read(path, &d, &error)) qWarning("%s", qPrintable(error));
    return d;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What emu-sim holds at start for a model, as a setup file, through emutool export --json.
QByteArray defaultsJson(int model, const QString &dir) {
    FakeClock clock;
    VirtualEmu emu(clock, model);
    std::array<quint8, 7> id{};
    const QByteArray identity = emu.identity();
    for (int i = 0; i < 7; ++i)
        id[i] = quint8(identity.at(i));
    const QString path = dir + "/defaults.emu";
    QString error;
    if (!SetupFile::write(
            path, SetupFile::format(id, "", "", "", SetupFile::tableFromReply(emu.imageStream())),
            &error))
        return {};
    return emutool({"export", path, "--json"}).out;
}
} // namespace

class TstEmutoolPort : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readSavesImage_data();
    void readSavesImage();
    void writeSendsTables();
    void writeAcrossModels_data();
    void writeAcrossModels();
    void malformedFileSendsNothing_data();
    void malformedFileSendsNothing();
    void nothingAnswers_data();
    void nothingAnswers();
    void bareName_data();
    void bareName();
    void readRefusesNonRegularTarget_data();
    void readRefusesNonRegularTarget();
    void imageReplyLength_data();
    void imageReplyLength();
    void verifyAndDiffWithPort_data();
    void verifyAndDiffWithPort();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TstEmutoolPort::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString bin = qEnvironmentVariable("EMU_BIN_DIR");
    QVERIFY2(QFile::exists(bin + "/emutool"), "emutool is not built");
    if (!QFile::exists(bin + "/emu-sim")) QSKIP("emu-sim is not built");
}

void TstEmutoolPort::readSavesImage_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("vehicle");
    QTest::addColumn<QByteArray>("vehicleLine");
    QTest::newRow("model 3, no vehicle") << 3 << QStringList() << QByteArray("~~~");
    QTest::newRow("model 1, vehicle")
        << 1 << QStringList{"--make", "Mini", "--model=Cooper S", "--engine", "A+ 1275"}
        << QByteArray("Mini~Cooper S~A+ 1275~");
    QTest::newRow("model 2") << 2 << QStringList{"--engine", "B18"} << QByteArray("~~B18~");
    QTest::newRow("Windows-1252 text")
        << 3 << QStringList{"--make", "Škoda", "--model", "Felicia €"}
        << QByteArray("\x8Akoda~Felicia \x80~~");
    QTest::newRow("text beyond Windows-1252")
        << 3 << QStringList{"--make", "Škoda", "--engine", "Łada"}
        << QString("Škoda~~Łada~").toUtf8();
}

void TstEmutoolPort::readSavesImage() {
    QFETCH(int, model);
    QFETCH(QStringList, vehicle);
    QFETCH(QByteArray, vehicleLine);
    EmuSim sim(model, file("read.log"));
    QVERIFY(!sim.path().isEmpty());
    const QString out = file(QStringLiteral("read%1.emu").arg(model));
    const Run r = emutool(QStringList{"read", sim.path(), out} + vehicle);
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(r.out.contains("457 bytes"));
    QCOMPARE(sim.waitLog(2), (QStringList{"FF identify", "FD read image"}));

    const QList<QByteArray> lines = readAll(out).split('\n');
    QCOMPARE(lines.size(), 8); // seven CR LF lines
    QCOMPARE(lines.at(0), QByteArray("#EMU Version\r"));
    FakeClock clock;
    const QByteArray id = VirtualEmu(clock, model).identity();
    QCOMPARE(lines.at(1), QByteArray::number(quint8(id[0])) + QByteArray::number(quint8(id[1])) +
                              QByteArray::number(quint8(id[2])) +
                              QByteArray::number(quint8(id[3])) +
                              QByteArray::number(quint8(id[4])) + "44\r");
    QCOMPARE(lines.at(3), vehicleLine + '\r');
    QCOMPARE(lines.at(5).count(','), 458);
    QVERIFY(lines.at(5).endsWith(",0,;\r"));
    QCOMPARE(lines.at(6), QByteArray("#EOF\r"));

    const QByteArray json = emutool({"export", out, "--json"}).out;
    QJsonObject got = QJsonDocument::fromJson(json).object();
    QJsonObject want = QJsonDocument::fromJson(defaultsJson(model, m_dir.path())).object();
    QVERIFY(!want.isEmpty());
    QCOMPARE(got["maps"], want["maps"]);
    QCOMPARE(got["setup"], want["setup"]);
    QCOMPARE(got["identity"], want["identity"]);
    // What was typed reads back unchanged.
    for (int i = 0; i < vehicle.size(); ++i) {
        QString key = vehicle.at(i).mid(2), value;
        if (key.contains('='))
            value = key.section('=', 1), key = key.section('=', 0, 0);
        else
            value = vehicle.value(++i);
        QCOMPARE(got["vehicle"].toObject()[key].toString(), value);
    }
}

// A port named without a folder: a link in the current folder is that link (emu-sim --link makes
// one), never a device of that name under /dev; a name that is no file here is refused unless
// it is a serial device the system lists.
void TstEmutoolPort::bareName_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");
    QTest::newRow("read") << QStringList{"read", "emu-link", "out.emu"} << 0 << QString();
    QTest::newRow("write") << QStringList{"write", "emu-link", "ORIG"} << 0 << QString();
    QTest::newRow("diff") << QStringList{"diff", "emu-link", "ORIG"} << 0 << QString();
    QTest::newRow("log") << QStringList{"log", "emu-link", "o.csv", "--duration", "0.2"} << 0
                         << QString();
    QTest::newRow("--port") << QStringList{"read", "Com7", "out.emu", "--port", "Com7=emu-link"}
                            << 0 << QString();
    QTest::newRow("a name under /dev only")
        << QStringList{"read", "null", "out.emu"} << 2 << "null: no file of that name here";
}

void TstEmutoolPort::bareName() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, error);
    QTemporaryDir here;
    EmuSim sim(3, file("bare.log"));
    QVERIFY(!sim.path().isEmpty());
    QVERIFY(QFile::link(sim.path(), here.filePath("emu-link")));
    const QString orig = here.filePath("orig.emu");
    QCOMPARE(emutool({"read", sim.path(), orig}).code, 0);
    args.replaceInStrings("ORIG", orig);
    const Run r = emutool(args, here.path());
    QVERIFY2(r.code == code, r.err.constData());
    QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
    if (code != 0) QVERIFY(!QFile::exists(here.filePath("out.emu")));
}

// A save target that is not a regular file is refused and left as it is; a link is followed.
void TstEmutoolPort::readRefusesNonRegularTarget_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // empty: saved through the link
    QTest::newRow("FIFO") << "fifo"
                          << "a FIFO";
    QTest::newRow("device like /dev/full") << "device"
                                           << "a device";
    QTest::newRow("folder") << "folder"
                            << "a folder";
    QTest::newRow("link to a file") << "link" << QString();
}

void TstEmutoolPort::readRefusesNonRegularTarget() {
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString out = dir.filePath("out.emu"), target = dir.filePath("target.emu");
    const QByteArray native = QFile::encodeName(out);
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (kind == "device") {
        if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("cannot make a device node here");
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(out));
    } else {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
        f.close();
        QVERIFY(QFile::link(target, out));
    }
    struct stat before {};
    QCOMPARE(::lstat(native.constData(), &before), 0);
    EmuSim sim(3, file("target.log"));
    const Run r = emutool({"read", sim.path(), out});
    struct stat after {};
    QCOMPARE(::lstat(native.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    if (refusal.isEmpty()) {
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(readAll(target).startsWith("#EMU Version\r\n"));
        return;
    }
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(refusal.toUtf8()) && r.err.contains("left as it is"),
             r.err.constData());
}

void TstEmutoolPort::writeSendsTables() {
    EmuSim sim(3, file("write.log"));
    const QString original = file("orig.emu"), changed = file("changed.emu"),
                  back = file("back.emu");
    QCOMPARE(emutool({"read", sim.path(), original}).code, 0);

    // Timing point 5 +3 degrees, fuel RPM "High" point 32 to -50 %, vacuum timing point 1 to -10.
    SetupFileData d = parseFile(original);
    d.table[100 + 5] += 3;
    d.table[425 + 31] = 51;
    d.table[201] = 1;
    QString error;
    QVERIFY(SetupFile::write(
        changed, SetupFile::format(d.identity, "Make", "Model", "Engine", d.table), &error));

    sim.clearLog();
    // The port as a number mapped on the command line (the option before the command).
    const Run w = emutool({"--port", "Com9=" + sim.path(), "write", "Com9", changed});
    QVERIFY2(w.code == 0, w.err.constData());
    QVERIFY(w.out.contains("EMU 3 v1.12 (Fuel and Timing)"));
    QVERIFY(w.out.contains("Com9"));
    QVERIFY(w.out.contains("Sections: setup block, timing, vacuumTiming, fuelVacuum"));
    QVERIFY(w.out.contains("Bytes: 1 + 458 (457 of data, 1 filler)"));
    QCOMPARE(sim.waitLog(2), (QStringList{"FF identify", "F3 [458 bytes] write tables"}));

    QCOMPARE(emutool({"read", sim.path(), back}).code, 0);
    const SetupFileData b = parseFile(back);
    QCOMPARE(b.table, d.table); // everything, the 30 timing slots beyond N included
    const Run diff = emutool({"diff", original, back});
    QCOMPARE(diff.code, 1);
    QVERIFY(diff.out.contains("timing point 5:"));
    QVERIFY(diff.out.contains("fuelRpmHigh point 32: "));
    QVERIFY(diff.out.contains(" -> -50"));
    QVERIFY(diff.out.contains("vacuumTiming point 1: "));
}

void TstEmutoolPort::writeAcrossModels_data() {
    QTest::addColumn<int>("fileModel");
    QTest::addColumn<int>("emuModel");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::newRow("model 3 file to model 1") << 3 << 1 << QString();
    QTest::newRow("model 3 file to model 2") << 3 << 2 << QString();
    QTest::newRow("model 1 file to model 3") << 1 << 3 << "holds the maps of model 1";
    QTest::newRow("unknown model 4") << 3 << 4 << "model code this program does not know";
}

void TstEmutoolPort::writeAcrossModels() {
    QFETCH(int, fileModel);
    QFETCH(int, emuModel);
    QFETCH(QString, refusal);
    // A file of fileModel with every map point of every map changed from emu-sim's defaults.
    const QString source = file("source.emu"), in = file("across.emu"), back = file("after.emu");
    {
        EmuSim sim(fileModel, file("src.log"));
        QCOMPARE(emutool({"read", sim.path(), source}).code, 0);
    }
    SetupFileData d = parseFile(source);
    for (int i = 101; i < 457; ++i)
        d.table[i] = quint8(d.table[i] + 1);
    QString error;
    QVERIFY(SetupFile::write(in, SetupFile::format(d.identity, "", "", "", d.table), &error));

    EmuSim sim(emuModel, file("dst.log"));
    QCOMPARE(emutool({"read", sim.path(), file("before.emu")}).code, 0);
    const SetupFileData before = parseFile(file("before.emu"));
    sim.clearLog();
    const Run w = emutool({"write", sim.path(), in});
    QCOMPARE(sim.waitLog(1).value(0), QStringLiteral("FF identify"));
    if (!refusal.isEmpty()) {
        QCOMPARE(w.code, 2);
        QVERIFY2(w.err.contains(refusal.toUtf8()), w.err.constData());
        QVERIFY(w.out.isEmpty());
        QTest::qWait(200);
        QCOMPARE(sim.log(), QStringList{"FF identify"});
        return;
    }
    QVERIFY2(w.code == 0, w.err.constData());
    QVERIFY(w.out.contains(QStringLiteral("saved from a model %1").arg(fileModel).toUtf8()));
    QCOMPARE(sim.waitLog(2).value(1), QStringLiteral("F3 [458 bytes] write tables"));
    QCOMPARE(emutool({"read", sim.path(), back}).code, 0);
    const SetupFileData a = parseFile(back);
    // The EMU took the sections it has from the file and kept the rest.
    FakeClock clock;
    VirtualEmu model(clock, emuModel);
    for (MapId id : emu::model::allMaps()) {
        const MapInfo &info = emu::model::mapInfo(id);
        const bool has = info.capability == 0   ? model.hasTiming()
                         : info.capability == 1 ? model.hasVacuum()
                                                : model.hasFuel();
        for (int i = info.streamOffset; i < info.streamOffset + info.points; ++i)
            QVERIFY2(a.table[i] == (has ? d.table[i] : before.table[i]),
                     qPrintable(QStringLiteral("%1 position %2").arg(info.key).arg(i)));
    }
}

void TstEmutoolPort::malformedFileSendsNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const QByteArray head = "#EMU Version\r\n13120044\r\n#VehicleInfo\r\n~~~\r\n#Table\r\n";
    QByteArray values;
    for (int i = 0; i < 458; ++i)
        values += "1,";
    QTest::newRow("missing file") << QByteArray() << "Cannot open";
    QTest::newRow("not a setup file") << QByteArray("hello\r\n") << "#EMU Version";
    QTest::newRow("short table") << head + values.mid(4) + ";\r\n#EOF\r\n"
                                 << "the table holds 456 values, expected 458";
    QTest::newRow("no semicolon") << head + values + "\r\n#EOF\r\n"
                                  << "';'";
    QTest::newRow("value 256") << head + "256," + values.mid(2) + ";\r\n#EOF\r\n"
                               << "256";
    QTest::newRow("identity letters")
        << QByteArray(head).replace("13120044", "1312x044") + values + ";\r\n"
        << "'x'";
}

void TstEmutoolPort::malformedFileSendsNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    EmuSim sim(3, file("bad.log"));
    const QString path = file("malformed.emu");
    QFile::remove(path);
    if (!content.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const Run r = emutool({"write", sim.path(), path});
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(r.err.contains("Nothing was sent."));
    QTest::qWait(200);
    QVERIFY(sim.log().isEmpty()); // not even identified
}

void TstEmutoolPort::nothingAnswers_data() {
    QTest::addColumn<QString>("port"); // "PTY": a pseudo-terminal nobody serves
    QTest::addColumn<QString>("message");
    QTest::newRow("silent terminal") << "PTY"
                                     << "nothing was received within 300 ms";
    QTest::newRow("number mapped to nothing") << "Com20"
                                              << "Com20";
    QTest::newRow("missing device") << "/dev/no-such-emu"
                                    << "cannot open /dev/no-such-emu: no such device";
}

void TstEmutoolPort::nothingAnswers() {
    QFETCH(QString, port);
    QFETCH(QString, message);
    int master = -1;
    if (port == "PTY") {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        port = QString::fromLocal8Bit(ptsname(master));
    }
    const QString out = file("kept.emu");
    const QByteArray old = "an earlier file\r\n";
    {
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    const Run r = emutool({"read", port, out});
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    // A device given by its path is named by its path only; no made-up signature.
    if (port.startsWith('/')) QVERIFY2(!r.err.contains("Com"), r.err.constData());
    QVERIFY2(!r.err.contains("signature"), r.err.constData());
    QCOMPARE(readAll(out), old); // nothing written over it

    // write refuses too (the file is valid; the EMU is missing).
    EmuSim source(3, file("valid.log"));
    QCOMPARE(emutool({"read", source.path(), file("valid.emu")}).code, 0);
    const Run w = emutool({"write", port, file("valid.emu")});
    QCOMPARE(w.code, 2);
    QVERIFY2(QString::fromUtf8(w.err).contains(message), w.err.constData());
    if (master >= 0) {
        // Only the identify command reached the line.
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        char buf[1024];
        const ssize_t n = ::read(master, buf, sizeof buf);
        const QByteArray sent(buf, int(qMax<ssize_t>(n, 0)));
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent, QByteArray(sent.size(), '\xFF'));
        ::close(master);
    }
}

void TstEmutoolPort::imageReplyLength_data() {
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("refusal"); // empty: saved
    QTest::newRow("whole image") << QByteArray(457, 'A') << QString();
    QTest::newRow("short image") << QByteArray(200, 'A') << "sent 200 of 457 bytes";
    QByteArray zero(457, 'A');
    zero[150] = 0;
    QTest::newRow("zero byte inside") << zero << "sent 150 of 457 bytes";
}

// A scripted EMU on a pseudo-terminal: it answers the identify command as a live EMU and the
// read image command with the given bytes.
void TstEmutoolPort::imageReplyLength() {
    QFETCH(QByteArray, image);
    QFETCH(QString, refusal);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    const QString out = file("scripted.emu");
    QFile::remove(out);

    QProcess p;
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool",
            {"read", QString::fromLocal8Bit(ptsname(master)), out});
    QByteArray got;
    bool identified = false, imaged = false;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 10000) {
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) got.append(buf, int(n));
        if (!identified && got.contains('\xFF')) {
            QCOMPARE(::write(master, "\x01\x03\x0C\x01\x01\x05\x06", 7), ssize_t(7));
            identified = true;
        }
        if (!imaged && got.contains('\xFD')) {
            QCOMPARE(::write(master, image.constData(), size_t(image.size())),
                     ssize_t(image.size()));
            imaged = true;
        }
        p.waitForFinished(5);
    }
    ::close(master);
    QVERIFY(p.state() == QProcess::NotRunning);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(got == QByteArray("\xFF\xFD"), (got.toHex() + " sent; " + err).constData());
    if (!refusal.isEmpty()) {
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(err.contains(refusal.toUtf8()), err.constData());
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY2(p.exitCode() == 0, err.constData());
    const SetupFileData d = parseFile(out);
    QCOMPARE(d.identity, (std::array<quint8, 7>{1, 3, 12, 1, 1, 4, 4}));
    for (int i = 0; i < 457; ++i)
        QCOMPARE(d.table[i], quint8('A'));
    QCOMPARE(d.table[457], quint8(0));
}

void TstEmutoolPort::verifyAndDiffWithPort_data() {
    QTest::addColumn<QString>("fault"); // emu-sim --fault, "" for none
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("timing5"); // degrees added to timing point 5 in the file
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text"); // in stdout and stderr
    QTest::newRow("write --verify")
        << "" << QStringList{"write", "PORT", "FILE", "--verify"} << 12 << 0 << "Verified";
    QTest::newRow("write --verify, read-back differs")
        << "zero:300@FD" << QStringList{"write", "PORT", "FILE", "--verify"} << 2 << 3
        << "verify failed: 1 position(s) differ after the write to <PORT>\n"
           "  fuelRpmCruise point 4: wrote 101, read back 0";
    QTest::newRow("write --verify, no read-back")
        << "noanswer@FD" << QStringList{"write", "PORT", "--verify", "FILE"} << 2 << 3
        << "(the EMU sent nothing back)";
    QTest::newRow("diff EMU, same file")
        << "" << QStringList{"diff", "PORT", "FILE"} << 0 << 0 << "";
    QTest::newRow("diff EMU, changed file") << "" << QStringList{"diff", "PORT", "FILE"} << 2 << 1
                                            << "timing point 5: <EMU> -> <FILE>\n";
    QTest::newRow("diff file, EMU") << "" << QStringList{"diff", "FILE", "PORT"} << 2 << 1
                                    << "timing point 5: <FILE> -> <EMU>\n";
    QTest::newRow("diff EMU, short image") << "short:200@FD" << QStringList{"diff", "PORT", "FILE"}
                                           << 10 << 2 << "sent 200 of 457 bytes";
}

// The file is emu-sim's own image with timing point 5 set; only identify, the table write and
// read image commands reach the EMU.
void TstEmutoolPort::verifyAndDiffWithPort() {
    QFETCH(QString, fault);
    QFETCH(QStringList, args);
    QFETCH(int, timing5);
    QFETCH(int, code);
    QFETCH(QString, text);
    FakeClock clock;
    VirtualEmu model(clock, 3);
    const int emuTiming5 = model.mapValue(MapId::Timing, 5);
    model.setMapValue(MapId::Timing, 5, emuTiming5 + timing5);
    std::array<quint8, 7> id{};
    for (int i = 0; i < 7; ++i)
        id[i] = quint8(model.identity().at(i));
    const QString in = file("port.emu");
    QString error;
    QVERIFY(SetupFile::write(
        in, SetupFile::format(id, "", "", "", SetupFile::tableFromReply(model.imageStream())),
        &error));
    EmuSim sim(3, file("port.log"),
               fault.isEmpty() ? QStringList() : QStringList{"--fault", fault});
    for (QString &a : args)
        a = a == "PORT" ? sim.path() : a == "FILE" ? in : a;
    const Run r = emutool(args);
    QVERIFY2(r.code == code, (QByteArray::number(r.code) + ": " + r.out + r.err).constData());
    text.replace("<PORT>", sim.path())
        .replace("<EMU>", QString::number(emuTiming5))
        .replace("<FILE>", QString::number(emuTiming5 + timing5));
    QVERIFY2((r.out + r.err).contains(text.toUtf8()), (r.out + r.err).constData());
    if (code == 0 && args.first() == "diff") QVERIFY(r.out.isEmpty());
    const QStringList sent =
        args.contains("write")
            ? QStringList{"FF identify", "F3 [458 bytes] write tables", "FD read image"}
            : QStringList{"FF identify", "FD read image"};
    QCOMPARE(sim.waitLog(sent.size()), sent);
}

QTEST_GUILESS_MAIN(TstEmutoolPort)
#include "tst_emutool_port.moc"
