// What the program remembers between runs, in a settings folder of the test's own: the window,
// the folders, the logger's choices, and the port and --port mappings shown (not reused) in the
// port box tooltip. A file that cannot be read is ignored with one message.
#include "AppRig.h"

#include "app/Settings.h"
#include "link/PortMap.h"
#include "monitor/DataLoggerPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void rememberedAcrossRuns();
    void unreadableFileIgnored_data();
    void unreadableFileIgnored();
    void resetForgetsEverything();
    void choicesComeBack_data();
    void choicesComeBack();

private:
    QString settingsFile() const { return AppSettings().store().fileName(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettings::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
    QVERIFY(settingsFile().startsWith(m_dir->path()));
}

void TestSettings::rememberedAcrossRuns() {
    const QString setup = m_dir->filePath(QStringLiteral("tunes/a.emu"));
    PortMap::instance().setOverride(3, QStringLiteral("/dev/ttyTest3"));
    {
        AppRig rig;
        TForm1 &f = *rig.form;
        f.restoreSettings();
        f.setOpenFileChooser([&](QWidget *) { return setup; });
        f.resize(900, 640);
        f.ComboBox1->setEditText(QStringLiteral("Com3"));
        DataLoggerPage *log = f.loggerPage();
        log->channelBox(0)->setChecked(false);
        log->DataInterval->findChild<QRadioButton *>(QStringLiteral("DataInterval500"))
            ->setChecked(true);
        QTest::mouseClick(f.spOpen, Qt::LeftButton);
        rig.messages.clear();
        QVERIFY(f.close());
    }
    PortMap::instance().clear();
    PortMap::instance().scanSystem();

    AppRig rig;
    TForm1 &f = *rig.form;
    f.restoreSettings();
    QCOMPARE(f.size(), QSize(900, 640));
    DataLoggerPage *log = f.loggerPage();
    QVERIFY(!log->channelBox(0)->isChecked());
    QVERIFY(log->channelBox(1)->isChecked());
    QCOMPARE(log->chosenInterval(), 500);
    // Shown, not reused: the box keeps its own text and the mapping is not made again.
    QVERIFY(f.ComboBox1->toolTip().contains(QStringLiteral("Last used: Com3")));
    QVERIFY(f.ComboBox1->toolTip().contains(QStringLiteral("--port Com3=/dev/ttyTest3")));
    QVERIFY(!PortMap::instance().isExplicit(3));
    QCOMPARE(AppSettings().store().value(AppSettings::OpenDir).toString(),
             m_dir->filePath(QStringLiteral("tunes")));
    QVERIFY(f.statusBar()->currentMessage().isEmpty());
}

void TestSettings::unreadableFileIgnored_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("folder in its place") << "folder";
    QTest::newRow("FIFO in its place") << "fifo"; // opening it would wait for a writer
}

void TestSettings::unreadableFileIgnored() {
    QFETCH(QString, kind);
    const QString file = settingsFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(file));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("[window]\ngeometry=@ByteArray(\x01\x02\n\xff\xfe[[[\n=\\x\n", 40));
        f.write(QByteArray(4096, '\0'));
    }
    // A start that blocks on the file is let go after a while, and fails.
    std::promise<void> started;
    std::atomic<bool> hung{false};
    std::thread watchdog([&, done = started.get_future()] {
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return;
        hung = true;
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    AppRig rig;
    rig.form->restoreSettings();
    started.set_value();
    watchdog.join();
    QVERIFY(!hung);
    QVERIFY(rig.form->statusBar()->currentMessage().contains(QStringLiteral("could not be read")));
    QVERIFY(rig.messages.isEmpty());
    QVERIFY(rig.form->close());
    if (kind == QLatin1String("fifo")) { // neither written to nor replaced
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(file).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }
}

void TestSettings::resetForgetsEverything() {
    {
        AppSettings s;
        s.store().setValue(AppSettings::LastPort, QStringLiteral("Com2"));
    }
    AppSettings::reset();
    QVERIFY(AppSettings().store().allKeys().isEmpty());
}

// What a run chose comes back in the next, and only from the one settings file that
// --reset-settings clears; no choice (no file, a value of another version) gives the defaults.
void TestSettings::choicesComeBack_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("interval"); // ms selected after the restore
    QTest::addColumn<int>("channels"); // ticked after the restore
    QTest::addColumn<bool>("verify");
    QTest::newRow("no settings file") << "none" << 100 << 11 << false;
    QTest::newRow("interval of another version") << "unknown interval" << 100 << 11 << false;
    QTest::newRow("no channel ticked") << "no channels" << 100 << 0 << false;
    QTest::newRow("verify after write") << "verify" << 100 << 11 << true;
    QTest::newRow("verify after write, then reset") << "verify reset" << 100 << 11 << false;
}

void TestSettings::choicesComeBack() {
    QFETCH(QString, kind);
    QFETCH(int, interval);
    QFETCH(int, channels);
    QFETCH(bool, verify);
    if (kind == QLatin1String("unknown interval")) {
        AppSettings().store().setValue(AppSettings::LogInterval, QStringLiteral("DataInterval77"));
    } else if (kind != QLatin1String("none")) {
        AppRig rig;
        rig.form->restoreSettings();
        for (int i = 0; i < LogChannels::Count && kind == QLatin1String("no channels"); ++i)
            rig.form->loggerPage()->channelBox(i)->setChecked(false);
        if (kind.startsWith(QLatin1String("verify")))
            QTest::mouseClick(rig.form->VerifyAfterWrite, Qt::LeftButton);
        QVERIFY(rig.form->close());
    }
    if (kind.endsWith(QLatin1String("reset"))) AppSettings::reset();
    AppRig rig;
    rig.form->restoreSettings();
    DataLoggerPage *log = rig.form->loggerPage();
    QCOMPARE(log->chosenInterval(), interval);
    int ticked = 0;
    for (int i = 0; i < LogChannels::Count; ++i)
        ticked += log->channelBox(i)->isChecked();
    QCOMPARE(ticked, channels);
    QCOMPARE(rig.form->VerifyAfterWrite->isChecked(), verify);
    QVERIFY(rig.form->close());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
