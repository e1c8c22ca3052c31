// The real serial path under faults: emu-sim on a pseudo-terminal behind a device name like a USB
// adapter's. Pulling the adapter (emu-sim killed) while the main window polls and records a log,
// plugging it back under another name, and emutool against an EMU that answers badly.
#include "app/MainWindow.h"
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "link/SerialDevice.h"
#include "live/LivePoll.h"
#include "monitor/DataLoggerPage.h"
#include "widgets/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <csignal>

namespace {
// Deadline for anything that waits on another process or on the poll: generous, so that a machine
// busy with other tests only makes the wait longer, never the outcome different.
constexpr int Slow = 30000;

// emu-sim on a pseudo-terminal, reachable as linkPath.
class EmuSim {
public:
    explicit EmuSim(const QString &linkPath, const QStringList &extra = {}) {
        m_proc.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emu-sim",
                     QStringList{"--link", linkPath} + extra);
        if (!m_proc.waitForStarted(Slow)) return;
        QElapsedTimer t;
        t.start();
        while (!m_proc.canReadLine() && t.elapsed() < Slow)
            m_proc.waitForReadyRead(50);
        m_path = QString::fromLocal8Bit(m_proc.readLine().trimmed());
    }
    ~EmuSim() { stop(); }
    QString path() const { return m_path; }
    // Pulled out: no chance to tidy up (the link stays behind, dangling).
    void kill() {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.kill();
        m_proc.waitForFinished(3000);
    }
    void stop() {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000)) m_proc.kill();
        m_proc.waitForFinished(1000);
    }

private:
    QProcess m_proc;
    QString m_path;
};

struct Run {
    int code = -1;
    qint64 ms = 0;
    QByteArray err;
};

Run emutool(const QStringList &args) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(qEnvironmentVariable("EMU_BIN_DIR") + "/emutool", args);
    Run r;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.code = p.exitCode();
    r.ms = t.elapsed();
    r.err = p.readAllStandardError();
    return r;
}

int lines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readAll().count('\n');
}
} // namespace

class TestUnplugPty : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void unplugWhilePollingAndLogging();
    void emutoolFaults_data();
    void emutoolFaults();

private:
    QTemporaryDir m_dir;
};

void TestUnplugPty::initTestCase() {
    QVERIFY(m_dir.isValid());
    Messages::setHandler([](const QString &, Messages::Kind) {});
    // The system's serial devices, as far as this test is concerned: the adapter names that
    // currently lead to a terminal.
    const QString dir = m_dir.path();
    PortMap::instance().setSystemLister([dir] {
        QStringList found;
        for (const QString &name : QDir(dir).entryList({"ttyUSB*"}, QDir::System | QDir::Files))
            if (QFileInfo::exists(dir + "/" + name)) found << dir + "/" + name;
        return found;
    });
}

void TestUnplugPty::unplugWhilePollingAndLogging() {
    const QString usb0 = m_dir.filePath("ttyUSB0"), usb1 = m_dir.filePath("ttyUSB1");
    auto sim = std::make_unique<EmuSim>(usb0);
    QVERIFY(!sim->path().isEmpty());
    PortMap::instance().scanSystem();
    QCOMPARE(PortMap::instance().device(1), usb0);

    TForm1 w(Clock::system());
    w.setAutoSearch(false);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The search gives each port a short wait for the identity; a freshly started emu-sim on a
    // busy machine may not be scheduled in time, so search again (as Retry does) until it answers.
    const QString found("Fuel and Timing Module found on Com1");
    QElapsedTimer searching;
    searching.start();
    // Each search runs to its end in the event loop before the next one starts.
    do {
        w.FormShow();
        QTRY_VERIFY_WITH_TIMEOUT(!w.connection().busy(), Slow);
    } while (w.statusText(0) != found && searching.elapsed() < Slow);
    QCOMPARE(w.statusText(0), found);
    QTest::mouseClick(w.spConnect, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.statusText(0), QString("Ready"), Slow);
    QTRY_VERIFY_WITH_TIMEOUT(w.livePoll()->polls() > 3, Slow);
    const double timing10 = w.session().maps().value(MapId::Timing, 10);

    // A log recorded to a file.
    DataLoggerPage *logger = w.loggerPage();
    const QString csv = m_dir.filePath("run.csv");
    logger->setSaveFileDialog([&](QWidget *, const QString &) { return csv; });
    logger->CheckBox19->setChecked(true);
    logger->SpeedButton1Click();
    QVERIFY(logger->recording());
    QTRY_VERIFY_WITH_TIMEOUT(logger->samples() >= 3, Slow);

    // The adapter is pulled; the system drops its device name. The next poll notices it: count
    // the poll's ticks rather than wall time, which a busy machine stretches.
    sim->kill();
    QFile::remove(usb0);
    int ticks = 0;
    connect(w.livePoll()->Timer1, &QTimer::timeout, this, [&ticks] { ++ticks; });
    QTRY_VERIFY_WITH_TIMEOUT(!w.livePoll()->Timer1->isActive(), Slow);
    QVERIFY2(ticks <= 2, qPrintable(QString::number(ticks)));
    QCOMPARE(w.statusText(0), QString("Connection lost: Com1 (%1) has gone").arg(usb0));
    QVERIFY(!w.AnalogEn->isChecked());
    QVERIFY(w.spRetry->isEnabled());
    QVERIFY(w.spConnect->isEnabled());
    // Every sample taken before is in the file: header plus one line each; the log has ended.
    QVERIFY(!logger->running());
    QVERIFY(!logger->recording());
    QCOMPARE(lines(csv), int(logger->samples()) + 1);
    QCOMPARE(w.session().maps().value(MapId::Timing, 10), timing10);

    // Connect while the adapter is still out: nothing in memory is touched.
    QTest::mouseClick(w.spConnect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.connection().busy(), Slow);
    QVERIFY2(w.statusText(0).contains("memory kept"), qPrintable(w.statusText(0)));
    QCOMPARE(w.session().maps().value(MapId::Timing, 10), timing10);

    // Plugged in again, under another name: the repeated search finds it.
    sim = std::make_unique<EmuSim>(usb1);
    QVERIFY(!sim->path().isEmpty());
    searching.restart();
    do {
        QTRY_VERIFY_WITH_TIMEOUT(w.spRetry->isEnabled(), Slow);
        QTest::mouseClick(w.spRetry, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.connection().busy(), Slow);
    } while (!w.statusText(0).startsWith("EFI version") && searching.elapsed() < Slow);
    QCOMPARE(PortMap::instance().device(1), usb1);
    QVERIFY2(w.statusText(0).startsWith("EFI version"), qPrintable(w.statusText(0)));
    QCOMPARE(w.ComboBox1->currentText(), QString("Com1"));
    QTest::mouseClick(w.spConnect, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.statusText(0), QString("Ready"), Slow);
    QVERIFY(w.spRead->isEnabled());
    QVERIFY(w.spWrite->isEnabled());
    const quint64 polls = w.livePoll()->polls();
    QTRY_VERIFY_WITH_TIMEOUT(w.livePoll()->polls() > polls + 3, Slow);
    QVERIFY(w.livePoll()->Timer1->isActive());
    w.hide();
}

void TestUnplugPty::emutoolFaults_data() {
    QTest::addColumn<QStringList>("simArgs"); // empty: no emu-sim at all
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("says");
    QTest::newRow("read, no identity") << QStringList{"--fault", "noanswer@FF"} << "read"
                                       << "no EMU answers";
    QTest::newRow("read, garbled identity") << QStringList{"--fault", "garbage@FF"} << "read"
                                            << "no EMU answers";
    QTest::newRow("read, no image") << QStringList{"--fault", "noanswer@FD"} << "read"
                                    << "sent 0 of 457";
    QTest::newRow("read, short image") << QStringList{"--fault", "short:50@FD"} << "read"
                                       << "sent 50 of 457";
    QTest::newRow("read, late image") << QStringList{"--fault", "late:700@FD"} << "read"
                                      << "of 457 bytes";
    QTest::newRow("read, zero byte") << QStringList{"--fault", "zero:9@FD"} << "read"
                                     << "sent 9 of 457";
    QTest::newRow("read, device gone") << QStringList() << "read"
                                       << "cannot open";
    QTest::newRow("read, busy") << QStringList{"busy"} << "read"
                                << "cannot open";
    QTest::newRow("write, no identity") << QStringList{"--fault", "noanswer@FF"} << "write"
                                        << "no EMU answers";
    QTest::newRow("write, device gone") << QStringList() << "write"
                                        << "cannot open";
    QTest::newRow("write, busy") << QStringList{"busy"} << "write"
                                 << "cannot open";
}

void TestUnplugPty::emutoolFaults() {
    QFETCH(QStringList, simArgs);
    QFETCH(QString, command);
    QFETCH(QString, says);
    const QString link = m_dir.filePath("ttyACM7");
    const QString out = m_dir.filePath("out.emu");
    QFile::remove(out);
    // A good file to write, read from a well EMU first.
    const QString good = m_dir.filePath("good.emu");
    if (!QFile::exists(good)) {
        EmuSim well(m_dir.filePath("ttyACM8"));
        QCOMPARE(emutool({"read", well.path(), good}).code, 0);
    }
    std::unique_ptr<EmuSim> sim;
    SerialDevice holder(link);
    if (!simArgs.isEmpty()) {
        const bool busy = simArgs.value(0) == "busy";
        sim = std::make_unique<EmuSim>(link, busy ? QStringList() : simArgs);
        QVERIFY(!sim->path().isEmpty());
        if (busy) QVERIFY(holder.open(19200, false)); // another program holds the port
    } else {
        QFile::remove(link);
    }
    const Run r = command == "read" ? emutool({"read", link, out}) : emutool({"write", link, good});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
    QVERIFY(!QFile::exists(out));
    QVERIFY2(r.ms < 5000, qPrintable(QString::number(r.ms)));
    holder.close();
}

QTEST_MAIN(TestUnplugPty)
#include "tst_unplug_pty.moc"
