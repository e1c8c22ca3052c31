#include "monitor/LogReadout.h"

#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "model/Numbers.h"

#include <QHeaderView>
#include <QStringList>
#include <cmath>

namespace {
QString withUnit(double v, const QString &unit) {
    // Differences of decimal values carry the binary remainder: six decimals are plenty.
    return emu::num::formatGeneral(emu::num::roundTo(v, 6)) + QLatin1Char(' ') + unit;
}

QTableWidgetItem *cell(const QString &text) {
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}
} // namespace

LogReadout::LogReadout(QWidget *parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("LogReadout"));
    setAccessibleName(QStringLiteral("Cursor values"));
    setColumnCount(4);
    setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Cursor"),
                               QStringLiteral("Second cursor"), QStringLiteral("Difference")});
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setTabKeyNavigation(false);
}

double LogReadout::valueAt(const LogRecord &record, int series, double t) {
    const int column = record.column(series);
    const int row = record.rowAt(t);
    if (column < 0 || row < 0) return qQNaN();
    return record.value(column, row);
}

QString LogReadout::valueText(const LogRecord &record, int series, double t) {
    const int row = record.rowAt(t);
    if (row < 0 || record.column(series) < 0) return QString();
    if (record.isMissed(row)) return QStringLiteral("missed");
    const double v = record.value(record.column(series), row);
    return std::isnan(v) ? QString() : withUnit(v, LogChannels::unit(series));
}

void LogReadout::showAt(const LogRecord *record, bool hasFirst, double first, bool hasSecond,
                        double second) {
    const int channels = record ? int(record->series.size()) : 0;
    setRowCount(record ? channels + 1 : 0);
    m_summary.clear();
    if (!record) return;
    // Milliseconds are as fine as a log row is.
    const auto timeText = [](double t) {
        return emu::num::formatGeneral(emu::num::roundTo(t, 3)) + QStringLiteral(" s");
    };
    setItem(0, 0, cell(QStringLiteral("Time")));
    setItem(0, 1, cell(hasFirst ? timeText(first) : QString()));
    setItem(0, 2, cell(hasSecond ? timeText(second) : QString()));
    setItem(0, 3, cell(hasFirst && hasSecond ? timeText(second - first) : QString()));
    QStringList parts;
    // In series order, whatever order the file has its columns in.
    int row = 1;
    for (int s = 0; s < LogChannels::Count; ++s) {
        if (record->column(s) < 0) continue;
        const QString caption = QString::fromUtf8(LogChannels::all()[s].caption);
        const QString a = hasFirst ? valueText(*record, s, first) : QString();
        const QString b = hasSecond ? valueText(*record, s, second) : QString();
        QString d;
        if (hasFirst && hasSecond) {
            const double va = valueAt(*record, s, first), vb = valueAt(*record, s, second);
            if (!std::isnan(va) && !std::isnan(vb)) d = withUnit(vb - va, LogChannels::unit(s));
        }
        setItem(row, 0, cell(caption));
        setItem(row, 1, cell(a));
        setItem(row, 2, cell(b));
        setItem(row, 3, cell(d));
        if (hasFirst) parts << QStringLiteral("%1 %2").arg(caption, a.isEmpty() ? "none" : a);
        ++row;
    }
    if (hasFirst) m_summary = QStringLiteral("At %1: %2").arg(timeText(first), parts.join(", "));
}
