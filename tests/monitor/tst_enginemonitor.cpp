// The "Engine Monitor" page: the seven gauges as the tuner sees them, fed by the live poll.
#include "MonitorRig.h"
#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"
#include "support/SessionState.h"
#include "widgets/A3nalogGauge.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>

using G = TA3nalogGauge;

class TestEngineMonitor : public QObject {
    Q_OBJECT
private slots:
    void gaugeSetup_data();
    void gaugeSetup();
    void commonLook();
    void layout();
    void eventLogger();
    void positionsFromTheEmu_data();
    void positionsFromTheEmu();
    void vacuumErrStillMovesTheGauge();
    void rescale_data();
    void rescale();
    void hiddenPageKeepsValuesAndPaintsWhenShown();
};

void TestEngineMonitor::gaugeSetup_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("indMin");
    QTest::addColumn<int>("indMax");
    QTest::addColumn<int>("angle");
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QColor>("minColor");
    QTest::addColumn<QColor>("midColor");
    QTest::addColumn<QColor>("maxColor");
    QTest::addColumn<int>("marks");
    const QColor green(0, 128, 0), yellow(255, 255, 0), red(255, 0, 0), blue(0, 0, 255),
        lime(0, 255, 0);
    const int mn = G::ShowIndicatorMin, md = G::ShowIndicatorMid, mx = G::ShowIndicatorMax;
    QTest::newRow("rpm") << "RPMGauge"
                         << "RPM x 100" << 70 << 1 << 60 << 270 << int(G::CenterStyle) << 7 << green
                         << yellow << red << mx;
    QTest::newRow("vacuum") << "VacuumGauge"
                            << "kPa x10" << 10 << 1 << 1 << 120 << int(G::CenterStyle) << 7 << green
                            << yellow << red << 0;
    QTest::newRow("timing") << "AnalogTiming"
                            << "Degrees" << 45 << 10 << 35 << 45 << int(G::RightStyle) << 5
                            << yellow << yellow << red << (mn | mx);
    QTest::newRow("temp") << "TempGauge" << QString::fromUtf8("\u00baC") << 140 << 40 << 95 << 120
                          << int(G::CenterStyle) << 7 << blue << blue << red << (mn | mx);
    QTest::newRow("volt") << "VoltGauge"
                          << "V" << 16 << 11 << 13 << 120 << int(G::CenterStyle) << 4 << yellow
                          << green << red << (mn | md | mx);
    QTest::newRow("lambda") << "LambdaGauge"
                            << "Air/Fuel Ratio" << 17 << 12 << 16 << 270 << int(G::CenterStyle) << 7
                            << red << lime << blue << (mn | md | mx);
    QTest::newRow("injector") << "InjectorGauge"
                              << "% Inj" << 100 << 20 << 80 << 120 << int(G::CenterStyle) << 5
                              << yellow << yellow << red << (mn | mx);
}

void TestEngineMonitor::gaugeSetup() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, scale);
    QFETCH(int, indMin);
    QFETCH(int, indMax);
    QFETCH(int, angle);
    QFETCH(int, style);
    QFETCH(int, ticks);
    QFETCH(QColor, minColor);
    QFETCH(QColor, midColor);
    QFETCH(QColor, maxColor);
    QFETCH(int, marks);
    EngineMonitorPage page;
    auto *g = page.findChild<G *>(name);
    QVERIFY(g);
    QCOMPARE(g->caption(), caption);
    QCOMPARE(g->accessibleName(), caption);
    QCOMPARE(g->scale(), scale);
    QCOMPARE(g->indMinimum(), indMin);
    QCOMPARE(g->indMaximum(), indMax);
    QCOMPARE(g->angle(), angle);
    QCOMPARE(int(g->style()), style);
    QCOMPARE(g->numberMainTicks(), ticks);
    QCOMPARE(g->minColor(), minColor);
    QCOMPARE(g->midColor(), midColor);
    QCOMPARE(g->maxColor(), maxColor);
    const int indicators = G::ShowIndicatorMin | G::ShowIndicatorMid | G::ShowIndicatorMax;
    QCOMPARE(int(g->faceOptions()) & indicators, marks);
}

void TestEngineMonitor::commonLook() {
    EngineMonitorPage page;
    const G::FaceOptions always(G::ShowMainTicks | G::ShowSubTicks | G::ShowValues | G::ShowCenter |
                                G::ShowFrame | G::ShowCaption);
    for (G *g : page.findChildren<G *>()) {
        QVERIFY((g->faceOptions() & always) == always);
        QVERIFY(!(g->faceOptions() & (G::ShowMargin | G::ShowCircles | G::Show3D)));
        QCOMPARE(g->lengthMainTicks(), 15);
        QCOMPARE(g->lengthSubTicks(), 8);
        QCOMPARE(g->centerRadius(), 8);
        QCOMPARE(g->circleRadius(), 3);
        QCOMPARE(g->circleColor(), QColor(0, 0, 255));
        QCOMPARE(g->margin(), g == page.AnalogTiming ? 17 : 10);
        QCOMPARE(g->antiAliased(), G::aaNone);
        if (g == page.RPMGauge) {
            QCOMPARE(g->faceColor(), QColor(Qt::white));
            QCOMPARE(g->arrowColor(), QColor(255, 128, 0));
            QCOMPARE(g->centerColor(), QColor(255, 128, 0));
            QCOMPARE(g->arrowWidth(), 2);
        } else {
            QVERIFY(g->faceColor() != QColor(Qt::white));
            QCOMPARE(g->arrowColor(), QColor(Qt::black));
            QCOMPARE(g->centerColor(), QColor(128, 128, 128));
            QCOMPARE(g->arrowWidth(), 1);
        }
    }
    QCOMPARE(page.findChildren<G *>().size(), 7);
}

void TestEngineMonitor::layout() {
    EngineMonitorPage page;
    page.resize(1000, 640);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const auto box = [](QWidget *w) { return QRect(w->pos(), w->size()); };
    const QRect rpm = box(page.RPMGauge);
    for (G *g : {page.AnalogTiming, page.LambdaGauge, page.InjectorGauge})
        QVERIFY2(box(g).right() < rpm.left(), qPrintable(g->objectName()));
    for (G *g : {page.VacuumGauge, page.VoltGauge, page.TempGauge})
        QVERIFY2(box(g).left() > rpm.right(), qPrintable(g->objectName()));
    QVERIFY(page.AnalogTiming->y() < page.LambdaGauge->y());
    QVERIFY(page.LambdaGauge->y() < page.InjectorGauge->y());
    QVERIFY(page.VacuumGauge->y() < page.VoltGauge->y());
    QVERIFY(page.VoltGauge->y() < page.TempGauge->y());
    QVERIFY(rpm.width() > page.VacuumGauge->width() && rpm.height() > page.VacuumGauge->height());
    QVERIFY(page.EventLoggerLabel->y() > rpm.bottom());
    QVERIFY(page.EventLog->y() > page.EventLoggerLabel->y());

    // The full-circle dials stay inside their controls at any page size: no tick or number is
    // cut off at the top or the sides.
    for (QSize sz : {QSize(1000, 640), QSize(1390, 760), QSize(1600, 700), QSize(900, 900)}) {
        page.resize(sz);
        QApplication::processEvents();
        for (G *g : page.findChildren<G *>()) {
            const G::Geometry geo = g->geometry();
            if (geo.sweep < 180) continue;
            const QString where =
                QString("%1 on %2x%3").arg(g->objectName()).arg(sz.width()).arg(sz.height());
            QVERIFY2(geo.centre.y() - geo.radius >= 1, qPrintable(where));
            QVERIFY2(geo.centre.x() - geo.radius >= 1, qPrintable(where));
            QVERIFY2(geo.centre.x() + geo.radius <= g->width() - 1, qPrintable(where));
        }
        QVERIFY(page.RPMGauge->height() > page.VacuumGauge->height());
    }
}

void TestEngineMonitor::eventLogger() {
    EngineMonitorPage page;
    QCOMPARE(page.EventLoggerLabel->text(), QStringLiteral("Event Logger"));
    QCOMPARE(page.EventLog->toPlainText(), QStringLiteral("Inactive"));
    QVERIFY(page.EventLog->isReadOnly());
    QVERIFY(page.EventLog->font().italic());
    QCOMPARE(page.EventLog->palette().color(QPalette::Text), QColor(128, 128, 128));
    QCOMPARE(page.EventLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void TestEngineMonitor::positionsFromTheEmu_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("gauge");
    QTest::addColumn<double>("position");
    const auto f = [](int rpm, int vac, int lambda, int water, int battery, int inj) {
        return liveFrame(rpm, vac, 40, lambda, water, 25, 129, battery, inj);
    };
    QTest::newRow("rpm") << f(25, 129, 50, 80, 130, 35) << "RPMGauge" << 25.0;
    QTest::newRow("vacuum x 10") << f(25, 128, 50, 80, 130, 35) << "VacuumGauge" << 5.0;
    QTest::newRow("timing rounded") << f(25, 128, 50, 80, 130, 35) << "AnalogTiming" << 18.0;
    QTest::newRow("water") << f(25, 128, 50, 91, 130, 35) << "TempGauge" << 91.0;
    QTest::newRow("battery 126 -> 12.6") << f(25, 128, 50, 80, 126, 35) << "VoltGauge" << 12.6;
    QTest::newRow("lambda unconverted") << f(25, 128, 45, 80, 130, 35) << "LambdaGauge" << 45.0;
    // 3000 RPM, 6.0 ms: 15 %.
    QTest::newRow("injector duty") << f(30, 128, 45, 80, 130, 60) << "InjectorGauge" << 15.0;
}

void TestEngineMonitor::positionsFromTheEmu() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, gauge);
    QFETCH(double, position);
    MonitorRig rig;
    editMaps(rig.session, [](EmuMaps &m) {
        for (int p = 1; p <= 70; ++p)
            m.setValue(MapId::Timing, p, 18);
        for (int p = 1; p <= 32; ++p)
            m.setValue(MapId::VacuumTiming, p, 0);
    });
    EngineMonitorPage page;
    LivePoll poll(rig.session);
    subscribeLiveDisplays(poll, {{}, {}, &page});
    rig.emu.pinLiveFrame(frame);
    poll.tick();
    auto *g = page.findChild<G *>(gauge);
    QVERIFY(g);
    QCOMPARE(g->position(), float(position));
}

void TestEngineMonitor::vacuumErrStillMovesTheGauge() {
    MonitorRig rig;
    MapAxes axes = rig.session.axes();
    axes.mapSensorRange = 40;
    rig.session.setAxes(axes);
    EngineMonitorPage page;
    page.rescale(7000, 40);
    TRT rt1, rt2, rt3, rt4;
    LivePoll poll(rig.session);
    subscribeLiveDisplays(poll, {{&rt1, &rt2, &rt3, &rt4}, {}, &page});
    rig.emu.pinLiveFrame(liveFrame(30, 225, 40, 50, 80, 25, 129, 130, 35)); // 3.51 bar
    poll.tick();
    for (TRT *rt : {&rt1, &rt2, &rt3, &rt4})
        QCOMPARE(rt->Label51->text(), QStringLiteral("Err"));
    QCOMPARE(page.VacuumGauge->position(), 35.1f);
}

void TestEngineMonitor::rescale_data() {
    QTest::addColumn<double>("rpmRange");
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("indMax");
    QTest::addColumn<int>("ticks");
    QTest::newRow("7000") << 7000.0 << 10 << 70 << 60 << 7;
    QTest::newRow("9000, 2 bar") << 9000.0 << 20 << 90 << 80 << 9;
    QTest::newRow("4500: halves to even") << 4500.0 << 30 << 45 << 35 << 4;
    QTest::newRow("12500") << 12500.0 << 25 << 125 << 115 << 12;
}

void TestEngineMonitor::rescale() {
    QFETCH(double, rpmRange);
    QFETCH(int, sensorRange);
    QFETCH(int, scale);
    QFETCH(int, indMax);
    QFETCH(int, ticks);
    EngineMonitorPage page;
    page.rescale(rpmRange, sensorRange);
    QCOMPARE(page.RPMGauge->scale(), scale);
    QCOMPARE(page.RPMGauge->indMaximum(), indMax);
    QCOMPARE(page.RPMGauge->numberMainTicks(), ticks);
    QCOMPARE(page.VacuumGauge->scale(), sensorRange);
}

void TestEngineMonitor::hiddenPageKeepsValuesAndPaintsWhenShown() {
    MonitorRig rig;
    EngineMonitorPage page;
    page.resize(1000, 640);
    LivePoll poll(rig.session);
    subscribeLiveDisplays(poll, {{}, {}, &page});
    rig.emu.pinLiveFrame(liveFrame(42, 129, 40, 50, 80, 25, 129, 130, 35));
    for (int i = 0; i < 5; ++i)
        poll.tick();
    QCoreApplication::processEvents();
    QCOMPARE(page.RPMGauge->needleRenders(), 0); // nothing drawn while hidden
    QCOMPARE(page.RPMGauge->position(), 42.0f);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_VERIFY(page.RPMGauge->needleRenders() >= 1);
    const QPointF tip = page.RPMGauge->needleEnd();
    const QImage shown = page.RPMGauge->grab().toImage();
    // The needle's colour is on screen near its tip.
    bool orange = false;
    for (int dx = -3; dx <= 3 && !orange; ++dx)
        for (int dy = -3; dy <= 3 && !orange; ++dy) {
            const QPoint p = tip.toPoint() + QPoint(dx, dy);
            if (shown.rect().contains(p) && shown.pixelColor(p) == QColor(255, 128, 0))
                orange = true;
        }
    QVERIFY(orange);
}

QTEST_MAIN(TestEngineMonitor)
#include "tst_enginemonitor.moc"
