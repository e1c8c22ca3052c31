#pragma once
// "Fuel Suggestions": reads a data log, asks live/FuelSuggest what the fuel maps of the tune in
// memory should hold, lists it point by point and draws it on the fuel charts as a ghost curve
// (dotted, in the map's colour, with each point's samples and confidence in its tooltip). Nothing
// is sent until the user applies all of it or a range of points of one map: one history step
// that writes only the changed points, in point order.
//
// Live mode (off by default): while connected, the live values are collected and every interval
// the suggestion from them is applied by itself, each point by at most LiveMaxStep percent a
// step and LiveMaxTotal percent from where live mode began; each step is one history step (undo
// takes it back) and the window says how many it has made.
#include "live/FuelSuggest.h"
#include "live/LogFile.h"

#include <QHash>
#include <QWidget>

#include <functional>

class LiveFeed;
struct LiveValues;
class Session;
class MapPages;
class MapChart;
class QCheckBox;
class QComboBox;
class QCPGraph;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

class FuelSuggestWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { Map, Point, Axis, Samples, Rich, Confidence, Now, Change, Suggested, Columns };

    FuelSuggestWindow(Session &session, MapPages &pages, QWidget *parent = nullptr);
    ~FuelSuggestWindow() override;

    // Reads the log and suggests from it against the tune in memory; false (with *error) when
    // the log does not read or lacks a column, and the window keeps what it had.
    bool openLog(const QString &path, QString *error);
    // Where "Use Logger's Log" takes its log: the one the data logger shows (null: none yet) and
    // a name for it.
    struct LogSource {
        std::function<const LogRecord *()> record;
        std::function<QString()> name;
    };
    void setLoggerLog(LogSource source);
    // Suggests from the logger's log, as openLog does from a file.
    bool useLoggerLog(QString *error);
    // The suggestion again, from the same log and the tune as it is now.
    void reanalyse();

    // Writes the suggested points: all of them, or first..last of one map. One history step.
    // Returns the number of points written.
    int applyAll();
    int applyRange(MapId map, int first, int last);

    static constexpr double LiveMaxStep = 1;
    static constexpr double LiveMaxTotal = 5;
    // The live values live mode collects (the live poll's).
    void setLiveFeed(LiveFeed *feed);
    void setLive(bool on);
    bool live() const;
    int liveSteps() const { return m_liveSteps; }
    QString liveText() const;

    const FuelSuggest::Result &result() const { return m_result; }
    FuelSuggest::Options &options() { return m_options; }
    QTableWidget *table() const { return m_table; }
    // The ghost curve of a map on its chart (null when none is drawn).
    QCPGraph *ghost(MapId map) const { return m_ghosts.value(int(map)); }
    // The ghost point's tooltip text (empty for a point without a suggestion).
    QString pointText(MapId map, int p) const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseLog();
    bool takeLog(LogRecord log, const QString &name, QString *error);
    void takeLive(const LiveValues &v);
    void liveStep();
    void showLiveState();
    void display(const FuelSuggest::Result &r);
    // The tune changed: each suggested point's change is its suggested value minus what the map
    // holds now (an applied point shows none, an undone one its change again).
    void followTune();
    void refresh();
    void drawGhosts();
    void removeGhosts();
    void rangeMapChanged();
    int apply(const std::vector<std::pair<MapId, std::vector<std::pair<int, double>>>> &edits);
    MapChart *chartOf(MapId map) const;

    Session &m_s;
    MapPages &m_pages;
    LogRecord m_log;
    QString m_logName; // empty: no log yet
    LogSource m_logger;
    QPushButton *m_useLogger = nullptr;
    FuelSuggest::Options m_options;
    FuelSuggest::Result m_result;
    QHash<int, QCPGraph *> m_ghosts;          // by int(MapId)
    QHash<QPair<int, int>, double> m_targets; // suggested value by (int(MapId), point)

    QLabel *m_summary = nullptr;
    QCheckBox *m_vacuumMap = nullptr;
    QTableWidget *m_table = nullptr;
    QComboBox *m_rangeMap = nullptr;
    QSpinBox *m_first = nullptr;
    QSpinBox *m_last = nullptr;
    QPushButton *m_applyAll = nullptr;
    QPushButton *m_applyRange = nullptr;
    QCheckBox *m_live = nullptr;
    QSpinBox *m_liveEvery = nullptr;
    QLabel *m_liveState = nullptr;

    LiveFeed *m_feed = nullptr;
    LogRecord m_liveLog;
    qint64 m_liveStartMs = 0;  // live mode began (session clock)
    qint64 m_liveWindowMs = 0; // the samples collected since
    int m_liveSteps = 0;
    QHash<QPair<int, int>, double> m_liveBase; // point values when live mode began
};
