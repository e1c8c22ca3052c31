#pragma once
// The data logger's chart: the channels of a log in up to six stacked panes, each with its own
// vertical axis in its channels' units (a second unit on the right-hand axis), one time axis for
// all of them, and two time cursors.
//
// Mouse: a click sets the cursor, Shift+click the second cursor; a drag pans, Ctrl+drag zooms to
// the dragged range, the wheel zooms around the pointer; a right click offers "Move to pane"
// for each channel, "Fit all" and removing the second cursor.
// Keys: Left / Right step the cursor one sample (with Shift the second cursor), Home / End go to
// the first and last sample, + and - zoom around the cursor, Ctrl+Left / Ctrl+Right (or Page Up
// / Page Down) pan by half the view, F or 0 fits the whole log.
// While recording, a view that shows the newest sample keeps following it.
#include <QVector>
#include <array>
#include <map>
#include <qcustomplot.h>

struct LogRecord;
class LogTrace;

class LogViewer : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int MaxPanes = 6;
    static constexpr double DefaultWindow = 30; // s shown while recording starts

    explicit LogViewer(QWidget *parent = nullptr);

    // The log the traces draw (null: none). Keeps the layout; the cursors are removed.
    void setRecord(const LogRecord *record);
    const LogRecord *record() const { return m_record; }
    // Rows were appended to the record (recording): the view follows the newest sample while it
    // shows it; the vertical axes grow to take new values.
    void recordGrew();

    LogTrace *trace(int series) const { return m_traces[series]; }

    // Layout: the pane of each series (0 at the top).
    int paneCount() const { return int(m_panes.size()); }
    QCPAxisRect *pane(int i) const { return m_panes.value(i); }
    int paneOf(int series) const { return m_paneOf[series]; }
    // Moves a channel to pane `pane` (paneCount() makes a new pane at the bottom, while fewer
    // than MaxPanes); an emptied pane goes away.
    void moveToPane(int series, int pane);
    // "0;2,8;3;7,9,4;1;5,6,10": the series of each pane, top to bottom.
    QString layoutText() const;
    // Takes a stored layout; false (and the layout unchanged) when it is not a valid one.
    bool setLayoutText(const QString &text);
    static QString defaultLayout();

    // The time axis.
    QCPRange timeRange() const;
    void setTimeRange(const QCPRange &range);
    void fitAll();
    void zoomTime(double factor, double center);
    void panTime(double fraction);
    bool following() const { return m_follow; }

    // Cursors (log time, s). Setting one by program does not seek the player; the signals tell
    // what the user did.
    bool hasCursor() const { return m_hasCursor; }
    double cursorTime() const { return m_cursorTime; }
    void setCursorTime(double t);
    void clearCursor();
    bool hasSecondCursor() const { return m_hasSecond; }
    double secondCursorTime() const { return m_secondTime; }
    void setSecondCursorTime(double t);
    void clearSecondCursor();

    // The target volts drawn as a line in the lambda channel's pane.
    void setLambdaTarget(double volts);
    double lambdaTarget() const { return m_lambdaTarget; }

signals:
    void cursorMoved(double t); // by the user: a click, a key
    void secondCursorMoved(double t);
    void secondCursorCleared();
    void timeRangeChanged(const QCPRange &range);
    void layoutChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The extent with a margin; a margin never takes an axis of values that are all
    // positive below zero.
    static QCPRange padded(const QCPRange &extent);
    void rebuild(const QVector<QVector<int>> &panes);
    QVector<QVector<int>> panesOf() const;
    void fitValues();
    void placeItems();
    void timeAxisMoved(const QCPRange &range);
    int stepRow(double from, int direction) const;
    void userCursor(double t, bool second);

    const LogRecord *m_record = nullptr;
    std::array<LogTrace *, 11> m_traces{};
    std::array<int, 11> m_paneOf{};
    QVector<int> m_order; // series in the order of the layout text
    QVector<QCPAxisRect *> m_panes;
    QVector<QCPItemStraightLine *> m_cursorLines, m_secondLines;
    QCPItemStraightLine *m_targetLine = nullptr;
    QCPMarginGroup *m_margins = nullptr;
    bool m_hasCursor = false, m_hasSecond = false;
    double m_cursorTime = 0, m_secondTime = 0;
    double m_lambdaTarget = 0.45;
    bool m_follow = true;
    // Lowest and highest value drawn on each vertical axis: the axis shows them with a margin.
    std::map<QCPAxis *, QCPRange> m_extents;
    bool m_syncing = false;
    QPoint m_pressPos;
};
