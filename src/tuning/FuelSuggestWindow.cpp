#include "tuning/FuelSuggestWindow.h"

#include "connection/Session.h"
#include "link/Clock.h"
#include "live/LiveFeed.h"
#include "live/LogChannels.h"
#include "model/Numbers.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

QString number(double v) {
    return emu::num::formatGeneral(v);
}

QString signedPercent(double v) {
    return v > 0 ? QStringLiteral("+%1").arg(number(v)) : number(v);
}

// Where the ghost point sits on its chart: RPM maps in hundreds of RPM, the vacuum map in bar.
double chartX(const FuelSuggest::PointResult &p) {
    return p.map == MapId::FuelVacuum ? p.axis : p.axis / 100;
}

} // namespace

FuelSuggestWindow::FuelSuggestWindow(Session &session, MapPages &pages, QWidget *parent)
    : QWidget(parent, Qt::Window), m_s(session), m_pages(pages) {
    setObjectName(QStringLiteral("FuelSuggestWindow"));
    setWindowTitle(tr("Fuel Suggestions"));
    auto *top = new QHBoxLayout;
    auto *open = new QPushButton(tr("Open Log..."));
    open->setObjectName(QStringLiteral("OpenLog"));
    connect(open, &QPushButton::clicked, this, &FuelSuggestWindow::chooseLog);
    m_useLogger = new QPushButton(tr("Use Logger's Log"));
    m_useLogger->setObjectName(QStringLiteral("UseLoggerLog"));
    m_useLogger->setToolTip(tr("Suggest from the log the Data Logger shows: the one it is "
                               "recording or last recorded, or the one opened there"));
    m_useLogger->setEnabled(false);
    connect(m_useLogger, &QPushButton::clicked, this, [this] {
        QString error;
        if (!useLoggerLog(&error)) m_summary->setText(error);
    });
    m_vacuumMap = new QCheckBox(tr("Correct the vacuum map"));
    m_vacuumMap->setObjectName(QStringLiteral("CorrectVacuumMap"));
    connect(m_vacuumMap, &QCheckBox::toggled, this, [this](bool on) {
        m_options.vacuumMap = on;
        reanalyse();
    });
    top->addWidget(open);
    top->addWidget(m_useLogger);
    top->addWidget(m_vacuumMap);
    top->addStretch();

    m_summary = new QLabel(tr("Open a data log recorded with this tune."));
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_table = new QTableWidget(0, Columns);
    m_table->setObjectName(QStringLiteral("Suggestions"));
    m_table->setAccessibleName(tr("Suggestions"));
    m_table->setHorizontalHeaderLabels({tr("Map"), tr("Point"), tr("Axis"), tr("Samples"),
                                        tr("Rich share"), tr("Confidence"), tr("Now"), tr("Change"),
                                        tr("Suggested")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *range = new QHBoxLayout;
    m_rangeMap = new QComboBox;
    m_rangeMap->setObjectName(QStringLiteral("RangeMap"));
    m_rangeMap->setAccessibleName(tr("Map"));
    m_first = new QSpinBox;
    m_first->setObjectName(QStringLiteral("FirstPoint"));
    m_first->setAccessibleName(tr("From point"));
    m_last = new QSpinBox;
    m_last->setObjectName(QStringLiteral("LastPoint"));
    m_last->setAccessibleName(tr("To point"));
    connect(m_rangeMap, &QComboBox::currentIndexChanged, this, &FuelSuggestWindow::rangeMapChanged);
    auto label = [](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    m_applyRange = new QPushButton(tr("Apply Range"));
    m_applyRange->setObjectName(QStringLiteral("ApplyRange"));
    connect(m_applyRange, &QPushButton::clicked, this, [this] {
        applyRange(MapId(m_rangeMap->currentData().toInt()), m_first->value(), m_last->value());
    });
    m_applyAll = new QPushButton(tr("Apply All"));
    m_applyAll->setObjectName(QStringLiteral("ApplyAll"));
    connect(m_applyAll, &QPushButton::clicked, this, &FuelSuggestWindow::applyAll);
    auto *close = new QPushButton(tr("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    range->addWidget(label(tr("Map:"), m_rangeMap));
    range->addWidget(m_rangeMap);
    range->addWidget(label(tr("From point:"), m_first));
    range->addWidget(m_first);
    range->addWidget(label(tr("To point:"), m_last));
    range->addWidget(m_last);
    range->addWidget(m_applyRange);
    range->addStretch();
    range->addWidget(m_applyAll);
    range->addWidget(close);

    auto *liveRow = new QHBoxLayout;
    m_live = new QCheckBox(tr("Live"));
    m_live->setObjectName(QStringLiteral("LiveMode"));
    connect(m_live, &QCheckBox::toggled, this, &FuelSuggestWindow::setLive);
    m_liveEvery = new QSpinBox;
    m_liveEvery->setObjectName(QStringLiteral("LiveInterval"));
    m_liveEvery->setAccessibleName(tr("Step every (s)"));
    m_liveEvery->setRange(10, 600);
    m_liveEvery->setValue(60);
    m_liveState = new QLabel;
    m_liveState->setObjectName(QStringLiteral("LiveState"));
    liveRow->addWidget(m_live);
    liveRow->addWidget(label(tr("Step every (s):"), m_liveEvery));
    liveRow->addWidget(m_liveEvery);
    liveRow->addWidget(m_liveState, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(liveRow);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addLayout(range);
    resize(760, 520);
    connect(&m_s, &Session::mapChanged, this, &FuelSuggestWindow::followTune);
    showLiveState();
    display(FuelSuggest::Result());
}

FuelSuggestWindow::~FuelSuggestWindow() {
    removeGhosts();
}

void FuelSuggestWindow::chooseLog() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Log"), QString(),
                                                      tr("Data logs (*.csv);;All files (*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!openLog(path, &error)) m_summary->setText(error);
}

bool FuelSuggestWindow::openLog(const QString &path, QString *error) {
    LogRecord log;
    if (!LogReader::read(path, &log, error)) return false;
    return takeLog(std::move(log), QFileInfo(path).fileName(), error);
}

void FuelSuggestWindow::setLoggerLog(LogSource source) {
    m_logger = std::move(source);
    m_useLogger->setEnabled(bool(m_logger.record));
}

bool FuelSuggestWindow::useLoggerLog(QString *error) {
    const LogRecord *log = m_logger.record ? m_logger.record() : nullptr;
    if (!log) {
        *error = tr("The Data Logger holds no log yet: switch it On while the engine runs, or "
                    "open a log there.");
        return false;
    }
    return takeLog(*log, m_logger.name ? m_logger.name() : tr("The logger's log"), error);
}

bool FuelSuggestWindow::takeLog(LogRecord log, const QString &name, QString *error) {
    FuelSuggest::Result r;
    if (!FuelSuggest::analyse(log, FuelSuggest::Tune{&m_s.image(), &m_s.maps(), m_s.axes()},
                              m_options, &r, error))
        return false;
    m_log = std::move(log);
    m_logName = name;
    display(r);
    return true;
}

void FuelSuggestWindow::reanalyse() {
    if (m_logName.isEmpty()) return;
    FuelSuggest::Result r;
    QString error;
    if (FuelSuggest::analyse(m_log, FuelSuggest::Tune{&m_s.image(), &m_s.maps(), m_s.axes()},
                             m_options, &r, &error))
        display(r);
    else
        m_summary->setText(error);
}

QString FuelSuggestWindow::pointText(MapId map, int p) const {
    const FuelSuggest::PointResult *r = m_result.at(map, p);
    if (!r || r->samples == 0) return QString();
    const QString where = map == MapId::FuelVacuum
                              ? tr("%1 bar").arg(number(emu::num::roundTo(r->axis, 3)))
                              : tr("%1 RPM").arg(number(emu::num::roundTo(r->axis, 0)));
    return tr("%1 point %2 (%3): %4 % now, %5 suggested\n"
              "%6 samples, rich share %7, confidence %8")
        .arg(Session::mapName(map))
        .arg(p)
        .arg(where, signedPercent(r->current), signedPercent(r->suggested()))
        .arg(r->samples)
        .arg(number(emu::num::roundTo(r->richShare, 2)),
             number(emu::num::roundTo(r->confidence, 2)));
}

void FuelSuggestWindow::display(const FuelSuggest::Result &r) {
    m_result = r;
    m_targets.clear();
    for (const FuelSuggest::PointResult &p : r.points)
        if (p.change != 0) m_targets.insert({int(p.map), p.point}, p.suggested());
    refresh();
}

void FuelSuggestWindow::followTune() {
    bool any = false;
    for (FuelSuggest::PointResult &p : m_result.points) {
        const auto it = m_targets.constFind({int(p.map), p.point});
        if (it == m_targets.cend()) continue;
        p.current = m_s.maps().value(p.map, p.point);
        p.change = *it - p.current;
        any = true;
    }
    if (any) refresh();
}

void FuelSuggestWindow::refresh() {
    const FuelSuggest::Result &r = m_result;
    const FuelSuggest::Counts &c = r.counts;
    QString text;
    if (m_logName.isEmpty()) {
        text = tr("Open a data log recorded with this tune.");
    } else if (r.lambdaSensorOff) {
        text = tr("%1: the setup has the lambda sensor off; its readings say nothing about the "
                  "fuel, so nothing is suggested.")
                   .arg(m_logName);
    } else {
        text = tr("%1: %2. %3 points to change.").arg(m_logName, c.describe()).arg(r.changed());
        if (r.controlPercent > 0)
            text += QLatin1Char(' ') +
                    tr("Lambda control was on (Control Percentage %1 %): the EMU's own trim "
                       "hides errors up to that size from the sensor.")
                        .arg(r.controlPercent);
    }
    m_summary->setText(text);

    m_table->setRowCount(0);
    for (const FuelSuggest::PointResult &p : r.points) {
        if (p.samples == 0) continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QString cells[Columns] = {
            Session::mapName(p.map),
            QString::number(p.point),
            number(emu::num::roundTo(p.axis, p.map == MapId::FuelVacuum ? 3 : 0)),
            QString::number(p.samples),
            number(emu::num::roundTo(p.richShare, 2)),
            number(emu::num::roundTo(p.confidence, 2)),
            signedPercent(p.current),
            p.change == 0 ? QString() : signedPercent(p.change),
            signedPercent(p.suggested())};
        for (int col = 0; col < Columns; ++col)
            m_table->setItem(row, col, new QTableWidgetItem(cells[col]));
    }

    const int keep = m_rangeMap->currentData().toInt();
    m_rangeMap->blockSignals(true);
    m_rangeMap->clear();
    for (MapId id : r.maps)
        m_rangeMap->addItem(Session::mapName(id), int(id));
    const int at = m_rangeMap->findData(keep);
    m_rangeMap->setCurrentIndex(at >= 0 ? at : 0);
    m_rangeMap->blockSignals(false);
    rangeMapChanged();
    m_applyAll->setEnabled(r.changed() > 0);
    m_applyRange->setEnabled(r.changed() > 0);
    drawGhosts();
}

void FuelSuggestWindow::rangeMapChanged() {
    const MapId id = MapId(m_rangeMap->currentData().toInt());
    const int n = m_rangeMap->count() ? m_s.maps().pointCount(id, m_s.axes()) : 1;
    m_first->setRange(1, n);
    m_last->setRange(1, n);
    m_first->setValue(1);
    m_last->setValue(n);
}

MapChart *FuelSuggestWindow::chartOf(MapId map) const {
    return m_pages.mapChart(MapPages::curveOf(map).first);
}

void FuelSuggestWindow::drawGhosts() {
    removeGhosts();
    for (MapId id : m_result.maps) {
        QVector<double> keys, values;
        for (const FuelSuggest::PointResult &p : m_result.points)
            if (p.map == id && p.samples > 0) {
                keys << chartX(p);
                values << p.suggested();
            }
        if (keys.isEmpty()) continue;
        MapChart *chart = chartOf(id);
        // A layer of its own under the chart's curves, as the compared tune's curve has.
        if (!chart->layer(QStringLiteral("suggestion"))) {
            chart->addLayer(QStringLiteral("suggestion"), chart->layer(QStringLiteral("series")),
                            QCustomPlot::limBelow);
            chart->layer(QStringLiteral("suggestion"))->setMode(QCPLayer::lmLogical);
        }
        auto *g = new QCPGraph(chart->xAxis, chart->yAxis);
        g->setObjectName(
            QStringLiteral("Suggestion%1").arg(QLatin1String(emu::model::mapInfo(id).key)));
        g->setLayer(QStringLiteral("suggestion"));
        QColor colour = chart->series(MapPages::curveOf(id).second)->pen().color();
        colour.setAlpha(150);
        g->setPen(QPen(colour, 1.5, Qt::DotLine));
        g->setLineStyle(QCPGraph::lsNone);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssPlus, colour, 7));
        g->setSelectable(QCP::stNone);
        g->setData(keys, values, true);
        m_ghosts.insert(int(id), g);
        chart->installEventFilter(this);
        chart->requestRedraw(true);
    }
}

void FuelSuggestWindow::removeGhosts() {
    for (auto it = m_ghosts.begin(); it != m_ghosts.end(); ++it) {
        MapChart *chart = chartOf(MapId(it.key()));
        chart->removeGraph(it.value());
        chart->removeEventFilter(this);
        chart->requestRedraw(true);
    }
    m_ghosts.clear();
}

bool FuelSuggestWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::ToolTip) return QWidget::eventFilter(watched, event);
    auto *help = static_cast<QHelpEvent *>(event);
    // The nearest ghost point within a few pixels of the pointer.
    QString text;
    double best = 10;
    for (auto it = m_ghosts.begin(); it != m_ghosts.end(); ++it) {
        const MapId id = MapId(it.key());
        MapChart *chart = chartOf(id);
        if (chart != watched) continue;
        for (const FuelSuggest::PointResult &p : m_result.points) {
            if (p.map != id || p.samples == 0) continue;
            const QPointF at(chart->xAxis->coordToPixel(chartX(p)),
                             chart->yAxis->coordToPixel(p.suggested()));
            const double d = QLineF(at, help->pos()).length();
            if (d < best) {
                best = d;
                text = pointText(id, p.point);
            }
        }
    }
    if (text.isEmpty()) return QWidget::eventFilter(watched, event);
    QToolTip::showText(help->globalPos(), text, static_cast<QWidget *>(watched));
    return true;
}

int FuelSuggestWindow::applyAll() {
    std::vector<std::pair<MapId, std::vector<std::pair<int, double>>>> edits;
    for (MapId id : m_result.maps)
        edits.emplace_back(id, m_result.changes(id));
    return apply(edits);
}

int FuelSuggestWindow::applyRange(MapId map, int first, int last) {
    if (first > last) std::swap(first, last);
    return apply({{map, m_result.changes(map, first, last)}});
}

int FuelSuggestWindow::apply(
    const std::vector<std::pair<MapId, std::vector<std::pair<int, double>>>> &edits) {
    int n = 0;
    for (const auto &e : edits)
        n += int(e.second.size());
    if (n == 0) return 0;
    const QString text = tr("Fuel suggestion, %n point(s)", nullptr, n);
    {
        EditScope step(m_s, text);
        for (const auto &[id, points] : edits)
            if (!points.empty()) m_s.editMapPoints(id, points, text);
    }
    return n;
}

void FuelSuggestWindow::setLiveFeed(LiveFeed *feed) {
    if (m_feed) disconnect(m_feed, nullptr, this, nullptr);
    m_feed = feed;
    if (feed) connect(feed, &LiveFeed::liveValues, this, &FuelSuggestWindow::takeLive);
}

bool FuelSuggestWindow::live() const {
    return m_live->isChecked();
}

void FuelSuggestWindow::setLive(bool on) {
    if (m_live->isChecked() != on) {
        m_live->setChecked(on); // runs this again through toggled
        return;
    }
    m_liveLog = LogRecord();
    m_liveStartMs = m_liveWindowMs = m_s.clock().tickMs();
    m_liveSteps = 0;
    m_liveBase.clear();
    if (on)
        for (MapId id : {MapId::FuelCruise, MapId::FuelLow, MapId::FuelHigh, MapId::FuelVacuum})
            for (int p = 1; p <= m_s.maps().pointCount(id, m_s.axes()); ++p)
                m_liveBase.insert({int(id), p}, m_s.maps().value(id, p));
    showLiveState();
}

QString FuelSuggestWindow::liveText() const {
    return m_liveState->text();
}

void FuelSuggestWindow::showLiveState() {
    setWindowTitle(live() ? tr("Fuel Suggestions (live)") : tr("Fuel Suggestions"));
    m_liveState->setText(
        live() ? tr("Live: a step of at most %1 % every %2 s while connected, at most %3 % from "
                    "where it began; %n step(s) made (Undo takes one back).",
                    nullptr, m_liveSteps)
                     .arg(LiveMaxStep)
                     .arg(m_liveEvery->value())
                     .arg(LiveMaxTotal)
               : tr("Live: off"));
}

void FuelSuggestWindow::takeLive(const LiveValues &v) {
    if (!live() || !m_s.isConnected() || m_s.inFileMode()) return;
    static const int Series[] = {0, 2, 3, 4, 5, 7, 8, 9}; // what the suggestion reads
    LogRecord &log = m_liveLog;
    if (log.series.isEmpty()) {
        for (int s : Series)
            log.series << s;
        log.values.resize(std::size(Series));
    }
    log.times.push_back((m_s.clock().tickMs() - m_liveStartMs) / 1000.0);
    for (size_t c = 0; c < std::size(Series); ++c)
        log.values[c].push_back(v.complete ? LogChannels::fileValue(Series[c], v) : qQNaN());
    ++log.rows;
    if (!v.complete) ++log.missed;
    if (m_s.clock().tickMs() - m_liveWindowMs >= qint64(m_liveEvery->value()) * 1000) liveStep();
}

void FuelSuggestWindow::liveStep() {
    FuelSuggest::Options o = m_options;
    o.maxStep = std::min(o.maxStep, LiveMaxStep);
    FuelSuggest::Result r;
    QString error;
    const bool ok = FuelSuggest::analyse(
        m_liveLog, FuelSuggest::Tune{&m_s.image(), &m_s.maps(), m_s.axes()}, o, &r, &error);
    // The samples so far belong to the tune as it was: start again either way.
    m_liveLog = LogRecord();
    m_liveWindowMs = m_s.clock().tickMs();
    if (!ok) {
        m_liveState->setText(error);
        return;
    }
    // Held within the live limits around where live mode began.
    for (FuelSuggest::PointResult &p : r.points) {
        const double base = m_liveBase.value({int(p.map), p.point}, p.current);
        const double next = std::clamp(p.suggested(), base - LiveMaxTotal, base + LiveMaxTotal);
        p.change = next - p.current;
    }
    display(r);
    std::vector<std::pair<MapId, std::vector<std::pair<int, double>>>> edits;
    for (MapId id : r.maps)
        edits.emplace_back(id, r.changes(id));
    if (apply(edits) > 0) ++m_liveSteps;
    showLiveState();
}

void FuelSuggestWindow::showEvent(QShowEvent *event) {
    drawGhosts();
    QWidget::showEvent(event);
}

void FuelSuggestWindow::closeEvent(QCloseEvent *event) {
    setLive(false); // never unseen
    removeGhosts();
    QWidget::closeEvent(event);
}
