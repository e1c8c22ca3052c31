// Map charts: real mouse and key events on the offscreen charts against a session whose link
// talks to the virtual EMU; the bytes on the wire are checked exactly.
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "model/Numbers.h"
#include "sim/VirtualEmu.h"
#include "support/SessionState.h"
#include "tests/tuning/MapRig.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "widgets/Messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>
#include <memory>

class TestMapCharts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        Messages::setHandler([this](const QString &text, Messages::Kind) { m_messages << text; });
    }
    void init() { m_messages.clear(); }

    void seriesLayout_data();
    void seriesLayout();
    void accessibleNames();
    void axesAtConnect_data();
    void axesAtConnect();
    void readBuildsCurves();

    void dragTimingWorkedExample();
    void dragChecks_data();
    void dragChecks();
    void dragVacuumStoresPosition();
    void dragFuelRpmHighVariant();
    void dragMovesOntoOtherChart();
    void dragRoundsHalvesToEven_data();
    void dragRoundsHalvesToEven();
    void dragWithSwitchOffOnlyHovers();

    void hoverReadoutsAndPanel();
    void keyUpOnTimingPoint();
    void keyRightSendsNextPointUnchanged();
    void keyUpAtMaximumStays();
    void pageUpRaisesAllSendsSelected();
    void fuelVacuumLeftSnapsToPoint();
    void keysStayOnMap_data();
    void keysStayOnMap();
    void keyKeepsByteRange();

    void jetKeys_data();
    void jetKeys();
    void jetBoxErrors_data();
    void jetBoxErrors();
    void readSetsJetBars();

    void afterWriteRebuilds();
    void closeAllClearsAndDisables();
    void missingCapabilityStaysDisabled();
    void hiddenChartRedrawnOnShow();
    void liveMarkersAndArrows();
    void liveMarkerRepaintsStripsOnly();
    void chartsPaintEveryPixel();
    void barOverlayFollowsReplot();
    void regionChoosesVariant();

private:
    QStringList m_messages;
};

void TestMapCharts::seriesLayout_data() {
    QTest::addColumn<QString>("chart");
    QTest::addColumn<QStringList>("series");
    QTest::newRow("timing") << "TimingChart" << QStringList{"Series5", "Series3", "Series1"};
    QTest::newRow("vacuum") << "VacuumChart" << QStringList{"Series7", "Series6", "Series4"};
    QTest::newRow("fuelvac") << "FuelVacChart"
                             << QStringList{"Series2", "Series10", "Series11", "Series12",
                                            "Series9"};
    QTest::newRow("fuelrpm") << "FuelRPMChart"
                             << QStringList{"Series13", "Series14", "Series8", "Series31",
                                            "Series32"};
    QTest::newRow("temp") << "TempChart" << QStringList{"Series28", "Series23", "Series15"};
    QTest::newRow("air") << "AirTmpChart" << QStringList{"Series29", "Series25", "Series24"};
    QTest::newRow("volt") << "VoltageChart" << QStringList{"Series30", "Series27", "Series26"};
}

void TestMapCharts::seriesLayout() {
    QFETCH(QString, chart);
    QFETCH(QStringList, series);
    Rig r;
    auto *c = qobject_cast<MapChart *>(r.pages->chart(chart));
    QVERIFY(c);
    QCOMPARE(c->seriesCount(), series.size());
    for (int i = 0; i < series.size(); ++i)
        QCOMPARE(c->series(i)->objectName(), series[i]);
    QVERIFY(!c->legend->visible());
    QCOMPARE(c->interactions(), QCP::Interactions());
    QCOMPARE(c->cursor().shape(), Qt::CrossCursor);
    // Cursor colour of every chart.
    const int cursor = chart == QLatin1String("FuelVacChart") ? 2 : 0;
    QCOMPARE(c->series(cursor)->pen().color(), QColor(0, 193, 97));
}

void TestMapCharts::accessibleNames() {
    Rig r;
    const QList<QPair<QString, QString>> charts{
        {"TimingChart", "Timing Map"},          {"VacuumChart", "Vacuum Map"},
        {"FuelVacChart", "Vacuum Map"},         {"FuelRPMChart", "RPM Map"},
        {"TempChart", "Water Temp Correction"}, {"AirTmpChart", "Air Temp Correction"},
        {"VoltageChart", "Voltage Correction"}};
    for (const auto &c : charts)
        QCOMPARE(r.pages->chart(c.first)->accessibleName(), c.second);
    const QList<QPair<QString, QString>> boxes{
        {"Edit3", "RPM:"},     {"Edit2", "Degrees:"}, {"Edit5", "Vacuum:"}, {"Edit4", "Degrees:"},
        {"Edit23", "Vacuum:"}, {"Edit22", "%"},       {"Edit21", "RPM:"},   {"Edit19", "%"},
        {"Edit26", "Temp:"},   {"Edit25", "%"},       {"Edit29", "Temp:"},  {"Edit27", "%"},
        {"Edit31", "V:"},      {"Edit30", "%"}};
    for (const auto &b : boxes) {
        auto *e = r.tabs.findChild<QLineEdit *>(b.first);
        QVERIFY2(e, qPrintable(b.first));
        QCOMPARE(e->accessibleName(), b.second);
        QVERIFY(e->isReadOnly());
    }
    QCOMPARE(r.pages->mainJetAdjust()->accessibleName(), QStringLiteral("Main Jet"));
}

void TestMapCharts::axesAtConnect_data() {
    QTest::addColumn<int>("s10");
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("vacMax");
    QTest::addColumn<double>("vacStep");
    QTest::addColumn<double>("fuelVacMax");
    QTest::addColumn<double>("timingMax");
    QTest::newRow("1 bar, 7000") << 10 << 7000.0 << 1.2 << 0.1 << 1.2 << 70.0;
    QTest::newRow("2.5 bar") << 25 << 7000.0 << 2.7 << 0.2 << 2.7 << 70.0;
    QTest::newRow("1.5 bar, 9000") << 15 << 9000.0 << 1.7 << 0.1 << 1.7 << 90.0;
}

void TestMapCharts::axesAtConnect() {
    QFETCH(int, s10);
    QFETCH(double, rpm);
    QFETCH(double, vacMax);
    QFETCH(double, vacStep);
    QFETCH(double, fuelVacMax);
    QFETCH(double, timingMax);
    Rig r({true, true, true}, s10, rpm);
    QCOMPARE(r.chart(MapPages::Timing)->xAxis->range().lower, 1.0);
    QCOMPARE(r.chart(MapPages::Timing)->xAxis->range().upper, timingMax);
    QCOMPARE(r.chart(MapPages::FuelRpm)->xAxis->range().lower, 0.0);
    QCOMPARE(r.chart(MapPages::FuelRpm)->xAxis->range().upper, timingMax);
    QVERIFY(qFuzzyCompare(r.chart(MapPages::Vacuum)->xAxis->range().upper, vacMax));
    QCOMPARE(r.chart(MapPages::Vacuum)->bottomStep(), vacStep);
    QVERIFY(qFuzzyCompare(r.chart(MapPages::FuelVac)->xAxis->range().upper, fuelVacMax));
    QCOMPARE(r.chart(MapPages::FuelVac)->bottomStep(), 0.1);
    QCOMPARE(r.pages->keyStep(MapPages::Timing), 1.0);
    QCOMPARE(r.pages->keyStep(MapPages::Vacuum), s10 / 10.0 / 32);
    QCOMPARE(r.pages->keyStep(MapPages::FuelVac), s10 / 10.0 / 64);
    QCOMPARE(r.pages->keyStep(MapPages::FuelRpm), rpm / 100 / 32);
    for (int c = 0; c < MapPages::ChartCount; ++c)
        QVERIFY(r.chart(MapPages::Chart(c))->isEnabled());
    QVERIFY(r.pages->mainJetAdjust()->isEnabled());
}

void TestMapCharts::readBuildsCurves() {
    Rig r;
    r.emu.setMapValue(MapId::Timing, 70, 33);
    r.emu.setMapValue(MapId::FuelHigh, 32, -50);
    const QByteArray stream = r.emu.imageStream();
    editImage(r.s, [&stream](EmuImage &image) {
        std::copy(stream.begin(), stream.end(), image.fileTable());
    });
    r.s.setFuelVariant(FuelVariant::High);
    ConnectionController::decodeTables(r.s);
    r.pages->readTables();
    const MapSeries *timing = r.chart(MapPages::Timing)->series(2);
    QCOMPARE(timing->dataCount(), 70);
    QCOMPARE(timing->data()->at(69)->key, 70.0);
    QCOMPARE(timing->data()->at(69)->value, 33.0);
    QCOMPARE(r.chart(MapPages::Vacuum)->series(2)->dataCount(), 32);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(4)->dataCount(), 64);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(4)->data()->at(63)->key, 1.0);
    for (int i = 2; i <= 4; ++i)
        QCOMPARE(r.chart(MapPages::FuelRpm)->series(i)->dataCount(), 32);
    QCOMPARE(r.chart(MapPages::FuelRpm)->series(4)->data()->at(31)->value, -50.0);
    QCOMPARE(r.chart(MapPages::Temp)->series(2)->dataCount(), 24);
    QCOMPARE(r.chart(MapPages::AirTemp)->series(2)->data()->at(0)->key, -20.0);
    QCOMPARE(r.chart(MapPages::Voltage)->series(2)->dataCount(), 16);
    // Cruise is edited again, and the buttons say so.
    QCOMPARE(r.s.fuelVariant(), FuelVariant::Cruise);
    auto *cruise = r.tabs.findChild<QRadioButton *>(QStringLiteral("RadioCruise"));
    QVERIFY(cruise->isChecked());
    QVERIFY(cruise->font().bold());
    QVERIFY(r.emu.written().isEmpty()); // jets unchanged: nothing sent
}

void TestMapCharts::dragTimingWorkedExample() {
    Rig r;
    r.pages->setMouseTuning(true);
    r.dragAt(MapPages::Timing, 12.4, 30.6);
    QCOMPARE(r.value(MapId::Timing, 12), 31.0);
    QVERIFY(r.emu.written().endsWith(bytes({0xE8, 0x0B, 0x1F})));
    QCOMPARE(r.pages->selection(MapPages::Timing), 12.0);
    QCOMPARE(r.chart(MapPages::Timing)->series(2)->data()->at(11)->value, 31.0);
}

void TestMapCharts::dragChecks_data() {
    QTest::addColumn<int>("chart");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("timing above 45") << int(MapPages::Timing) << 20.0 << 46.5;
    QTest::newRow("vacuum near 0") << int(MapPages::Vacuum) << 0.005 << 3.0;
    QTest::newRow("vacuum beyond S") << int(MapPages::Vacuum) << 1.1 << 3.0;
    QTest::newRow("fuel vacuum below 0") << int(MapPages::FuelVac) << -0.05 << 3.0;
    QTest::newRow("fuel vacuum below -50") << int(MapPages::FuelVac) << 0.5 << -51.0;
    QTest::newRow("water temp below -60") << int(MapPages::Temp) << 60.0 << -61.0;
}

void TestMapCharts::dragChecks() {
    QFETCH(int, chart);
    QFETCH(double, x);
    QFETCH(double, y);
    Rig r;
    r.pages->setMouseTuning(true);
    const EmuMaps before = r.s.maps();
    r.showChart(MapPages::Chart(chart));
    MapChart *c = r.chart(MapPages::Chart(chart));
    // Widen the axes so the pointer can reach the value under test.
    c->xAxis->setRange(c->xAxis->range().lower - 0.2, c->xAxis->range().upper);
    c->yAxis->setRange(c->yAxis->range().lower - 3, c->yAxis->range().upper + 3);
    c->replot();
    const QPoint at = r.pixel(MapPages::Chart(chart), x, y);
    QTest::mousePress(c, Qt::LeftButton, Qt::NoModifier, at + QPoint(0, 1));
    QTest::mouseMove(c, at);
    QTest::mouseRelease(c, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(r.emu.written(), QByteArray());
    for (MapId id : emu::model::allMaps())
        for (int p = 1; p <= r.s.maps().pointCount(id, r.s.axes()); ++p)
            QCOMPARE(r.s.maps().value(id, p), before.value(id, p));
}

void TestMapCharts::dragVacuumStoresPosition() {
    Rig r;
    r.pages->setMouseTuning(true);
    r.dragAt(MapPages::Vacuum, 0.52, -3.4);
    QCOMPARE(r.value(MapId::VacuumTiming, 17), -3.0);
    QCOMPARE(r.s.maps().storedPosition(MapId::VacuumTiming, 17), 0.53);
    QCOMPARE(r.emu.written(), bytes({0xE8, 0x74, 0x07}));
    QCOMPARE(r.pages->selection(MapPages::Vacuum), 0.53);
    QCOMPARE(r.chart(MapPages::Vacuum)->series(2)->data()->at(16)->key, 0.53);
}

void TestMapCharts::dragFuelRpmHighVariant() {
    Rig r;
    r.pages->setMouseTuning(true);
    r.showChart(MapPages::FuelRpm);
    auto *high = r.tabs.findChild<QRadioButton *>(QStringLiteral("RadioHigh"));
    QTest::mouseClick(high, Qt::LeftButton);
    QCOMPARE(r.s.fuelVariant(), FuelVariant::High);
    QVERIFY(high->font().bold());
    QVERIFY(!r.tabs.findChild<QRadioButton *>(QStringLiteral("RadioCruise"))->font().bold());
    const double cruise16 = r.value(MapId::FuelCruise, 16);
    r.dragAt(MapPages::FuelRpm, 35, 10);
    QCOMPARE(r.value(MapId::FuelHigh, 16), 10.0);
    QCOMPARE(r.value(MapId::FuelCruise, 16), cruise16);
    QCOMPARE(r.emu.written(), bytes({0xCA, 0x2F, 110}));
    QCOMPARE(r.chart(MapPages::FuelRpm)->series(4)->data()->at(15)->value, 10.0);
}

void TestMapCharts::dragMovesOntoOtherChart() {
    Rig r;
    r.pages->setMouseTuning(true);
    r.showTab(r.timingTab);
    MapChart *timing = r.chart(MapPages::Timing);
    MapChart *vacuum = r.chart(MapPages::Vacuum);
    const double timing10 = r.value(MapId::Timing, 10);
    QTest::mousePress(timing, Qt::LeftButton, Qt::NoModifier, r.pixel(MapPages::Timing, 10, 20));
    // The pointer moves on over the vacuum chart; the timing chart still holds the mouse.
    const QPoint onVacuum = vacuum->mapTo(timing->window(), r.pixel(MapPages::Vacuum, 0.52, 5));
    QTest::mouseMove(timing, timing->mapFrom(timing->window(), onVacuum));
    QTest::mouseRelease(timing, Qt::LeftButton, Qt::NoModifier,
                        timing->mapFrom(timing->window(), onVacuum));
    QCOMPARE(r.value(MapId::VacuumTiming, 17), 5.0);
    QCOMPARE(r.value(MapId::Timing, 10), timing10);
    QCOMPARE(r.emu.written(), bytes({0xE8, 100 + 16, 15}));
}

void TestMapCharts::dragRoundsHalvesToEven_data() {
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("stored");
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
}

void TestMapCharts::dragRoundsHalvesToEven() {
    QFETCH(double, y);
    QFETCH(double, stored);
    Rig r;
    r.pages->setMouseTuning(true);
    r.showChart(MapPages::Timing);
    MapChart *c = r.chart(MapPages::Timing);
    // Shift the value axis so that a pixel row converts to exactly y.
    const int row = qRound(c->yAxis->coordToPixel(y));
    bool exact = false;
    for (int i = 0; i < 40 && !exact; ++i) {
        const double d = y - c->yAxis->pixelToCoord(row);
        c->yAxis->setRange(c->yAxis->range().lower + d, c->yAxis->range().upper + d);
        exact = c->yAxis->pixelToCoord(row) == y;
    }
    QVERIFY(exact);
    const QPoint at(qRound(c->xAxis->coordToPixel(8)), row);
    QTest::mousePress(c, Qt::LeftButton, Qt::NoModifier, at + QPoint(0, 2));
    QTest::mouseMove(c, at);
    QTest::mouseRelease(c, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(r.value(MapId::Timing, 8), stored);
    QCOMPARE(r.emu.written(), bytes({0xE8, 7, int(stored)}));
}

void TestMapCharts::dragWithSwitchOffOnlyHovers() {
    Rig r;
    const EmuMaps before = r.s.maps();
    r.dragAt(MapPages::Timing, 12.4, 30.6);
    QCOMPARE(r.emu.written(), QByteArray());
    QCOMPARE(r.value(MapId::Timing, 12), before.value(MapId::Timing, 12));
    QCOMPARE(r.text("Edit2"), QStringLiteral("31"));
    QCOMPARE(r.text("Edit3"), QStringLiteral("1200"));
    QCOMPARE(r.pages->activeChart(), int(MapPages::Timing));
}

void TestMapCharts::hoverReadoutsAndPanel() {
    Rig r;
    // At start only the vacuum chart shows its read-outs.
    QVERIFY(!r.chart(MapPages::Timing)->readoutsVisible());
    QVERIFY(r.chart(MapPages::Vacuum)->readoutsVisible());
    r.hoverAt(MapPages::Timing, 20.2, 29.8);
    QVERIFY(r.chart(MapPages::Timing)->readoutsVisible());
    QVERIFY(r.chart(MapPages::Timing)->valueCaption()->isVisible());
    QCOMPARE(r.text("Edit2"), QStringLiteral("30"));
    QCOMPARE(r.text("Edit3"), QStringLiteral("2000"));
    QCOMPARE(r.pages->activeChart(), int(MapPages::Timing));
    QCOMPARE(r.pages->selection(MapPages::Timing), 20.0);
    QVERIFY(r.chart(MapPages::Timing)->hasFocus());
    // Outside the value range the value read-out keeps its last text.
    r.hoverAt(MapPages::Vacuum, 0.5, 4);
    QCOMPARE(r.text("Edit5"), QStringLiteral("0.5"));
    QCOMPARE(r.text("Edit4"), QStringLiteral("4"));
    QCOMPARE(r.pages->activeChart(), int(MapPages::Vacuum));
    // The panel around the charts hides the read-outs of the tab, not the selections.
    auto *panel = r.tabs.findChild<QFrame *>(QStringLiteral("Panel3"));
    QVERIFY(panel);
    QTest::mouseMove(panel, QPoint(1, 1));
    QVERIFY(!r.chart(MapPages::Timing)->readoutsVisible());
    QVERIFY(!r.chart(MapPages::Vacuum)->readoutsVisible());
    QCOMPARE(r.pages->activeChart(), int(MapPages::Vacuum));
    // Voltage read-out in tenths.
    r.hoverAt(MapPages::Voltage, 12.63, 0);
    QCOMPARE(r.text("Edit31"), QStringLiteral("12.6"));
    QCOMPARE(r.pages->selection(MapPages::Voltage), 12.6);
    QVERIFY(r.emu.written().isEmpty());
}

void TestMapCharts::keyUpOnTimingPoint() {
    Rig r;
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::Timing, 20, 30); });
    r.hoverAt(MapPages::Timing, 20, 10);
    r.emu.clearWritten();
    r.key(Qt::Key_Up);
    QCOMPARE(r.value(MapId::Timing, 20), 31.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 0x13, 0x1F}));
    const MapSeries *cursor = r.chart(MapPages::Timing)->series(0);
    QCOMPARE(cursor->dataCount(), 1);
    QCOMPARE(cursor->data()->at(0)->key, 20.0);
    QCOMPARE(cursor->data()->at(0)->value, 45.0);
    QCOMPARE(r.text("Edit3"), QStringLiteral("2000"));
    QCOMPARE(r.text("Edit2"), QStringLiteral("31"));
    QCOMPARE(r.chart(MapPages::Timing)->cursor().shape(), Qt::BlankCursor);
    // A pointer move removes the cursor bar.
    r.hoverAt(MapPages::Timing, 20, 10);
    QCOMPARE(cursor->dataCount(), 0);
}

void TestMapCharts::keyRightSendsNextPointUnchanged() {
    Rig r;
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::Timing, 21, 17); });
    r.hoverAt(MapPages::Timing, 20, 10);
    r.emu.clearWritten();
    r.key(Qt::Key_Right);
    QCOMPARE(r.pages->selection(MapPages::Timing), 21.0);
    QCOMPARE(r.value(MapId::Timing, 21), 17.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 20, 17}));
}

void TestMapCharts::keyUpAtMaximumStays() {
    Rig r;
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::Timing, 20, 45); });
    r.hoverAt(MapPages::Timing, 20, 10);
    r.emu.clearWritten();
    r.key(Qt::Key_Up);
    QCOMPARE(r.value(MapId::Timing, 20), 45.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 0x13, 45}));
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::Timing, 20, 0); });
    r.emu.clearWritten();
    r.key(Qt::Key_Down);
    QCOMPARE(r.value(MapId::Timing, 20), 0.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 0x13, 0}));
}

void TestMapCharts::pageUpRaisesAllSendsSelected() {
    Rig r;
    editMaps(r.s, [](EmuMaps &m) {
        for (int p = 1; p <= 70; ++p)
            m.setValue(MapId::Timing, p, p % 46);
        m.setValue(MapId::Timing, 71, 5); // beyond N: untouched
    });
    r.hoverAt(MapPages::Timing, 20, 10);
    r.emu.clearWritten();
    r.key(Qt::Key_PageUp);
    for (int p = 1; p <= 70; ++p)
        QCOMPARE(r.value(MapId::Timing, p), double(std::min(p % 46 + 1, 45)));
    QCOMPARE(r.value(MapId::Timing, 71), 5.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 19, 21}));
    QCOMPARE(r.chart(MapPages::Timing)->series(2)->data()->at(0)->value, 2.0);
    // Page Down never takes a point below 0 (its byte would wrap to 255).
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::Timing, 3, 0); });
    r.emu.clearWritten();
    r.key(Qt::Key_PageDown);
    QCOMPARE(r.value(MapId::Timing, 3), 0.0);
    QCOMPARE(r.value(MapId::Timing, 20), 20.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 19, 20}));
}

void TestMapCharts::fuelVacuumLeftSnapsToPoint() {
    Rig r;
    r.hoverAt(MapPages::FuelVac, 0.5, 0);
    QCOMPARE(r.pages->selection(MapPages::FuelVac), 0.5);
    const double v31 = r.value(MapId::FuelVacuum, 31);
    r.emu.clearWritten();
    r.key(Qt::Key_Left);
    QCOMPARE(r.pages->selection(MapPages::FuelVac), 0.484375);
    QCOMPARE(r.text("Edit23"), QStringLiteral("0.5"));
    QCOMPARE(r.emu.written(), bytes({0xDE, 30, int(v31) + 100}));
}

void TestMapCharts::keysStayOnMap_data() {
    QTest::addColumn<int>("chart");
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("timing left of 1")
        << int(MapPages::Timing) << 1.0 << int(Qt::Key_Left) << bytes({0xE8, 0});
    QTest::newRow("timing right of N")
        << int(MapPages::Timing) << 70.0 << int(Qt::Key_Right) << bytes({0xE8, 69});
    QTest::newRow("vacuum left of 1")
        << int(MapPages::Vacuum) << 0.03 << int(Qt::Key_Left) << bytes({0xE8, 100});
    QTest::newRow("fuel rpm right of 32")
        << int(MapPages::FuelRpm) << 70.0 << int(Qt::Key_Right) << bytes({0xDE, 64 + 31});
    QTest::newRow("water left of 1")
        << int(MapPages::Temp) << 5.0 << int(Qt::Key_Left) << bytes({0xD4, 0});
    QTest::newRow("air right of 24")
        << int(MapPages::AirTemp) << 100.0 << int(Qt::Key_Right) << bytes({0xD4, 24 + 23});
    QTest::newRow("voltage left of 1")
        << int(MapPages::Voltage) << 8.0 << int(Qt::Key_Left) << bytes({0xD4, 48});
    QTest::newRow("water hover at 0")
        << int(MapPages::Temp) << 0.0 << int(Qt::Key_Up) << bytes({0xD4, 0});
}

void TestMapCharts::keysStayOnMap() {
    QFETCH(int, chart);
    QFETCH(double, x);
    QFETCH(int, key);
    QFETCH(QByteArray, sent);
    Rig r;
    r.hoverAt(MapPages::Chart(chart), x, 0);
    r.emu.clearWritten();
    r.key(Qt::Key(key));
    QCOMPARE(r.emu.written().left(2), sent);
    QCOMPARE(r.emu.written().size(), 3);
}

void TestMapCharts::keyKeepsByteRange() {
    Rig r;
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::WaterTemp, 10, 155); }); // raw 255
    r.hoverAt(MapPages::Temp, 50, 0);
    r.emu.clearWritten();
    r.key(Qt::Key_Up);
    QCOMPARE(r.value(MapId::WaterTemp, 10), 155.0);
    QCOMPARE(r.emu.written(), bytes({0xD4, 9, 255}));
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::VacuumTiming, 16, -10); }); // raw 0
    r.hoverAt(MapPages::Vacuum, 0.5, 0);
    r.emu.clearWritten();
    r.key(Qt::Key_Down);
    QCOMPARE(r.value(MapId::VacuumTiming, 16), -10.0);
    QCOMPARE(r.emu.written(), bytes({0xE8, 115, 0}));
    r.key(Qt::Key_Up);
    QCOMPARE(r.value(MapId::VacuumTiming, 16), -9.0);
}

void TestMapCharts::jetKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("Q at top") << int(Qt::Key_Q) << 0 << 0 << QByteArray();
    QTest::newRow("Q") << int(Qt::Key_Q) << 100 << 99 << bytes({0xF2, 3, 156});
    QTest::newRow("A") << int(Qt::Key_A) << 100 << 101 << bytes({0xF2, 3, 154});
    QTest::newRow("W") << int(Qt::Key_W) << 100 << 90 << bytes({0xF2, 3, 165});
    QTest::newRow("S near bottom") << int(Qt::Key_S) << 250 << 255 << bytes({0xF2, 3, 0});
}

void TestMapCharts::jetKeys() {
    QFETCH(int, key);
    QFETCH(int, start);
    QFETCH(int, position);
    QFETCH(QByteArray, sent);
    Rig r;
    r.showTab(r.fuelTab);
    QSlider *bar = r.pages->mainJetAdjust();
    bar->setValue(start);
    QCOMPARE(r.text("Edit28"), QString::number(255 - start));
    r.emu.clearWritten();
    // The timing chart is not active: only the jet acts on the fuel tab.
    r.pages->formKeyDown(key, true);
    r.pages->formKeyUp(key);
    QCOMPARE(bar->value(), position);
    QCOMPARE(r.text("Edit28"), QString::number(255 - position));
    QCOMPARE(r.emu.written(), sent);
    if (!sent.isEmpty())
        QCOMPARE(int(r.s.image().setupByte(emu::model::OffMainJet)), (255 - position + 1) & 0xFF);
    // Idle jet keys and the fuel tab condition.
    r.emu.clearWritten();
    r.pages->formKeyDown(Qt::Key_D, false);
    QCOMPARE(r.emu.written(), QByteArray());
    const int idle = r.pages->idleJetAdjust()->value();
    r.pages->formKeyDown(Qt::Key_F, true);
    QCOMPARE(r.pages->idleJetAdjust()->value(), idle - 10);
    QCOMPARE(r.emu.written(), bytes({0xF2, 2, 255 - (idle - 10)}));
}

void TestMapCharts::jetBoxErrors_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("error");
    QTest::newRow("letters") << "1a" << true;
    QTest::newRow("too large") << "300" << true;
    QTest::newRow("negative") << "-1" << true;
    QTest::newRow("empty") << "" << false;
}

void TestMapCharts::jetBoxErrors() {
    QFETCH(QString, text);
    QFETCH(bool, error);
    Rig r;
    r.showTab(r.fuelTab);
    const quint8 stored = r.s.image().setupByte(emu::model::OffIdleJet);
    const int position = r.pages->idleJetAdjust()->value();
    auto *box = r.tabs.findChild<QLineEdit *>(QStringLiteral("Edit32"));
    box->setText(text);
    QCOMPARE(r.emu.written(), QByteArray());
    QCOMPARE(r.s.image().setupByte(emu::model::OffIdleJet), stored);
    QCOMPARE(r.pages->idleJetAdjust()->value(), position);
    QCOMPARE(m_messages.size(), error ? 1 : 0);
    if (text == QLatin1String("1a"))
        QCOMPARE(m_messages.value(0), QStringLiteral("'1a' is not a valid integer value"));
    // A valid entry is sent and the bar follows without sending twice.
    box->setText(QStringLiteral("40"));
    QCOMPARE(r.emu.written(), bytes({0xF2, 2, 40}));
    QCOMPARE(r.pages->idleJetAdjust()->value(), 215);
}

void TestMapCharts::readSetsJetBars() {
    Rig r;
    editImage(r.s, [](EmuImage &image) {
        image.setSetupByte(emu::model::OffMainJet, 101);
        image.setSetupByte(emu::model::OffIdleJet, 0); // the value 255
    });
    ConnectionController::decodeTables(r.s);
    r.pages->readTables();
    QCOMPARE(r.pages->mainJetAdjust()->value(), 155);
    QCOMPARE(r.text("Edit28"), QStringLiteral("100"));
    QCOMPARE(r.pages->idleJetAdjust()->value(), 0);
    QCOMPARE(r.text("Edit32"), QStringLiteral("255"));
    // Editing is enabled: the changed bars send their jets.
    QVERIFY(r.emu.written().contains(bytes({0xF2, 3, 100})));
    QVERIFY(r.emu.written().contains(bytes({0xF2, 2, 255})));
}

void TestMapCharts::afterWriteRebuilds() {
    Rig r;
    r.hoverAt(MapPages::Timing, 20, 10);
    r.key(Qt::Key_Up);
    QCOMPARE(r.chart(MapPages::Timing)->series(0)->dataCount(), 1);
    r.hoverAt(MapPages::FuelVac, 0.5, 0);
    r.key(Qt::Key_Up);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(2)->dataCount(), 1);
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::FuelLow, 3, 12); });
    r.pages->afterWrite();
    QCOMPARE(r.chart(MapPages::Timing)->series(0)->dataCount(), 0);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(2)->dataCount(), 0);
    for (int i = 2; i <= 4; ++i)
        QCOMPARE(r.chart(MapPages::FuelRpm)->series(i)->dataCount(), 32);
    QCOMPARE(r.chart(MapPages::FuelRpm)->series(3)->data()->at(2)->value, 12.0);
}

void TestMapCharts::closeAllClearsAndDisables() {
    Rig r;
    r.hoverAt(MapPages::Timing, 20, 10);
    const double low5 = r.value(MapId::FuelLow, 5);
    r.emu.clearWritten();
    r.pages->closeAll();
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.chart(MapPages::Timing)->series(i)->dataCount(), 0);
        QCOMPARE(r.chart(MapPages::Vacuum)->series(i)->dataCount(), 0);
    }
    QCOMPARE(r.value(MapId::Timing, 20), 0.0);
    QCOMPARE(r.value(MapId::FuelCruise, 1), 0.0);
    QCOMPARE(r.value(MapId::FuelLow, 5), low5);
    QCOMPARE(r.text("Edit28"), QString());
    for (MapPages::Chart c :
         {MapPages::Timing, MapPages::Vacuum, MapPages::FuelVac, MapPages::FuelRpm})
        QVERIFY(!r.chart(c)->isEnabled());
    QVERIFY(r.chart(MapPages::Temp)->isEnabled());
    QCOMPARE(r.chart(MapPages::FuelRpm)->series(2)->dataCount(), 32); // stays drawn
    // The closed timing map no longer takes keys: nothing reaches the EMU.
    r.key(Qt::Key_Up);
    QCOMPARE(r.emu.written(), QByteArray());
    QCOMPARE(r.value(MapId::Timing, 20), 0.0);
}

void TestMapCharts::missingCapabilityStaysDisabled() {
    Rig r({true, true, false});
    for (MapPages::Chart c : {MapPages::FuelVac, MapPages::FuelRpm, MapPages::Temp,
                              MapPages::AirTemp, MapPages::Voltage}) {
        QVERIFY(!r.chart(c)->isEnabled());
        QCOMPARE(r.chart(c)->series(2)->dataCount(), 0);
    }
    QVERIFY(!r.pages->mainJetAdjust()->isEnabled());
    r.hoverAt(MapPages::Temp, 50, 0);
    QCOMPARE(r.pages->activeChart(), -1);
    r.showTab(r.fuelTab);
    r.pages->formKeyDown(Qt::Key_Q, true);
    QCOMPARE(r.emu.written(), QByteArray());
}

void TestMapCharts::hiddenChartRedrawnOnShow() {
    Rig r;
    r.showTab(r.timingTab);
    MapChart *temp = r.chart(MapPages::Temp);
    QVERIFY(!temp->isVisible());
    const int before = temp->redrawCount();
    editMaps(r.s, [](EmuMaps &m) { m.setValue(MapId::WaterTemp, 4, 9); });
    r.pages->rebuildCurve(MapId::WaterTemp);
    r.pages->rebuildCurve(MapId::WaterTemp);
    QCOMPARE(temp->redrawCount(), before);
    QVERIFY(temp->redrawPending());
    r.tabs.setCurrentWidget(r.corrTab);
    QCoreApplication::processEvents();
    QCOMPARE(temp->redrawCount(), before + 1);
    QVERIFY(!temp->redrawPending());
    // Two changes within one screen refresh: one immediate redraw, the second on the next frame.
    MapChart *timing = r.chart(MapPages::Timing);
    r.showTab(r.timingTab);
    QTest::qWait(timing->frameIntervalMs() + 5);
    const int t0 = timing->redrawCount();
    r.pages->rebuildCurve(MapId::Timing);
    QCOMPARE(timing->redrawCount(), t0 + 1);
    r.pages->rebuildCurve(MapId::Timing);
    r.pages->rebuildCurve(MapId::Timing);
    QCOMPARE(timing->redrawCount(), t0 + 1);
    QTRY_COMPARE(timing->redrawCount(), t0 + 2);
}

void TestMapCharts::liveMarkersAndArrows() {
    Rig r;
    LiveValues v;
    v.rpm = 25;
    v.vacuum = 0.62;
    v.battery = 126;
    v.waterTemp = 80;
    r.pages->updateLiveMarkers(v);
    QCOMPARE(r.chart(MapPages::Timing)->series(1)->data()->at(0)->key, 25.0);
    QCOMPARE(r.chart(MapPages::Timing)->series(1)->data()->at(0)->value, 45.0);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(3)->data()->at(0)->key, 0.62);
    QCOMPARE(r.chart(MapPages::Voltage)->series(1)->data()->at(0)->key, 12.6);
    QCOMPARE(r.chart(MapPages::Temp)->series(1)->data()->at(0)->key, 80.0);
    r.s.setSetupValue(emu::model::OffLowThrottleVacuum, 25);
    r.s.setSetupValue(emu::model::OffHighThrottleVacuum, 75);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(0)->data()->at(0)->key, 0.25);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(1)->data()->at(0)->key, 0.75);
    QCOMPARE(r.chart(MapPages::FuelVac)->series(0)->dataCount(), 1);
}

namespace {
// The colour the chart shows at an axis position (the bars are drawn on the overlay child).
QColor shownAt(MapChart *c, double x, double y) {
    const QImage img = c->grab().toImage();
    return img.pixelColor(qRound(c->xAxis->coordToPixel(x)), qRound(c->yAxis->coordToPixel(y)));
}
} // namespace

void TestMapCharts::chartsPaintEveryPixel() {
    // A chart paints as an opaque widget: a pixel it leaves, or paints only in part, shows
    // whatever was there before. Rendered over two different grounds, every pixel must agree.
    Rig r;
    for (QWidget *tab : {r.timingTab, r.fuelTab, r.corrTab}) {
        r.showTab(tab);
        for (MapChart *chart : tab->findChildren<MapChart *>()) {
            QTRY_VERIFY(chart->paintCount() > 0);
            QImage over[2];
            for (int i = 0; i < 2; ++i) {
                over[i] = QImage(chart->size(), QImage::Format_RGB32);
                over[i].fill(i ? Qt::green : Qt::magenta);
                chart->render(&over[i]);
            }
            int left = 0;
            for (int y = 0; y < chart->height(); ++y)
                for (int x = 0; x < chart->width(); ++x)
                    left += over[0].pixel(x, y) != over[1].pixel(x, y);
            QVERIFY2(left == 0, qPrintable(QStringLiteral("%1: %2 pixels not painted over")
                                               .arg(chart->objectName())
                                               .arg(left)));
        }
    }
}

void TestMapCharts::liveMarkerRepaintsStripsOnly() {
    Rig r;
    r.showTab(r.timingTab);
    MapChart *timing = r.chart(MapPages::Timing);
    MapChart *temp = r.chart(MapPages::Temp);
    QTRY_VERIFY(timing->paintCount() > 0);
    QTest::qWait(timing->frameIntervalMs() + 5);
    const int paints = timing->paintCount();
    const int full = timing->fullPaintCount();
    const int redraws = timing->redrawCount();
    const int tempPaints = temp->paintCount();
    for (double rpm : {10.0, 20.0, 30.0, 40.0}) {
        LiveValues v;
        v.rpm = rpm;
        r.pages->updateLiveMarkers(v);
        QTRY_VERIFY(timing->paintCount() > paints);
    }
    QTest::qWait(timing->frameIntervalMs() + 5);
    // The plot copies the strips under the moved bar, but never the whole plot, and draws
    // nothing again; a hidden chart does not paint at all.
    QCOMPARE(timing->fullPaintCount(), full);
    QCOMPARE(timing->redrawCount(), redraws);
    QCOMPARE(temp->paintCount(), tempPaints);
    QCOMPARE(timing->series(1)->data()->at(0)->key, 40.0);
    QCOMPARE(shownAt(timing, 40, 5), QColor(128, 128, 255));
    QVERIFY(shownAt(timing, 30, 5) != QColor(128, 128, 255));
    // A bar that only changes its height is painted again too; the same bar again is not.
    int before = timing->paintCount();
    timing->setBar(1, 40, 10);
    QTRY_VERIFY(timing->paintCount() > before);
    QVERIFY(shownAt(timing, 40, 20) != QColor(128, 128, 255));
    timing->setBar(1, 40, 45);
    QCOMPARE(shownAt(timing, 40, 20), QColor(128, 128, 255));
    QTest::qWait(timing->frameIntervalMs() + 5);
    before = timing->paintCount();
    timing->setBar(1, 40, 45);
    QTest::qWait(timing->frameIntervalMs() + 5);
    QCOMPARE(timing->paintCount(), before);
    // Exports (printing) draw the marker with the plot.
    const QImage exported = timing->toPixmap().toImage();
    const int y = qRound(timing->yAxis->coordToPixel(5));
    QCOMPARE(exported.pixelColor(qRound(timing->xAxis->coordToPixel(40)), y),
             QColor(128, 128, 255));
    QVERIFY(exported.pixelColor(qRound(timing->xAxis->coordToPixel(30)), y) !=
            QColor(128, 128, 255));
    // The hidden chart's marker shows where it stands when its tab is shown.
    LiveValues v;
    v.waterTemp = 60;
    r.pages->updateLiveMarkers(v);
    QCOMPARE(temp->paintCount(), tempPaints);
    r.showTab(r.corrTab);
    QCOMPARE(shownAt(temp, 60, 5), QColor(255, 255, 102));
}

void TestMapCharts::barOverlayFollowsReplot() {
    Rig r;
    r.showTab(r.timingTab);
    MapChart *timing = r.chart(MapPages::Timing);
    LiveValues v;
    v.rpm = 30;
    r.pages->updateLiveMarkers(v);
    QCOMPARE(timing->barOverlay()->geometry(), timing->axisRect()->rect());
    QCOMPARE(shownAt(timing, 30, 5), QColor(128, 128, 255));
    // A new axis range moves the bar with it; so does a new size.
    const double hi = timing->xAxis->range().upper;
    timing->setBottomMaximum(hi * 2);
    QTRY_VERIFY(!timing->redrawPending());
    QCOMPARE(shownAt(timing, 30, 5), QColor(128, 128, 255));
    r.tabs.resize(900, 700);
    QTRY_COMPARE(timing->barOverlay()->geometry(), timing->axisRect()->rect());
    QCOMPARE(shownAt(timing, 30, 5), QColor(128, 128, 255));
    // The overlay lets the mouse through to the chart, over the marker too; the key cursor is
    // drawn on the overlay as well.
    r.hoverAt(MapPages::Timing, 30, 10);
    QCOMPARE(r.pages->activeChart(), int(MapPages::Timing));
    QCOMPARE(r.pages->selection(MapPages::Timing), 30.0);
    r.key(Qt::Key_Right);
    QCOMPARE(timing->series(0)->dataCount(), 1);
    const double cursor = timing->series(0)->data()->at(0)->key;
    QTRY_COMPARE(shownAt(timing, cursor, 5), QColor(0, 193, 97));
}

void TestMapCharts::regionChoosesVariant() {
    Rig r;
    auto *low = r.tabs.findChild<QRadioButton *>(QStringLiteral("RadioLow"));
    auto *cruise = r.tabs.findChild<QRadioButton *>(QStringLiteral("RadioCruise"));
    r.pages->showRegion(int(FuelRegion::Low));
    QVERIFY(low->isChecked());
    QVERIFY(low->font().bold());
    QVERIFY(!cruise->font().bold());
    QCOMPARE(low->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QCOMPARE(r.s.fuelVariant(), FuelVariant::Low);
    r.pages->showRegion(int(FuelRegion::None));
    QCOMPARE(r.s.fuelVariant(), FuelVariant::Low);
    // Keys on the fuel RPM chart edit the chosen variant.
    r.hoverAt(MapPages::FuelRpm, 35, 0);
    r.emu.clearWritten();
    const double v = r.value(MapId::FuelLow, 16);
    r.key(Qt::Key_Down);
    QCOMPARE(r.value(MapId::FuelLow, 16), v - 1);
    QCOMPARE(r.emu.written(), bytes({0xCA, 15, int(v) - 1 + 100}));
}

QTEST_MAIN(TestMapCharts)
#include "tst_mapcharts.moc"
