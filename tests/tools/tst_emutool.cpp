// emutool run as a program: info, export (JSON and CSV) and diff, with their exit codes.
#include "connection/SetupFile.h"
#include "model/Maps.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
struct Run {
    int code = -1;
    QByteArray out, err;
};

Run emutool(const QStringList &args, const QString &stdoutFile = QString()) {
    QProcess p;
    if (!stdoutFile.isEmpty()) p.setStandardOutputFile(stdoutFile);
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool", args);
    Run r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A file for a model code: RPM range 7000 (N = 70), map sensor 1 bar, timing point p = p % 40
// degrees, every other map 0 %, 0 degrees.
QByteArray makeFile(int model, int cylindersByte = 5, int timingPoint5 = 5) {
    std::array<quint8, 458> t{};
    for (int i = 0; i < 101; ++i)
        t[i] = 48;
    t[emu::model::OffRpmRange] = 71;
    t[emu::model::OffMapSensorRange] = 11;
    t[emu::model::OffCylinders] = quint8(cylindersByte);
    t[emu::model::OffCoilTime] = 255; // unset
    t[emu::model::OffMainJet] = 101;
    t[emu::model::OffSerialLetter1] = 66;
    t[emu::model::OffSerialLetter2] = 67;
    t[94] = 6, t[95] = 13, t[96] = 100, t[97] = 2;
    for (int p = 1; p <= 100; ++p)
        t[100 + p] = quint8(p % 40 + 1);
    t[105] = quint8(timingPoint5 + 1);
    for (int i = 201; i < 233; ++i)
        t[i] = 11;
    for (int i = 233; i < 457; ++i)
        t[i] = 101;
    return SetupFile::format({1, quint8(model), 12, 0, 0, 5, 6}, "Make", "Model", "Engine", t);
}
} // namespace

class TstEmutool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void info();
    void exportJson_data();
    void exportJson();
    void exportCsv();
    void diff_data();
    void diff();
    void errors_data();
    void errors();
    void outputFailure_data();
    void outputFailure();
    void hostileFiles_data();
    void hostileFiles();
    void hits();

private:
    QString write(const QString &name, const QByteArray &content);
    QTemporaryDir m_dir;
};

QString TstEmutool::write(const QString &name, const QByteArray &content) {
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TstEmutool::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool"),
             "emutool is not built");
}

void TstEmutool::info() {
    const Run r = emutool({"info", write("info.emu", makeFile(3))});
    QCOMPARE(r.code, 0);
    QVERIFY(r.err.isEmpty());
    const QString out = QString::fromUtf8(r.out);
    QVERIFY(out.contains("Identity: 1 3 12 0 0 4 4"));
    QVERIFY(out.contains("Module type: Fuel and Timing"));
    QVERIFY(out.contains("Vehicle make: Make"));
    QVERIFY(out.contains("Serial number: AB-051299-01"));
    QVERIFY(out.contains(QRegularExpression("Cylinders +4\n")));
    QVERIFY(out.contains(QRegularExpression("RpmRange +7000 RPM\n")));
    QVERIFY(out.contains(QRegularExpression("CoilTime +\\(unset\\)\n")));
    QVERIFY(out.contains("timing (Timing Map), 70 points"));
    QVERIFY(out.contains("voltageCorrection"));
}

void TstEmutool::exportJson_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("maps");
    const QStringList timing = {"timing", "vacuumTiming"};
    const QStringList fuel = {"airTempCorrection",  "fuelRpmCruise", "fuelRpmHigh",
                              "fuelRpmLow",         "fuelVacuum",    "voltageCorrection",
                              "waterTempCorrection"};
    QTest::newRow("model 1") << 1 << timing;
    QTest::newRow("model 2") << 2 << fuel;
    QTest::newRow("model 3") << 3 << QStringList(timing + fuel);
    QTest::newRow("model 9") << 9 << QStringList();
}

void TstEmutool::exportJson() {
    QFETCH(int, model);
    QFETCH(QStringList, maps);
    const Run r = emutool({"export", write("x.emu", makeFile(model)), "--json"});
    QCOMPARE(r.code, 0);
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &perr);
    QCOMPARE(perr.error, QJsonParseError::NoError);
    const QJsonObject o = doc.object();
    QStringList keys = o.keys();
    keys.sort();
    QCOMPARE(keys,
             (QStringList{"identity", "jets", "maps", "moduleType", "serial", "setup", "vehicle"}));
    const QJsonArray id = o["identity"].toArray();
    QCOMPARE(id.size(), 7);
    QCOMPARE(id[1].toInt(), model);
    QCOMPARE(id[6].toInt(), 4);
    QCOMPARE(o["serial"].toString(), QStringLiteral("AB-051299-01"));
    QCOMPARE(o["vehicle"].toObject()["engine"].toString(), QStringLiteral("Engine"));
    const QJsonObject setup = o["setup"].toObject();
    QCOMPARE(setup.size(), 60);
    QCOMPARE(setup["Cylinders"].toDouble(), 4.0);
    QCOMPARE(setup["RpmRange"].toDouble(), 7000.0);
    QVERIFY(setup["CoilTime"].isNull());
    QVERIFY(setup["TpsSensor"].isBool());
    QCOMPARE(setup["SerialLetter1"].toString(), QStringLiteral("A"));
    QCOMPARE(o["jets"].toObject()["main"].toDouble(), 100.0);
    const QJsonObject m = o["maps"].toObject();
    maps.sort();
    QCOMPARE(m.keys(), maps);
    if (m.contains("timing")) {
        QCOMPARE(m["timing"].toArray().size(), 70);
        QCOMPARE(m["timing"].toArray()[4].toDouble(), 5.0);
        QCOMPARE(m["timing"].toArray()[69].toDouble(), 30.0);
        QCOMPARE(m["vacuumTiming"].toArray().size(), 32);
        QCOMPARE(m["vacuumTiming"].toArray()[0].toDouble(), 0.0);
        QCOMPARE(o["moduleType"].toString().isEmpty(), false);
    }
    if (m.contains("fuelVacuum")) {
        QCOMPARE(m["fuelVacuum"].toArray().size(), 64);
        QCOMPARE(m["waterTempCorrection"].toArray().size(), 24);
        QCOMPARE(m["voltageCorrection"].toArray().size(), 16);
        QCOMPARE(m["fuelRpmHigh"].toArray().size(), 32);
    }
    if (model == 9) QVERIFY(o["moduleType"].isNull());
}

void TstEmutool::exportCsv() {
    const Run r = emutool({"export", "--csv", write("csv.emu", makeFile(1))});
    QCOMPARE(r.code, 0);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.first(), QByteArray("map,point,position,value"));
    QCOMPARE(lines.size(), 1 + 70 + 32);
    QCOMPARE(lines.at(5), QByteArray("timing,5,5,5"));
    QCOMPARE(lines.at(70 + 16), QByteArray("vacuumTiming,16,0.5,0"));
}

void TstEmutool::diff_data() {
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("equal") << makeFile(3) << 0 << QStringList();
    QTest::newRow("cylinders") << makeFile(3, 7) << 1 << QStringList{"setup Cylinders: 4 -> 6"};
    QTest::newRow("timing point") << makeFile(3, 5, 9) << 1
                                  << QStringList{"timing point 5: 5 -> 9"};
    QTest::newRow("model") << makeFile(1) << 1
                           << QStringList{"identity: 1 3 12 0 0 4 4 -> 1 1 12 0 0 4 4",
                                          "map fuelVacuum: only in"};
}

void TstEmutool::diff() {
    QFETCH(QByteArray, b);
    QFETCH(int, code);
    QFETCH(QStringList, lines);
    const Run r = emutool({"diff", write("a.emu", makeFile(3)), write("b.emu", b)});
    QCOMPARE(r.code, code);
    QVERIFY(r.err.isEmpty());
    const QString out = QString::fromUtf8(r.out);
    if (code == 0) QVERIFY(out.isEmpty());
    for (const QString &l : lines)
        QVERIFY2(out.contains(l), qPrintable(out));
}

void TstEmutool::errors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList() << "usage";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command";
    QTest::newRow("info missing file") << QStringList{"info", "nofile.emu"} << "nofile.emu";
    QTest::newRow("info two files") << QStringList{"info", "a", "b"} << "usage";
    QTest::newRow("export no format") << QStringList{"export", "GOOD"} << "--json";
    QTest::newRow("export both formats")
        << QStringList{"export", "GOOD", "--json", "--csv"} << "either";
    QTest::newRow("export bad file") << QStringList{"export", "BAD", "--json"} << "Line 6";
    QTest::newRow("diff bad file") << QStringList{"diff", "GOOD", "BAD"} << "Line 6";
    QTest::newRow("diff one file") << QStringList{"diff", "GOOD"} << "usage";
    QTest::newRow("read, make longer than the box")
        << QStringList{"read", "Com20", "x.emu", "--make", QString(19, 'a')}
        << "longer than 18 characters";
    QTest::newRow("read, engine with escape")
        << QStringList{"read", "Com20", "x.emu", "--engine", "V8\x1b[2J"} << "V8\\x1b[2J";
}

void TstEmutool::errors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QByteArray bad = makeFile(3);
    bad.replace(",0,;", ",;");
    const QString good = write("good.emu", makeFile(3)), badPath = write("bad.emu", bad);
    for (QString &a : args) {
        if (a == "GOOD")
            a = good;
        else if (a == "BAD")
            a = badPath;
        else if (a == "nofile.emu")
            a = m_dir.filePath(a);
    }
    const Run r = emutool(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(QString::fromLocal8Bit(r.err).contains(message), r.err.constData());
}

// Output that could not be written is an error, not a success.
void TstEmutool::outputFailure_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("info, long vehicle line") << QStringList{"info", "LONG"};
    QTest::newRow("export json") << QStringList{"export", "GOOD", "--json"};
    QTest::newRow("export csv") << QStringList{"export", "GOOD", "--csv"};
    QTest::newRow("diff") << QStringList{"diff", "GOOD", "OTHER"};
}

void TstEmutool::outputFailure() {
    QFETCH(QStringList, args);
    for (QString &a : args) {
        if (a == "GOOD") a = write("good.emu", makeFile(3));
        if (a == "OTHER") a = write("other.emu", makeFile(1));
        if (a == "LONG")
            a = write("long.emu", QByteArray(makeFile(3)).replace("Make", QByteArray(3000, 'M')));
    }
    const Run r = emutool(args, "/dev/full");
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("emutool: cannot write output: No space left on device"),
             r.err.constData());
}

// Files that must be refused promptly, without a raw control character reaching the terminal.
void TstEmutool::hostileFiles_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("info, escape sequence") << QStringList{"info", "ESC"} << "Line 4: control";
    QTest::newRow("diff, escape sequence") << QStringList{"diff", "GOOD", "ESC"} << "\\x1b";
    QTest::newRow("export, NUL in a value")
        << QStringList{"export", "NUL", "--json"} << "Line 6: control character \\x00";
    QTest::newRow("info, FIFO") << QStringList{"info", "FIFO"} << "a FIFO";
    QTest::newRow("export, FIFO") << QStringList{"export", "FIFO", "--csv"} << "a FIFO";
    QTest::newRow("diff, FIFO") << QStringList{"diff", "GOOD", "FIFO"} << "a FIFO";
    QTest::newRow("write, FIFO") << QStringList{"write", "Com20", "FIFO"} << "a FIFO";
    QTest::newRow("info, folder") << QStringList{"info", "."} << "a folder";
}

void TstEmutool::hostileFiles() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString fifo = m_dir.filePath("fifo.emu");
    QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    for (QString &a : args) {
        if (a == "GOOD") a = write("good.emu", makeFile(3));
        if (a == "ESC")
            a = write("esc.emu", makeFile(3).replace("Make", "\x1b]0;owned\x07\x1b[2J"));
        if (a == "NUL")
            a = write("nul.emu", makeFile(3).replace(",11,", QByteArray(",1\0001,", 6)));
        if (a == "FIFO") a = fifo;
        if (a == ".") a = m_dir.path();
    }
    QElapsedTimer t;
    t.start();
    const Run r = emutool(args);
    QCOMPARE(r.code, 2);
    QVERIFY(t.elapsed() < 10000);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    for (char c : r.err)
        QVERIFY2(quint8(c) >= 0x20 || c == '\n', r.err.toHex().constData());
}

void TstEmutool::hits() {
    // The tune's thresholds are both 0.47 bar and its lambda target 0.47 V: 0.5 bar is the High
    // region. The last line is cut and left out; the row at 0.2 s is a missed sample.
    const QString tune = write("hits.emu", makeFile(3));
    const QString log = write("hits.csv", "time_s,rpm,vacuum_bar,lambda_v,water_c\n"
                                          "0,2500,0.5,0.40,60\n"
                                          "0.1,2500,0.5,0.50,70\n"
                                          "0.2,,,,\n"
                                          "0.3,800,0.3,0.45,80\n"
                                          "0.4,2500,0.5,0.3");
    Run r = emutool({"hits", log, tune, "--map", "fuelRpmHigh", "--csv"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.contains("was cut short"), r.err);
    QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 34); // header, 32 points, the final line end
    QCOMPARE(lines[0], "map,point,position,samples,seconds,mean_lambda_v,rich_share");
    QCOMPARE(lines[11], "fuelRpmHigh,11,24.0625,2,0.200,0.450,0.500");

    r = emutool({"hits", log, tune, "--min-water", "65"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("2 of 4 samples kept (dropped: time range 0, missed 1, water 1, "
                              "rpm 0, throttle change 0)\n"),
             r.out);
    QVERIFY(r.out.contains("\nTiming Map (timing)\n"));

    r = emutool({"hits", log, tune, "--map", "nosuch"});
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
}

QTEST_GUILESS_MAIN(TstEmutool)
#include "tst_emutool.moc"
