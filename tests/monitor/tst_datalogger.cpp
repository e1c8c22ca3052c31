// The "Data Logger" tab: samples of the live values on a moving 30 s window, channel scaling,
// restart, recording to a file and opening it again, and its faults.
#include "connection/Session.h"
#include "link/Clock.h"
#include "monitor/DataLoggerPage.h"
#include "widgets/Messages.h"
#include "widgets/ThdTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {
void setLive(LiveValues &v, const QString &field, double x) {
    if (field == "rpm")
        v.rpm = x;
    else if (field == "totalTiming")
        v.totalTiming = x;
    else if (field == "vacuum")
        v.vacuum = x;
    else if (field == "lambda")
        v.lambda = x;
    else if (field == "battery")
        v.battery = x;
    else if (field == "injectorTime")
        v.injectorTime = x;
    else if (field == "injectorDuty")
        v.injectorDuty = qint32(x);
    else if (field == "waterTemp")
        v.waterTemp = x;
    else if (field == "tps")
        v.tps = x;
    else if (field == "airTemp")
        v.airTemp = x;
    else if (field == "pot")
        v.pot = x;
    else
        qFatal("unknown field");
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<cannot open>";
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

void click(QAbstractButton *b) {
    QVERIFY(b->isEnabled());
    // Check boxes and radio buttons react on their indicator and text only: aim at the indicator.
    const bool indicator = qobject_cast<QCheckBox *>(b) || qobject_cast<QRadioButton *>(b);
    QTest::mouseClick(b, Qt::LeftButton, {},
                      indicator ? QPoint(6, b->height() / 2) : b->rect().center());
}
} // namespace

class TestDataLogger : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void controls();
    void channels_data();
    void channels();
    void valuesBoxOrder();
    void intervals_data();
    void intervals();
    void noIntervalChosenLogsAt100ms();
    void channelScaling_data();
    void channelScaling();
    void windowMovement_data();
    void windowMovement();
    void sampleTimesCountSamples();
    void restartClearsEverySeries();
    void rowsCarryTheirRequestTime();
    void uncheckingStopsOnlyThatLine();
    void noSampleUnlessOnAndConnected_data();
    void noSampleUnlessOnAndConnected();
    void realTimerTicks();
    void panningIsHorizontalOnly();
    void movingChannelsBetweenPanes();
    void recordToFile();
    void recordedFileOpensAgain();
    void displayChartOffRecordsWithoutCharting();
    void recordBoxOnlyWhileStopped();
    void unwritableFile_data();
    void unwritableFile();
    void cancelledFileDialog();
    void defaultRecordPath();
    void openLogButton();
    void malformedLogs_data();
    void malformedLogs();
    void openWhileRunningRefused();

private:
    DataLoggerPage &page() { return *m_page; }
    // Press "On" by mouse with the interval item given (-1: leave as is). Unless realClock, the
    // timer's next tick is then pushed a day away, so that only the test's samples count.
    void start(int intervalItem = -1, bool realClock = false);
    // A new session (connected or not) and page.
    void newPage(bool connected);
    // The latest live values, changed as the poll would leave them.
    template <class F> void changeLive(F change) {
        LiveValues v = m_session->live();
        change(v);
        m_session->takeLive(v);
    }
    void freezeClock() { m_page->DataLogTimer->setInterval(1000u * 3600 * 24); }
    void samples(int n) {
        for (int i = 0; i < n; ++i)
            m_page->ThreadedTimer1Timer();
    }
    QRadioButton *intervalItem(int i) {
        return m_page->DataInterval->findChildren<QRadioButton *>().at(i);
    }

    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<DataLoggerPage> m_page;
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_messages;
    QString m_saveAnswer;
    QString m_suggested;
};

void TestDataLogger::init() {
    m_messages.clear();
    Messages::setHandler([this](const QString &text, Messages::Kind) { m_messages << text; });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_saveAnswer = m_dir->filePath("run.csv");
    m_suggested.clear();
    m_clock = std::make_unique<FakeClock>();
    newPage(true);
}

void TestDataLogger::newPage(bool connected) {
    m_page.reset();
    m_session = std::make_unique<Session>(*m_clock);
    if (connected) m_session->markConnected();
    m_session->addCapabilities({true, true, true}); // a timing EMU: its timing is logged
    m_page = std::make_unique<DataLoggerPage>(*m_session);
    m_page->setSaveFileDialog([this](QWidget *, const QString &suggested) {
        m_suggested = suggested;
        return m_saveAnswer;
    });
    m_page->resize(900, 600);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
}

void TestDataLogger::cleanup() {
    m_page.reset();
    m_session.reset();
    m_clock.reset();
    m_dir.reset();
    Messages::setHandler(nullptr);
}

void TestDataLogger::start(int item, bool realClock) {
    if (item >= 0) click(intervalItem(item));
    click(page().SpeedButton1);
    if (!realClock && page().running()) freezeClock();
}

void TestDataLogger::controls() {
    DataLoggerPage &p = page();
    LogViewer *chart = p.LogChart;
    QCOMPARE(chart->objectName(), QString("LogChart"));
    QCOMPARE(chart->plottableCount(), 11);
    // Six panes, each in its channels' units; one time axis under the last.
    QCOMPARE(chart->layoutText(), LogViewer::defaultLayout());
    QCOMPARE(chart->paneCount(), 6);
    QCOMPARE(chart->xAxis->label(), QString("Time (s)"));
    QCOMPARE(chart->pane(0)->axis(QCPAxis::atLeft)->label(), QString("RPM"));
    QCOMPARE(chart->pane(1)->axis(QCPAxis::atLeft)->label(), QString("bar"));
    QCOMPARE(chart->pane(1)->axis(QCPAxis::atRight)->label(), QString("%"));
    QCOMPARE(chart->xAxis->range(), QCPRange(0, 30));
    QCOMPARE(chart->axisRect()->rangeDrag(), Qt::Horizontal);

    // Interval: four items, none selected.
    QCOMPARE(p.DataInterval->title(), QString("Interval"));
    QStringList texts;
    for (auto *r : p.DataInterval->findChildren<QRadioButton *>()) {
        texts << r->text();
        QVERIFY(!r->isChecked());
        QCOMPARE(r->accessibleName(), r->text());
    }
    QCOMPARE(texts, QStringList({"50 ms", "100 ms", "500 ms", "1 s"}));
    QCOMPARE(p.chosenInterval(), 0);

    // On/Off: Off down.
    QCOMPARE(p.SpeedButton1->text(), QString("On"));
    QCOMPARE(p.SpeedButton2->text(), QString("Off"));
    QVERIFY(!p.SpeedButton1->isChecked());
    QVERIFY(p.SpeedButton2->isChecked());

    // The clock.
    QCOMPARE(p.DataLogTimer->objectName(), QString("DataLogTimer"));
    QCOMPARE(p.DataLogTimer->Interval(), 85u);
    QVERIFY(p.DataLogTimer->AllowZero());
    QCOMPARE(p.DataLogTimer->ThreadPriority(), tpTimeCritical);
    QVERIFY(!p.DataLogTimer->Enabled());

    QCOMPARE(p.CheckBox18->text(), QString("Display Chart"));
    QVERIFY(p.CheckBox18->isChecked() && p.CheckBox18->isEnabled());
    QCOMPARE(p.CheckBox19->text(), QString("Record to File"));
    QVERIFY(!p.CheckBox19->isChecked() && p.CheckBox19->isEnabled());
    QCOMPARE(p.OpenLogButton->text(), QString("Open Log..."));
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{
             p.SpeedButton1, p.SpeedButton2, p.CheckBox18, p.CheckBox19, p.OpenLogButton})
        QCOMPARE(b->accessibleName(), b->text());
    QCOMPARE(p.GroupValues->accessibleName(), QString("Values"));
    QCOMPARE(p.DataInterval->accessibleName(), QString("Interval"));
}

void TestDataLogger::channels_data() {
    QTest::addColumn<int>("series");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("RPM") << 0 << "CheckBox7"
                         << "RPM" << QColor(255, 0, 0);
    QTest::newRow("Timing") << 1 << "CheckBox8"
                            << "Timing" << QColor(0, 128, 0);
    QTest::newRow("Vacuum") << 2 << "CheckBox9"
                            << "Vacuum" << QColor(253, 253, 0);
    QTest::newRow("Lambda") << 3 << "CheckBox10"
                            << "Lambda" << QColor(255, 128, 64);
    QTest::newRow("Volt") << 4 << "CheckBox11"
                          << "Volt" << QColor(0, 0, 255);
    QTest::newRow("Injector ms") << 5 << "CheckBox17"
                                 << "Injector (ms)" << QColor(64, 128, 128);
    QTest::newRow("Injector %") << 6 << "CheckBox12"
                                << "Injector %" << QColor(255, 128, 128);
    QTest::newRow("Temperature") << 7 << "CheckBox13"
                                 << "Temperature" << QColor(255, 0, 255);
    QTest::newRow("Throttle %") << 8 << "CheckBox14"
                                << "Throttle %" << QColor(0, 0, 128);
    QTest::newRow("Air Temp") << 9 << "CheckBox15"
                              << "Air Temp" << QColor(0, 204, 204);
    QTest::newRow("POT %") << 10 << "CheckBox16"
                           << "POT %" << QColor(0, 225, 0);
}

void TestDataLogger::channels() {
    QFETCH(int, series);
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(QColor, colour);
    QCheckBox *cb = page().findChild<QCheckBox *>(box);
    QVERIFY(cb);
    QCOMPARE(cb, page().channelBox(series));
    QCOMPARE(cb->parentWidget(), page().GroupValues);
    QCOMPARE(cb->text(), caption);
    QCOMPARE(cb->accessibleName(), caption);
    QVERIFY(cb->isChecked());
    LogTrace *g = page().series(series);
    QCOMPARE(g->series(), series);
    QCOMPARE(g->pen().color(), colour);
    // The swatch left of the box, on its row, in the line's colour.
    auto *swatch = page().findChild<QLabel *>("Swatch" + box);
    QVERIFY(swatch);
    QVERIFY(swatch->styleSheet().contains(colour.name()));
    const QRect s = swatch->geometry(), b = cb->geometry();
    QVERIFY(s.right() < b.left());
    QVERIFY(s.center().y() >= b.top() && s.center().y() <= b.bottom());
}

void TestDataLogger::valuesBoxOrder() {
    auto boxes = page().GroupValues->findChildren<QCheckBox *>();
    std::sort(boxes.begin(), boxes.end(),
              [](QCheckBox *a, QCheckBox *b) { return a->y() < b->y(); });
    QStringList captions;
    for (auto *b : boxes)
        captions << b->text();
    QCOMPARE(captions,
             QStringList({"Air Temp", "Injector (ms)", "Injector %", "Lambda", "POT %", "RPM",
                          "Temperature", "Throttle %", "Timing", "Vacuum", "Volt"}));
}

void TestDataLogger::intervals_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<quint32>("timerInterval");
    QTest::addColumn<double>("step");
    QTest::newRow("50 ms") << 0 << 35u << 0.05;
    QTest::newRow("100 ms") << 1 << 85u << 0.1;
    QTest::newRow("500 ms") << 2 << 485u << 0.5;
    QTest::newRow("1 s") << 3 << 985u << 1.0;
}

void TestDataLogger::intervals() {
    QFETCH(int, item);
    QFETCH(quint32, timerInterval);
    QFETCH(double, step);
    start(item, true);
    QVERIFY(page().SpeedButton1->isChecked());
    QVERIFY(!page().SpeedButton2->isChecked());
    QVERIFY(page().DataLogTimer->Enabled());
    QCOMPARE(page().DataLogTimer->Interval(), timerInterval);
    QCOMPARE(page().logStep(), step);
    click(page().SpeedButton2);
    QVERIFY(!page().DataLogTimer->Enabled());
    QVERIFY(page().SpeedButton2->isChecked());
}

void TestDataLogger::noIntervalChosenLogsAt100ms() {
    start(-1, true);
    QVERIFY(page().DataLogTimer->Enabled());
    QCOMPARE(page().DataLogTimer->Interval(), 85u);
    QCOMPARE(page().logStep(), 0.1);
    QVERIFY(intervalItem(1)->isChecked()); // the interval in use is shown
    click(page().SpeedButton2);

    // Connect's choice.
    click(intervalItem(3));
    page().selectConnectInterval();
    QVERIFY(intervalItem(1)->isChecked());
    QVERIFY(!intervalItem(3)->isChecked());
    QCOMPARE(page().chosenInterval(), 100);
}

void TestDataLogger::channelScaling_data() {
    QTest::addColumn<int>("series");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("live");
    QTest::addColumn<double>("logged");
    QTest::newRow("RPM") << 0 << "rpm" << 35.0 << 3500.0;
    QTest::newRow("timing degrees") << 1 << "totalTiming" << 28.0 << 28.0;
    QTest::newRow("negative timing") << 1 << "totalTiming" << -4.0 << -4.0;
    QTest::newRow("vacuum 0.47 bar") << 2 << "vacuum" << 0.47 << 0.47;
    QTest::newRow("vacuum 1.0 bar") << 2 << "vacuum" << 1.0 << 1.0;
    QTest::newRow("lambda 45") << 3 << "lambda" << 45.0 << 0.45;
    QTest::newRow("battery 126") << 4 << "battery" << 126.0 << 12.6;
    QTest::newRow("injector 35 -> 3.5 ms") << 5 << "injectorTime" << 35.0 << 3.5;
    QTest::newRow("injector duty") << 6 << "injectorDuty" << 42.0 << 42.0;
    QTest::newRow("water temperature") << 7 << "waterTemp" << 88.0 << 88.0;
    QTest::newRow("throttle") << 8 << "tps" << 63.0 << 63.0;
    QTest::newRow("air temperature below 0") << 9 << "airTemp" << -20.0 << -20.0;
    QTest::newRow("pot") << 10 << "pot" << 50.2 << 50.2;
}

void TestDataLogger::channelScaling() {
    QFETCH(int, series);
    QFETCH(QString, field);
    QFETCH(double, live);
    QFETCH(double, logged);
    start(0);
    changeLive([&](LiveValues &v) { setLive(v, field, live); });
    samples(1);
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page().series(i)->dataCount(), 1);
    const QCPGraphData d = page().series(series)->points().first();
    QCOMPARE(d.key, 0.0);
    QCOMPARE(d.value, logged);
}

void TestDataLogger::windowMovement_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("stays"); // samples that still fit in 0..30
    QTest::newRow("1 s") << 3 << 31;
    QTest::newRow("500 ms") << 2 << 61;
    QTest::newRow("100 ms") << 1 << 301;
    QTest::newRow("50 ms") << 0 << 601;
}

void TestDataLogger::windowMovement() {
    QFETCH(int, item);
    QFETCH(int, stays);
    start(item);
    QCPAxis *x = page().LogChart->xAxis;
    samples(stays);
    QCOMPARE(page().series(0)->points().at(stays - 1).key, 30.0);
    QCOMPARE(x->range(), QCPRange(0, 30));
    samples(1); // just past 30 s
    QCOMPARE(x->range(), QCPRange(30, 60));
    samples(stays - 2); // up to 60 s
    QCOMPARE(x->range(), QCPRange(30, 60));
    samples(1);
    QCOMPARE(x->range(), QCPRange(60, 90));
    // Nothing was dropped.
    QCOMPARE(page().series(0)->dataCount(), 2 * stays);
}

void TestDataLogger::sampleTimesCountSamples() {
    start(0);
    samples(72000); // an hour at 50 ms
    const QVector<QCPGraphData> data = page().series(4)->points();
    QCOMPARE(data.size(), 72000);
    // The n-th sample lies at (n - 1) x step, without drift.
    QCOMPARE(data.at(71999).key, 3599.95);
    QCOMPARE(data.at(600).key, 30.0);
    QCOMPARE(page().LogChart->xAxis->range(), QCPRange(3570, 3600));
    for (int i = 1; i < data.size(); ++i)
        QVERIFY(data.at(i).key > data.at(i - 1).key);
}

void TestDataLogger::restartClearsEverySeries() {
    start(3);
    changeLive([](LiveValues &v) { v.rpm = 20; });
    samples(40);
    click(page().channelBox(4)); // uncheck "Volt": its points stay until the restart
    samples(2);
    QCOMPARE(page().series(4)->dataCount(), 40);
    page().LogChart->xAxis->setRange(100, 130);
    click(page().SpeedButton2);
    QCOMPARE(page().series(0)->dataCount(), 42); // Off keeps the points
    QCOMPARE(page().LogChart->xAxis->range(), QCPRange(100, 130));

    click(page().SpeedButton1);
    freezeClock();
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page().series(i)->dataCount(), 0);
    QCOMPARE(page().logTime(), 0.0);
    QCOMPARE(page().LogChart->xAxis->range(), QCPRange(0, 30));
    samples(1);
    QCOMPARE(page().series(0)->points().at(0).key, 0.0);
    QCOMPARE(page().series(4)->dataCount(), 0);
}

void TestDataLogger::rowsCarryTheirRequestTime() {
    start(1);
    // The third frame was asked for after a 2 s stall: its row says so.
    for (const qint64 sent : {5000, 5100, 7100}) {
        changeLive([sent](LiveValues &v) { v.sentMs = sent; });
        samples(1);
    }
    QCOMPARE(page().series(0)->points().at(1).key, 0.1);
    QCOMPARE(page().series(0)->points().at(2).key, 2.1);
}

void TestDataLogger::uncheckingStopsOnlyThatLine() {
    start(1);
    samples(3);
    click(page().channelBox(2)); // "Vacuum"
    QVERIFY(!page().channelBox(2)->isChecked());
    samples(2);
    QCOMPARE(page().series(2)->dataCount(), 3);
    for (int i = 0; i < 11; ++i)
        if (i != 2) QCOMPARE(page().series(i)->dataCount(), 5);
    click(page().channelBox(2)); // back on: the line grows again, at the current log time
    samples(1);
    QCOMPARE(page().series(2)->dataCount(), 4);
    QCOMPARE(page().series(2)->points().at(3).key, 0.5);
}

void TestDataLogger::noSampleUnlessOnAndConnected_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("points");
    QTest::newRow("on, connected") << true << true << 2;
    QTest::newRow("on, not connected") << false << true << 0;
    QTest::newRow("off, connected") << true << false << 0;
}

void TestDataLogger::noSampleUnlessOnAndConnected() {
    QFETCH(bool, connected);
    QFETCH(bool, on);
    QFETCH(int, points);
    if (!connected) newPage(false);
    if (on) start(1);
    samples(2);
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page().series(i)->dataCount(), points);
    QCOMPARE(page().logTime(), points * 0.1);
}

void TestDataLogger::realTimerTicks() {
    start(0, true);
    QVERIFY(QTest::qWaitFor([&] { return page().samples() >= 3; }, 3000));
    QVERIFY(page().series(0)->dataCount() >= 3);
    click(page().SpeedButton2);
    const qint64 n = page().samples();
    QTest::qWait(200);
    QCOMPARE(page().samples(), n);
}

void TestDataLogger::panningIsHorizontalOnly() {
    LogViewer *chart = page().LogChart;
    QCPAxisRect *top = chart->pane(0);
    const QRect r = top->rect();
    const QPoint from = r.center();
    const QPoint to = from + QPoint(-r.width() / 3, r.height() / 4);
    const QCPRange values = top->axis(QCPAxis::atLeft)->range();
    QTest::mousePress(chart, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, chart->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, to);
    QVERIFY(chart->xAxis->range().lower > 5);
    QVERIFY(qFuzzyCompare(chart->xAxis->range().size(), 30.0));
    QCOMPARE(top->axis(QCPAxis::atLeft)->range(), values);
    // Every pane shows the same time.
    for (int p = 0; p < chart->paneCount(); ++p)
        QCOMPARE(chart->pane(p)->axis(QCPAxis::atBottom)->range(), chart->xAxis->range());
    QVERIFY(!chart->hasCursor()); // a drag sets no cursor
    // The wheel zooms the time axis only.
    const QCPRange before = chart->xAxis->range();
    QWheelEvent wheel(QPointF(from), QPointF(chart->mapToGlobal(from)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QVERIFY(chart->xAxis->range().size() < before.size());
    QCOMPARE(top->axis(QCPAxis::atLeft)->range(), values);
    // Keys: "-" zooms out, F fits the whole log.
    chart->setFocus();
    const double width = chart->xAxis->range().size();
    QTest::keyClick(chart, Qt::Key_Minus);
    QVERIFY(qFuzzyCompare(chart->xAxis->range().size(), 2 * width));
    QTest::keyClick(chart, Qt::Key_F);
    QCOMPARE(chart->xAxis->range(), QCPRange(0, 30)); // no log: the first 30 s
}

void TestDataLogger::movingChannelsBetweenPanes() {
    LogViewer *chart = page().LogChart;
    QSignalSpy changed(chart, &LogViewer::layoutChanged);
    chart->moveToPane(7, 0); // water beside the RPM: its own unit on the right
    QCOMPARE(chart->layoutText(), QString("0,7;2,8;3;9,4;1;5,6,10"));
    QCOMPARE(page().series(7)->valueAxis(), chart->pane(0)->axis(QCPAxis::atRight));
    QCOMPARE(chart->pane(0)->axis(QCPAxis::atRight)->label(), QString("°C"));
    chart->moveToPane(3, 0); // lambda leaves its pane, which goes
    QCOMPARE(chart->paneCount(), 5);
    chart->moveToPane(3, chart->paneCount()); // and comes back as a new one at the bottom
    QCOMPARE(chart->layoutText(), QString("0,7;2,8;9,4;1;5,6,10;3"));
    QCOMPARE(changed.count(), 3);
    // The settings' text comes back; one that is no layout changes nothing.
    page().setPaneLayout(LogViewer::defaultLayout());
    QCOMPARE(page().paneLayout(), LogViewer::defaultLayout());
    for (const char *bad :
         {"", "0;1", "0,0;1,2,3,4,5,6,7,8,9,10", "0;1;2;3;4;5;6,7,8,9,10;", "x"}) {
        page().setPaneLayout(QString::fromLatin1(bad));
        QCOMPARE(page().paneLayout(), LogViewer::defaultLayout());
    }
}

void TestDataLogger::recordToFile() {
    // The file's numbers do not follow the locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto restore = qScopeGuard([was = QLocale()] { QLocale::setDefault(was); });
    click(page().CheckBox19);
    click(page().channelBox(3));  // "Lambda" not logged
    click(page().channelBox(10)); // "POT %" not logged
    LiveValues v = m_session->live();
    v.rpm = 35;
    v.totalTiming = 28;
    v.vacuum = 0.47;
    v.battery = 126;
    v.injectorTime = 35;
    v.injectorDuty = 12;
    v.waterTemp = 88;
    v.tps = 10;
    v.airTemp = -3;
    m_session->takeLive(v);
    start(0);
    QVERIFY(page().recording());
    QCOMPARE(page().recordPath(), m_saveAnswer);
    samples(1);
    v.rpm = 40.5;
    m_session->takeLive(v);
    samples(1);
    // Rows reach the file while the log runs.
    QCOMPARE(readAll(m_saveAnswer).count('\n'), 3);
    click(page().channelBox(2)); // "Vacuum" stops: its field stays empty
    v.rpm = 41;
    m_session->takeLive(v);
    samples(1);
    click(page().SpeedButton2);
    QVERIFY(!page().recording());
    // Engineering units under titles that name them; the chart keeps its scaled values.
    QCOMPARE(readAll(m_saveAnswer),
             QByteArray("time_s,rpm,timing_deg,vacuum_bar,battery_v,injector_ms,injector_pct,"
                        "water_c,throttle_pct,air_c\n"
                        "0,3500,28,0.47,12.6,3.5,12,88,10,-3\n"
                        "0.05,4050,28,0.47,12.6,3.5,12,88,10,-3\n"
                        "0.1,4100,28,,12.6,3.5,12,88,10,-3\n"));
    QCOMPARE(page().series(0)->points().at(1).value, 4050.0);
    QCOMPARE(page().series(2)->points().at(0).value, 0.47);
    QVERIFY(m_messages.isEmpty());
}

void TestDataLogger::recordedFileOpensAgain() {
    click(page().CheckBox19);
    click(page().channelBox(3)); // "Lambda" not logged
    start(3);
    for (int i = 0; i < 40; ++i) {
        changeLive([i](LiveValues &v) {
            v.rpm = i;
            v.vacuum = i / 100.0;
            v.battery = 120 + i % 7;
        });
        if (i == 20) click(page().channelBox(8)); // "Throttle %" stops halfway
        samples(1);
    }
    click(page().SpeedButton2);
    std::array<QVector<QCPGraphData>, 11> charted;
    for (int i = 0; i < 11; ++i)
        charted[i] = page().series(i)->points();
    QCOMPARE(charted[8].size(), 20);

    // Start again (clears the chart), then look at the recorded run.
    click(page().CheckBox19);
    start();
    samples(3);
    click(page().SpeedButton2);
    page().LogChart->xAxis->setRange(200, 230);
    QVERIFY(page().openLog(m_saveAnswer));
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(page().LogChart->xAxis->range(), QCPRange(0, 39)); // the whole log
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(page().series(i)->dataCount(), charted[i].size());
        for (int k = 0; k < charted[i].size(); ++k) {
            QCOMPARE(page().series(i)->points().at(k).key, charted[i][k].key);
            QCOMPARE(page().series(i)->points().at(k).value, charted[i][k].value);
        }
    }
    QCOMPARE(page().series(3)->dataCount(), 0);
}

void TestDataLogger::displayChartOffRecordsWithoutCharting() {
    click(page().CheckBox19);
    click(page().CheckBox18);
    QVERIFY(!page().CheckBox18->isChecked());
    start(1);
    samples(5);
    click(page().SpeedButton2);
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page().series(i)->dataCount(), 0);
    const QList<QByteArray> lines = readAll(m_saveAnswer).trimmed().split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.last(), QByteArray("0.4,0,0,0,0,0,0,0,0,0,0,0"));
}

void TestDataLogger::recordBoxOnlyWhileStopped() {
    start(1);
    QVERIFY(!page().CheckBox19->isEnabled());
    QVERIFY(!page().OpenLogButton->isEnabled());
    QVERIFY(!page().recording()); // not asked for: no file
    QVERIFY(m_suggested.isEmpty());
    click(page().SpeedButton2);
    QVERIFY(page().CheckBox19->isEnabled());
    QVERIFY(page().OpenLogButton->isEnabled());
    // Pressing "On" while it is down changes nothing.
    click(page().CheckBox19);
    start(1);
    samples(4);
    click(page().SpeedButton1);
    QCOMPARE(page().DataLogTimer->Interval(), 1000u * 3600 * 24); // not restarted
    QVERIFY(page().SpeedButton1->isChecked());
    QCOMPARE(page().samples(), 4);
    QCOMPARE(page().series(0)->dataCount(), 4);
}

void TestDataLogger::unwritableFile_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("missing folder") << "no/such/folder/run.csv";
    QTest::newRow("a folder") << "";
    QTest::newRow("a FIFO") << "fifo.csv"; // opening it for writing would block
}

void TestDataLogger::unwritableFile() {
    QFETCH(QString, path);
    m_saveAnswer = m_dir->filePath(path);
    if (path.startsWith("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(m_saveAnswer).constData(), 0600), 0);
    start(1);
    samples(2);
    click(page().SpeedButton2);
    click(page().CheckBox19);
    const auto before = page().series(0)->dataCount();
    click(page().SpeedButton1);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains("cannot be created"), qPrintable(m_messages.first()));
    QVERIFY(m_messages.first().contains(QDir::toNativeSeparators(m_saveAnswer)));
    QVERIFY(!page().running());
    QVERIFY(!page().DataLogTimer->Enabled());
    QVERIFY(page().SpeedButton2->isChecked());
    QVERIFY(!page().SpeedButton1->isChecked());
    QVERIFY(page().CheckBox19->isEnabled());
    samples(1);
    QCOMPARE(page().series(0)->dataCount(), before); // earlier log untouched
}

void TestDataLogger::cancelledFileDialog() {
    click(page().CheckBox19);
    m_saveAnswer.clear();
    start(1);
    QVERIFY(!page().running());
    QVERIFY(page().SpeedButton2->isChecked());
    QVERIFY(m_messages.isEmpty());
}

void TestDataLogger::defaultRecordPath() {
    click(page().CheckBox19);
    start(1);
    const QFileInfo suggested(m_suggested);
    QCOMPARE(suggested.absolutePath(), QDir::current().absolutePath());
    QVERIFY2(QRegularExpression("^log-\\d{8}-\\d{6}\\.csv$").match(suggested.fileName()).hasMatch(),
             qPrintable(m_suggested));
    click(page().SpeedButton2);
}

void TestDataLogger::openLogButton() {
    const QString path = m_dir->filePath("past.csv");
    writeFile(path, "time_s,Vacuum,RPM\r\n0,10,20\r\n0.5,,21\r\n1,12,22\r\n");
    int asked = 0;
    page().setOpenFileDialog([&](QWidget *) {
        ++asked;
        return path;
    });
    click(page().OpenLogButton);
    QCOMPARE(asked, 1);
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(page().series(0)->dataCount(), 3);
    QCOMPARE(page().series(2)->dataCount(), 2);
    QCOMPARE(page().series(2)->points().at(1).key, 1.0);
    QCOMPARE(page().series(2)->points().at(1).value, 0.12);
    QCOMPARE(page().series(0)->points().at(1).value, 2100.0);
    QCOMPARE(page().series(1)->dataCount(), 0);
    // The line keeps its channel's colour.
    QCOMPARE(page().series(2)->pen().color(), QColor(253, 253, 0));
}

void TestDataLogger::malformedLogs_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("hint");
    QTest::newRow("empty") << QByteArray() << "empty";
    QTest::newRow("not a log") << QByteArray("#EMU Version\n5\n") << "time_s";
    QTest::newRow("unknown channel") << QByteArray("time_s,RPM,Boost\n0,1,2\n") << "Boost";
    QTest::newRow("channel twice") << QByteArray("time_s,RPM,RPM\n0,1,2\n") << "twice";
    QTest::newRow("short row") << QByteArray("time_s,RPM,Volt\n0,1,2\n1,3\n") << "line 3";
    QTest::newRow("long row") << QByteArray("time_s,RPM\n0,1,2\n") << "line 2";
    QTest::newRow("text value") << QByteArray("time_s,RPM\n0,abc\n") << "abc";
    QTest::newRow("comma decimal") << QByteArray("time_s,RPM\n0,\"1,5\"\n") << "line 2";
    QTest::newRow("no time") << QByteArray("time_s,RPM\n,1\n") << "not a time";
    QTest::newRow("nan") << QByteArray("time_s,RPM\n0,nan\n") << "nan";
    QTest::newRow("time backwards") << QByteArray("time_s,RPM\n1,1\n0.5,2\n") << "backwards";
    QTest::newRow("binary") << QByteArray("\x01\x02\x00\xff", 4) << "time_s";
}

void TestDataLogger::malformedLogs() {
    QFETCH(QByteArray, text);
    QFETCH(QString, hint);
    start(1);
    changeLive([](LiveValues &v) { v.rpm = 7; });
    samples(4);
    click(page().SpeedButton2);
    page().LogChart->xAxis->setRange(10, 40);
    const QString path = m_dir->filePath("bad.csv");
    writeFile(path, text);
    QVERIFY(!page().openLog(path));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(hint), qPrintable(m_messages.first()));
    QVERIFY(m_messages.first().contains(QDir::toNativeSeparators(path)));
    // Nothing changed.
    for (int i = 0; i < 11; ++i)
        QCOMPARE(page().series(i)->dataCount(), 4);
    QCOMPARE(page().series(0)->points().at(3).value, 700.0);
    QCOMPARE(page().LogChart->xAxis->range(), QCPRange(10, 40));
}

void TestDataLogger::openWhileRunningRefused() {
    const QString path = m_dir->filePath("past.csv");
    writeFile(path, "time_s,RPM\n0,1\n");
    start(1);
    samples(2);
    QVERIFY(!page().openLog(path));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(page().series(0)->dataCount(), 2);
    QVERIFY(page().running());
    QVERIFY(!page().openLog(m_dir->filePath("missing.csv")));
}

QTEST_MAIN(TestDataLogger)
#include "tst_datalogger.moc"
