#pragma once
// One map chart: a QCustomPlot with a title, fixed axes, a gradient background, its series in a
// fixed index order (curves with point markers, thin bars, threshold arrows) and the two read-out
// boxes with their captions. Redraws are immediate but at most one per screen refresh, and a
// hidden chart is redrawn only when it is shown again. The thin bars (live marker and cursor) move
// on every poll tick and with the mouse: they are drawn on a transparent child over the axis box,
// which repaints only the strips a bar left and entered, not the whole plot.
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <QVector>
#include <qcustomplot.h>

class QLabel;
class QLineEdit;
class MapBarOverlay;

// A series of a map chart. Curves draw as QCPGraph lines with point markers; bars draw each
// point as a thin vertical bar from the bottom of the value axis up to the point's value; arrows
// draw the same bar as an unfilled arrow pointing down at the key axis.
class MapSeries : public QCPGraph {
    Q_OBJECT
public:
    enum class Kind { Curve, Bar, Arrow };
    MapSeries(QCPAxis *keyAxis, QCPAxis *valueAxis, Kind kind);
    Kind kind() const { return m_kind; }
    // Draws the series' bars or arrows with the painter (widget coordinates of the plot).
    void drawBars(QPainter *painter) const;

protected:
    void draw(QCPPainter *painter) override;
    // Curves may draw a marker's width beyond the axis box, so points at the ends of an axis show
    // whole rather than cut in half.
    QRect clipRect() const override;

private:
    Kind m_kind;
};

class MapChart : public QCustomPlot {
    Q_OBJECT
public:
    MapChart(const QString &objectName, const QString &title, QWidget *parent = nullptr);

    QString title() const { return m_title; }

    // Series, in index order. The series' objectName and plottable name are its form name.
    MapSeries *addCurve(const QString &name, const QColor &color,
                        QCPScatterStyle::ScatterShape shape = QCPScatterStyle::ssCircle);
    MapSeries *addBar(const QString &name, const QColor &color);
    MapSeries *addArrow(const QString &name, const QColor &color);
    MapSeries *series(int index) const { return m_series.value(index); }
    int seriesCount() const { return m_series.size(); }

    void setBottomAxis(double lo, double hi, double step, const QString &label);
    void setLeftAxis(double lo, double hi, double step, const QString &label);
    void setBottomMaximum(double hi);
    void setBottomStep(double step);
    double bottomStep() const { return m_bottomStep; }

    // Series contents; each schedules a redraw (a bar only repaints its strips of the overlay).
    void setPoints(int index, const QVector<double> &keys, const QVector<double> &values);
    void setBar(int index, double x, double height);
    void clearSeries(int index);

    // Another tune's curve for the curve series `index`: grey, dashed, no markers, drawn behind
    // the chart's own series. Empty keys remove it.
    void setOtherCurve(int index, const QVector<double> &keys, const QVector<double> &values);
    QCPGraph *otherCurve(int index) const { return m_others.value(index); }

    // Where a log spent its time: one cell per map point along the bottom of the plot, centred
    // on the point's position and shaded by its share (0..1; 0 leaves the cell clear), under
    // the curves. Empty positions remove it.
    void setHitStrip(const QVector<double> &positions, const QVector<double> &shares);
    QCPAbstractPlottable *hitStrip() const { return m_hitStrip; }

    // Pixel to value through a series' axes.
    double pixelToX(int index, double px) const;
    double pixelToY(int index, double py) const;

    // Read-out boxes and their captions.
    QLineEdit *valueBox() const { return m_valueBox; }
    QLineEdit *positionBox() const { return m_positionBox; }
    QLabel *valueCaption() const { return m_valueCaption; }
    QLabel *positionCaption() const { return m_positionCaption; }
    void setupReadouts(const QString &positionName, const QString &positionCaption,
                       const QString &valueName, const QString &valueCaption);
    void setReadoutsVisible(bool on);
    bool readoutsVisible() const;

    // Redraw the series (layout: the axes changed too). Immediate when the last redraw is at
    // least one screen refresh ago, otherwise at the next refresh; deferred while hidden.
    void requestRedraw(bool layout = false);
    // Redraws done so far (series-layer and full ones).
    int redrawCount() const { return m_redraws; }
    bool redrawPending() const { return m_dirty; }
    // Minimum time between two redraws, from the screen's refresh rate.
    int frameIntervalMs() const;

    // Widgets placed in the title row at the right (the fuel RPM variant buttons).
    void addTitleWidget(QWidget *w);

    // The child the bars are drawn on, and the plot's own paint events so far: how many, and how
    // many of them covered the whole plot.
    QWidget *barOverlay() const;
    int paintCount() const { return m_paints; }
    int fullPaintCount() const { return m_fullPaints; }

signals:
    // The chart took the keyboard focus (Tab, a shortcut): it takes the tuning keys as if the
    // pointer were over it.
    void keyboardFocused();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // A dotted frame shows which chart has the keyboard focus.
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    MapSeries *addSeries(const QString &name, MapSeries::Kind kind, const QColor &color);
    // A series changed: its own layer is drawn again at the next redraw, or a bar is moved.
    void seriesChanged(const MapSeries *s);
    void scheduleRedraw(bool layout);
    void redrawNow();
    void placeOverlays();

    QString m_title;
    QCPLayer *m_seriesLayer = nullptr; // curves and arrows
    QCPLayer *m_barLayer = nullptr;    // the bars: drawn by the plot in exports only
    MapBarOverlay *m_barOverlay = nullptr;
    int m_paints = 0;
    int m_fullPaints = 0;
    QVector<MapSeries *> m_series;
    QHash<int, QCPGraph *> m_others; // other tune's curves by series index
    QCPAbstractPlottable *m_hitStrip = nullptr;
    QLineEdit *m_valueBox = nullptr;
    QLineEdit *m_positionBox = nullptr;
    QLabel *m_valueCaption = nullptr;
    QLabel *m_positionCaption = nullptr;
    QVector<QWidget *> m_titleWidgets;
    double m_bottomStep = 1;
    bool m_dirty = false;
    bool m_layoutDirty = false;
    int m_redraws = 0;
    QElapsedTimer m_sinceRedraw;
    QTimer m_frameTimer;
};
