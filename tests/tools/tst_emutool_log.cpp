// emutool log against emu-sim on a pseudo-terminal: the CSV it writes, its refusals, and how it
// ends (duration, Ctrl+C, the device going away).
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

namespace {
QString bin(const QString &name) {
    return qEnvironmentVariable("EMU_BIN_DIR") + "/" + name;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// emu-sim on a pseudo-terminal; its path is the first line it prints.
struct Sim {
    QProcess proc;
    QString path;
    explicit Sim(const QStringList &args = {}) {
        proc.start(bin("emu-sim"), args);
        if (!proc.waitForStarted(5000)) return;
        QElapsedTimer t;
        t.start();
        while (!proc.canReadLine() && t.elapsed() < 5000)
            proc.waitForReadyRead(100);
        path = QString::fromLocal8Bit(proc.readLine().trimmed());
    }
    ~Sim() {
        proc.kill();
        proc.waitForFinished(3000);
    }
};

// The rows of a log once it holds at least n of them (emutool writes each row at once).
bool waitRows(const QString &path, int n) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        if (readAll(path).count('\n') > n) return true;
        QTest::qWait(20);
    }
    return false;
}

const QByteArray Header = "time_s,rpm,timing_deg,vacuum_bar,lambda_v,battery_v,injector_ms,"
                          "injector_pct,water_c,throttle_pct,air_c,pot_pct\n";
} // namespace

class TstEmutoolLog : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void durationEnds_data();
    void durationEnds();
    void refused_data();
    void refused();
    void ending_data();
    void ending();
    void hostile_data();
    void hostile();

private:
    QTemporaryDir m_dir;
};

void TstEmutoolLog::durationEnds_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("gaps"); // every row a missed sample
    QTest::newRow("all channels") << QStringList() << QStringList{"--interval", "50"} << Header
                                  << 20 << false;
    QTest::newRow("chosen channels") << QStringList() << QStringList{"--channels", "vacuum_bar,rpm"}
                                     << QByteArray("time_s,rpm,vacuum_bar\n") << 10 << false;
    QTest::newRow("short live replies")
        << QStringList{"--fault", "short:5@FC"} << QStringList{"--channels", "rpm,air_c"}
        << QByteArray("time_s,rpm,air_c\n") << 10 << true;
}

void TstEmutoolLog::durationEnds() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, header);
    QFETCH(int, rows);
    QFETCH(bool, gaps);
    Sim sim(simArgs);
    QVERIFY(!sim.path.isEmpty());
    const QString out = m_dir.filePath("run.csv");
    QProcess p;
    p.start(bin("emutool"), QStringList{"log", sim.path, out, "--duration", "1"} + options);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray text = readAll(out);
    QVERIFY(text.startsWith(header));
    const QList<QByteArray> lines = text.split('\n').mid(1, rows);
    QCOMPARE(text.count('\n'), rows + 1);
    const int columns = header.count(',');
    int missed = 0;
    double last = -1;
    for (int i = 0; i < rows; ++i) {
        const QList<QByteArray> f = lines[i].split(',');
        QCOMPARE(f.size(), columns + 1);
        // When the n-th request went out: never before its turn, always after the one before.
        const double t = f[0].toDouble();
        QVERIFY2(t > last && t >= i * (rows == 20 ? 0.05 : 0.1) - 0.002, lines[i].constData());
        last = t;
        const bool gap = lines[i] == f[0] + QByteArray(columns, ',');
        missed += gap;
        if (gaps) {
            QVERIFY2(gap, lines[i].constData());
        } else if (!gap) { // a pty on a loaded machine may deliver a reply late: a gap row
            // Whole RPM in RPM, vacuum in bar.
            QVERIFY2(f[1].toInt() % 100 == 0 && f[1].toInt() > 0, lines[i].constData());
        }
    }
    if (!gaps) QVERIFY2(missed <= rows / 2, qPrintable(QString::number(missed)));
    QVERIFY(p.readAllStandardOutput().contains(
        QStringLiteral("%1 rows, %2 missed").arg(rows).arg(missed).toUtf8()));
    QVERIFY(p.readAllStandardError().isEmpty()); // no progress line: stderr is no terminal
}

void TstEmutoolLog::refused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("interval") << QStringList{"--interval", "24"} << "at least 25 ms";
    QTest::newRow("channel") << QStringList{"--channels", "rpm,boost"} << "unknown channel 'boost'";
    QTest::newRow("not a file") << QStringList{"OUT=/dev/null"} << "/dev/null";
    QTest::newRow("no file name") << QStringList{"OUT="} << "No file name was given";
}

void TstEmutoolLog::refused() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    Sim sim;
    QString out = m_dir.filePath("no.csv");
    if (args.first().startsWith("OUT=")) out = args.takeFirst().mid(4);
    QProcess p;
    p.start(bin("emutool"), QStringList{"log", sim.path, out} + args);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(!err.contains("QFSFileEngine"), qPrintable(err)); // no warning of the library
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath("no.csv")));
}

void TstEmutoolLog::ending_data() {
    QTest::addColumn<bool>("unplug");
    QTest::newRow("Ctrl+C") << false;
    QTest::newRow("device lost") << true;
}

void TstEmutoolLog::ending() {
    QFETCH(bool, unplug);
    Sim sim;
    const QString out = m_dir.filePath(unplug ? "lost.csv" : "interrupted.csv");
    QProcess p;
    p.start(bin("emutool"), {"log", sim.path, out, "--interval", "25"});
    QVERIFY(waitRows(out, 5));
    if (unplug) {
        sim.proc.kill();
        sim.proc.waitForFinished(3000);
    } else {
        ::kill(pid_t(p.processId()), SIGINT);
    }
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), unplug ? 2 : 0);
    // Every row taken so far is in the file, whole.
    const QByteArray text = readAll(out);
    QVERIFY(text.startsWith(Header));
    QVERIFY(text.endsWith('\n'));
    const int rows = int(text.count('\n')) - 1;
    QVERIFY(rows >= 5);
    const QByteArray summary = (unplug ? p.readAllStandardError() : p.readAllStandardOutput());
    QVERIFY2(summary.contains(QByteArray::number(rows) + " rows"), summary.constData());
    if (unplug) QVERIFY2(summary.contains("went away"), summary.constData());
    // The port as it was given: a path, not the number it got for this run.
    if (unplug) QVERIFY2(!summary.contains("Com") && summary.contains(sim.path.toUtf8()), summary);
}

// Conditions a user does not plan for: the disk fills up, Ctrl+C comes before the first row, the
// EMU has no timing. What exists is never touched before a row can be written, and the file
// only ever holds whole rows.
void TstEmutoolLog::hostile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("full disk") << "full";
    QTest::newRow("Ctrl+C while connecting") << "interrupt";
    QTest::newRow("fuel-only EMU") << "fuel";
}

void TstEmutoolLog::hostile() {
    QFETCH(QString, kind);
    const QString simLog = m_dir.filePath("sim.log");
    QFile::remove(simLog);
    Sim sim(kind == "fuel" ? QStringList{"--model", "2"} : QStringList{"--log", simLog});
    QVERIFY(!sim.path.isEmpty());
    const QString out = m_dir.filePath(kind + ".csv");
    const QByteArray before = "an earlier log\n";
    if (kind == "interrupt") {
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    QProcess p;
    if (kind == "full")
        p.setChildProcessModifier([] { // writes beyond 700 bytes fail: "File too large"
            const rlimit limit{700, 700};
            ::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    p.start(bin("emutool"), {"log", sim.path, out, "--interval", "25", "--duration",
                             kind == "fuel" ? "0.5" : "20"});
    if (kind == "interrupt") {
        // Once the EMU has the identify command, emutool is still connecting for 800 ms.
        QElapsedTimer t;
        t.start();
        while (readAll(simLog).isEmpty() && t.elapsed() < 10000)
            QTest::qWait(5);
        ::kill(pid_t(p.processId()), SIGINT);
    }
    QVERIFY(p.waitForFinished(25000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QByteArray err = p.readAllStandardError(), output = p.readAllStandardOutput();
    const QByteArray text = readAll(out);
    if (kind == "interrupt") {
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(output.contains("left as it was"), output.constData());
        QCOMPARE(text, before);
        return;
    }
    QCOMPARE(p.exitCode(), kind == "full" ? 2 : 0);
    QVERIFY(text.startsWith(Header));
    QVERIFY(text.endsWith('\n'));
    const QList<QByteArray> rows = text.split('\n').mid(1, text.count('\n') - 1);
    QVERIFY(rows.size() >= 3);
    for (const QByteArray &row : rows) {
        const QList<QByteArray> f = row.split(',');
        QCOMPARE(f.size(), 12);                                        // whole
        if (kind == "fuel") QVERIFY2(f[2].isEmpty(), row.constData()); // no timing to log
    }
    if (kind == "full") {
        QVERIFY2(err.contains("File too large"), err.constData());
        QVERIFY2(err.contains(QByteArray::number(rows.size()) + " rows"), err.constData());
    }
}

QTEST_GUILESS_MAIN(TstEmutoolLog)
#include "tst_emutool_log.moc"
