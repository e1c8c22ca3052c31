#include "monitor/LogTrace.h"

#include "live/LogFile.h"

#include <algorithm>
#include <cmath>

LogTrace::LogTrace(QCPAxis *keyAxis, QCPAxis *valueAxis, int series)
    : QCPAbstractPlottable(keyAxis, valueAxis), m_series(series) {
    setSelectable(QCP::stNone);
    setAntialiased(false);
    setAntialiasedFill(false);
}

void LogTrace::setRecord(const LogRecord *record) {
    m_record = record;
    m_column = record ? record->column(m_series) : -1;
}

QVector<QCPGraphData> LogTrace::points() const {
    QVector<QCPGraphData> out;
    if (!m_record || m_column < 0) return out;
    const std::vector<double> &v = m_record->values[std::size_t(m_column)];
    for (int r = 0; r < int(v.size()); ++r)
        if (!std::isnan(v[std::size_t(r)]) || m_record->isMissed(r))
            out.append(QCPGraphData(m_record->times[std::size_t(r)], v[std::size_t(r)]));
    return out;
}

int LogTrace::dataCount() const {
    return int(points().size());
}

double LogTrace::selectTest(const QPointF &, bool, QVariant *) const {
    return -1;
}

QCPRange LogTrace::getKeyRange(bool &foundRange, QCP::SignDomain) const {
    foundRange = m_record && !m_record->times.empty();
    if (!foundRange) return QCPRange();
    return QCPRange(m_record->times.front(), m_record->times.back());
}

QCPRange LogTrace::getValueRange(bool &foundRange, QCP::SignDomain,
                                 const QCPRange &inKeyRange) const {
    foundRange = false;
    if (!m_record || m_column < 0) return QCPRange();
    const std::vector<double> &t = m_record->times;
    const std::vector<double> &v = m_record->values[m_column];
    std::size_t from = 0, to = v.size();
    if (inKeyRange != QCPRange()) {
        from = std::size_t(std::lower_bound(t.cbegin(), t.cend(), inKeyRange.lower) - t.cbegin());
        to = std::size_t(std::upper_bound(t.cbegin(), t.cend(), inKeyRange.upper) - t.cbegin());
    }
    double lo = INFINITY, hi = -INFINITY;
    for (std::size_t i = from; i < to && i < v.size(); ++i) {
        const double x = v[i];
        if (x < lo) lo = x; // NaN compares false
        if (x > hi) hi = x;
    }
    foundRange = lo <= hi;
    return foundRange ? QCPRange(lo, hi) : QCPRange();
}

void LogTrace::draw(QCPPainter *painter) {
    QCPAxis *keyAxis = mKeyAxis.data();
    QCPAxis *valueAxis = mValueAxis.data();
    if (!keyAxis || !valueAxis || !m_record || m_column < 0) return;
    const std::vector<double> &times = m_record->times;
    const std::vector<double> &values = m_record->values[m_column];
    const int rows = int(std::min(times.size(), values.size()));
    if (rows == 0) return;

    // One row either side of the view, so lines run on to the edges.
    const QCPRange range = keyAxis->range();
    int first =
        int(std::lower_bound(times.cbegin(), times.cbegin() + rows, range.lower) - times.cbegin()) -
        1;
    int last =
        int(std::upper_bound(times.cbegin(), times.cbegin() + rows, range.upper) - times.cbegin());
    first = std::max(0, first);
    last = std::min(rows - 1, last);
    if (first > last) return;

    // Both axes are linear: pixel = a + b * value.
    const double kx0 = keyAxis->coordToPixel(range.lower);
    const double kb =
        (keyAxis->coordToPixel(range.upper) - kx0) / (range.size() > 0 ? range.size() : 1);
    const double vlo = valueAxis->range().lower;
    const double vy0 = valueAxis->coordToPixel(vlo);
    const double vsize = valueAxis->range().size();
    const double vb =
        (valueAxis->coordToPixel(valueAxis->range().upper) - vy0) / (vsize > 0 ? vsize : 1);
    const auto px = [&](double t) { return kx0 + (t - range.lower) * kb; };
    const auto py = [&](double v) { return vy0 + (v - vlo) * vb; };

    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    QVector<QPointF> line;
    line.reserve(4 * int(std::abs(keyAxis->axisRect()->width())) + 8);
    const auto flush = [&] {
        if (line.size() > 1)
            painter->drawPolyline(line.constData(), int(line.size()));
        else if (line.size() == 1)
            painter->drawPoint(line.first());
        line.clear();
    };

    const int pixels = std::max(1, keyAxis->axisRect()->width());
    if (last - first < 2 * pixels) {
        for (int r = first; r <= last; ++r) {
            const double v = values[r];
            if (std::isnan(v)) {
                if (m_record->isMissed(r)) flush();
                continue;
            }
            line.append(QPointF(px(times[r]), py(v)));
        }
        flush();
        drawMarkers(painter);
        return;
    }
    // More rows than pixels: each pixel column draws from its lowest to its highest value (or
    // the other way, whichever end its first row is nearer), two points per column. The rows of
    // a column are found by bisection, so the inner loop only compares values.
    const double left = std::floor(px(times[std::size_t(first)]));
    const double right = std::floor(px(times[std::size_t(last)]));
    int r = first;
    for (double c = left; c <= right && r <= last; c += 1) {
        const double end = range.lower + (c + 1 - kx0) / kb; // time at the column's right edge
        const int stop =
            c >= right ? last + 1
                       : int(std::lower_bound(times.cbegin() + r, times.cbegin() + last + 1, end) -
                             times.cbegin());
        double v0 = qQNaN(), lo = INFINITY, hi = -INFINITY;
        const auto emitColumn = [&] {
            if (!(lo <= hi)) return;
            const bool up = v0 - lo <= hi - v0;
            line.append(QPointF(c + 0.5, py(up ? lo : hi)));
            if (lo != hi) line.append(QPointF(c + 0.5, py(up ? hi : lo)));
            v0 = qQNaN();
            lo = INFINITY;
            hi = -INFINITY;
        };
        for (; r < stop; ++r) {
            const double v = values[std::size_t(r)];
            if (v < lo) lo = v; // NaN compares false
            if (v > hi) hi = v;
            if (std::isnan(v)) {
                if (m_record->isMissed(r)) {
                    emitColumn();
                    flush();
                }
            } else if (std::isnan(v0)) {
                v0 = v;
            }
        }
        emitColumn();
    }
    flush();
    drawMarkers(painter);
}

void LogTrace::drawMarkers(QCPPainter *painter) const {
    if (m_marker == QCPScatterStyle::ssNone || !m_record || m_column < 0) return;
    // A marker about every 80 pixels, on the sample at or before that place: enough to tell two
    // close lines apart, too few to cost anything.
    QCPAxis *keyAxis = mKeyAxis.data();
    QCPAxis *valueAxis = mValueAxis.data();
    const std::vector<double> &times = m_record->times;
    const std::vector<double> &values = m_record->values[std::size_t(m_column)];
    const QRect box = keyAxis->axisRect()->rect();
    QCPScatterStyle style(m_marker, mPen.color(), Qt::white, 6);
    style.applyTo(painter, mPen);
    const int offset = 20 + 13 * (m_series % 5); // lines in a pane do not share marker places
    for (int px = box.left() + offset; px < box.right(); px += 80) {
        const double t = keyAxis->pixelToCoord(px);
        int r = int(std::upper_bound(times.cbegin(), times.cend(), t) - times.cbegin()) - 1;
        if (r < 0 || r >= int(values.size()) || std::isnan(values[std::size_t(r)])) continue;
        style.drawShape(painter, keyAxis->coordToPixel(times[std::size_t(r)]),
                        valueAxis->coordToPixel(values[std::size_t(r)]));
    }
}

void LogTrace::drawLegendIcon(QCPPainter *painter, const QRectF &rect) const {
    applyDefaultAntialiasingHint(painter);
    QPen pen = mPen;
    pen.setWidthF(std::max(1.5, pen.widthF()));
    painter->setPen(pen);
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
    if (m_marker != QCPScatterStyle::ssNone) {
        QCPScatterStyle style(m_marker, mPen.color(), Qt::white, 6);
        style.applyTo(painter, mPen);
        style.drawShape(painter, rect.center());
    }
}
