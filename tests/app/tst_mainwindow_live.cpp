// The main window with its monitoring and service windows wired in: Connect starts the live poll,
// the frames, markers and gauges show the EMU's live values, the throttle calibration, a lost
// adapter and a reconnect, the analysis, about and print windows. Virtual EMU, fake clock.
#include "AppRig.h"

#include "dialogs/AboutBox.h"
#include "dialogs/Printing.h"
#include "dialogs/TimingAnalysis.h"
#include "live/LivePoll.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/HitFilterBox.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "tuning/SetupPage.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {
// One live frame as the EMU sends it (every value + 1): RPM 2500, vacuum 127/255 of the range,
// TPS 42 %, lambda 0.62 V, water 90 °C, air 25 °C, POT 50.2 %, battery 12.6 V, injector 3 ms.
const QByteArray Frame("\x1A\x80\x2B\x3F\x5B\x2E\x81\x7F\x1F", 9);

struct LiveRig : AppRig {
    VirtualEmu *emu = nullptr;
    explicit LiveRig(int model = 3, quint8 rpmByte = 71) {
        emu = &addEmu(1, model);
        emu->setSetupByte(emu::model::OffRpmRange, rpmByte);
        emu->setSetupByte(emu::model::OffMapSensorRange, 11); // S = 10: one bar
        emu->setSetupByte(emu::model::OffTpsSensor, 3);       // throttle sensor active
        emu->pinLiveFrame(Frame);
        if (emu->hasTiming()) emu->setMapValue(MapId::Timing, 25, 20);
        if (emu->hasVacuum()) emu->setMapValue(MapId::VacuumTiming, 16, 4);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->FormShow();
    }
    void connect() { QTest::mouseClick(form->spConnect, Qt::LeftButton); }
    LivePoll &poll() { return *form->livePoll(); }
};

QByteArray commandsOf(const QList<Wire> &wires) {
    QByteArray all;
    for (const Wire &w : wires)
        all += w.bytes;
    return all;
}
} // namespace

class TestMainWindowLive : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Printing::setDialogRunner({}); }
    void framesOnEveryTab();
    void connectStartsPoll_data();
    void connectStartsPoll();
    void tickShowsLiveValues();
    void windowAnswersDuringConnect();
    void closeWaitsForTheLink();
    void analogSignalsSwitch();
    void throttleCalibration();
    void lambdaTargetTrackBar();
    void lostAdapterAndReconnect();
    void analyseMaps_data();
    void analyseMaps();
    void aboutBox();
    void printTimingChart_data();
    void printTimingChart();
    void setupBoxesShowWholeValues();
    void screenshots();
    void logHitsOnMaps();
};

void TestMainWindowLive::framesOnEveryTab() {
    AppRig rig;
    TForm1 &f = *rig.form;
    const QList<QPair<const char *, QString>> where = {
        {"RT1", "Timing Map"}, {"RT2", "Setup"}, {"RT3", "Fuel Maps"}, {"RT4", "Correction Maps"}};
    for (const auto &[name, tab] : where) {
        auto *rt = f.findChild<TRT *>(QString::fromLatin1(name));
        QVERIFY2(rt, name);
        int index = -1;
        for (int i = 0; i < f.PageControl1->count(); ++i)
            if (f.PageControl1->widget(i)->isAncestorOf(rt)) index = i;
        QCOMPARE(f.PageControl1->tabText(index), tab);
        QCOMPARE(rt->Label50->text(), QString("NA"));
    }
    QVERIFY(f.LoggerSheet->isAncestorOf(f.loggerPage()));
    QVERIFY(f.MonitorSheet->isAncestorOf(f.monitorPage()));
    // Nothing polls before Connect; the logger has no interval yet.
    QVERIFY(!f.livePoll()->Timer1->isActive());
    QCOMPARE(f.loggerPage()->chosenInterval(), 0);
    QVERIFY(!f.sp3D->isEnabled());
    QVERIFY(!f.windowIcon().isNull());
}

void TestMainWindowLive::connectStartsPoll_data() {
    QTest::addColumn<quint8>("rpmByte");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("indMax");
    QTest::addColumn<int>("ticks");
    QTest::newRow("7000") << quint8(71) << 70 << 60 << 7;
    QTest::newRow("0 means 7000") << quint8(1) << 70 << 60 << 7;
    QTest::newRow("10000") << quint8(101) << 100 << 90 << 10;
    QTest::newRow("4500") << quint8(46) << 45 << 35 << 4; // 4.5 ticks: halves to even
}

void TestMainWindowLive::connectStartsPoll() {
    QFETCH(quint8, rpmByte);
    LiveRig rig(3, rpmByte);
    TForm1 &f = *rig.form;
    rig.connect();
    QCOMPARE(f.statusText(0), QString("Ready"));
    QVERIFY(f.AnalogEn->isEnabled());
    QVERIFY(f.AnalogEn->isChecked());
    QVERIFY(rig.poll().Timer1->isActive());
    QCOMPARE(rig.poll().Timer1->interval(), 20);
    QVERIFY(f.RT_Track->isEnabled());
    QVERIFY(!f.RT_Track->isChecked());
    QVERIFY(!rig.poll().Timer2->isActive());

    TA3nalogGauge *rpm = f.monitorPage()->RPMGauge;
    QTEST(rpm->scale(), "scale");
    QTEST(rpm->indMaximum(), "indMax");
    QTEST(rpm->numberMainTicks(), "ticks");
    QCOMPARE(f.monitorPage()->VacuumGauge->scale(), 10);
    QCOMPARE(f.loggerPage()->chosenInterval(), 100);
    f.hide();
}

void TestMainWindowLive::tickShowsLiveValues() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    rig.wires.clear();
    rig.clock.advance(10); // the line is free
    const qint64 before = rig.clock.slept();
    rig.poll().tick();
    // One live data request, then the 20 ms wait.
    QCOMPARE(commandsOf(rig.wires), QByteArray("\xFC"));
    QCOMPARE(rig.clock.slept() - before, qint64(20));

    for (TRT *rt : {f.RT1, f.RT2, f.RT3, f.RT4}) {
        QCOMPARE(rt->Label50->text(), QString("2500"));
        QCOMPARE(rt->Label51->text(), QString("0.5"));
        QCOMPARE(rt->Label49->text(), QString("24")); // timing 20 at 2500 + vacuum 4 at 0.5 bar
        QCOMPARE(rt->TPSBar->position(), 42);
        QCOMPARE(rt->WaterBar->position(), 90);
        QCOMPARE(rt->Label55->text(), QString("12.6"));
        QCOMPARE(rt->LambdaBarR->position(), 12);
        QCOMPARE(rt->LambdaBarL->position(), 0);
    }
    EngineMonitorPage *m = f.monitorPage();
    QCOMPARE(m->RPMGauge->position(), 25.0f);
    QCOMPARE(m->AnalogTiming->position(), 24.0f);
    QCOMPARE(m->TempGauge->position(), 90.0f);
    QCOMPARE(m->VoltGauge->position(), 12.6f);
    QCOMPARE(rig.s().live().rpm, 25.0);
    f.hide();
}

// Connect on a clock that moves only when told: between its steps the window shows what it is
// doing and a progress bar, offers nothing that would start another sequence, and an edit made
// meanwhile reaches the EMU after the sequence, in order.
void TestMainWindowLive::windowAnswersDuringConnect() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    auto *progress = f.findChild<QProgressBar *>(QStringLiteral("LinkProgress"));
    QVERIFY(progress && !progress->isVisible());
    rig.clock.setManual(true);
    rig.wires.clear();
    rig.connect();
    QCOMPARE(commandsOf(rig.wires), QByteArray("\xFF"));
    QCOMPARE(f.statusText(0), QStringLiteral("Searching ComPorts..."));
    QVERIFY(progress->isVisible());
    for (QWidget *w : {static_cast<QWidget *>(f.spConnect), static_cast<QWidget *>(f.spRead),
                       static_cast<QWidget *>(f.spWrite), static_cast<QWidget *>(f.spOpen),
                       static_cast<QWidget *>(f.spRetry)})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    rig.clock.advance(300);
    QCOMPARE(f.statusText(0), QStringLiteral("Reading EMU Setup Data..."));
    rig.clock.advance(520); // the setup is in; the table read is out
    QCOMPARE(rig.wires.last().bytes, QByteArray("\xFD"));
    // The read's decode would undo an edit made now in memory: the editors wait for it.
    QVERIFY(!f.mapPages()->editorPanel(0)->isEnabled());
    QVERIFY(!f.findChild<SetupPage *>()->editorArea()->isEnabled());
    rig.s().setSetupValue(emu::model::OffLambdaTarget, 47);
    rig.clock.advance(400);
    QCOMPARE(rig.wires.last().bytes, QByteArray("\xFD")); // held while the read runs
    rig.clock.advance(100);
    QVERIFY(!progress->isVisible());
    QVERIFY(f.mapPages()->editorPanel(0)->isEnabled());
    // Connect said "Ready" before its table read; the edit made since is the last news.
    QCOMPARE(f.statusText(0), QStringLiteral("Target Volts from 0.45 to 0.47"));
    QVERIFY(f.spWrite->isEnabled());
    // After the table read and the writes its decode made (the jets), once.
    const QByteArray edit = QByteArray("\xF2") + char(emu::model::OffLambdaTarget) + char(47);
    int read = -1, sent = -1;
    for (int i = 0; i < rig.wires.size(); ++i) {
        if (rig.wires[i].bytes == QByteArray("\xFD")) read = i;
        if (rig.wires[i].bytes == edit) {
            QCOMPARE(sent, -1);
            sent = i;
        }
    }
    QVERIFY(sent > read && read > 0);
    f.hide();
}

// Closing while a Write and an edit are still on their way: the window waits until both are
// out whole, then closes, and the port with it.
void TestMainWindowLive::closeWaitsForTheLink() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    QVERIFY(f.spWrite->isEnabled());
    rig.clock.setManual(true);
    rig.wires.clear();
    QTest::mouseClick(f.spWrite, Qt::LeftButton);
    rig.s().setSetupValue(emu::model::OffLambdaTarget, 47);
    f.close();
    QVERIFY(f.isVisible());
    QVERIFY(!f.isEnabled());
    QCOMPARE(f.statusText(0), QStringLiteral("Sending the last changes to the EMU..."));
    QVERIFY(rig.s().port().Opened());
    rig.clock.advance(1000);
    QTRY_VERIFY(!f.isVisible());
    QVERIFY(!rig.s().port().Opened());
    const QByteArray sent = commandsOf(rig.wires);
    const QByteArray edit = QByteArray("\xF2") + char(emu::model::OffLambdaTarget) + char(47);
    QVERIFY(sent.startsWith('\xF3'));
    QCOMPARE(sent.size(), 1 + 458 + edit.size());
    QVERIFY(sent.endsWith(edit));
}

void TestMainWindowLive::analogSignalsSwitch() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    QTest::mouseClick(f.AnalogEn, Qt::LeftButton);
    QVERIFY(!f.AnalogEn->isChecked());
    QVERIFY(!rig.poll().Timer1->isActive());
    QVERIFY(!f.RT_Track->isEnabled());
    QTest::mouseClick(f.AnalogEn, Qt::LeftButton);
    QVERIFY(rig.poll().Timer1->isActive());
    QVERIFY(f.RT_Track->isEnabled());

    // Realtime tracking: the operating region follows the vacuum (0.5 bar lies in Cruise).
    f.RT_Track->setChecked(true);
    rig.emu->pinLiveFrame(QByteArray("\x1A\x06\x2B\x3F\x5B\x2E\x81\x7F\x1F", 9)); // 0.02 bar
    rig.poll().tick();
    QCOMPARE(rig.s().fuelVariant(), FuelVariant::Low);
    f.hide();
}

void TestMainWindowLive::throttleCalibration() {
    LiveRig rig;
    rig.emu->setSetupByte(38, 9);  // TPS minimum 8
    rig.emu->setSetupByte(39, 85); // TPS span 84
    TForm1 &f = *rig.form;
    rig.connect();
    auto *calBtn = f.setupPage()->findChild<QPushButton *>("CalBtn");
    QVERIFY(calBtn);
    QVERIFY(calBtn->isEnabled());
    QTest::mouseClick(calBtn, Qt::LeftButton);
    TTPSCalForm *cal = f.calForm();
    QVERIFY(cal->isVisible());
    QVERIFY(!f.isEnabled());
    QVERIFY(cal->isEnabled()); // a window of its own, not disabled with the main window
    QVERIFY(rig.poll().Timer2->isActive());

    rig.wires.clear();
    rig.poll().calibrationTick();
    QCOMPARE(commandsOf(rig.wires), QByteArray("\xFC"));
    QCOMPARE(cal->TPSCalBar->position(), 42);

    rig.wires.clear();
    QCOMPARE(cal->Edit1->text(), QString("8"));
    QCOMPARE(cal->Edit2->text(), QString("92"));
    QTest::mouseClick(cal->Button1, Qt::LeftButton); // OK: the minimum and span as opened
    QCOMPARE(commandsOf(rig.wires), QByteArray("\xF2\x26\x08\xF2\x27\x54", 6));
    QVERIFY(!cal->isVisible());
    QVERIFY(f.isEnabled());
    QVERIFY(!rig.poll().Timer2->isActive());
    QVERIFY(rig.poll().Timer1->isActive()); // the live poll went on

    // Cancel re-enables the main window as well.
    QTest::mouseClick(calBtn, Qt::LeftButton);
    QVERIFY(!f.isEnabled());
    QTest::mouseClick(cal->Button3, Qt::LeftButton);
    QVERIFY(f.isEnabled());
    QVERIFY(!rig.poll().Timer2->isActive());
    f.hide();
}

void TestMainWindowLive::lambdaTargetTrackBar() {
    LiveRig rig;
    rig.emu->setSetupByte(emu::model::OffLambdaTarget, 46); // 0.45 V
    TForm1 &f = *rig.form;
    rig.connect();
    for (TRT *rt : {f.RT1, f.RT2, f.RT3, f.RT4})
        QCOMPARE(rt->Label6->text(), QString(".45"));
    auto *bar = f.setupPage()->findChild<QSlider *>("TrackBar7");
    QVERIFY(bar);
    f.PageControl1->setCurrentIndex(0);
    bar->setFocus();
    QTRY_VERIFY(bar->hasFocus());
    QCOMPARE(f.RT2->LambdaCaption->text(), QString("Set Target"));
    QVERIFY(!f.RT2->Label56->isVisibleTo(f.RT2));
    const int shape1 = f.RT1->Shape1->x();
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(f.RT2->Label6->text(), QString(".46"));
    QCOMPARE(f.RT1->Label6->text(), QString(".45")); // only the frame beside the bar follows
    QCOMPARE(f.RT1->Shape1->x(), shape1);
    f.setupPage()->findChild<QLineEdit *>("Edit9")->setFocus();
    QTRY_VERIFY(!bar->hasFocus());
    QCOMPARE(f.RT2->LambdaCaption->text(), QString("Lambda"));
    for (TRT *rt : {f.RT1, f.RT3, f.RT4})
        QCOMPARE(rt->Label6->text(), QString(".46"));
    f.hide();
}

void TestMainWindowLive::lostAdapterAndReconnect() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    rig.poll().tick();
    const double timing25 = rig.s().maps().value(MapId::Timing, 25);
    const QByteArray setup(reinterpret_cast<const char *>(rig.s().image().setup()), 101);

    rig.emu->setVanished(true);
    rig.poll().tick();
    QVERIFY(!rig.poll().Timer1->isActive());
    QVERIFY(!f.AnalogEn->isChecked());
    QVERIFY(!f.RT_Track->isEnabled());
    QVERIFY2(f.statusText(0).contains("Com1"), qPrintable(f.statusText(0)));
    QVERIFY(f.spRetry->isEnabled());
    QVERIFY(f.spConnect->isEnabled());
    QCOMPARE(rig.s().maps().value(MapId::Timing, 25), timing25);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rig.s().image().setup()), 101), setup);
    QCOMPARE(f.RT1->Label50->text(), QString("2500")); // the last values stay on show
    rig.wires.clear();
    rig.poll().tick();
    QVERIFY(rig.wires.isEmpty());
    QTest::qWait(60); // the stopped timer fires no more
    QVERIFY(rig.wires.isEmpty());

    // The adapter is back: Connect finds the EMU again and polling resumes.
    rig.emu->setVanished(false);
    rig.emu->pinLiveFrame(QByteArray("\x1F\x80\x2B\x3F\x5B\x2E\x81\x7F\x1F", 9)); // 3000 RPM
    rig.connect();
    QCOMPARE(f.statusText(0), QString("Ready"));
    QVERIFY(f.AnalogEn->isChecked());
    QVERIFY(rig.poll().Timer1->isActive());
    QVERIFY(!f.spConnect->isEnabled());
    rig.poll().tick();
    QCOMPARE(f.RT3->Label50->text(), QString("3000"));
    f.hide();
}

void TestMainWindowLive::analyseMaps_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("available");
    QTest::newRow("timing and vacuum") << 1 << true;
    QTest::newRow("fuel only") << 2 << false;
    QTest::newRow("fuel and timing") << 3 << true;
}

void TestMainWindowLive::analyseMaps() {
    QFETCH(int, model);
    QFETCH(bool, available);
    LiveRig rig(model);
    TForm1 &f = *rig.form;
    rig.connect();
    QCOMPARE(f.sp3D->isEnabled(), available);
    if (!available) return;
    QTest::mouseClick(f.sp3D, Qt::LeftButton);
    TTimingAnalysis *a = f.timingAnalysis();
    QVERIFY(a->isVisible());
    QVERIFY(f.isEnabled()); // not modal
    QCOMPARE(a->cell(1, 0), QString("RPM"));
    QCOMPARE(a->cell(26, 1), QString("20"));
    QCOMPARE(a->cell(26, 17), QString("24"));
    a->close();
    f.hide();
}

void TestMainWindowLive::aboutBox() {
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    QTest::mouseClick(f.spAbout, Qt::LeftButton);
    TForm2 *about = f.aboutBox();
    QVERIFY(about->isVisible());
    QVERIFY(!f.isEnabled());
    QVERIFY(about->isEnabled());
    QVERIFY(about->Memo1->toPlainText().contains("Type: Fuel and Timing"));
    QTest::mouseClick(about->Button1, Qt::LeftButton);
    QVERIFY(!about->isVisible());
    QVERIFY(f.isEnabled());
    f.hide();
}

void TestMainWindowLive::printTimingChart_data() {
    QTest::addColumn<bool>("confirm");
    QTest::newRow("printed") << true;
    QTest::newRow("cancelled") << false;
}

void TestMainWindowLive::printTimingChart() {
    QFETCH(bool, confirm);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("timing.pdf");
    int asked = 0;
    int copies = 0;
    Printing::setDialogRunner([&](QPrinter *printer, QWidget *) {
        ++asked;
        copies = printer->copyCount();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        return confirm;
    });
    LiveRig rig;
    TForm1 &f = *rig.form;
    rig.connect();
    QTest::mouseClick(f.spPrint, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(copies, 1);
    QCOMPARE(QFile::exists(pdf), confirm);
    if (confirm) QVERIFY(QFileInfo(pdf).size() > 1000);
    f.hide();
}

void TestMainWindowLive::setupBoxesShowWholeValues() {
    LiveRig rig(3, 101); // RPM range 10000
    TForm1 &f = *rig.form;
    rig.connect();
    f.PageControl1->setCurrentIndex(0);
    QApplication::processEvents();
    for (const char *name : {"Edit12", "Edit13", "Edit14", "Edit15", "Edit20", "Edit48"}) {
        auto *e = f.setupPage()->findChild<QLineEdit *>(name);
        QVERIFY2(e, name);
        const int textWidth = e->fontMetrics().horizontalAdvance(e->text());
        QVERIFY2(textWidth + 8 < e->width(), qPrintable(QString("%1 '%2' %3 px in %4 px")
                                                            .arg(name, e->text())
                                                            .arg(textWidth)
                                                            .arg(e->width())));
    }
    QCOMPARE(f.setupPage()->findChild<QLineEdit *>("Edit13")->text(), QString("10000"));
    f.hide();
}

// With EMU_SCREENSHOTS set: a picture of every tab after Connect and a few polls, to look at.
void TestMainWindowLive::screenshots() {
    const QString dir = qEnvironmentVariable("EMU_SCREENSHOTS");
    if (dir.isEmpty()) QSKIP("EMU_SCREENSHOTS not set");
    QDir().mkpath(dir);
    LiveRig rig;
    TForm1 &f = *rig.form;
    f.resize(1400, 860);
    rig.connect();
    rig.emu->unpinLive();
    for (int i = 0; i < 5; ++i)
        rig.poll().tick();
    f.loggerPage()->SpeedButton1Click();
    for (int i = 0; i < 40; ++i) {
        rig.poll().tick();
        f.loggerPage()->ThreadedTimer1Timer();
    }
    for (int i = 0; i < f.PageControl1->count(); ++i) {
        f.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        const QString name = f.PageControl1->tabText(i).replace(' ', '_').toLower();
        QVERIFY(f.grab().save(QDir(dir).filePath(QString("tab%1_%2.png").arg(i).arg(name))));
    }
    f.loggerPage()->SpeedButton2Click();
    QTest::mouseClick(f.sp3D, Qt::LeftButton);
    f.timingAnalysis()->Button1Click();
    QApplication::processEvents();
    QVERIFY(f.timingAnalysis()->grab().save(QDir(dir).filePath("analysis.png")));
    f.timingAnalysis()->close();
    QTest::mouseClick(f.spAbout, Qt::LeftButton);
    QApplication::processEvents();
    QVERIFY(f.aboutBox()->grab().save(QDir(dir).filePath("about.png")));
    QTest::mouseClick(f.aboutBox()->Button1, Qt::LeftButton);
    QTest::mouseClick(f.setupPage()->findChild<QPushButton *>("CalBtn"), Qt::LeftButton);
    rig.poll().calibrationTick();
    QApplication::processEvents();
    QVERIFY(f.calForm()->grab().save(QDir(dir).filePath("tpscal.png")));
    f.calForm()->Button3Click();
    f.hide();
}

QTEST_MAIN(TestMainWindowLive)
void TestMainWindowLive::logHitsOnMaps() {
    // A log opened on the Data Logger tab counts on the map charts; a filter changes the counts.
    AppRig rig;
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("time_s,rpm,vacuum_bar,lambda_v,water_c\n0,2500,0.5,0.50,60\n"
            "0.1,2500,0.5,0.40,80\n0.2,2500,0.5,0.40,80\n");
    f.close();
    DataLoggerPage *page = rig.form->loggerPage();
    QVERIFY(page->openLog(path));
    MapPages *maps = rig.form->mapPages();
    // 2500 RPM is point 11 of the cruise map (R 7000: 218.75 RPM a point); the target is 0.45 V.
    QCOMPARE(maps->hitText(MapId::FuelCruise, 11),
             QStringLiteral("3 samples, 0.3 s, lambda 0.433 V, 33 % richer than the target"));
    QCOMPARE(maps->hitText(MapId::FuelLow, 11), QStringLiteral("0 samples, 0 s"));
    QVERIFY(maps->mapChart(MapPages::FuelRpm)->hitStrip());
    HitFilterBox *filters = page->HitFilters;
    filters->WaterMin->setValue(70);
    QTest::mouseClick(filters->WaterCheck, Qt::LeftButton);
    page->updateHits();
    QCOMPARE(filters->countsText(),
             QStringLiteral("Kept 2 of 3 samples (dropped: 1 water too cold)"));
    QCOMPARE(maps->hitText(MapId::FuelCruise, 11),
             QStringLiteral("2 samples, 0.2 s, lambda 0.4 V, 0 % richer than the target"));
    page->closeLog();
    QVERIFY(!maps->mapChart(MapPages::FuelRpm)->hitStrip());
}

#include "tst_mainwindow_live.moc"
