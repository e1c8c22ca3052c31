// emutool suggest: the per-point table, the corrected tune and the refusals.
#include "connection/SetupFile.h"
#include "sim/FuelRig.h"

#include <QProcess>
#include <QtTest>

namespace {
struct Run {
    int code = -1;
    QByteArray out, err;
};

Run emutool(const QStringList &args) {
    QProcess p;
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool", args);
    Run r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString writeTune(const FuelRig &r, const QString &name) {
    const QString path = r.dir.filePath(name);
    const TableValues table = SetupFile::tableFromReply(r.emu.imageStream());
    QString error;
    SetupFile::write(path, SetupFile::format({1, 3, 12, 0, 0, 4, 4}, "", "", "", table), &error);
    return path;
}
} // namespace

class TstEmutoolSuggest : public QObject {
    Q_OBJECT
private slots:
    void writesTheCorrectedTune();
    void refuses_data();
    void refuses();
};

void TstEmutoolSuggest::writesTheCorrectedTune() {
    FuelRig r({{8, 3000, 4000, 2}});
    r.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0, 200));
    r.record(200 + ScriptedDrive::standard(7000, 0.25, 0.85, 1.0).duration());
    const QString tune = writeTune(r, "tune.emu"), out = r.dir.filePath("new.emu");
    const Run run = emutool({"suggest", r.dir.filePath("log1.csv"), tune, "--out", out, "--map",
                             "cruise", "--max-step", "4"});
    QCOMPARE(run.code, 0);
    QVERIFY2(run.out.startsWith("map,point,axis,samples,rich_share,change\n"), run.out);
    SetupFileData before, after;
    QString error;
    QVERIFY(SetupFile::read(tune, &before, &error) && SetupFile::read(out, &after, &error));
    // Exactly the printed changes, in the cruise map's bytes; nothing else.
    int changed = 0;
    for (const QByteArray &line : run.out.split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() != 6 || f[0] == "map") continue;
        QCOMPARE(f[0], QByteArray("fuelRpmCruise"));
        const int p = f[1].toInt(), change = f[5].toInt();
        const int pos = emu::model::mapInfo(MapId::FuelCruise).streamOffset + p - 1;
        QCOMPARE(int(after.table[pos]) - int(before.table[pos]), change);
        before.table[pos] = after.table[pos];
        changed += change != 0;
        if (p >= 14 && p <= 18) QCOMPARE(change, 4); // 8 % lean there, bounded to 4 a round
    }
    QCOMPARE(changed, 5);
    QVERIFY(before.table == after.table);

    // On request the fuel vacuum map takes the correction instead.
    const Run vac = emutool({"suggest", r.dir.filePath("log1.csv"), tune, "--out", out, "--map",
                             "vacuum"});
    QCOMPARE(vac.code, 0);
    const QList<QByteArray> lines = vac.out.split('\n');
    QVERIFY(lines.size() > 3);
    for (int i = 1; i < lines.size() && lines[i].count(',') == 5; ++i)
        QVERIFY2(lines[i].startsWith("fuelVacuum,"), lines[i]);
}

void TstEmutoolSuggest::refuses_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("no --out") << "noout";
    QTest::newRow("lambda sensor off") << "lambdaoff";
    QTest::newRow("log without lambda") << "nolambda";
    QTest::newRow("output is a folder") << "folder";
    QTest::newRow("unknown map") << "map";
}

void TstEmutoolSuggest::refuses() {
    QFETCH(QString, what);
    FuelRig r({});
    if (what == "lambdaoff") r.emu.setSetupByte(8, 2);
    r.record(5, 100);
    const QString tune = writeTune(r, "tune.emu");
    QString log = r.dir.filePath("log1.csv");
    if (what == "nolambda") {
        QFile f(r.dir.filePath("short.csv"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("time_s,rpm,vacuum_bar,water_c\n0.1,3000,0.5,90\n");
        log = f.fileName();
    }
    QString out = r.dir.filePath("new.emu");
    if (what == "folder") QVERIFY(QDir(r.dir.path()).mkdir("new.emu"));
    QStringList args{"suggest", log, tune};
    if (what != "noout") args << "--out" << out;
    if (what == "map")
        args << "--map"
             << "timing";
    const Run run = emutool(args);
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(QFileInfo(out).isFile(), false);
}

QTEST_GUILESS_MAIN(TstEmutoolSuggest)
#include "tst_emutool_suggest.moc"
