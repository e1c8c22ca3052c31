#include "live/LogFile.h"

#include "live/LogChannels.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

LogWriter::~LogWriter() {
    close();
}

QByteArray LogWriter::number(double v) {
    if (v == 0) v = 0; // no "-0"
    return QByteArray::number(v, 'g', 15);
}

bool LogWriter::open(const QString &path, const QVector<int> &columns, QString *error) {
    close();
    m_columns = columns;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be created: %2.")
                         .arg(QDir::toNativeSeparators(path), m_file.errorString());
        return false;
    }
    QByteArray header("time_s");
    for (int s : columns) {
        header += ',';
        header += LogChannels::all()[s].column;
    }
    header += '\n';
    if (m_file.write(header) != header.size() || !m_file.flush()) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be written: %2.")
                         .arg(QDir::toNativeSeparators(path), m_file.errorString());
        m_file.close();
        return false;
    }
    return true;
}

bool LogWriter::writeRow(double time, const double *values, const bool *present, QString *error) {
    if (!m_file.isOpen()) return false;
    m_line.clear();
    m_line += number(time);
    for (int s : m_columns) {
        m_line += ',';
        if (present[s]) m_line += number(values[s]);
    }
    m_line += '\n';
    if (m_file.write(m_line) != m_line.size() || !m_file.flush()) {
        if (error)
            *error = QStringLiteral("Writing the log file \"%1\" failed: %2.")
                         .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
        return false;
    }
    return true;
}

bool LogWriter::close(QString *error) {
    if (!m_file.isOpen()) return true;
    const bool ok = m_file.flush();
    if (!ok && error)
        *error = QStringLiteral("Writing the log file \"%1\" failed: %2.")
                     .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
    m_file.close();
    return ok;
}

bool LogRecord::isMissed(int row) const {
    if (values.empty()) return false;
    for (const std::vector<double> &column : values)
        if (!std::isnan(column[row])) return false;
    return true;
}

int LogRecord::rowAt(double t) const {
    return int(std::upper_bound(times.cbegin(), times.cend(), t) - times.cbegin()) - 1;
}

namespace LogReader {
namespace {
bool parseNumber(QByteArrayView field, double *out) {
    // from_chars: '.' whatever the locale, and no allocation (an hour's log has 800,000 fields).
    double v = 0;
    const char *end = field.data() + field.size();
    const auto r = std::from_chars(field.data(), end, v);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// Splits a line at its commas into views of the trimmed fields.
void splitFields(QByteArrayView line, QVarLengthArray<QByteArrayView, 16> *fields) {
    fields->clear();
    qsizetype from = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(',', from);
        const qsizetype to = comma < 0 ? line.size() : comma;
        fields->append(line.sliced(from, to - from).trimmed());
        if (comma < 0) return;
        from = comma + 1;
    }
}
} // namespace

namespace {
// Line ends in the rest of the device, to size the columns once (growing them would hold the
// old and the new block at once). The device is back where it was afterwards.
qint64 countLines(QIODevice &in) {
    const qint64 from = in.pos();
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 lines = 1;
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n <= 0) break;
        lines += std::count(chunk.constData(), chunk.constData() + n, '\n');
    }
    in.seek(from);
    return lines;
}
} // namespace

bool read(QIODevice &in, const QString &name, LogRecord *out, QString *error,
          const Progress &progress) {
    const QString file = QDir::toNativeSeparators(name);
    auto fail = [&](qint64 line, const QString &what) {
        if (error) {
            *error = line > 0 ? QStringLiteral("\"%1\" is not a data log: line %2: %3.")
                                    .arg(file)
                                    .arg(line)
                                    .arg(what)
                              : QStringLiteral("\"%1\" is not a data log: %2.").arg(file, what);
        }
        return false;
    };
    const qint64 size = in.isSequential() ? -1 : in.size();
    if (size > MaxFileSize) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" is too large (%2 MB; at most %3 MB).")
                         .arg(file)
                         .arg(size / (1024 * 1024))
                         .arg(MaxFileSize / (1024 * 1024));
        return false;
    }
    const qint64 expected = in.isSequential() ? 0 : countLines(in);

    // One line at a time into a fixed buffer: a line longer than any row is refused as soon as
    // the buffer is full, without reading the rest of it.
    char buffer[MaxLineLength + 2];
    qint64 lineNo = 0;
    bool cut = false; // the line just read has no line end
    bool readFailed = false;
    auto readLine = [&](QByteArrayView *line) -> int {
        const qint64 n = in.readLine(buffer, sizeof buffer);
        if (n < 0 && !in.atEnd()) readFailed = true;
        if (n <= 0) return 0;
        ++lineNo;
        qint64 len = n;
        cut = buffer[len - 1] != '\n';
        if (cut && len == qint64(sizeof buffer) - 1 && !in.atEnd()) return -1;
        if (!cut) --len;
        if (len > 0 && buffer[len - 1] == '\r') --len;
        *line = QByteArrayView(buffer, len);
        return 1;
    };
    const auto tooLong = [&] {
        return fail(lineNo,
                    QStringLiteral("the line is longer than %1 characters").arg(MaxLineLength));
    };

    QByteArrayView line;
    int got = readLine(&line);
    if (got < 0) return tooLong();
    while (got > 0 && line.trimmed().isEmpty())
        got = readLine(&line);
    if (got < 0) return tooLong();
    if (got == 0) {
        if (readFailed) return fail(0, in.errorString());
        return fail(0, QStringLiteral("the file is empty"));
    }
    if (line.startsWith("\xEF\xBB\xBF")) line = line.sliced(3);

    QVarLengthArray<QByteArrayView, 16> header;
    splitFields(line, &header);
    if (header.first() != "time_s")
        return fail(lineNo, QStringLiteral("the header does not start with \"time_s\""));
    LogRecord rec;
    // The earlier format names its columns by the check box captions and holds chart values.
    if (header.size() > 1) {
        const QString first = QString::fromUtf8(header[1]);
        rec.oldFormat = LogChannels::indexOfColumn(first) < 0 && LogChannels::indexOf(first) >= 0;
    }
    for (int c = 1; c < header.size(); ++c) {
        const QString caption = QString::fromUtf8(header[c]);
        const int s =
            rec.oldFormat ? LogChannels::indexOf(caption) : LogChannels::indexOfColumn(caption);
        if (s < 0) return fail(lineNo, QStringLiteral("unknown channel \"%1\"").arg(caption));
        if (rec.series.contains(s))
            return fail(lineNo, QStringLiteral("channel \"%1\" appears twice").arg(caption));
        rec.series.append(s);
    }
    const int columns = rec.series.size();
    rec.values.resize(columns);
    const std::size_t reserve = std::size_t(std::max<qint64>(0, expected - 1));
    rec.times.reserve(reserve);
    for (std::vector<double> &v : rec.values)
        v.reserve(reserve);

    double lastTime = -INFINITY;
    qint64 blankLine = 0; // first of a run of blank lines: only allowed at the end
    const qint64 progressStep = std::max<qint64>(1, expected / 50);
    QVarLengthArray<QByteArrayView, 16> fields;
    double row[LogChannels::Count];
    while ((got = readLine(&line)) != 0) {
        if (got < 0) return tooLong();
        if (progress && expected > 0 && lineNo % progressStep == 0)
            progress(int(std::min<qint64>(100, lineNo * 100 / expected)));
        if (line.trimmed().isEmpty()) {
            if (blankLine == 0) blankLine = lineNo;
            continue;
        }
        if (cut) {
            // The writer ends every row with a line end: this one was cut short.
            rec.droppedCutLine = true;
            break;
        }
        if (blankLine != 0)
            return fail(blankLine,
                        QStringLiteral("1 fields where the header has %1").arg(columns + 1));
        splitFields(line, &fields);
        if (fields.size() != columns + 1)
            return fail(lineNo, QStringLiteral("%1 fields where the header has %2")
                                    .arg(fields.size())
                                    .arg(columns + 1));
        double t = 0;
        if (!parseNumber(fields[0], &t))
            return fail(lineNo, QStringLiteral("\"%1\" is not a time")
                                    .arg(QString::fromUtf8(fields[0].first(
                                        std::min<qsizetype>(40, fields[0].size())))));
        if (t < lastTime) return fail(lineNo, QStringLiteral("the time goes backwards"));
        lastTime = t;
        bool missed = columns > 0;
        for (int c = 0; c < columns; ++c) {
            const QByteArrayView f = fields[c + 1];
            row[c] = qQNaN();
            if (f.isEmpty()) continue; // not sampled at this time (or a missed sample)
            missed = false;
            double v = 0;
            if (!parseNumber(f, &v))
                return fail(lineNo, QStringLiteral("\"%1\" is not a number")
                                        .arg(QString::fromUtf8(
                                            f.first(std::min<qsizetype>(40, f.size())))));
            row[c] = rec.oldFormat ? LogChannels::fileFromChart(rec.series[c], v) : v;
        }
        if (rec.rows == std::numeric_limits<int>::max())
            return fail(lineNo, QStringLiteral("too many rows"));
        rec.times.push_back(t);
        for (int c = 0; c < columns; ++c)
            rec.values[c].push_back(row[c]);
        if (missed) ++rec.missed;
        ++rec.rows;
    }
    if (readFailed) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be read: %2.")
                         .arg(file, in.errorString());
        return false;
    }
    *out = std::move(rec);
    return true;
}

bool parse(const QByteArray &text, const QString &name, LogRecord *out, QString *error,
           const Progress &progress) {
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer, name, out, error, progress);
}

bool read(const QString &path, LogRecord *out, QString *error, const Progress &progress) {
    const QString file = QDir::toNativeSeparators(path);
    QFile f(path);
    if (QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be opened: %2.")
                         .arg(file, QFileInfo(path).isDir() ? QStringLiteral("it is a folder")
                                                            : f.errorString());
        return false;
    }
    return read(f, path, out, error, progress);
}

QString droppedText(const LogRecord &record, const QString &name) {
    if (!record.droppedCutLine) return QString();
    return QStringLiteral("The last line of \"%1\" was cut short and was left out.")
        .arg(QFileInfo(name).fileName());
}
} // namespace LogReader
