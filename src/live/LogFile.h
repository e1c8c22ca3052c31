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
    // A row that fails is taken back whole: the file always ends with the last whole row, and
    // *error names the system's reason ("No space left on device").
    bool writeRow(double time, const double *values, const bool *present, QString *error);
    // Rows written since open().
    qint64 rows() const { return m_rows; }
    bool close(QString *error = nullptr);

    // A number as written to the file: up to 15 significant digits, '.' as separator.
    static QByteArray number(double v);

private:
    QFile m_file;
    QVector<int> m_columns;
    QByteArray m_line;
    qint64 m_rows = 0;
    qint64 m_size = 0; // bytes up to the end of the last whole row
};

// A record file read back.
struct LogRecord {
    QVector<int> series;           // series index of each value column, in file order
    QVector<QVector<double>> keys; // per column: log times of its points, ascending
    // per column: the values in engineering units; NaN at a missed sample (a gap)
    QVector<QVector<double>> values;
    int rows = 0;
    int missed = 0;         // rows with every field empty
    bool oldFormat = false; // converted from the earlier format
    double duration() const;
};

namespace LogReader {
// Largest file accepted (an hour at 50 ms is about 5 MB).
constexpr qint64 MaxFileSize = 256ll * 1024 * 1024;
// Told the share of the file read so far (0..100) now and then.
using Progress = std::function<void(int percent)>;
// Reads the whole file; on any fault returns false with a message naming the file and the line,
// and leaves *out untouched.
bool read(const QString &path, LogRecord *out, QString *error,
          const Progress &progress = Progress());
// The same for text already in memory (name is used in messages).
bool parse(const QByteArray &text, const QString &name, LogRecord *out, QString *error,
           const Progress &progress = Progress());
} // namespace LogReader
