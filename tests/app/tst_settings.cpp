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

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void rememberedAcrossRuns();
    void unreadableFileIgnored_data();
    void unreadableFileIgnored();
    void resetForgetsEverything();

private:
    QString settingsFile() const { return AppSettings().store().fileName(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettings::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
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
}

void TestSettings::unreadableFileIgnored() {
    QFETCH(QString, kind);
    const QString file = settingsFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(file));
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("[window]\ngeometry=@ByteArray(\x01\x02\n\xff\xfe[[[\n=\\x\n", 40));
        f.write(QByteArray(4096, '\0'));
    }
    AppRig rig;
    rig.form->restoreSettings();
    QVERIFY(rig.form->statusBar()->currentMessage().contains(QStringLiteral("could not be read")));
    QVERIFY(rig.messages.isEmpty());
    QVERIFY(rig.form->close());
}

void TestSettings::resetForgetsEverything() {
    {
        AppSettings s;
        s.store().setValue(AppSettings::LastPort, QStringLiteral("Com2"));
    }
    AppSettings::reset();
    QVERIFY(AppSettings().store().allKeys().isEmpty());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
