// The timing analysis window: grid contents, the wireframe data and its drawing, the failure of
// "View 3D" before any analysis.
#include "connection/Session.h"
#include "dialogs/TimingAnalysis.h"
#include "link/Clock.h"
#include "support/SessionState.h"
#include "widgets/Messages.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

namespace {

// Pixels of the wireframe's colours (red lines, green axes) in a grab of the chart.
int wirePixels(QWidget *w) {
    const QImage img = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if ((r > 120 && g < 60 && b < 60) || (g > 60 && r < 40 && b < 40)) ++n;
        }
    }
    return n;
}

void saveShot(QWidget *w, const QString &name) {
    const QString dir = qEnvironmentVariable("EMU_SCREENSHOT_DIR");
    if (!dir.isEmpty()) w->grab().save(QDir(dir).filePath(name));
}

} // namespace

class TstTimingAnalysis : public QObject {
    Q_OBJECT
private:
    FakeClock clock;
    std::unique_ptr<Session> s;
    QStringList messages;

    // N = 70, timing point 10 at 20 degrees, vacuum timing point 5 at -3 degrees.
    void exampleMaps() {
        s = std::make_unique<Session>(clock);
        setTimingPoints(70);
        editMaps(*s, [](EmuMaps &m) {
            for (int k = 1; k <= 100; ++k)
                m.setValue(MapId::Timing, k, 0);
            for (int i = 1; i <= 32; ++i)
                m.setValue(MapId::VacuumTiming, i, 0);
            m.setValue(MapId::Timing, 10, 20);
            m.setValue(MapId::VacuumTiming, 5, -3);
        });
    }
    void setTimingPoints(int n) {
        MapAxes axes = s->axes();
        axes.timingPoints = n;
        s->setAxes(axes);
    }

private slots:
    void init() {
        messages.clear();
        Messages::setHandler([this](const QString &t, Messages::Kind) { messages << t; });
        exampleMaps();
    }
    void cleanup() { Messages::setHandler(nullptr); }

    void gridCells_data() {
        QTest::addColumn<int>("c");
        QTest::addColumn<int>("r");
        QTest::addColumn<QString>("text");
        QTest::newRow("sum of point 10 and vacuum 5") << 11 << 6 << "17";
        QTest::newRow("timing value of point 10") << 11 << 1 << "20";
        QTest::newRow("vacuum value of point 5") << 1 << 6 << "-3";
        QTest::newRow("sum with vacuum 0") << 11 << 2 << "20";
        QTest::newRow("sum with timing 0") << 2 << 6 << "-3";
        QTest::newRow("sum of zeros") << 2 << 2 << "0";
        QTest::newRow("row heading 6") << 0 << 6 << "-0.5";
        QTest::newRow("row heading 2") << 0 << 2 << "-0.9";
        QTest::newRow("row heading 11") << 0 << 11 << "0";
        QTest::newRow("row heading 12") << 0 << 12 << "0.1";
        QTest::newRow("row heading 33") << 0 << 33 << "2.2";
        QTest::newRow("RPM caption") << 1 << 0 << "RPM";
        QTest::newRow("Bar caption") << 0 << 1 << "Bar";
        QTest::newRow("first speed heading") << 2 << 0 << "1";
        QTest::newRow("last speed heading") << 71 << 0 << "70";
        QTest::newRow("beyond N") << 72 << 0 << "";
        QTest::newRow("last sum") << 71 << 33 << "0";
        QTest::newRow("corner") << 0 << 0 << "";
    }
    void gridCells() {
        QFETCH(int, c);
        QFETCH(int, r);
        QFETCH(QString, text);
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        QCOMPARE(ta.cell(c, r), text);
        QCOMPARE(ta.analysedPoints(), 70);
        QVERIFY(messages.isEmpty());
    }

    void gridShape() {
        TTimingAnalysis ta;
        QCOMPARE(ta.windowTitle(), QString("Timing Analysis"));
        QCOMPARE(ta.TimingGrid->columnCount(), 102);
        QCOMPARE(ta.TimingGrid->rowCount(), 34);
        QCOMPARE(ta.TimingGrid->columnWidth(5), 30);
        QCOMPARE(ta.TimingGrid->rowHeight(5), 20);
        QCOMPARE(ta.Button1->text(), QString("View 3D"));
        QCOMPARE(ta.Button2->text(), QString("Exit"));
        QCOMPARE(ta.TimingDChart->objectName(), QString("TimingDChart"));
    }

    void fixedColour_data() {
        QTest::addColumn<int>("c");
        QTest::addColumn<int>("r");
        QTest::addColumn<bool>("fixed");
        QTest::newRow("heading column") << 0 << 20 << true;
        QTest::newRow("vacuum column") << 1 << 20 << true;
        QTest::newRow("heading row") << 40 << 0 << true;
        QTest::newRow("timing row") << 40 << 1 << true;
        QTest::newRow("sum") << 2 << 2 << false;
        QTest::newRow("far sum") << 101 << 33 << false;
    }
    void fixedColour() {
        QFETCH(int, c);
        QFETCH(int, r);
        QFETCH(bool, fixed);
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        const QBrush bg = ta.TimingGrid->item(r, c)->background();
        QCOMPARE(bg.style() != Qt::NoBrush && bg.color() == QColor(166, 202, 240), fixed);
    }

    // A second analysis with fewer points leaves no sums of points the map no longer has.
    void fewerPointsClearsOldColumns() {
        TTimingAnalysis ta;
        setTimingPoints(100);
        ta.fillGrid(*s);
        QCOMPARE(ta.cell(101, 0), QString("100"));
        QCOMPARE(ta.cell(101, 5), QString("0"));
        setTimingPoints(50);
        ta.fillGrid(*s);
        QCOMPARE(ta.cell(51, 0), QString("50"));
        QCOMPARE(ta.cell(52, 0), QString());
        QCOMPARE(ta.cell(101, 5), QString());
    }

    // The grid keeps the maps of the analysis: a later change shows only after "Analyse Maps".
    void gridKeepsLastAnalysis() {
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::Timing, 10, 30); });
        QCOMPARE(ta.cell(11, 6), QString("17"));
        ta.fillGrid(*s);
        QCOMPARE(ta.cell(11, 6), QString("27"));
    }

    void wireframeHeight_data() {
        QTest::addColumn<int>("timing");
        QTest::addColumn<int>("vacuum");
        QTest::addColumn<double>("y");
        QTest::newRow("0 degrees on the base line") << 0 << 0 << 500.0;
        QTest::newRow("40 degrees") << 40 << 0 << 300.0;
        QTest::newRow("30 + 10 degrees") << 30 << 10 << 300.0;
        QTest::newRow("below zero") << 0 << -4 << 520.0;
    }
    void wireframeHeight() {
        QFETCH(int, timing);
        QFETCH(int, vacuum);
        QFETCH(double, y);
        // Point k = 3 of vacuum row i = 4.
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::Timing, 3, timing); });
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::VacuumTiming, 4, vacuum); });
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        TimingCanvas3D::Wireframe w;
        QString error;
        QVERIFY(ta.buildWireframe(&w, &error));
        // Three axes, 32 speed lines, N vacuum lines.
        QCOMPARE(w.lines.size(), 3 + 32 + 70);
        const QVector3D speedLinePoint = w.lines[3 + 3].points[3]; // row 4, point 3
        QCOMPARE(speedLinePoint, QVector3D(16, y, 60));
        const QVector3D vacuumLinePoint = w.lines[3 + 32 + 2].points[4]; // point 3, row 4
        QCOMPARE(vacuumLinePoint, QVector3D(16, y, 60));
    }

    void wireframeShape() {
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::Timing, 1, 12); });
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::VacuumTiming, 1, 3); });
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        TimingCanvas3D::Wireframe w;
        QString error;
        QVERIFY(ta.buildWireframe(&w, &error));
        const double c11 = 500 - 5 * 15;
        // Axes in green: RPM axis, up to C(1,1), vacuum axis.
        QCOMPARE(w.lines[0].color, QColor(0, 128, 0));
        QCOMPARE(w.lines[0].points, (QVector<QVector3D>{{0, 500, 0}, {800, 500, 0}}));
        QCOMPARE(w.lines[1].points, (QVector<QVector3D>{{0, 500, 0}, {0, float(c11), 0}}));
        QCOMPARE(w.lines[2].points, (QVector<QVector3D>{{0, 500, 0}, {0, 500, 640}}));
        // The first speed line starts at C(1,1), the next ones on the base line.
        QCOMPARE(w.lines[3].color, QColor(255, 0, 0));
        QCOMPARE(w.lines[3].points.first(), QVector3D(0, c11, 0));
        QCOMPARE(w.lines[3].points.size(), 71);
        QCOMPARE(w.lines[4].points.first(), QVector3D(0, 500, 20));
        QCOMPARE(w.lines[4].points.last(), QVector3D(8 * 69, 500, 20));
        // Vacuum lines: from C(1,1), then from the base line at the next speed point.
        QCOMPARE(w.lines[35].points.first(), QVector3D(0, c11, 0));
        QCOMPARE(w.lines[35].points.size(), 33);
        QCOMPARE(w.lines[36].points.first(), QVector3D(8, 500, 0));
        QCOMPARE(w.lines[36].points.last(), QVector3D(8, 500, 620));
        // Labels.
        QCOMPARE(w.labels.size(), 2);
        QCOMPARE(w.labels[0].text, QString("RPM"));
        QCOMPARE(w.labels[0].at, QVector3D(200, 510, 0));
        QCOMPARE(w.labels[0].angle, 15.0);
        QCOMPARE(w.labels[1].text, QString("VACUUM"));
        QCOMPARE(w.labels[1].at, QVector3D(0, 510, 250));
        QCOMPARE(w.labels[1].angle, -32.0);
    }

    void view3DBeforeAnalysis() {
        TTimingAnalysis ta;
        ta.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ta));
        QTest::mouseClick(ta.Button1, Qt::LeftButton);
        QCOMPARE(messages, QStringList{"'' is not a valid integer value"});
        QVERIFY(ta.TimingDChart->wireframe().isEmpty());
        QCOMPARE(wirePixels(ta.TimingDChart), 0);
    }

    void view3DDrawsAndSurvivesRepaint() {
        TTimingAnalysis ta;
        ta.analyse(*s);
        QVERIFY(ta.isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&ta));
        QCOMPARE(wirePixels(ta.TimingDChart), 0);
        QTest::mouseClick(ta.Button1, Qt::LeftButton);
        QVERIFY(messages.isEmpty());
        saveShot(&ta, "timing_analysis.png");
        QCOMPARE(ta.TimingDChart->view().rotation, 40.0);
        QCOMPARE(ta.TimingDChart->view().zoom, 54.0);
        const int drawn = wirePixels(ta.TimingDChart);
        QVERIFY2(drawn > 500, qPrintable(QString::number(drawn)));
        // Every projected point of the wireframe lies on the chart.
        const QRect area = ta.TimingDChart->rect();
        for (const auto &line : ta.TimingDChart->wireframe().lines)
            for (const QVector3D &p : line.points)
                QVERIFY(area.contains(ta.TimingDChart->project(p).toPoint()));
        // A second repaint draws it again.
        QCOMPARE(wirePixels(ta.TimingDChart), drawn);
    }

    void dragTurnsTheWireframe() {
        TTimingAnalysis ta;
        ta.analyse(*s);
        QVERIFY(QTest::qWaitForWindowExposed(&ta));
        QTest::mouseClick(ta.Button1, Qt::LeftButton);
        const QPointF before = ta.TimingDChart->project(QVector3D(800, 500, 0));
        QWidget *chart = ta.TimingDChart;
        const QPoint from = chart->rect().center();
        QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(chart, from + QPoint(30, 0));
        QTest::mouseMove(chart, from + QPoint(60, 20));
        QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, from + QPoint(60, 20));
        QCOMPARE(ta.TimingDChart->view().rotation, 10.0);
        QCOMPARE(ta.TimingDChart->view().elevation, 330.0);
        QVERIFY(ta.TimingDChart->project(QVector3D(800, 500, 0)) != before);
        QVERIFY(wirePixels(ta.TimingDChart) > 500);
        // Double-click returns to the view of "View 3D".
        QTest::mouseDClick(chart, Qt::LeftButton, Qt::NoModifier, from);
        QCOMPARE(ta.TimingDChart->view().rotation, 40.0);
    }

    // View 3D reads the grid of the last analysis, not the maps.
    void view3DReadsTheGrid() {
        TTimingAnalysis ta;
        ta.fillGrid(*s);
        editMaps(*s, [&](EmuMaps &m) { m.setValue(MapId::Timing, 1, 40); });
        setTimingPoints(90);
        QTest::mouseClick(ta.Button1, Qt::LeftButton);
        QVERIFY(messages.isEmpty());
        const auto &w = ta.TimingDChart->wireframe();
        QCOMPARE(w.lines.size(), 3 + 32 + 70);
        QCOMPARE(w.lines[1].points.last(), QVector3D(0, 500, 0));
    }

    void exitCloses() {
        TTimingAnalysis ta;
        ta.analyse(*s);
        QVERIFY(ta.isVisible());
        QTest::mouseClick(ta.Button2, Qt::LeftButton);
        QVERIFY(!ta.isVisible());
    }

    // The two heading rows and columns stay in place while the grid scrolls.
    void headingsFollowScrolling() {
        TTimingAnalysis ta;
        ta.analyse(*s);
        QVERIFY(QTest::qWaitForWindowExposed(&ta));
        auto *top = ta.TimingGrid->findChild<QTableView *>("TimingGridSpeedHeadings");
        auto *left = ta.TimingGrid->findChild<QTableView *>("TimingGridVacuumHeadings");
        QVERIFY(top && left);
        QVERIFY(top->isVisible() && left->isVisible());
        QCOMPARE(top->height(), 40);
        QCOMPARE(left->width(), 60);
        QScrollBar *h = ta.TimingGrid->horizontalScrollBar();
        QScrollBar *v = ta.TimingGrid->verticalScrollBar();
        h->setValue(h->maximum());
        v->setValue(v->maximum());
        QVERIFY(h->value() > 0);
        QCOMPARE(top->horizontalScrollBar()->value(), h->value());
        QCOMPARE(left->verticalScrollBar()->value(), v->value());
        QCOMPARE(top->verticalScrollBar()->value(), 0);
        QCOMPARE(left->horizontalScrollBar()->value(), 0);
        // The visible heading over the last column is its speed.
        const QModelIndex idx = top->indexAt(QPoint(top->width() - 5, 5));
        QCOMPARE(idx.row(), 0);
        QCOMPARE(idx.column(), 101);
    }

    // A tuned engine's maps, to look at the window.
    void screenshotRealisticMaps() {
        if (qEnvironmentVariableIsEmpty("EMU_SCREENSHOT_DIR")) QSKIP("EMU_SCREENSHOT_DIR not set");
        editMaps(*s, [](EmuMaps &m) {
            for (int k = 1; k <= 70; ++k)
                m.setValue(MapId::Timing, k, std::min(8 + k / 2, 34));
            for (int i = 1; i <= 32; ++i)
                m.setValue(MapId::VacuumTiming, i, i <= 10 ? (10 - i) / 2 : -(i - 10) / 2);
        });
        TTimingAnalysis ta;
        ta.analyse(*s);
        QVERIFY(QTest::qWaitForWindowExposed(&ta));
        QTest::mouseClick(ta.Button1, Qt::LeftButton);
        const QRect area = ta.TimingDChart->rect();
        for (const auto &line : ta.TimingDChart->wireframe().lines)
            for (const QVector3D &p : line.points)
                QVERIFY(area.contains(ta.TimingDChart->project(p).toPoint()));
        saveShot(&ta, "timing_analysis_tuned.png");
    }

    void analysisAvailable_data() {
        QTest::addColumn<bool>("timing");
        QTest::addColumn<bool>("vacuum");
        QTest::addColumn<bool>("available");
        QTest::newRow("both maps") << true << true << true;
        QTest::newRow("timing only") << true << false << false;
        QTest::newRow("vacuum only") << false << true << false;
        QTest::newRow("fuel only") << false << false << false;
    }
    void analysisAvailable() {
        QFETCH(bool, timing);
        QFETCH(bool, vacuum);
        QFETCH(bool, available);
        s->addCapabilities(Capabilities{timing, vacuum, false});
        QCOMPARE(TTimingAnalysis::analysisAvailable(*s), available);
    }
};

QTEST_MAIN(TstTimingAnalysis)
#include "tst_timinganalysis.moc"
