#pragma once
// The data logger's record file: comma-separated text, one header line "time_s,<column>,..."
// naming the channels recorded (in series order, each title with its unit: rpm, timing_deg,
// vacuum_bar, ...), then one line per sample with the log time in seconds and the channels'
// values in engineering units; a channel that was not sampled at that time (its box was
// unchecked during the log) has an empty field, and a missed sample (no whole live frame) keeps
// its time with every field empty. Numbers use '.' as decimal separator whatever the locale.
//
// Logs of the earlier format ("time_s,RPM,Timing,...", the chart's scaled values under the check
// box captions) still open: they are recognised by their header and converted.
#include <QFile>
#include <QString>
#include <QVector>
#include <functional>
#include <vector>

class QIODevice;

class LogWriter {
public:
    LogWriter() = default;
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;
    ~LogWriter();

    // Creates (or truncates) the file and writes the header. columns: series indices, ascending.
    bool open(const QString &path, const QVector<int> &columns, QString *error);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    const QVector<int> &columns() const { return m_columns; }
    // One row; values (engineering units) and present are indexed by series; a row with nothing
    // present is a missed sample. The row reaches the operating system
    // before this returns, so a crash of the program loses nothing written so far.
    bool writeRow(double time, const double *values, const bool *present, QString *error);
    bool close(QString *error = nullptr);

    // A number as written to the file: up to 15 significant digits, '.' as separator.
    static QByteArray number(double v);

private:
    QFile m_file;
    QVector<int> m_columns;
    QByteArray m_line;
};

// A record file read back. One time column for every row and one compact value column per
// channel, each as long as the time column: an hour at 50 ms of eleven channels takes about
// 7 MB, under twice the file's size.
struct LogRecord {
    QVector<int> series;       // series index of each value column, in file order
    std::vector<double> times; // log time of every row, ascending
    // per column, one value per row in engineering units; NaN where the field is empty (a
    // missed sample, or a channel that was not sampled at that time)
    std::vector<std::vector<double>> values;
    int rows = 0;
    int missed = 0;              // rows with every field empty
    bool oldFormat = false;      // converted from the earlier format
    bool droppedCutLine = false; // the last line had no line end (a cut row) and was left out

    double duration() const { return times.empty() ? 0.0 : times.back(); }
    // Column of a series, -1 when the log lacks it.
    int column(int series) const { return this->series.indexOf(series); }
    // Value of a column at a row (NaN: empty field).
    double value(int column, int row) const { return values[column][row]; }
    // A row with every field empty: no whole live frame at that time.
    bool isMissed(int row) const;
    // The last row at or before t, -1 before the first row.
    int rowAt(double t) const;
};

namespace LogReader {
// Largest file accepted. Opening takes about twice the file's size in memory.
constexpr qint64 MaxFileSize = 256ll * 1024 * 1024;
// Longest line accepted: a row of every channel written with 15 significant digits is about 300
// characters; a longer line is refused as soon as its first MaxLineLength bytes are read.
constexpr int MaxLineLength = 4096;
// Told the share of the file read so far (0..100) now and then.
using Progress = std::function<void(int percent)>;
// Reads the file; on any fault returns false with a message naming the file and the line, and
// leaves *out untouched. A last line without a line end is a row cut short (a full disk, a crash
// while recording): it is left out and droppedCutLine says so.
bool read(const QString &path, LogRecord *out, QString *error,
          const Progress &progress = Progress());
// The same for an open device (name is used in messages).
bool read(QIODevice &in, const QString &name, LogRecord *out, QString *error,
          const Progress &progress = Progress());
// The same for text already in memory.
bool parse(const QByteArray &text, const QString &name, LogRecord *out, QString *error,
           const Progress &progress = Progress());
// "The last line of "x.csv" was cut short and was left out." for a record that dropped one,
// else empty.
QString droppedText(const LogRecord &record, const QString &name);
} // namespace LogReader
