#pragma once
// One channel of a log drawn as a line straight from the log's columns: no copy of the data.
// Only the rows in the visible time range are visited, and where more rows than pixels fall in
// view each pixel column draws from the lowest to the highest value of its rows, so a
// zoom or pan step costs about the same for an hour's log as for a minute's. A missed sample
// breaks the line; a row where only this channel was not sampled is stepped over.
#include <qcustomplot.h>

struct LogRecord;

class LogTrace : public QCPAbstractPlottable {
    Q_OBJECT
public:
    LogTrace(QCPAxis *keyAxis, QCPAxis *valueAxis, int series);

    int series() const { return m_series; }
    // The log to draw (null: nothing); the trace reads column `column` of it.
    void setRecord(const LogRecord *record);
    const LogRecord *record() const { return m_record; }
    int column() const { return m_column; }
    // The points of the line in log order: (time, value in the file's unit) for each row with a
    // value, (time, NaN) for each missed sample, where the line breaks.
    QVector<QCPGraphData> points() const;
    int dataCount() const;
    // A marker drawn now and then along the line (and in the legend), so that lines close
    // together differ by more than colour.
    void setMarker(QCPScatterStyle::ScatterShape shape) { m_marker = shape; }
    QCPScatterStyle::ScatterShape marker() const { return m_marker; }

    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;
    QCPRange getKeyRange(bool &foundRange,
                         QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;

protected:
    void draw(QCPPainter *painter) override;
    void drawLegendIcon(QCPPainter *painter, const QRectF &rect) const override;

private:
    void drawMarkers(QCPPainter *painter) const;

    const LogRecord *m_record = nullptr;
    QCPScatterStyle::ScatterShape m_marker = QCPScatterStyle::ssNone;
    int m_series = 0;
    int m_column = -1;
};
