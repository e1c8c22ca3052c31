#pragma once
// The "Data Logger" tab: charts chosen live values over time on the ticks of DataLogTimer, can
// record every sample to a comma-separated file and open such a file again to look at a past run.
#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "live/LogPlayer.h"
#include "live/MapHits.h"
#include "monitor/LogTrace.h"
#include "monitor/LogViewer.h"

#include <QWidget>
#include <array>
#include <functional>
#include <qcustomplot.h>

class Session;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QToolButton;
class QTimer;
class TThreadedTimer;
class HitFilterBox;
class LogReadout;
class LogTrace;
class LogViewer;
class ScatterWindow;

// Time axis ticker: a fixed step with four minor ticks between two labels.
class LogTimeTicker : public QCPAxisTickerFixed {
public:
    LogTimeTicker() {
        setTickStep(1);
        setScaleStrategy(ssNone);
    }
    int subTicks() { return getSubTickCount(tickStep()); }

protected:
    int getSubTickCount(double) override { return 4; }
};

class DataLoggerPage : public QWidget {
    Q_OBJECT
public:
    explicit DataLoggerPage(Session &session, QWidget *parent = nullptr);
    ~DataLoggerPage() override;

    // Connect: the interval becomes "100 ms".
    void selectConnectInterval();

    // Asks for the name of a new record file; suggested is the default path. Empty: cancelled.
    using SaveNameFunction = std::function<QString(QWidget *parent, const QString &suggested)>;
    // Asks for a record file to open. Empty: cancelled.
    using OpenNameFunction = std::function<QString(QWidget *parent)>;
    void setSaveFileDialog(SaveNameFunction f) { m_saveName = std::move(f); }
    void setOpenFileDialog(OpenNameFunction f) { m_openName = std::move(f); }
    // The default record file name in the current folder: log-YYYYMMDD-HHMMSS.csv.
    static QString defaultRecordPath();

    // Shows a record file on the chart, ready to play; a faulty file gets a message and changes
    // nothing. A progress bar shows while it loads.
    bool openLog(const QString &path);
    // The chart is cleared and playback ends.
    void closeLog();

    // Plays an opened log onto the live displays (the main window subscribes them to it and
    // pauses the live poll while it is engaged).
    LogPlayer &player() { return m_player; }

    // The log (for the main window and tests).
    bool running() const;
    double logTime() const { return m_samples * m_logStep; }
    double logStep() const { return m_logStep; }
    qint64 samples() const { return m_samples; }
    // Samples of this log that had no whole live frame (empty rows, gaps on the chart).
    qint64 missed() const { return m_missed; }
    // "Log stopped: 1,204 samples, 3 missed" (the status bar when a log stops).
    static QString stoppedText(qint64 samples, qint64 missed);
    bool recording() const { return m_writer.isOpen(); }
    QString recordPath() const { return m_writer.path(); }
    // The line of series i on the chart.
    LogTrace *series(int i) const;
    // The log on the chart: the opened one, else the one being (or last) recorded; null: none.
    const LogRecord *shownRecord() const;
    // Its file's name ("Logger recording" for a recording without one).
    QString shownLogName() const;
    // The hit tables of the shown log over the maps with the filters, and the rows they kept.
    const MapHits::Hits &hits() const { return m_hits; }
    // Computes them now (they follow the log, the filters and the view by themselves, a moment
    // later).
    void updateHits();
    // The context the hits are computed in: the session's axes, thresholds and lambda target.
    MapHits::Context hitContext() const;
    // The chart's panes, as the settings keep them; a stored text that is no layout is ignored.
    QString paneLayout() const;
    void setPaneLayout(const QString &text);
    // "Scatter Plot" (made on first use).
    ScatterWindow *scatterWindow();
    // Seconds of log time per step of PlaySlider (a millisecond unless the log is very long).
    double sliderStep() const { return m_sliderStep; }
    QCheckBox *channelBox(int series) const { return m_boxes[series]; }
    // Interval chosen in DataInterval in ms, 0 while nothing is selected.
    int chosenInterval() const;
    // The chosen interval button's name ("" while none is chosen), as settings keep it; setting
    // a name no button has, or "", chooses the default interval.
    QString intervalName() const;
    void setIntervalName(const QString &name);

    // Controls under their form names.
    LogViewer *LogChart = nullptr;
    LogReadout *Readout = nullptr;        // values at the cursors
    HitFilterBox *HitFilters = nullptr;   // "Hit tables"
    QGroupBox *GroupValues = nullptr;     // "Values"
    QGroupBox *DataInterval = nullptr;    // "Interval"
    QToolButton *SpeedButton1 = nullptr;  // "On"
    QToolButton *SpeedButton2 = nullptr;  // "Off"
    QCheckBox *CheckBox18 = nullptr;      // "Display Chart"
    QCheckBox *CheckBox19 = nullptr;      // "Record to File"
    QPushButton *OpenLogButton = nullptr; // "Open Log..."
    // Playback of an opened log.
    QToolButton *PlayButton = nullptr;     // "Play" / "Pause"
    QToolButton *PlayStopButton = nullptr; // "Stop": back to the live values
    QComboBox *PlaySpeed = nullptr;        // "1x", "2x", "4x", "8x"
    QSlider *PlaySlider = nullptr;         // play position, ms
    QLabel *PlayTime = nullptr;            // "12.3 s / 3600.0 s"
    QLabel *PlayStatus = nullptr;          // says when the displays show a recording
    QPushButton *CloseLogButton = nullptr; // "Close Log"
    TThreadedTimer *DataLogTimer = nullptr;

    static constexpr int DefaultInterval = 100; // ms, used before Connect has chosen one

signals:
    // The hit tables changed (hits()).
    void hitsChanged();
    // The user moved a channel between panes (the settings keep the layout).
    void paneLayoutChanged();

public slots:
    void SpeedButton1Click();   // "On": starts a log
    void SpeedButton2Click();   // "Off": stops it, the chart keeps its points
    void ThreadedTimer1Timer(); // one sample
    void OpenLogButtonClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void clearSeries();
    void stop();
    void updateEnabled();
    void redraw();
    void playPositionChanged(double seconds);
    void playEngaged(bool on);
    void showReadout();
    void scheduleHits(int ms);
    void startLiveRecord();

    Session &m_session;
    std::array<QCheckBox *, LogChannels::Count> m_boxes{};
    std::array<QRadioButton *, 4> m_intervals{};
    QButtonGroup *m_onOff = nullptr;
    qint64 m_samples = 0;   // samples since the start; the log time is samples x step
    qint64 m_missed = 0;    // of those, ticks without a whole live frame
    double m_logStep = 0.1; // s
    // When the first row's frame was asked for (the link's clock, ms).
    qint64 m_firstSentMs = -1;
    LogWriter m_writer;
    LogPlayer m_player;
    QString m_logName; // file name of the opened log
    LogRecord m_live;  // what the logger recorded since "On"
    MapHits::Hits m_hits;
    double m_hitsFrom = -INFINITY; // "Reset": live hits count from this log time on
    QTimer *m_hitsTimer = nullptr;
    ScatterWindow *m_scatter = nullptr;
    double m_sliderStep = 0.001;
    bool m_seeking = false;
    SaveNameFunction m_saveName;
    OpenNameFunction m_openName;
};
