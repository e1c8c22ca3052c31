#include "monitor/DataLoggerPage.h"

#include "connection/FileCheck.h"
#include "connection/Session.h"
#include "monitor/HitFilterBox.h"
#include "monitor/LogReadout.h"
#include "monitor/LogTrace.h"
#include "monitor/LogViewer.h"
#include "monitor/ScatterWindow.h"
#include "widgets/Messages.h"
#include "widgets/ThdTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {
// The handlers show their outcome on the On/Off switches without running again.
void setQuietly(QAbstractButton *b) {
    const QSignalBlocker quiet(b);
    b->setChecked(true);
}
constexpr double WindowSeconds = 30;
constexpr int IntervalMs[4] = {50, 100, 500, 1000};
const char *const IntervalText[4] = {"50 ms", "100 ms", "500 ms", "1 s"};
} // namespace

DataLoggerPage::DataLoggerPage(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session) {
    setObjectName(QStringLiteral("DataLoggerPage"));

    // --- the chart, the values at its cursors and the hit table filters ---
    LogChart = new LogViewer(this);
    LogChart->setObjectName(QStringLiteral("LogChart"));
    LogChart->setAccessibleName(QStringLiteral("Data Logger chart"));
    LogChart->setLambdaTarget(m_session.lambdaTarget());
    Readout = new LogReadout(this);
    HitFilters = new HitFilterBox(this);
    m_hitsTimer = new QTimer(this);
    m_hitsTimer->setSingleShot(true);
    connect(m_hitsTimer, &QTimer::timeout, this, &DataLoggerPage::updateHits);
    connect(LogChart, &LogViewer::cursorMoved, this, [this](double t) {
        // The cursor is the play position: the displays show that moment.
        if (m_player.loaded()) {
            m_seeking = true;
            m_player.seek(t);
            m_seeking = false;
        }
        showReadout();
        if (HitFilters->range() == HitFilterBox::BetweenCursors) scheduleHits(0);
    });
    connect(LogChart, &LogViewer::secondCursorMoved, this, [this] {
        showReadout();
        if (HitFilters->range() == HitFilterBox::BetweenCursors) scheduleHits(0);
    });
    connect(LogChart, &LogViewer::secondCursorCleared, this, &DataLoggerPage::showReadout);
    connect(LogChart, &LogViewer::timeRangeChanged, this, [this](const QCPRange &r) {
        if (HitFilters->range() == HitFilterBox::VisibleRange) scheduleHits(100);
        if (m_scatter && m_scatter->isVisible()) m_scatter->setTimeRange(r.lower, r.upper);
    });
    connect(LogChart, &LogViewer::layoutChanged, this, &DataLoggerPage::paneLayoutChanged);
    connect(HitFilters, &HitFilterBox::changed, this, [this] { scheduleHits(0); });
    connect(HitFilters, &HitFilterBox::resetRequested, this, [this] {
        const LogRecord *rec = shownRecord();
        m_hitsFrom = rec && !rec->times.empty() && running() ? rec->times.back() : -INFINITY;
        scheduleHits(0);
    });
    connect(HitFilters, &HitFilterBox::scatterRequested, this, [this] {
        ScatterWindow *w = scatterWindow();
        w->show();
        w->raise();
        w->activateWindow();
    });
    connect(&m_session, &Session::thresholdsChanged, this, [this] { scheduleHits(0); });
    connect(&m_session, &Session::lambdaTargetChanged, this, [this] {
        LogChart->setLambdaTarget(m_session.lambdaTarget());
        scheduleHits(0);
    });
    connect(&m_session, &Session::mapChanged, this, [this] {
        if (m_scatter && m_scatter->isVisible()) m_scatter->refresh();
    });

    // --- "Values": check boxes with their colour swatches ---
    GroupValues = new QGroupBox(QStringLiteral("Values"), this);
    GroupValues->setObjectName(QStringLiteral("GroupValues"));
    GroupValues->setAccessibleName(QStringLiteral("Values"));
    auto *grid = new QGridLayout(GroupValues);
    int row = 0;
    for (int s : LogChannels::boxOrder()) {
        const LogChannels::Channel &ch = LogChannels::all()[s];
        const QString caption = QString::fromUtf8(ch.caption);
        // The swatch shows the colour the line is drawn in.
        auto *swatch = new QLabel(GroupValues);
        swatch->setObjectName(QStringLiteral("Swatch") + QLatin1String(ch.checkBox));
        swatch->setFixedSize(12, 12);
        swatch->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid black;")
                                  .arg(QColor(ch.colour).name()));
        swatch->setAccessibleName(caption + QStringLiteral(" colour"));
        auto *box = new QCheckBox(caption, GroupValues);
        box->setObjectName(QLatin1String(ch.checkBox));
        box->setAccessibleName(caption);
        box->setChecked(true);
        grid->addWidget(swatch, row, 0);
        grid->addWidget(box, row, 1);
        m_boxes[s] = box;
        ++row;
    }

    // --- "Interval" ---
    DataInterval = new QGroupBox(QStringLiteral("Interval"), this);
    DataInterval->setObjectName(QStringLiteral("DataInterval"));
    DataInterval->setAccessibleName(QStringLiteral("Interval"));
    auto *intervalLayout = new QVBoxLayout(DataInterval);
    auto *intervalGroup = new QButtonGroup(DataInterval);
    intervalGroup->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto *r = new QRadioButton(QString::fromLatin1(IntervalText[i]), DataInterval);
        r->setObjectName(QStringLiteral("DataInterval%1").arg(IntervalMs[i]));
        r->setAccessibleName(r->text());
        intervalGroup->addButton(r, i);
        intervalLayout->addWidget(r);
        m_intervals[i] = r;
    }

    // --- "On" / "Off" ---
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("On"));
    SpeedButton1->setAccessibleName(QStringLiteral("On"));
    SpeedButton1->setCheckable(true);
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setText(QStringLiteral("Off"));
    SpeedButton2->setAccessibleName(QStringLiteral("Off"));
    SpeedButton2->setCheckable(true);
    m_onOff = new QButtonGroup(this);
    m_onOff->setExclusive(true);
    m_onOff->addButton(SpeedButton1);
    m_onOff->addButton(SpeedButton2);
    SpeedButton2->setChecked(true);
    // The switches act on their state, whoever changed it; the handlers set them quietly.
    connect(SpeedButton1, &QToolButton::toggled, this, [this](bool on) {
        if (on) SpeedButton1Click();
    });
    connect(SpeedButton2, &QToolButton::toggled, this, [this](bool on) {
        if (on) SpeedButton2Click();
    });

    CheckBox18 = new QCheckBox(QStringLiteral("Display Chart"), this);
    CheckBox18->setObjectName(QStringLiteral("CheckBox18"));
    CheckBox18->setAccessibleName(CheckBox18->text());
    CheckBox18->setChecked(true);
    // Without "Display Chart" the chart stays empty; the log is still kept for the cursors and
    // the hit tables, and shows again when the box is ticked.
    connect(CheckBox18, &QCheckBox::toggled, this, [this](bool on) {
        LogChart->setRecord(on ? (m_player.loaded() ? &m_player.record() : &m_live) : nullptr);
        redraw();
    });
    CheckBox19 = new QCheckBox(QStringLiteral("Record to File"), this);
    CheckBox19->setObjectName(QStringLiteral("CheckBox19"));
    CheckBox19->setAccessibleName(CheckBox19->text());
    CheckBox19->setChecked(false);

    OpenLogButton = new QPushButton(QStringLiteral("Open Log..."), this);
    OpenLogButton->setObjectName(QStringLiteral("OpenLogButton"));
    OpenLogButton->setAccessibleName(QStringLiteral("Open Log..."));
    connect(OpenLogButton, &QPushButton::clicked, this, &DataLoggerPage::OpenLogButtonClick);

    // --- playback of an opened log ---
    PlayButton = new QToolButton(this);
    PlayButton->setObjectName(QStringLiteral("PlayButton"));
    PlayButton->setText(QStringLiteral("Play"));
    PlayButton->setAccessibleName(QStringLiteral("Play"));
    PlayButton->setCheckable(true);
    connect(PlayButton, &QToolButton::toggled, this, [this](bool on) {
        if (on)
            m_player.play();
        else
            m_player.pause();
    });
    PlayStopButton = new QToolButton(this);
    PlayStopButton->setObjectName(QStringLiteral("PlayStopButton"));
    PlayStopButton->setText(QStringLiteral("Stop"));
    PlayStopButton->setAccessibleName(QStringLiteral("Stop playback"));
    connect(PlayStopButton, &QToolButton::clicked, &m_player, &LogPlayer::stop);
    PlaySpeed = new QComboBox(this);
    PlaySpeed->setObjectName(QStringLiteral("PlaySpeed"));
    PlaySpeed->setAccessibleName(QStringLiteral("Playback speed"));
    for (int f : LogPlayer::Speeds)
        PlaySpeed->addItem(QStringLiteral("%1x").arg(f), f);
    connect(PlaySpeed, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_player.setSpeed(PlaySpeed->itemData(i).toInt()); });
    PlaySlider = new QSlider(Qt::Horizontal, this);
    PlaySlider->setObjectName(QStringLiteral("PlaySlider"));
    PlaySlider->setAccessibleName(QStringLiteral("Playback position"));
    PlaySlider->setRange(0, 0);
    PlaySlider->setSingleStep(100);
    PlaySlider->setPageStep(5000);
    connect(PlaySlider, &QSlider::valueChanged, this,
            [this](int step) { m_player.seek(step * m_sliderStep); });
    PlayTime = new QLabel(this);
    PlayTime->setObjectName(QStringLiteral("PlayTime"));
    PlayStatus = new QLabel(this);
    PlayStatus->setObjectName(QStringLiteral("PlayStatus"));
    CloseLogButton = new QPushButton(QStringLiteral("Close Log"), this);
    CloseLogButton->setObjectName(QStringLiteral("CloseLogButton"));
    CloseLogButton->setAccessibleName(QStringLiteral("Close Log"));
    connect(CloseLogButton, &QPushButton::clicked, this, &DataLoggerPage::closeLog);
    connect(&m_player, &LogPlayer::positionChanged, this, &DataLoggerPage::playPositionChanged);
    connect(&m_player, &LogPlayer::engagedChanged, this, &DataLoggerPage::playEngaged);
    connect(&m_player, &LogPlayer::playingChanged, this, [this](bool on) {
        const QSignalBlocker block(PlayButton);
        PlayButton->setChecked(on);
        PlayButton->setText(on ? QStringLiteral("Pause") : QStringLiteral("Play"));
    });
    auto *playRow = new QHBoxLayout;
    playRow->addWidget(PlayButton);
    playRow->addWidget(PlayStopButton);
    playRow->addWidget(PlaySpeed);
    playRow->addWidget(PlaySlider, 1);
    playRow->addWidget(PlayTime);
    playRow->addWidget(CloseLogButton);
    auto *chartColumn = new QVBoxLayout;
    chartColumn->addWidget(LogChart, 1);
    chartColumn->addLayout(playRow);
    chartColumn->addWidget(PlayStatus);

    auto *onOffRow = new QHBoxLayout;
    onOffRow->addWidget(SpeedButton1);
    onOffRow->addWidget(SpeedButton2);
    onOffRow->addStretch();
    auto *side = new QVBoxLayout;
    side->addWidget(GroupValues);
    side->addWidget(DataInterval);
    side->addLayout(onOffRow);
    side->addWidget(CheckBox18);
    side->addWidget(CheckBox19);
    side->addWidget(OpenLogButton);
    side->addStretch();
    auto *info = new QVBoxLayout;
    info->addWidget(Readout, 1);
    info->addWidget(HitFilters);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(chartColumn, 1);
    layout->addLayout(info);
    layout->addLayout(side);

    // --- the clock ---
    DataLogTimer = new TThreadedTimer(this);
    DataLogTimer->setObjectName(QStringLiteral("DataLogTimer"));
    DataLogTimer->setInterval(85);
    DataLogTimer->setAllowZero(true);
    DataLogTimer->setThreadPriority(tpTimeCritical);
    DataLogTimer->setEnabled(false);
    DataLogTimer->OnTimer = [this](QObject *) { ThreadedTimer1Timer(); };

    startLiveRecord();
    LogChart->setRecord(&m_live);
    showReadout();
    updateEnabled();
}

DataLoggerPage::~DataLoggerPage() {
    // The timer goes first: no tick may reach a half-destroyed page.
    delete DataLogTimer;
    DataLogTimer = nullptr;
    m_writer.close();
}

void DataLoggerPage::selectConnectInterval() {
    m_intervals[1]->setChecked(true);
}

int DataLoggerPage::chosenInterval() const {
    for (int i = 0; i < 4; ++i)
        if (m_intervals[i]->isChecked()) return IntervalMs[i];
    return 0;
}

bool DataLoggerPage::running() const {
    return DataLogTimer && DataLogTimer->Enabled();
}

QString DataLoggerPage::defaultRecordPath() {
    return QDir::current().filePath(
        QStringLiteral("log-%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

void DataLoggerPage::SpeedButton1Click() {
    if (running()) {
        setQuietly(SpeedButton1);
        return; // already logging
    }
    setQuietly(SpeedButton1);
    // A new log takes the chart: an opened one is closed.
    if (m_player.loaded()) closeLog();

    int interval = chosenInterval();
    if (interval == 0) {
        // Connect has not chosen an interval yet: log at 100 ms and show it.
        interval = DefaultInterval;
        m_intervals[1]->setChecked(true);
    }

    if (CheckBox19->isChecked()) {
        const QString suggested = defaultRecordPath();
        const QString path =
            m_saveName
                ? m_saveName(this, suggested)
                : QFileDialog::getSaveFileName(this, QStringLiteral("Record to File"), suggested,
                                               QStringLiteral("Data logs (*.csv)"));
        if (path.isEmpty()) {
            setQuietly(SpeedButton2);
            return;
        }
        QVector<int> columns;
        for (int i = 0; i < LogChannels::Count; ++i)
            if (m_boxes[i]->isChecked()) columns.append(i);
        QString error;
        // A FIFO or device would be written to row by row: only a regular file records.
        if (!emu::files::checkTarget(path, &error) || !m_writer.open(path, columns, &error)) {
            setQuietly(SpeedButton2);
            Messages::error(this, error);
            return;
        }
    }

    DataLogTimer->setInterval(quint32(interval - 15));
    m_logStep = interval / 1000.0;
    DataLogTimer->setEnabled(true);
    m_samples = 0;
    m_missed = 0;
    m_firstSentMs = -1;
    clearSeries();
    LogChart->setTimeRange(QCPRange(0, WindowSeconds));
    updateEnabled();
    redraw();
}

void DataLoggerPage::SpeedButton2Click() {
    stop();
    updateEnabled();
}

void DataLoggerPage::stop() {
    const bool was = running();
    DataLogTimer->setEnabled(false);
    setQuietly(SpeedButton2);
    QString error;
    if (!m_writer.close(&error)) Messages::error(this, error);
    if (was) emit m_session.status(0, stoppedText(m_samples, m_missed));
}

QString DataLoggerPage::stoppedText(qint64 samples, qint64 missed) {
    const QLocale l;
    return QStringLiteral("Log stopped: %1 samples, %2 missed")
        .arg(l.toString(samples), l.toString(missed));
}

void DataLoggerPage::ThreadedTimer1Timer() {
    if (!SpeedButton1->isChecked() || !running() || !m_session.isConnected()) return;
    const LiveValues &live = m_session.live();
    // A row carries the time its frame was asked for, so a stall shows as a gap; values that
    // came from no request take the count of samples.
    if (live.sentMs >= 0 && m_firstSentMs < 0) m_firstSentMs = live.sentMs;
    const double t = live.sentMs >= 0 ? (live.sentMs - m_firstSentMs) / 1000.0 : logTime();
    const bool chart = CheckBox18->isChecked();
    // A tick whose live reply was short or empty is no sample: the row keeps its time with every
    // field empty and each charted line gets a gap.
    const bool whole = live.complete;
    double values[LogChannels::Count];
    bool present[LogChannels::Count];
    // The chart draws the page's own record of the log, in the file's units.
    m_live.times.push_back(t);
    for (int i = 0; i < LogChannels::Count; ++i) {
        const bool ticked = m_boxes[i]->isChecked();
        present[i] = ticked && whole && LogChannels::available(i, m_session.caps().timing);
        values[i] = LogChannels::fileValue(i, live);
        m_live.values[std::size_t(i)].push_back(present[i] ? values[i] : qQNaN());
    }
    ++m_live.rows;
    if (!whole) ++m_live.missed;
    if (!whole) ++m_missed;
    if (m_writer.isOpen()) {
        QString error;
        if (!m_writer.writeRow(t, values, present, &error)) {
            const qint64 kept = m_writer.rows();
            stop();
            updateEnabled();
            Messages::error(this, error + QStringLiteral(" Logging stopped; the file keeps the %1 "
                                                         "whole rows written before.")
                                              .arg(kept));
            return;
        }
    }
    ++m_samples;
    LogChart->recordGrew();
    if (chart) redraw();
    if (!m_hitsTimer->isActive()) scheduleHits(1000);
}

void DataLoggerPage::OpenLogButtonClick() {
    const QString path =
        m_openName
            ? m_openName(this)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Open Log"), QDir::currentPath(),
                                           QStringLiteral("Data logs (*.csv);;All files (*)"));
    if (!path.isEmpty()) openLog(path);
}

bool DataLoggerPage::openLog(const QString &path) {
    if (running()) {
        Messages::error(this, QStringLiteral("Switch the logger off before opening a log."));
        return false;
    }
    LogRecord record;
    QString error;
    bool ok = emu::files::checkSource(path, &error);
    if (ok) {
        QProgressDialog progress(QStringLiteral("Opening %1...").arg(QFileInfo(path).fileName()),
                                 QString(), 0, 100, this);
        progress.setObjectName(QStringLiteral("LogProgress"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(200);
        progress.setAutoClose(false);
        ok = LogReader::read(path, &record, &error, [&progress](int p) { progress.setValue(p); });
    }
    if (!ok) {
        Messages::error(this, error);
        return false;
    }
    clearSeries();
    m_logName = QFileInfo(path).fileName();
    const double duration = record.duration();
    const QString dropped = LogReader::droppedText(record, path);
    m_player.load(std::move(record));
    {
        // Steps of a millisecond, coarser where a long log would not fit the slider's range.
        m_sliderStep = std::max(0.001, duration / 1e9);
        const QSignalBlocker block(PlaySlider);
        PlaySlider->setRange(0, int(std::ceil(duration / m_sliderStep)));
        PlaySlider->setValue(0);
    }
    m_hitsFrom = -INFINITY;
    LogChart->setRecord(CheckBox18->isChecked() ? &m_player.record() : nullptr);
    LogChart->fitAll();
    playPositionChanged(0);
    showReadout();
    updateEnabled();
    redraw();
    updateHits();
    if (!dropped.isEmpty()) emit m_session.status(0, dropped);
    return true;
}

void DataLoggerPage::closeLog() {
    m_player.unload();
    m_logName.clear();
    clearSeries();
    {
        const QSignalBlocker block(PlaySlider);
        PlaySlider->setRange(0, 0);
    }
    PlayTime->clear();
    LogChart->setTimeRange(QCPRange(0, WindowSeconds));
    showReadout();
    updateEnabled();
    redraw();
    updateHits();
}

void DataLoggerPage::playPositionChanged(double seconds) {
    if (!PlaySlider->isSliderDown()) {
        const QSignalBlocker block(PlaySlider);
        PlaySlider->setValue(int(std::lround(std::min(seconds / m_sliderStep, 2e9))));
    }
    PlayTime->setText(QStringLiteral("%1 s / %2 s")
                          .arg(QLocale().toString(seconds, 'f', 1),
                               QLocale().toString(m_player.duration(), 'f', 1)));
    // The cursor is the play position (the chart's view follows it).
    if (m_player.engaged() && !m_seeking) {
        LogChart->setCursorTime(seconds);
        showReadout();
    }
    if (m_player.engaged()) redraw();
}

void DataLoggerPage::playEngaged(bool on) {
    const QString text =
        on ? QStringLiteral("The displays show a recording: %1").arg(m_logName) : QString();
    PlayStatus->setText(text);
    emit m_session.status(0, on ? text : QStringLiteral("The displays show the live values"));
    updateEnabled();
    redraw();
}

void DataLoggerPage::clearSeries() {
    startLiveRecord();
    if (CheckBox18->isChecked())
        LogChart->setRecord(m_player.loaded() ? &m_player.record() : &m_live);
    showReadout();
}

void DataLoggerPage::startLiveRecord() {
    m_live = LogRecord();
    for (int i = 0; i < LogChannels::Count; ++i)
        m_live.series.append(i);
    m_live.values.resize(LogChannels::Count);
    m_hitsFrom = -INFINITY;
}

LogTrace *DataLoggerPage::series(int i) const {
    return LogChart->trace(i);
}

const LogRecord *DataLoggerPage::shownRecord() const {
    if (m_player.loaded()) return &m_player.record();
    return m_live.rows > 0 ? &m_live : nullptr;
}

QString DataLoggerPage::shownLogName() const {
    if (m_player.loaded()) return m_logName;
    const QString recorded = QFileInfo(m_writer.path()).fileName();
    return recorded.isEmpty() ? QStringLiteral("Logger recording") : recorded;
}

void DataLoggerPage::showReadout() {
    Readout->showAt(shownRecord(), LogChart->hasCursor(), LogChart->cursorTime(),
                    LogChart->hasSecondCursor(), LogChart->secondCursorTime());
    LogChart->setAccessibleDescription(Readout->summary());
}

MapHits::Context DataLoggerPage::hitContext() const {
    MapHits::Context c;
    c.axes = m_session.axes();
    c.lowThrottleVacuum = m_session.lowThrottleVacuum();
    c.highThrottleVacuum = m_session.highThrottleVacuum();
    c.lambdaTarget = m_session.lambdaTarget();
    return c;
}

void DataLoggerPage::scheduleHits(int ms) {
    m_hitsTimer->start(ms);
}

void DataLoggerPage::updateHits() {
    m_hitsTimer->stop();
    const LogRecord *rec = shownRecord();
    const MapHits::Context ctx = hitContext();
    MapHits::Filter filter = HitFilters->conditions();
    switch (HitFilters->range()) {
    case HitFilterBox::WholeLog:
        break;
    case HitFilterBox::VisibleRange:
        filter.from = LogChart->timeRange().lower;
        filter.to = LogChart->timeRange().upper;
        break;
    case HitFilterBox::BetweenCursors:
        if (LogChart->hasCursor() && LogChart->hasSecondCursor()) {
            filter.from = std::min(LogChart->cursorTime(), LogChart->secondCursorTime());
            filter.to = std::max(LogChart->cursorTime(), LogChart->secondCursorTime());
        }
        break;
    }
    filter.from = std::max(filter.from, m_hitsFrom);
    static const LogRecord none;
    m_hits = MapHits::compute(rec ? *rec : none, ctx, filter);
    HitFilters->showCounts(m_hits.counts);
    if (m_scatter) {
        m_scatter->setSource(rec, MapHits::keptRows(rec ? *rec : none, filter), ctx,
                             &m_session.maps());
        m_scatter->setTimeRange(LogChart->timeRange().lower, LogChart->timeRange().upper);
    }
    emit hitsChanged();
}

ScatterWindow *DataLoggerPage::scatterWindow() {
    if (!m_scatter) {
        m_scatter = new ScatterWindow(this);
        updateHits();
    }
    return m_scatter;
}

QString DataLoggerPage::paneLayout() const {
    return LogChart->layoutText();
}

void DataLoggerPage::setPaneLayout(const QString &text) {
    LogChart->setLayoutText(text);
}

void DataLoggerPage::updateEnabled() {
    const bool on = running();
    const bool log = m_player.loaded();
    CheckBox19->setEnabled(!on);
    OpenLogButton->setEnabled(!on);
    // Logging while a recording is on the displays would record a paused poll.
    SpeedButton1->setEnabled(!m_player.engaged());
    for (QWidget *w :
         std::initializer_list<QWidget *>{PlayButton, PlaySpeed, PlaySlider, CloseLogButton})
        w->setEnabled(log && !on);
    PlayStopButton->setEnabled(m_player.engaged());
}

void DataLoggerPage::redraw() {
    // A hidden chart is drawn when it is shown again.
    if (LogChart->isVisible()) LogChart->replot(QCustomPlot::rpQueuedReplot);
}

void DataLoggerPage::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    LogChart->replot();
}

QString DataLoggerPage::intervalName() const {
    for (const QRadioButton *r : DataInterval->findChildren<QRadioButton *>())
        if (r->isChecked()) return r->objectName();
    return QString();
}

void DataLoggerPage::setIntervalName(const QString &name) {
    // An empty name would match any button; a name no button has (another version's) means
    // nothing: both give the default interval.
    const auto buttons = DataInterval->findChildren<QRadioButton *>();
    const QString fallback = QStringLiteral("DataInterval%1").arg(DefaultInterval);
    for (const QString &wanted : {name, fallback}) {
        for (QRadioButton *r : buttons) {
            if (!wanted.isEmpty() && r->objectName() == wanted) {
                r->setChecked(true);
                return;
            }
        }
    }
}
