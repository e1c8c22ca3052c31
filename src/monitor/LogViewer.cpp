#include "monitor/LogViewer.h"

#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "monitor/LogTrace.h"

#include <QMenu>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {
constexpr int LambdaSeries = 3;

// Within a pane the channels differ by their markers as well as by colour.
const QCPScatterStyle::ScatterShape Markers[] = {
    QCPScatterStyle::ssNone, QCPScatterStyle::ssCircle, QCPScatterStyle::ssSquare,
    QCPScatterStyle::ssTriangle, QCPScatterStyle::ssDiamond};

void placeVertical(QCPItemStraightLine *line, double t) {
    line->point1->setCoords(t, 0);
    line->point2->setCoords(t, 1);
}
} // namespace

LogViewer::LogViewer(QWidget *parent) : QCustomPlot(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setNoAntialiasingOnDrag(true);
    setPlottingHint(QCP::phFastPolylines, true);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    setSelectionRectMode(QCP::srmNone);
    setAutoAddPlottableToLegend(false); // each pane has a legend of its own
    m_margins = new QCPMarginGroup(this);
    for (int s = 0; s < LogChannels::Count; ++s)
        m_paneOf[s] = 0;
    setLayoutText(defaultLayout());
}

QString LogViewer::defaultLayout() {
    // RPM; vacuum and throttle; lambda; water, air and battery; timing; injector and the pot.
    return QStringLiteral("0;2,8;3;7,9,4;1;5,6,10");
}

QVector<QVector<int>> LogViewer::panesOf() const {
    QVector<QVector<int>> panes(paneCount());
    // Each pane lists its series in the order they joined it (kept by layoutText's order).
    for (int p = 0; p < paneCount(); ++p)
        for (int s : m_order)
            if (m_paneOf[s] == p) panes[p].append(s);
    return panes;
}

QString LogViewer::layoutText() const {
    QStringList panes;
    for (const QVector<int> &p : panesOf()) {
        QStringList ids;
        for (int s : p)
            ids << QString::number(s);
        panes << ids.join(QLatin1Char(','));
    }
    return panes.join(QLatin1Char(';'));
}

bool LogViewer::setLayoutText(const QString &text) {
    const QStringList paneTexts = text.split(QLatin1Char(';'));
    if (paneTexts.isEmpty() || paneTexts.size() > MaxPanes) return false;
    QVector<QVector<int>> panes;
    std::array<bool, LogChannels::Count> seen{};
    for (const QString &p : paneTexts) {
        QVector<int> ids;
        for (const QString &id : p.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int s = id.trimmed().toInt(&ok);
            if (!ok || s < 0 || s >= LogChannels::Count || seen[s]) return false;
            seen[s] = true;
            ids.append(s);
        }
        if (ids.isEmpty()) return false;
        panes.append(ids);
    }
    if (std::find(seen.cbegin(), seen.cend(), false) != seen.cend()) return false;
    rebuild(panes);
    return true;
}

void LogViewer::moveToPane(int series, int pane) {
    if (series < 0 || series >= LogChannels::Count || pane < 0) return;
    QVector<QVector<int>> panes = panesOf();
    if (pane >= panes.size()) {
        if (panes.size() >= MaxPanes) return;
        pane = panes.size();
        panes.append(QVector<int>());
    }
    if (m_paneOf[series] == pane) return;
    panes[m_paneOf[series]].removeAll(series);
    panes[pane].append(series);
    panes.erase(std::remove_if(panes.begin(), panes.end(),
                               [](const QVector<int> &p) { return p.isEmpty(); }),
                panes.end());
    rebuild(panes);
    emit layoutChanged();
}

void LogViewer::rebuild(const QVector<QVector<int>> &panes) {
    const QCPRange time = m_panes.isEmpty() ? QCPRange(0, DefaultWindow) : timeRange();
    clearItems();
    clearPlottables();
    m_cursorLines.clear();
    m_secondLines.clear();
    m_targetLine = nullptr;
    plotLayout()->clear(); // deletes the panes with their axes and legends
    m_panes.clear();
    m_order.clear();

    for (int p = 0; p < panes.size(); ++p) {
        auto *rect = new QCPAxisRect(this, true);
        plotLayout()->addElement(p, 0, rect);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, m_margins);
        QCPAxis *time = rect->axis(QCPAxis::atBottom);
        QCPAxis *left = rect->axis(QCPAxis::atLeft);
        QCPAxis *right = rect->axis(QCPAxis::atRight);
        const bool bottom = p == panes.size() - 1;
        time->setTickLabels(bottom);
        if (bottom) time->setLabel(QStringLiteral("Time (s)"));
        rect->setRangeDrag(Qt::Horizontal);
        rect->setRangeZoom(Qt::Horizontal);
        rect->setRangeDragAxes(time, nullptr);
        rect->setRangeZoomAxes(time, nullptr);
        connect(time, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
                &LogViewer::timeAxisMoved);

        // Units in the order the channels come: the first on the left, a second on the right.
        QStringList units;
        for (int s : panes[p])
            if (!units.contains(LogChannels::unit(s))) units << LogChannels::unit(s);
        QStringList leftNames, rightNames;
        auto *legend = new QCPLegend;
        rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
        legend->setLayer(QStringLiteral("legend"));
        legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        legend->setWrap(6);
        legend->setBrush(QColor(255, 255, 255, 200));
        legend->setBorderPen(QPen(Qt::gray));
        QFont small = font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
        legend->setFont(small);
        legend->setIconSize(24, 8);
        legend->setRowSpacing(0);
        legend->setColumnSpacing(6);
        int index = 0;
        for (int s : panes[p]) {
            const LogChannels::Channel &ch = LogChannels::all()[s];
            const bool onRight = units.size() > 1 && LogChannels::unit(s) == units[1];
            auto *trace = new LogTrace(time, onRight ? right : left, s);
            const QString caption = QString::fromUtf8(ch.caption);
            trace->setName(caption.contains(LogChannels::unit(s))
                               ? caption
                               : QStringLiteral("%1 (%2)").arg(caption, LogChannels::unit(s)));
            trace->setPen(QPen(QColor(ch.colour), 1));
            trace->setMarker(Markers[index % 5]);
            trace->setRecord(m_record);
            trace->addToLegend(legend);
            (onRight ? rightNames : leftNames) << LogChannels::unit(s);
            m_traces[s] = trace;
            m_paneOf[s] = p;
            m_order.append(s);
            ++index;
        }
        leftNames.removeDuplicates();
        left->setLabel(leftNames.join(QStringLiteral(", ")));
        if (!rightNames.isEmpty()) {
            right->setVisible(true);
            right->setTickLabels(true);
            right->setLabel(rightNames.first());
        }
        m_panes.append(rect);

        auto *cursor = new QCPItemStraightLine(this);
        auto *second = new QCPItemStraightLine(this);
        for (QCPItemStraightLine *line : {cursor, second}) {
            line->setClipAxisRect(rect);
            line->setClipToAxisRect(true);
            for (QCPItemPosition *pos : {line->point1, line->point2}) {
                pos->setAxes(time, left);
                pos->setAxisRect(rect);
                pos->setTypeX(QCPItemPosition::ptPlotCoords);
                pos->setTypeY(QCPItemPosition::ptAxisRectRatio);
            }
            line->setVisible(false);
        }
        cursor->setPen(QPen(Qt::black, 1));
        second->setPen(QPen(QColor(0, 0, 192), 1, Qt::DashLine));
        m_cursorLines.append(cursor);
        m_secondLines.append(second);
    }
    // The target volts in the lambda channel's pane, on the lambda channel's axis.
    if (LogTrace *lambda = m_traces[LambdaSeries]) {
        m_targetLine = new QCPItemStraightLine(this);
        m_targetLine->setClipAxisRect(lambda->keyAxis()->axisRect());
        m_targetLine->setPen(QPen(QColor(0, 128, 0), 1, Qt::DashDotLine));
        for (QCPItemPosition *pos : {m_targetLine->point1, m_targetLine->point2})
            pos->setAxes(lambda->keyAxis(), lambda->valueAxis());
    }
    // The plot's own axis pointers name the shared time axis and the top pane's value axis.
    xAxis = m_panes.last()->axis(QCPAxis::atBottom);
    yAxis = m_panes.first()->axis(QCPAxis::atLeft);
    m_syncing = true;
    for (QCPAxisRect *r : m_panes)
        r->axis(QCPAxis::atBottom)->setRange(time);
    m_syncing = false;
    fitValues();
    placeItems();
    replot(rpQueuedReplot);
}

void LogViewer::setRecord(const LogRecord *record) {
    m_record = record;
    for (LogTrace *t : m_traces)
        if (t) t->setRecord(record);
    m_hasCursor = m_hasSecond = false;
    m_follow = true;
    fitValues();
    placeItems();
    replot(rpQueuedReplot);
}

QCPRange LogViewer::padded(const QCPRange &extent) {
    // One value alone gets a margin of its own size (at least 0.5).
    const double pad =
        extent.size() < 1e-9 ? std::max(0.5, std::abs(extent.lower) * 0.05) : extent.size() * 0.05;
    double lo = extent.lower - pad;
    if (extent.lower >= 0 && lo < 0) lo = 0;
    return QCPRange(lo, extent.upper + pad);
}

void LogViewer::fitValues() {
    m_extents.clear();
    for (QCPAxisRect *rect : m_panes) {
        for (QCPAxis *axis : {rect->axis(QCPAxis::atLeft), rect->axis(QCPAxis::atRight)}) {
            double lo = INFINITY, hi = -INFINITY;
            for (LogTrace *t : m_traces) {
                if (!t || t->valueAxis() != axis) continue;
                bool found = false;
                const QCPRange r = t->getValueRange(found);
                if (!found) continue;
                lo = std::min(lo, r.lower);
                hi = std::max(hi, r.upper);
            }
            if (!(lo <= hi)) {
                axis->setRange(0, 1);
                continue;
            }
            m_extents[axis] = QCPRange(lo, hi);
            axis->setRange(padded(QCPRange(lo, hi)));
        }
    }
}

void LogViewer::recordGrew() {
    if (!m_record || m_record->times.empty()) return;
    const int last = int(m_record->times.size()) - 1;
    const double t = m_record->times[std::size_t(last)];
    if (m_follow) {
        // A page on: the newest sample stays in view.
        const QCPRange r = timeRange();
        if (t > r.upper) {
            const double width = r.size() > 0 ? r.size() : DefaultWindow;
            const double pages = std::ceil((t - r.upper) / width);
            setTimeRange(QCPRange(r.lower + pages * width, r.upper + pages * width));
            m_follow = true;
        }
    }
    // The vertical axes take the new values.
    for (LogTrace *trace : m_traces) {
        if (!trace || trace->column() < 0) continue;
        const double v = m_record->values[std::size_t(trace->column())][std::size_t(last)];
        if (std::isnan(v)) continue;
        QCPAxis *axis = trace->valueAxis();
        // The margin is taken from the values drawn, so growing never compounds it.
        const auto known = m_extents.find(axis);
        const QCPRange extent =
            known == m_extents.end()
                ? QCPRange(v, v)
                : QCPRange(std::min(known->second.lower, v), std::max(known->second.upper, v));
        const bool grew = known == m_extents.end() || extent.lower < known->second.lower ||
                          extent.upper > known->second.upper;
        m_extents[axis] = extent;
        if (grew) axis->setRange(padded(extent));
    }
}

QCPRange LogViewer::timeRange() const {
    return m_panes.isEmpty() ? QCPRange() : m_panes.first()->axis(QCPAxis::atBottom)->range();
}

void LogViewer::setTimeRange(const QCPRange &range) {
    if (m_panes.isEmpty()) return;
    m_panes.first()->axis(QCPAxis::atBottom)->setRange(range);
}

void LogViewer::timeAxisMoved(const QCPRange &range) {
    if (m_syncing) return;
    m_syncing = true;
    for (QCPAxisRect *r : m_panes)
        r->axis(QCPAxis::atBottom)->setRange(range);
    m_syncing = false;
    if (m_record && !m_record->times.empty()) m_follow = range.upper >= m_record->times.back();
    emit timeRangeChanged(range);
}

void LogViewer::fitAll() {
    double end = DefaultWindow;
    double start = 0;
    if (m_record && !m_record->times.empty()) {
        start = std::min(0.0, m_record->times.front());
        end = std::max(m_record->times.back(), start + 1);
    }
    setTimeRange(QCPRange(start, end));
    m_follow = true;
    fitValues();
    replot(rpQueuedReplot);
}

void LogViewer::zoomTime(double factor, double center) {
    QCPRange r = timeRange();
    if (!(factor > 0)) return;
    // No closer than a millisecond across the view.
    if (r.size() * factor < 1e-3) factor = 1e-3 / r.size();
    setTimeRange(
        QCPRange(center - (center - r.lower) * factor, center + (r.upper - center) * factor));
    replot(rpQueuedReplot);
}

void LogViewer::panTime(double fraction) {
    const QCPRange r = timeRange();
    const double d = r.size() * fraction;
    setTimeRange(QCPRange(r.lower + d, r.upper + d));
    replot(rpQueuedReplot);
}

void LogViewer::placeItems() {
    for (QCPItemStraightLine *l : m_cursorLines) {
        l->setVisible(m_hasCursor);
        placeVertical(l, m_cursorTime);
    }
    for (QCPItemStraightLine *l : m_secondLines) {
        l->setVisible(m_hasSecond);
        placeVertical(l, m_secondTime);
    }
    if (m_targetLine) {
        m_targetLine->point1->setCoords(0, m_lambdaTarget);
        m_targetLine->point2->setCoords(1, m_lambdaTarget);
    }
}

void LogViewer::setCursorTime(double t) {
    if (m_hasCursor && t == m_cursorTime) return;
    m_hasCursor = true;
    m_cursorTime = t;
    placeItems();
    // The view follows the cursor when it leaves it.
    const QCPRange r = timeRange();
    if (!r.contains(t)) {
        const double half = r.size() / 2;
        setTimeRange(QCPRange(t - half, t + half));
    }
    replot(rpQueuedReplot);
}

void LogViewer::clearCursor() {
    m_hasCursor = false;
    placeItems();
    replot(rpQueuedReplot);
}

void LogViewer::setSecondCursorTime(double t) {
    m_hasSecond = true;
    m_secondTime = t;
    placeItems();
    replot(rpQueuedReplot);
}

void LogViewer::clearSecondCursor() {
    if (!m_hasSecond) return;
    m_hasSecond = false;
    placeItems();
    replot(rpQueuedReplot);
    emit secondCursorCleared();
}

void LogViewer::setLambdaTarget(double volts) {
    m_lambdaTarget = volts;
    placeItems();
    replot(rpQueuedReplot);
}

int LogViewer::stepRow(double from, int direction) const {
    const int rows = m_record ? int(m_record->times.size()) : 0;
    if (rows == 0) return -1;
    const int r = m_record->rowAt(from);
    int next;
    if (direction > 0)
        next = r + 1;
    else
        next = r >= 0 && m_record->times[std::size_t(r)] < from ? r : r - 1;
    return std::clamp(next, 0, rows - 1);
}

void LogViewer::userCursor(double t, bool second) {
    if (second) {
        setSecondCursorTime(t);
        emit secondCursorMoved(t);
    } else {
        setCursorTime(t);
        emit cursorMoved(t);
    }
}

void LogViewer::keyPressEvent(QKeyEvent *event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int rows = m_record ? int(m_record->times.size()) : 0;
    const auto at = [this](int row) { return m_record->times[std::size_t(row)]; };
    const double centre = m_hasCursor ? m_cursorTime : timeRange().center();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int dir = event->key() == Qt::Key_Right ? 1 : -1;
        if (ctrl) {
            panTime(dir * 0.5);
        } else if (rows > 0) {
            const bool has = shift ? m_hasSecond : m_hasCursor;
            const double from = shift ? m_secondTime : m_cursorTime;
            const int row = has ? stepRow(from, dir) : m_record->rowAt(timeRange().lower) + 1;
            userCursor(at(std::clamp(row, 0, rows - 1)), shift);
        }
        break;
    }
    case Qt::Key_Home:
    case Qt::Key_End:
        if (rows > 0) userCursor(at(event->key() == Qt::Key_Home ? 0 : rows - 1), shift);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomTime(0.5, centre);
        break;
    case Qt::Key_Minus:
        zoomTime(2, centre);
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        panTime(event->key() == Qt::Key_PageDown ? 0.5 : -0.5);
        break;
    case Qt::Key_F:
    case Qt::Key_0:
        fitAll();
        break;
    case Qt::Key_Escape:
        if (m_hasSecond) {
            clearSecondCursor();
            break;
        }
        QCustomPlot::keyPressEvent(event);
        return;
    default:
        QCustomPlot::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LogViewer::mousePressEvent(QMouseEvent *event) {
    m_pressPos = event->pos();
    // Ctrl+drag draws the range to zoom to; a plain drag pans.
    setSelectionRectMode(event->button() == Qt::LeftButton &&
                                 (event->modifiers() & Qt::ControlModifier)
                             ? QCP::srmZoom
                             : QCP::srmNone);
    QCustomPlot::mousePressEvent(event);
}

void LogViewer::mouseReleaseEvent(QMouseEvent *event) {
    QCustomPlot::mouseReleaseEvent(event);
    setSelectionRectMode(QCP::srmNone);
    if (event->button() != Qt::LeftButton || m_panes.isEmpty()) return;
    if ((event->pos() - m_pressPos).manhattanLength() > 3) return; // a drag
    if (event->modifiers() & Qt::ControlModifier) return;
    QCPAxisRect *rect = axisRectAt(event->pos());
    if (!rect) return;
    const double t = rect->axis(QCPAxis::atBottom)->pixelToCoord(event->pos().x());
    userCursor(t, event->modifiers() & Qt::ShiftModifier);
}

void LogViewer::contextMenuEvent(QContextMenuEvent *event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Fit all"), this, &LogViewer::fitAll);
    if (m_hasSecond)
        menu.addAction(QStringLiteral("Remove second cursor"), this, &LogViewer::clearSecondCursor);
    menu.addAction(QStringLiteral("Default panes"), this, [this] {
        setLayoutText(defaultLayout());
        emit layoutChanged();
    });
    menu.addSeparator();
    for (int s : LogChannels::boxOrder()) {
        const QString caption = QString::fromUtf8(LogChannels::all()[s].caption);
        QMenu *to = menu.addMenu(QStringLiteral("Move %1 to").arg(caption));
        for (int p = 0; p < paneCount(); ++p) {
            QAction *a = to->addAction(QStringLiteral("Pane %1").arg(p + 1), this,
                                       [this, s, p] { moveToPane(s, p); });
            a->setCheckable(true);
            a->setChecked(m_paneOf[s] == p);
        }
        if (paneCount() < MaxPanes)
            to->addAction(QStringLiteral("New pane"), this,
                          [this, s] { moveToPane(s, paneCount()); });
    }
    menu.exec(event->globalPos());
}
