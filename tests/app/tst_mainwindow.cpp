// The main window: layout, port discovery, Connect, table read and write, the unsaved-changes
// prompt and leaving the program, against virtual EMUs on a fake clock.
#include "AppRig.h"
#include "support/SessionState.h"

#include "dialogs/SaveFrm.h"
#include "link/PortMap.h"
#include "model/TableStream.h"
#include "tuning/SetupPage.h"

#include <QRadioButton>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void startupSearch_data();
    void startupSearch();
    void repeatedSearchTakesFirst();
    void permissionDeniedIsReported();
    void portFailureIsNamed();
    void manualPortChoice();
    void connectLive_data();
    void connectLive();
    void connectWithoutEmu();
    void connectShortSetupReply();
    void readAgain();
    void writeTables();
    void setupEditEnablesWrite();
    void unsavedPrompt_data();
    void unsavedPrompt();
    void unsavedYesWritesAndCloses();
    void escapeExitsWithoutQuestion();
    void commandLine_data();
    void commandLine();
};

void TestMainWindow::layout() {
    AppRig rig;
    TForm1 &f = *rig.form;
    QCOMPARE(f.windowTitle(), QString::fromUtf8("Harkwell - EMU Interface - \xc3\x9f"
                                                "1.3"));
    // Tool bar order and hints.
    const QStringList expected = {"spOpen",    "spClose", "spSave",       "spPrint", "SpSetup",
                                  "ComboBox1", "spRetry", "spConnect",    "spRead",  "spWrite",
                                  "sp3D",      "Panel1",  "SpeedButton3", "spAbout", "spExit"};
    QStringList names;
    for (QAction *a : f.ToolBar1->actions())
        if (QWidget *w = f.ToolBar1->widgetForAction(a); w && !a->isSeparator())
            names << w->objectName();
    QCOMPARE(names, expected);
    const QMap<QString, QString> hints = {{"spOpen", "Open file"},
                                          {"spClose", "Close all"},
                                          {"spSave", "Save settings"},
                                          {"spPrint", "Print"},
                                          {"SpSetup", "Setup"},
                                          {"spRetry", "Refresh Com Port"},
                                          {"spConnect", "Connect"},
                                          {"spRead", "Read from EMU"},
                                          {"spWrite", "Write to EMU"},
                                          {"sp3D", "Analyse Maps"},
                                          {"SpeedButton3", "Enable/Disable mouse tuning"},
                                          {"spAbout", "About"},
                                          {"spExit", "Exit"}};
    for (auto it = hints.begin(); it != hints.end(); ++it) {
        auto *b = f.findChild<QToolButton *>(it.key());
        QVERIFY2(b, qPrintable(it.key()));
        QCOMPARE(b->toolTip(), it.value());
        QCOMPARE(b->accessibleName(), it.value());
        QVERIFY(!b->icon().isNull());
    }
    QVERIFY(f.spRetry->isEnabled());
    QVERIFY(!f.spConnect->isEnabled());
    QVERIFY(!f.spRead->isEnabled());
    QVERIFY(!f.spWrite->isEnabled());
    QVERIFY(!f.sp3D->isEnabled());
    QVERIFY(!f.RT_Track->isEnabled());
    QVERIFY(!f.AnalogEn->isEnabled());
    QVERIFY(f.SpeedButton3->isCheckable());
    QVERIFY(!f.SpeedButton3->isChecked());
    QCOMPARE(f.ComboBox1->currentText(), QString("Com1"));
    QVERIFY(f.ComboBox1->isEditable());
    QCOMPARE(f.ComboBox1->accessibleName(), QString("Sellect COM port"));
    QVERIFY(f.ComboBox1->toolTip().startsWith("Sellect COM port"));

    QStringList tabs;
    for (int i = 0; i < f.PageControl1->count(); ++i)
        tabs << f.PageControl1->tabText(i);
    QCOMPARE(tabs, QStringList({"Setup", "Timing Map", "Fuel Maps", "Correction Maps",
                                "Data Logger", "Engine Monitor"}));

    const QList<QLabel *> panels = f.statusBar()->findChildren<QLabel *>(
        QRegularExpression("^StatusPanel"), Qt::FindDirectChildrenOnly);
    QCOMPARE(panels.size(), 3);
    QCOMPARE(panels[0]->width(), 270);
    QCOMPARE(panels[1]->width(), 300);
    QCOMPARE(panels[2]->width(), 270);
    QVERIFY(panels[1]->alignment() & Qt::AlignHCenter);
    QVERIFY(panels[2]->alignment() & Qt::AlignRight);

    QVERIFY(f.saveForm() && !f.saveForm()->isVisible());
    QVERIFY(f.svForm() && !f.svForm()->isVisible());
    QCOMPARE(f.svForm()->windowTitle(), QString("Stop"));
    QVERIFY(!f.svForm()->Button1->isEnabled());
    QCOMPARE(f.saveForm()->windowTitle(), QString("Save From?"));
    QVERIFY(f.saveForm()->RadioButton2->isChecked());
}

void TestMainWindow::startupSearch_data() {
    QTest::addColumn<QList<int>>("emuPorts");
    QTest::addColumn<int>("model");
    QTest::addColumn<QList<int>>("silentPorts");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("found");

    QTest::newRow("EMUs on Com2 and Com5: the last wins")
        << QList<int>{2, 5} << 3 << QList<int>{} << "Fuel and Timing Module found on Com5"
        << "Com5" << QStringList{"Com2", "Com5"} << true;
    QTest::newRow("silent port listed, not chosen")
        << QList<int>{4} << 3 << QList<int>{9} << "Fuel and Timing Module found on Com4"
        << "Com4" << QStringList{"Com4", "Com9"} << true;
    QTest::newRow("no EMU") << QList<int>{} << 3 << QList<int>{3} << "No EMU present"
                            << "Com1" << QStringList{"Com3"} << false;
    QTest::newRow("model 5 keeps the name it had")
        << QList<int>{6} << 5 << QList<int>{} << " Module found on Com6"
        << "Com6" << QStringList{"Com6"} << true;
}

void TestMainWindow::startupSearch() {
    QFETCH(QList<int>, emuPorts);
    QFETCH(int, model);
    QFETCH(QList<int>, silentPorts);
    AppRig rig;
    for (int p : emuPorts)
        rig.addEmu(p, model);
    for (int p : silentPorts)
        rig.silent << p;
    rig.form->FormShow();

    QTEST(rig.form->statusText(0), "status");
    QTEST(rig.form->ComboBox1->currentText(), "portText");
    QStringList items;
    for (int i = 0; i < rig.form->ComboBox1->count(); ++i)
        items << rig.form->ComboBox1->itemText(i);
    QTEST(items, "items");
    QFETCH(bool, found);
    QCOMPARE(rig.form->spConnect->isEnabled(), found);
    QCOMPARE(rig.form->spRetry->isEnabled(), !found);
    QCOMPARE(rig.form->PageControl1->currentIndex(), 0);
    // Every port 1..20 was tried; each EMU saw the identify command alone.
    for (int n = 1; n <= 20; ++n)
        QVERIFY(rig.asked.contains(n));
    for (int p : emuPorts)
        QCOMPARE(rig.emus[p]->written(), QByteArray("\xFF"));
    QVERIFY(!rig.s().port().Opened());
    // Each opened port waited 100 ms for its answer.
    QCOMPARE(rig.clock.slept(), qint64(100 * (emuPorts.size() + silentPorts.size())));
}

void TestMainWindow::repeatedSearchTakesFirst() {
    AppRig rig;
    rig.addEmu(2).setIdentity(QByteArray("\x01\x03\x0C\x01\x01\x05\x06", 7));
    rig.addEmu(5);
    rig.form->FormShow();
    QCOMPARE(rig.form->ComboBox1->currentText(), QString("Com5"));
    const qint64 before = rig.clock.slept();
    rig.form->spRetryClick();
    QCOMPARE(rig.form->statusText(0), QString("EFI version 1.3.11 found on Com2"));
    QCOMPARE(rig.form->ComboBox1->currentText(), QString("Com2"));
    QCOMPARE(rig.form->ComboBox1->count(), 2);
    QVERIFY(!rig.form->spRetry->isEnabled());
    QVERIFY(rig.form->spConnect->isEnabled());
    QCOMPARE(rig.clock.slept() - before, qint64(400)); // 200 ms per opened port
}

// A port given on the command line that does not open says which device and why.
void TestMainWindow::portFailureIsNamed() {
    PortMap::instance().setOverride(1, "/dev/does_not_exist");
    AppRig rig;
    rig.form->FormShow();
    PortMap::instance().setOverride(1, QString());
    const QString why = "Com1 (/dev/does_not_exist): no such device";
    QVERIFY2(rig.form->statusText(0).contains(why), qPrintable(rig.form->statusText(0)));
    QVERIFY2(rig.form->ComboBox1->toolTip().contains(why),
             qPrintable(rig.form->ComboBox1->toolTip()));
}

void TestMainWindow::permissionDeniedIsReported() {
    AppRig rig;
    rig.denied << 1;
    rig.form->FormShow();
    QVERIFY2(rig.form->statusText(0).contains("permission", Qt::CaseInsensitive),
             qPrintable(rig.form->statusText(0)));
#ifdef Q_OS_LINUX
    QVERIFY(rig.form->statusText(0).contains("dialout"));
#endif
    QCOMPARE(rig.form->ComboBox1->count(), 0);
    // Said once: the next search does not repeat it (and with no port open it leaves the
    // status as it was).
    rig.form->setStatus(0, "x");
    rig.form->spRetryClick();
    QCOMPARE(rig.form->statusText(0), QString("x"));
}

void TestMainWindow::manualPortChoice() {
    AppRig rig;
    rig.addEmu(12);
    TForm1 &f = *rig.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.ComboBox1->setEditText("Com12");
    f.ComboBox1Change();
    QVERIFY(rig.s().port().Opened());
    QCOMPARE(rig.s().port().Port(), 12);
    QVERIFY(rig.wires.isEmpty()); // opening sends nothing

    // Typed text that is no number: the conversion error, the port stays as it was.
    f.ComboBox1->setEditText("Comx");
    f.ComboBox1Change();
    QCOMPARE(rig.messages, QStringList{"'x' is not a valid integer value"});
    QCOMPARE(rig.s().port().Port(), 12);
    QVERIFY(rig.s().port().Opened());

    // Empty text: nothing at all.
    rig.messages.clear();
    f.ComboBox1->setEditText(QString());
    f.ComboBox1Change();
    QVERIFY(rig.messages.isEmpty());
    f.hide();
}

void TestMainWindow::connectLive_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<quint8>("rpmByte");
    QTest::addColumn<double>("R");
    QTest::addColumn<int>("N");
    QTest::addColumn<QString>("typeName");
    QTest::newRow("model 3, RPM range 8000")
        << 3 << quint8(81) << 8000.0 << 80 << "Fuel and Timing";
    QTest::newRow("RPM range byte 1 reads 7000")
        << 3 << quint8(1) << 7000.0 << 70 << "Fuel and Timing";
    QTest::newRow("model 1") << 1 << quint8(61) << 6000.0 << 60 << "Timing and Vacuum";
    QTest::newRow("model 2") << 2 << quint8(71) << 7000.0 << 70 << "Fuel";
}

void TestMainWindow::connectLive() {
    QFETCH(int, model);
    QFETCH(quint8, rpmByte);
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1, model);
    emu.setIdentity(QByteArray(1, '\x01') + char(model) + QByteArray("\x0C\x01\x01\x05\x06", 5));
    emu.setSetupByte(emu::model::OffRpmRange, rpmByte);
    emu.setSetupByte(emu::model::OffMapSensorRange, 16);
    // Serial number AB-010203-04.
    emu.setSetupByte(98, 'A' + 1);
    emu.setSetupByte(99, 'B' + 1);
    emu.setSetupByte(94, 2);
    emu.setSetupByte(95, 3);
    emu.setSetupByte(96, 4);
    emu.setSetupByte(97, 5);
    if (emu.hasTiming()) emu.setMapValue(MapId::Timing, 3, 17);
    if (emu.hasFuel()) emu.setMapValue(MapId::FuelHigh, 32, -7);

    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    QCOMPARE(f.ComboBox1->currentText(), QString("Com1"));
    rig.wires.clear();
    const qint64 before = rig.clock.slept();
    QTest::mouseClick(f.spConnect, Qt::LeftButton);

    // Identify, setup read, table read: the answered commands in this order. Anything in
    // between is a parameter write of a radio group following the decode.
    // Each answered command waits its time before the next command; a parameter write holds
    // the next command only until its three bytes have left the line (2 ms).
    QList<QByteArray> answered;
    qint64 writes = 0;
    for (int i = 0; i < rig.wires.size(); ++i) {
        const Wire &w = rig.wires[i];
        QCOMPARE(w.port, 1);
        const qint64 next = i + 1 < rig.wires.size() ? rig.wires[i + 1].at : w.at;
        if (w.bytes.size() == 1) {
            answered << w.bytes;
            if (i + 1 < rig.wires.size())
                QCOMPARE(next - w.at, qint64(w.bytes == "\xFF" ? 300 : 500));
        } else {
            QVERIFY2(w.bytes.size() == 3 && quint8(w.bytes[0]) == 0xF2, w.bytes.toHex().data());
            if (i + 1 < rig.wires.size()) {
                QCOMPARE(next - w.at, qint64(2));
                ++writes;
            }
        }
    }
    QCOMPARE(answered, QList<QByteArray>({"\xFF", "\xFD", "\xFD"}));
    QCOMPARE(rig.clock.slept() - before, qint64(300 + 500 + 500) + 2 * writes);

    Session &s = rig.s();
    QVERIFY(s.isConnected());
    QVERIFY(!s.inFileMode());
    QVERIFY(s.editingEnabled());
    QTEST(s.rpmRange(), "R");
    QTEST(s.timingPoints(), "N");
    QCOMPARE(s.mapSensorRange(), 15);
    QCOMPARE(f.statusText(0), QString("Ready"));
    QCOMPARE(f.statusText(1), QString("EMU %1 v1.12 :: AB-010203-04").arg(model));
    QTEST(f.statusText(2), "typeName");
    QCOMPARE(s.moduleTypeName(), f.statusText(2));
    QCOMPARE(s.modelText(), QString("1"));
    QCOMPARE(s.versionText(), QString("%1.12").arg(model));
    QCOMPARE(f.serialText(), QString("AB-010203-04"));
    QCOMPARE(s.caps().timing, emu.hasTiming());
    QCOMPARE(s.caps().fuel, emu.hasFuel());

    // Buttons after Connect and the table read.
    QVERIFY(!f.spConnect->isEnabled());
    QVERIFY(!f.ComboBox1->isEnabled());
    QVERIFY(!f.spRead->isEnabled());
    QVERIFY(f.spWrite->isEnabled());
    QVERIFY(f.AnalogEn->isEnabled());
    QVERIFY(f.AnalogEn->isChecked());
    QVERIFY(f.RT_Track->isEnabled());
    QVERIFY(!f.RT_Track->isChecked());

    // The image stream landed in the file table area and the maps were decoded from it.
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(s.image().fileTable()), 457),
             emu.imageStream());
    if (emu.hasTiming()) QCOMPARE(s.maps().value(MapId::Timing, 3), 17.0);
    if (emu.hasFuel()) QCOMPARE(s.maps().value(MapId::FuelHigh, 32), -7.0);
    f.hide();
}

void TestMainWindow::connectWithoutEmu() {
    AppRig rig;
    rig.silent << 1;
    TForm1 &f = *rig.form;
    f.FormShow();
    rig.form->spConnectClick();
    Session &s = rig.s();
    QVERIFY(!s.isConnected());
    QCOMPARE(f.statusText(0), QString("Reading EMU Setup Data..."));
    QVERIFY(f.spRead->isEnabled());
    QVERIFY(!f.spWrite->isEnabled());
    QVERIFY(!f.AnalogEn->isEnabled());
    QVERIFY(s.editingEnabled());
    // Nothing answered: the setup block is all fill bytes.
    for (int i = 0; i < 101; ++i)
        QCOMPARE(int(s.image().bytes[i]), 0x30);
    QCOMPARE(s.caps(), Capabilities());
}

void TestMainWindow::connectShortSetupReply() {
    // The setup read delivers three bytes: a 0 lands behind them, the rest keeps the fill byte.
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    rig.form->FormShow();
    emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, 3, 0xFD, 1);
    rig.form->spConnectClick();
    Session &s = rig.s();
    QVERIFY(s.isConnected());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(int(s.image().bytes[i]), int(emu.setupByte(i)));
    QCOMPARE(int(s.image().bytes[3]), 0);
    for (int i = 4; i < 101; ++i)
        QCOMPARE(int(s.image().bytes[i]), 0x30);
}

void TestMainWindow::readAgain() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    rig.form->FormShow();
    rig.form->spConnectClick();
    emu.setMapValue(MapId::VacuumTiming, 32, -4);
    emu.setMapValue(MapId::WaterTemp, 1, 33);
    rig.wires.clear();
    rig.clock.advance(10); // the line is free
    const qint64 before = rig.clock.slept();
    rig.form->spReadClick();
    QCOMPARE(rig.written(), QByteArray("\xFD"));
    QCOMPARE(rig.clock.slept() - before, qint64(500));
    QCOMPARE(rig.s().maps().value(MapId::VacuumTiming, 32), -4.0);
    QCOMPARE(rig.s().maps().value(MapId::WaterTemp, 1), 33.0);
    QVERIFY(!rig.form->spRead->isEnabled());
    QVERIFY(rig.form->spWrite->isEnabled());
}

void TestMainWindow::writeTables() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    f.spConnectClick();
    Session &s = rig.s();
    editMaps(s, [](EmuMaps &m) {
        m.setValue(MapId::Timing, 5, 30);
        m.setValue(MapId::FuelCruise, 2, -50);
        m.setValue(MapId::VacuumTiming, 1, -10);
    });
    rig.wires.clear();
    emu.clearWritten();

    QTest::mouseClick(f.spWrite, Qt::LeftButton);
    QCOMPARE(rig.wires.size(), 2);
    QCOMPARE(rig.wires[0].bytes, QByteArray("\xF3"));
    QCOMPARE(rig.wires[1].bytes.size(), 458);
    QCOMPARE(rig.wires[1].at - rig.wires[0].at, qint64(100));
    const TableStream expected = s.buildTableStream();
    QCOMPARE(rig.wires[1].bytes, expected.raw);
    QCOMPARE(quint8(rig.wires[1].bytes[101 + 4]), quint8(30));
    QCOMPARE(quint8(rig.wires[1].bytes[297 + 1]), quint8(50));
    QCOMPARE(quint8(rig.wires[1].bytes[201]), quint8(0));
    // The EMU took the tables.
    QCOMPARE(emu.mapValue(MapId::Timing, 5), 30);
    QCOMPARE(emu.mapValue(MapId::FuelCruise, 2), -50);
    QCOMPARE(f.statusText(0), QString("Data table written to EMU"));
    QVERIFY(!f.spRead->isEnabled());
    QVERIFY(f.spWrite->isEnabled());
    f.hide();
}

void TestMainWindow::setupEditEnablesWrite() {
    AppRig rig;
    rig.form->spRead->setEnabled(true);
    emit rig.form->setupPage()->setupEdited();
    QVERIFY(!rig.form->spRead->isEnabled());
    QVERIFY(rig.form->spWrite->isEnabled());
}

void TestMainWindow::unsavedPrompt_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("modifiedAfter");
    QTest::newRow("Later keeps the program open") << "Button3" << false << true;
    QTest::newRow("Discard closes") << "Button2" << true << false;
    QTest::newRow("Escape is Later") << "Escape" << false << true;
}

void TestMainWindow::unsavedPrompt() {
    QFETCH(QString, answer);
    AppRig rig;
    TForm1 &f = *rig.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    rig.s().setModified(true);
    f.spWrite->setEnabled(true);
    f.close();
    TsvForm *sv = f.svForm();
    QVERIFY(sv->isVisible());
    QVERIFY(f.isVisible());
    QVERIFY(!f.isEnabled());
    QVERIFY(!sv->Button1->isEnabled()); // no EMU: Yes cannot write
    QVERIFY(sv->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(sv->Label1->text(), QString("You have changed the EMU setup."));
    QVERIFY(sv->Label1->font().bold());
    QCOMPARE(sv->Label2->text(),
             QString("Would you like to save the new setup information to the EMU?"));
    QCOMPARE(sv->Button3->text(), QString("Later"));
    QCOMPARE(sv->Button2->text(), QString("Discard"));

    if (answer == "Escape")
        QTest::keyClick(sv, Qt::Key_Escape);
    else
        QTest::mouseClick(sv->findChild<QPushButton *>(answer), Qt::LeftButton);
    QVERIFY(!sv->isVisible());
    QVERIFY(f.isEnabled());
    QTEST(!f.isVisible(), "closed");
    QTEST(rig.s().isModified(), "modifiedAfter");
    if (answer != "Button2")
        QVERIFY(!f.spWrite->isEnabled()); // Later without an EMU: nothing to write to
    f.hide();
}

void TestMainWindow::unsavedYesWritesAndCloses() {
    AppRig rig;
    rig.addEmu(1);
    TForm1 &f = *rig.form;
    QVERIFY(rig.showAndSearch());
    f.spConnectClick();
    rig.s().setModified(true);
    rig.wires.clear();
    f.close();
    QVERIFY(f.svForm()->isVisible());
    QVERIFY(f.svForm()->Button1->isEnabled());
    QTest::mouseClick(f.svForm()->Button1, Qt::LeftButton);
    // Connect again (identify, setup read, table read), then the table write.
    QList<QByteArray> commands;
    for (const Wire &w : rig.wires)
        if (w.bytes.size() != 3) commands << w.bytes.left(1);
    QCOMPARE(commands.mid(0, 4), QList<QByteArray>({"\xFF", "\xFD", "\xFD", "\xF3"}));
    QCOMPARE(commands.size(), 5);
    QCOMPARE(rig.wires.last().bytes.size(), 458);
    QCOMPARE(f.statusText(0), QString("Data table written to EMU"));
    QVERIFY(!f.isVisible());
}

void TestMainWindow::escapeExitsWithoutQuestion() {
    AppRig rig;
    TForm1 &f = *rig.form;
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    rig.s().setModified(true); // Esc leaves without asking
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : &f;
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!f.isVisible());
    QVERIFY(!f.svForm()->isVisible());
    QVERIFY(!rig.s().port().Opened());
}

void TestMainWindow::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "unknown option '--bogus'";
    QTest::newRow("malformed port") << QStringList{"--port", "Com3"} << 2 << "ComN=DEVICE";
    QTest::newRow("port out of range")
        << QStringList{"--port", "Com44=/dev/null"} << 2 << "Com1 to Com20";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "";
}

void TestMainWindow::commandLine() {
    QFETCH(QStringList, args);
    const QString bin = qEnvironmentVariable("EMU_BIN_DIR") + "/emutune";
    if (!QFileInfo::exists(bin)) QSKIP("emutune not built");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(bin, args);
    QVERIFY(p.waitForFinished(20000));
    QTEST(p.exitCode(), "exitCode");
    QFETCH(QString, stderrHas);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
