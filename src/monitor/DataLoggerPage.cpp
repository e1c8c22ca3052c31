#include "monitor/DataLoggerPage.h"

#include "connection/FileCheck.h"
#include "connection/Session.h"
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

    // --- the chart ---
    LogChart = new QCustomPlot(this);
    LogChart->setObjectName(QStringLiteral("LogChart"));
    LogChart->setAccessibleName(QStringLiteral("Data Logger chart"));
    LogChart->legend->setVisible(false);
    LogChart->setPlottingHint(QCP::phFastPolylines, true);
    LogChart->xAxis->setLabel(QStringLiteral("Time (s)"));
    LogChart->xAxis->setTicker(QSharedPointer<LogTimeTicker>::create());
    LogChart->xAxis->setRange(0, WindowSeconds);
    LogChart->yAxis->setLabel(QStringLiteral("Value"));
    LogChart->yAxis->setRange(0, 100);
    // Horizontal panning only; no zoom.
    LogChart->setInteractions(QCP::iRangeDrag);
    LogChart->axisRect()->setRangeDrag(Qt::Horizontal);
    LogChart->axisRect()->setRangeZoom(Qt::Orientations());
    for (int i = 0; i < LogChannels::Count; ++i) {
        const LogChannels::Channel &ch = LogChannels::all()[i];
        QCPGraph *g = LogChart->addGraph();
        g->setName(QString::fromUtf8(ch.caption));
        g->setPen(QPen(QColor(ch.colour)));
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        g->setAdaptiveSampling(true); // only the visible key range is drawn, thinned to pixels
        g->setAntialiased(false);     // plain 1-pixel lines: a redraw costs a fraction
        m_series[i] = g;
    }

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
    connect(CheckBox18, &QCheckBox::toggled, this, [this](bool on) {
        if (on) redraw();
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
            [this](int ms) { m_player.seek(ms / 1000.0); });
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
    m_cursor = new QCPItemStraightLine(LogChart);
    m_cursor->setPen(QPen(Qt::black, 1, Qt::DashLine));
    m_cursor->setVisible(false);
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
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(chartColumn, 1);
    layout->addLayout(side);

    // --- the clock ---
    DataLogTimer = new TThreadedTimer(this);
    DataLogTimer->setObjectName(QStringLiteral("DataLogTimer"));
    DataLogTimer->setInterval(85);
    DataLogTimer->setAllowZero(true);
    DataLogTimer->setThreadPriority(tpTimeCritical);
    DataLogTimer->setEnabled(false);
    DataLogTimer->OnTimer = [this](QObject *) { ThreadedTimer1Timer(); };

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
    LogChart->xAxis->setRange(0, WindowSeconds);
    clearSeries();
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
    if (!SpeedButton1->isChecked() || !running() || !m_session.connected) return;
    const LiveValues &live = m_session.live;
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
    for (int i = 0; i < LogChannels::Count; ++i) {
        const bool ticked = m_boxes[i]->isChecked();
        present[i] = ticked && whole;
        values[i] = LogChannels::fileValue(i, live);
        if (ticked && chart) // appended at the end: constant time
            m_series[i]->addData(t, whole ? LogChannels::value(i, live) : qQNaN());
    }
    if (!whole) ++m_missed;
    if (m_writer.isOpen()) {
        QString error;
        if (!m_writer.writeRow(t, values, present, &error)) {
            stop();
            updateEnabled();
            Messages::error(this, error + QStringLiteral(" Logging stopped."));
            return;
        }
    }
    QCPAxis *x = LogChart->xAxis;
    if (t > x->range().upper)
        x->setRange(x->range().lower + WindowSeconds, x->range().upper + WindowSeconds);
    ++m_samples;
    if (chart) redraw();
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
    for (int c = 0; c < record.series.size(); ++c) {
        // The chart keeps its scaled values; the file holds engineering units.
        const int series = record.series[c];
        QVector<double> charted(record.values[c]);
        for (double &v : charted)
            v = LogChannels::chartFromFile(series, v);
        m_series[series]->setData(record.keys[c], charted, true);
    }
    m_logName = QFileInfo(path).fileName();
    const double duration = record.duration();
    m_player.load(std::move(record));
    {
        const QSignalBlocker block(PlaySlider);
        PlaySlider->setRange(0, int(std::lround(std::min(duration, 1e8) * 1000)));
        PlaySlider->setValue(0);
    }
    playPositionChanged(0);
    LogChart->xAxis->setRange(0, WindowSeconds);
    updateEnabled();
    redraw();
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
    LogChart->xAxis->setRange(0, WindowSeconds);
    updateEnabled();
    redraw();
}

void DataLoggerPage::playPositionChanged(double seconds) {
    if (!PlaySlider->isSliderDown()) {
        const QSignalBlocker block(PlaySlider);
        PlaySlider->setValue(int(std::lround(seconds * 1000)));
    }
    PlayTime->setText(QStringLiteral("%1 s / %2 s")
                          .arg(QLocale().toString(seconds, 'f', 1),
                               QLocale().toString(m_player.duration(), 'f', 1)));
    m_cursor->point1->setCoords(seconds, 0);
    m_cursor->point2->setCoords(seconds, 1);
    // The chart's window follows the play position.
    QCPAxis *x = LogChart->xAxis;
    if (m_player.engaged() && !x->range().contains(seconds)) {
        const double lower = std::floor(seconds / WindowSeconds) * WindowSeconds;
        x->setRange(lower, lower + WindowSeconds);
    }
    if (m_player.engaged()) redraw();
}

void DataLoggerPage::playEngaged(bool on) {
    m_cursor->setVisible(on);
    const QString text =
        on ? QStringLiteral("The displays show a recording: %1").arg(m_logName) : QString();
    PlayStatus->setText(text);
    emit m_session.status(0, on ? text : QStringLiteral("The displays show the live values"));
    updateEnabled();
    redraw();
}

void DataLoggerPage::clearSeries() {
    for (QCPGraph *g : m_series)
        g->data()->clear();
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
