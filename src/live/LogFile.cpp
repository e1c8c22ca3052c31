#include "live/LogFile.h"

#include "live/FileWrite.h"
#include "live/LogChannels.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <cmath>

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
    m_rows = 0;
    m_size = 0;
    m_file.setFileName(path);
    // Unbuffered: each row reaches the system in one write, and a failed one is seen at once.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
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
    QString why;
    if (!emu::files::writeAll(m_file, header, &why)) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be written: %2.")
                         .arg(QDir::toNativeSeparators(path), why);
        m_file.close();
        return false;
    }
    m_size = header.size();
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
    QString why;
    if (!emu::files::writeAll(m_file, m_line, &why)) {
        // A row that went out in part (the disk filled up in its middle) is taken back, so the
        // file ends with the last whole row.
        QString cut;
        const bool whole = emu::files::truncateTo(m_file, m_size, &cut);
        if (error) {
            *error = QStringLiteral("Writing the log file \"%1\" failed: %2.")
                         .arg(QDir::toNativeSeparators(m_file.fileName()), why);
            if (!whole) *error += QStringLiteral(" Its last row may be incomplete (%1).").arg(cut);
        }
        return false;
    }
    m_size += m_line.size();
    ++m_rows;
    return true;
}

bool LogWriter::close(QString *error) {
    if (!m_file.isOpen()) return true;
    QString why;
    const bool ok = emu::files::syncToDisk(m_file, &why);
    if (!ok && error)
        *error = QStringLiteral("Writing the log file \"%1\" failed: %2.")
                     .arg(QDir::toNativeSeparators(m_file.fileName()), why);
    m_file.close();
    return ok;
}

double LogRecord::duration() const {
    double end = 0;
    for (const QVector<double> &k : keys)
        if (!k.isEmpty()) end = std::max(end, k.last());
    return end;
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

bool parse(const QByteArray &text, const QString &name, LogRecord *out, QString *error,
           const Progress &progress) {
    const QString file = QDir::toNativeSeparators(name);
    auto fail = [&](int line, const QString &what) {
        if (error) {
            *error = line > 0 ? QStringLiteral("\"%1\" is not a data log: line %2: %3.")
                                    .arg(file)
                                    .arg(line)
                                    .arg(what)
                              : QStringLiteral("\"%1\" is not a data log: %2.").arg(file, what);
        }
        return false;
    };

    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty()) return fail(0, QStringLiteral("the file is empty"));
    for (QByteArray &l : lines)
        if (l.endsWith('\r')) l.chop(1);
    if (lines.first().startsWith("\xEF\xBB\xBF")) lines.first().remove(0, 3);

    const QList<QByteArray> header = lines.first().split(',');
    if (header.first().trimmed() != "time_s")
        return fail(1, QStringLiteral("the header does not start with \"time_s\""));
    LogRecord rec;
    // The earlier format names its columns by the check box captions and holds chart values.
    if (header.size() > 1 &&
        LogChannels::indexOfColumn(QString::fromUtf8(header[1].trimmed())) < 0 &&
        LogChannels::indexOf(QString::fromUtf8(header[1].trimmed())) >= 0)
        rec.oldFormat = true;
    for (int c = 1; c < header.size(); ++c) {
        const QString caption = QString::fromUtf8(header[c].trimmed());
        const int s =
            rec.oldFormat ? LogChannels::indexOf(caption) : LogChannels::indexOfColumn(caption);
        if (s < 0) return fail(1, QStringLiteral("unknown channel \"%1\"").arg(caption));
        if (rec.series.contains(s))
            return fail(1, QStringLiteral("channel \"%1\" appears twice").arg(caption));
        rec.series.append(s);
    }
    const int columns = rec.series.size();
    rec.keys.resize(columns);
    rec.values.resize(columns);

    for (int c = 0; c < columns; ++c) {
        rec.keys[c].reserve(lines.size());
        rec.values[c].reserve(lines.size());
    }
    double lastTime = -INFINITY;
    const int step = std::max(1, int(lines.size() / 50));
    QVarLengthArray<QByteArrayView, 16> fields;
    for (int i = 1; i < lines.size(); ++i) {
        if (progress && i % step == 0) progress(int(qint64(i) * 100 / lines.size()));
        const int lineNo = i + 1;
        splitFields(lines[i], &fields);
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
        for (int c = 0; c < columns && missed; ++c)
            missed = fields[c + 1].isEmpty();
        if (missed) {
            // No whole frame at this time: a gap in every line.
            for (int c = 0; c < columns; ++c) {
                rec.keys[c].append(t);
                rec.values[c].append(qQNaN());
            }
            ++rec.missed;
            ++rec.rows;
            continue;
        }
        for (int c = 0; c < columns; ++c) {
            const QByteArrayView f = fields[c + 1];
            if (f.isEmpty()) continue; // channel not sampled at this time
            double v = 0;
            if (!parseNumber(f, &v))
                return fail(lineNo, QStringLiteral("\"%1\" is not a number")
                                        .arg(QString::fromUtf8(
                                            f.first(std::min<qsizetype>(40, f.size())))));
            rec.keys[c].append(t);
            rec.values[c].append(rec.oldFormat ? LogChannels::fileFromChart(rec.series[c], v) : v);
        }
        ++rec.rows;
    }
    *out = std::move(rec);
    return true;
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
    if (f.size() > MaxFileSize) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" is too large (%2 MB; at most %3 MB).")
                         .arg(file)
                         .arg(f.size() / (1024 * 1024))
                         .arg(MaxFileSize / (1024 * 1024));
        return false;
    }
    const QByteArray text = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("The log file \"%1\" cannot be read: %2.")
                         .arg(file, f.errorString());
        return false;
    }
    return parse(text, path, out, error, progress);
}
} // namespace LogReader
