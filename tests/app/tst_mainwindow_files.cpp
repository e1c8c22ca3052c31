// The file commands of the main window: Open (file mode), the "Save From?" chooser, Close all,
// the reconnect probe after a file and the unsaved-changes prompt before another open.
#include "AppRig.h"
#include "support/SessionState.h"

#include "connection/SetupFile.h"
#include "dialogs/SaveFrm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {
const std::array<quint8, 7> FileIdentity = {1, 3, 12, 0, 0, 4, 4};

// A setup file made from a virtual EMU's image stream with a few recognisable points.
QString makeFile(const QString &path, int rpmByte = 81) {
    FakeClock clock;
    VirtualEmu emu(clock, 3);
    emu.setSetupByte(emu::model::OffRpmRange, quint8(rpmByte));
    emu.setMapValue(MapId::Timing, 1, 12);
    emu.setMapValue(MapId::VacuumTiming, 7, -9);
    emu.setMapValue(MapId::FuelVacuum, 64, 44);
    emu.setMapValue(MapId::FuelLow, 3, -21);
    emu.setMapValue(MapId::Voltage, 16, 5);
    const auto table = SetupFile::tableFromReply(emu.imageStream());
    const QByteArray text = SetupFile::format(FileIdentity, "Make", "Model", "Engine", table);
    QString error;
    if (!SetupFile::write(path, text, &error))
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
    return path;
}

bool sameMaps(Session &a, Session &b) {
    for (MapId id : emu::model::allMaps()) {
        const int n = a.maps().pointCount(id, a.axes());
        if (n != b.maps().pointCount(id, b.axes())) return false;
        for (int p = 1; p <= n; ++p)
            if (a.maps().value(id, p) != b.maps().value(id, p)) {
                qWarning("map %s point %d: %g vs %g", emu::model::mapInfo(id).key, p,
                         a.maps().value(id, p), b.maps().value(id, p));
                return false;
            }
    }
    return true;
}

QString editText(TForm1 &f, const char *name) {
    auto *e = f.findChild<QLineEdit *>(name);
    return e ? e->text() : QStringLiteral("<none>");
}
} // namespace

class TestMainWindowFiles : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void openEntersFileMode();
    void openBadFile_data();
    void openBadFile();
    void openCancelled();
    void openAsksWhenModified_data();
    void openAsksWhenModified();
    void reconnectProbeAfterFile();
    void saveFromMemoryRoundTrip();
    void saveFromEmu();
    void saveCancelPaths_data();
    void saveCancelPaths();
    void saveIsReported_data();
    void saveIsReported();
    void closeAllKeepsSetup();
    void nonRegularFilesRefused_data();
    void nonRegularFilesRefused();
    void vehicleTextKept_data();
    void vehicleTextKept();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestMainWindowFiles::openEntersFileMode() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1); // on the line, but a file open must not talk to it
    const QString file = makeFile(path("a.emu"));
    rig.form->setOpenFileChooser([file](QWidget *) { return file; });
    QTest::mouseClick(rig.form->spOpen, Qt::LeftButton);

    Session &s = rig.s();
    QVERIFY(s.inFileMode());
    QVERIFY(s.fileConnectPending());
    QVERIFY(s.isModified());
    QVERIFY(s.editingEnabled());
    QVERIFY(!s.isConnected());
    QCOMPARE(rig.form->statusText(0), QString("EMU file opened successfully"));
    QCOMPARE(rig.form->statusText(2), QString("Fuel and Timing"));
    QCOMPARE(s.moduleTypeName(), QString("Fuel and Timing"));
    QCOMPARE(s.image().signature(), QString("44"));
    QCOMPARE(s.rpmRange(), 8000.0);
    QCOMPARE(s.maps().value(MapId::Timing, 1), 12.0);
    QCOMPARE(s.maps().value(MapId::VacuumTiming, 7), -9.0);
    QCOMPARE(s.maps().value(MapId::FuelVacuum, 64), 44.0);
    QCOMPARE(s.maps().value(MapId::FuelLow, 3), -21.0);
    QCOMPARE(s.maps().value(MapId::Voltage, 16), 5.0);
    // No identify, no image read: at most parameter writes of editors the decode changed.
    for (const Wire &w : rig.wires)
        QVERIFY2(w.bytes.size() == 3 && quint8(w.bytes[0]) == 0xF2, w.bytes.toHex().data());
    Q_UNUSED(emu);
    QVERIFY(!rig.form->spRead->isEnabled());
    if (rig.form->findChild<QLineEdit *>("Edit9")) {
        QCOMPARE(editText(*rig.form, "Edit9"), QString("Make"));
        QCOMPARE(editText(*rig.form, "Edit10"), QString("Model"));
        QCOMPARE(editText(*rig.form, "Edit11"), QString("Engine"));
    }
}

void TestMainWindowFiles::openBadFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("short table line")
        << QByteArray("#EMU Version\r\n13120044\r\n#VehicleInfo\r\na~b~c~\r\n#Table\r\n"
                      "1,2,3,;\r\n#EOF\r\n")
        << "the table holds 3 values, expected 458";
    QTest::newRow("identity not digits")
        << QByteArray("#EMU Version\r\n1x120044\r\n#VehicleInfo\r\na~b~c~\r\n#Table\r\n;\r\n"
                      "#EOF\r\n")
        << "'x' is not a valid integer value";
    QTest::newRow("missing file") << QByteArray() << "";
}

void TestMainWindowFiles::openBadFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    AppRig rig;
    const QString good = makeFile(path("good.emu"));
    rig.form->setOpenFileChooser([good](QWidget *) { return good; });
    rig.form->spOpenClick();
    rig.s().setModified(false); // no prompt for this test
    const auto before = rig.s().image().bytes;
    const auto identityBefore = rig.s().image().identity;
    const double timing1 = rig.s().maps().value(MapId::Timing, 1);

    QString bad = path("bad.emu");
    if (content.isEmpty()) {
        bad = path("does-not-exist.emu");
    } else {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    rig.form->setOpenFileChooser([bad](QWidget *) { return bad; });
    rig.form->spOpenClick();
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY2(rig.messages[0].contains(message), qPrintable(rig.messages[0]));
    QVERIFY(!rig.s().inFileMode());
    QVERIFY(rig.s().image().bytes == before);
    QVERIFY(rig.s().image().identity == identityBefore);
    QCOMPARE(rig.s().maps().value(MapId::Timing, 1), timing1);
}

void TestMainWindowFiles::openCancelled() {
    AppRig rig;
    rig.s().setFileMode(true);
    int asked = 0;
    rig.form->setOpenFileChooser([&asked](QWidget *) {
        ++asked;
        return QString();
    });
    rig.form->spOpenClick();
    QCOMPARE(asked, 1);
    QVERIFY(!rig.s().inFileMode());
    QVERIFY(rig.wires.isEmpty());
    QVERIFY(rig.messages.isEmpty());
}

void TestMainWindowFiles::openAsksWhenModified_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("opened");
    QTest::newRow("Later: no open") << "Button3" << false;
    QTest::newRow("Discard: open") << "Button2" << true;
}

void TestMainWindowFiles::openAsksWhenModified() {
    QFETCH(QString, answer);
    AppRig rig;
    TForm1 &f = *rig.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QString file = makeFile(path("b.emu"));
    int asked = 0;
    f.setOpenFileChooser([&asked, file](QWidget *) {
        ++asked;
        return file;
    });
    rig.s().setModified(true);
    QTest::mouseClick(f.spOpen, Qt::LeftButton);
    QCOMPARE(asked, 0);
    QVERIFY(f.svForm()->isVisible());
    QVERIFY(!f.isEnabled());
    QTest::mouseClick(f.svForm()->findChild<QPushButton *>(answer), Qt::LeftButton);
    QVERIFY(f.isEnabled());
    QVERIFY(!f.svForm()->isVisible());
    QFETCH(bool, opened);
    QCOMPARE(asked, opened ? 1 : 0);
    QCOMPARE(rig.s().inFileMode(), opened);
    f.hide();
}

void TestMainWindowFiles::reconnectProbeAfterFile() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    emu.setIdentity(QByteArray("\x01\x03\x0D\x01\x01\x05\x06", 7));
    const QString file = makeFile(path("c.emu"));
    rig.form->FormShow(); // finds the EMU on Com1
    rig.form->setOpenFileChooser([file](QWidget *) { return file; });
    rig.form->spOpenClick();
    QVERIFY(rig.form->spConnect->isEnabled());
    QVERIFY(!rig.s().isConnected());
    const auto setupBefore = rig.s().image().bytes;
    rig.wires.clear();

    rig.form->spConnectClick();
    Session &s = rig.s();
    QVERIFY(s.isConnected());
    // Only the identify of the probe: the file's setup and tables stay in memory.
    QList<QByteArray> answered;
    for (const Wire &w : rig.wires)
        if (w.bytes.size() == 1) answered << w.bytes;
    QCOMPARE(answered, QList<QByteArray>{"\xFF"});
    QCOMPARE(rig.form->statusText(0), QString("EMU Connected"));
    QCOMPARE(rig.form->statusText(1), QString("EMU 1 v3.13"));
    QVERIFY(!rig.form->spConnect->isEnabled());
    QVERIFY(!rig.form->ComboBox1->isEnabled());
    QVERIFY(rig.form->spWrite->isEnabled());
    QCOMPARE(s.maps().value(MapId::Timing, 1), 12.0);
    QCOMPARE(s.image().bytes[emu::model::OffRpmRange], setupBefore[emu::model::OffRpmRange]);

    // Now the file's tables can be written to the EMU.
    rig.wires.clear();
    rig.form->spWriteClick();
    QCOMPARE(rig.wires.size(), 2);
    QCOMPARE(emu.mapValue(MapId::FuelLow, 3), -21);
    QCOMPARE(emu.mapValue(MapId::VacuumTiming, 7), -9);
}

void TestMainWindowFiles::saveFromMemoryRoundTrip() {
    const QString src = makeFile(path("src.emu"));
    const QString dst = path("dst.emu");
    {
        AppRig rig;
        TForm1 &f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.setOpenFileChooser([src](QWidget *) { return src; });
        f.spOpenClick();
        // An edit in memory.
        editMaps(rig.s(), [](EmuMaps &m) { m.setValue(MapId::FuelCruise, 5, 17); });
        f.setSaveFileChooser([dst](QWidget *) { return dst; });
        QTest::mouseClick(f.spSave, Qt::LeftButton);
        TSaveFrm *chooser = f.saveForm();
        QVERIFY(chooser->isVisible());
        QVERIFY(!f.isEnabled());
        QTest::mouseClick(chooser->RadioButton1, Qt::LeftButton);
        QVERIFY(chooser->RadioButton1->isChecked());
        QTest::mouseClick(chooser->Button1, Qt::LeftButton);
        QVERIFY(!chooser->isVisible());
        QVERIFY(f.isEnabled());
        QVERIFY(QFileInfo::exists(dst));
        QVERIFY(rig.messages.isEmpty());
        for (const Wire &w : rig.wires)
            QVERIFY(quint8(w.bytes[0]) != 0xFD); // memory: nothing asked of an EMU

        AppRig again;
        again.form->setOpenFileChooser([dst](QWidget *) { return dst; });
        again.form->spOpenClick();
        QVERIFY(again.s().inFileMode());
        QCOMPARE(again.s().maps().value(MapId::FuelCruise, 5), 17.0);
        QVERIFY(sameMaps(rig.s(), again.s()));
        SetupFileData data;
        QString error;
        QVERIFY(SetupFile::read(dst, &data, &error));
        QCOMPARE(data.identity, FileIdentity);
        if (f.findChild<QLineEdit *>("Edit9")) QCOMPARE(data.vehicleMake, QString("Make"));
        f.hide();
    }
}

void TestMainWindowFiles::saveFromEmu() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    emu.setMapValue(MapId::AirTemp, 24, 9);
    rig.form->FormShow();
    rig.form->spConnectClick();
    const QString dst = path("fromemu.emu");
    rig.form->setSaveFileChooser([dst](QWidget *) { return dst; });
    rig.wires.clear();
    rig.form->spSaveClick();
    QVERIFY(rig.form->saveForm()->RadioButton2->isChecked());
    QTest::mouseClick(rig.form->saveForm()->Button1, Qt::LeftButton);
    QCOMPARE(rig.written(), QByteArray("\xFD"));
    SetupFileData data;
    QString error;
    QVERIFY2(SetupFile::read(dst, &data, &error), qPrintable(error));
    QCOMPARE(data.table, SetupFile::tableFromReply(emu.imageStream()));
    QCOMPARE(int(data.identity[5]), 4); // a saved file always carries "44"
    QVERIFY(rig.form->isEnabled());
}

void TestMainWindowFiles::saveCancelPaths_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("file dialog cancelled") << "Dialog";
    QTest::newRow("from EMU without an EMU") << "NoEmu";
}

void TestMainWindowFiles::saveCancelPaths() {
    QFETCH(QString, how);
    AppRig rig;
    TForm1 &f = *rig.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QString dst = path("never.emu");
    int asked = 0;
    f.setSaveFileChooser([&asked, dst, how](QWidget *) {
        ++asked;
        return how == "Dialog" ? QString() : dst;
    });
    f.spSaveClick();
    TSaveFrm *chooser = f.saveForm();
    QVERIFY(chooser->isVisible());
    if (how == "Cancel") {
        QTest::mouseClick(chooser->Button2, Qt::LeftButton);
    } else if (how == "Escape") {
        QTest::keyClick(chooser, Qt::Key_Escape);
    } else if (how == "Dialog") {
        chooser->RadioButton1->setChecked(true);
        QTest::mouseClick(chooser->Button1, Qt::LeftButton);
        QCOMPARE(asked, 1);
    } else {
        chooser->RadioButton2->setChecked(true);
        QTest::mouseClick(chooser->Button1, Qt::LeftButton);
        QCOMPARE(asked, 0);
    }
    QVERIFY(!chooser->isVisible());
    QVERIFY(f.isEnabled());
    QVERIFY(!QFileInfo::exists(dst));
    QVERIFY(rig.wires.isEmpty());
    f.hide();
}

// A save leaves a status text that says what became of which file, whole however long it is
// (shortened in its panel, whole in the tooltip and for a screen reader); a failure also gets
// a message box.
void TestMainWindowFiles::saveIsReported_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");
    QTest::newRow("written") << "a-rather-long-name-for-a-setup-file-of-this-car.emu"
                             << "Setup saved from memory to ";
    QTest::newRow("failed") << "no-such-folder/x.emu"
                            << "Setup NOT saved to ";
}

void TestMainWindowFiles::saveIsReported() {
    QFETCH(QString, name);
    QFETCH(QString, status);
    AppRig rig;
    rig.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
    const QString dst = path(name);
    rig.form->setSaveFileChooser([dst](QWidget *) { return dst; });
    rig.form->spSaveClick();
    rig.form->saveForm()->RadioButton1->setChecked(true);
    QTest::mouseClick(rig.form->saveForm()->Button1, Qt::LeftButton);
    const bool failed = status.contains("NOT");
    QCOMPARE(rig.messages.size(), failed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(dst), !failed);
    QVERIFY(rig.form->isEnabled());
    QVERIFY(!rig.form->saveForm()->isVisible());
    const QString text = status + QDir::toNativeSeparators(dst);
    QCOMPARE(rig.form->statusText(0), text);
    auto *panel = rig.form->statusBar()->findChild<QLabel *>("StatusPanel0");
    QCOMPARE(panel->toolTip(), text);
    QCOMPARE(panel->accessibleDescription(), text);
    QVERIFY2(panel->fontMetrics().horizontalAdvance(panel->text()) <= panel->contentsRect().width(),
             qPrintable(panel->text()));
    QVERIFY(panel->text().endsWith(QFileInfo(dst).fileName().right(8)));
}

void TestMainWindowFiles::closeAllKeepsSetup() {
    AppRig rig;
    const QString file = makeFile(path("d.emu"));
    rig.form->setOpenFileChooser([file](QWidget *) { return file; });
    rig.form->spOpenClick();
    const auto setup = rig.s().image().bytes;
    QTest::mouseClick(rig.form->spClose, Qt::LeftButton);
    QVERIFY(!rig.s().inFileMode());
    QVERIFY(rig.s().fileConnectPending()); // a later Connect still ends with the probe
    QVERIFY(std::equal(setup.begin(), setup.begin() + 101, rig.s().image().bytes.begin()));
    QVERIFY(rig.wires.isEmpty());
}

// Open and Save refuse a FIFO or device promptly (a FIFO used to block Open for good, and a
// save renamed a regular file over it) and leave it as it is.
void TestMainWindowFiles::nonRegularFilesRefused_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("kind");
    QTest::newRow("open FIFO") << "open"
                               << "fifo";
    QTest::newRow("save over FIFO") << "save"
                                    << "fifo";
    QTest::newRow("save over device") << "save"
                                      << "device";
}

void TestMainWindowFiles::nonRegularFilesRefused() {
    QFETCH(QString, command);
    QFETCH(QString, kind);
    AppRig rig;
    const QString target = path("special.emu");
    QFile::remove(target);
    const QByteArray native = QFile::encodeName(target);
    if (kind == "fifo")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
        QSKIP("cannot make a device node here");
    struct stat before {};
    QCOMPARE(::lstat(native.constData(), &before), 0);
    if (command == "open") {
        rig.form->setOpenFileChooser([target](QWidget *) { return target; });
        rig.form->spOpenClick();
        QVERIFY(!rig.s().inFileMode());
    } else {
        rig.form->setSaveFileChooser([target](QWidget *) { return target; });
        rig.form->spSaveClick();
        rig.form->saveForm()->RadioButton1->setChecked(true);
        QTest::mouseClick(rig.form->saveForm()->Button1, Qt::LeftButton);
    }
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY2(rig.messages[0].contains(kind == "fifo" ? "a FIFO" : "a device"),
             qPrintable(rig.messages[0]));
    struct stat after {};
    QCOMPARE(::lstat(native.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
}

// What was typed into the vehicle boxes comes back from Save and Open (it used to be read as
// Latin-1, and characters outside Latin-1 were saved as "?").
void TestMainWindowFiles::vehicleTextKept_data() {
    QTest::addColumn<QString>("make");
    QTest::newRow("Windows-1252") << "Škoda €";
    QTest::newRow("beyond Windows-1252") << "Łada Ωmega";
}

void TestMainWindowFiles::vehicleTextKept() {
    QFETCH(QString, make);
    const QString dst = path("vehicle.emu");
    AppRig rig;
    if (!rig.form->findChild<QLineEdit *>("Edit9")) QSKIP("no vehicle boxes");
    rig.form->findChild<QLineEdit *>("Edit9")->setText(make);
    rig.form->setSaveFileChooser([dst](QWidget *) { return dst; });
    rig.form->spSaveClick();
    rig.form->saveForm()->RadioButton1->setChecked(true);
    QTest::mouseClick(rig.form->saveForm()->Button1, Qt::LeftButton);
    QVERIFY2(rig.messages.isEmpty(), qPrintable(rig.messages.join('\n')));

    AppRig again; // as `emutune FILE.emu` opens it
    again.form->openSetupFile(dst);
    QVERIFY(again.s().inFileMode());
    QCOMPARE(editText(*again.form, "Edit9"), make);
}

QTEST_MAIN(TestMainWindowFiles)
#include "tst_mainwindow_files.moc"
