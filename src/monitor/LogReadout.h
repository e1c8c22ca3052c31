#pragma once
// The values of a log at the chart's cursors: one row per channel of the log (and the time),
// the value with its unit at the cursor, at the second cursor and their difference (second minus
// first). A value is the channel's sample at or before the cursor, never interpolated; a row
// without a whole live frame reads "missed".
#include <QTableWidget>

struct LogRecord;

class LogReadout : public QTableWidget {
    Q_OBJECT
public:
    explicit LogReadout(QWidget *parent = nullptr);

    // Fills the table for these cursors (has*: the cursor is set).
    void showAt(const LogRecord *record, bool hasFirst, double first, bool hasSecond,
                double second);
    // The text of one channel at t: "2500 RPM", "missed", "" before the first sample or where
    // the channel was not sampled.
    static QString valueText(const LogRecord &record, int series, double t);
    // The value itself, NaN for a missed sample or none.
    static double valueAt(const LogRecord &record, int series, double t);
    // "At 12.3 s: RPM 2500 RPM, Vacuum 0.47 bar, ..." for a screen reader.
    QString summary() const { return m_summary; }

private:
    QString m_summary;
};
