#include "monitor/ScatterWindow.h"

#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "model/Maps.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>

namespace {
constexpr int Bins = 16; // colours of the colour scale
constexpr int RpmSeries = 0, VacuumSeries = 2, LambdaSeries = 3, BatterySeries = 4, WaterSeries = 7,
              AirSeries = 9;
} // namespace

// The dots: drawn per colour, each colour's dots in one call.
class ScatterDots : public QCPAbstractPlottable {
public:
    ScatterDots(QCPAxis *x, QCPAxis *y) : QCPAbstractPlottable(x, y) {
        setSelectable(QCP::stNone);
        for (int b = 0; b < Bins; ++b)
            m_colours[b] = m_gradient.color(b, QCPRange(0, Bins - 1));
    }
    std::vector<double> xs, ys;
    std::vector<quint8> bins; // colour of each dot; empty: one colour
    QColor single = QColor(0, 0, 160);

    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }
    QCPRange getKeyRange(bool &found, QCP::SignDomain) const override { return span(xs, found); }
    QCPRange getValueRange(bool &found, QCP::SignDomain, const QCPRange &) const override {
        return span(ys, found);
    }

protected:
    void draw(QCPPainter *painter) override {
        QCPAxis *x = mKeyAxis.data(), *y = mValueAxis.data();
        if (!x || !y) return;
        std::array<QVector<QPointF>, Bins> points;
        for (std::size_t i = 0; i < xs.size(); ++i)
            points[bins.empty() ? 0 : bins[i]].append(
                QPointF(x->coordToPixel(xs[i]), y->coordToPixel(ys[i])));
        painter->setRenderHint(QPainter::Antialiasing, false);
        for (int b = 0; b < Bins; ++b) {
            if (points[b].isEmpty()) continue;
            painter->setPen(
                QPen(bins.empty() ? single : m_colours[b], 3, Qt::SolidLine, Qt::SquareCap));
            painter->drawPoints(points[b].constData(), int(points[b].size()));
        }
    }
    void drawLegendIcon(QCPPainter *, const QRectF &) const override {}

private:
    static QCPRange span(const std::vector<double> &v, bool &found) {
        double lo = INFINITY, hi = -INFINITY;
        for (double d : v) {
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        }
        found = lo <= hi;
        return found ? QCPRange(lo, hi) : QCPRange();
    }
    QCPColorGradient m_gradient{QCPColorGradient::gpJet};
    std::array<QColor, Bins> m_colours;
};

ScatterWindow::ScatterWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ScatterWindow"));
    setWindowTitle(QStringLiteral("Scatter Plot"));
    setAccessibleName(windowTitle());
    resize(720, 520);

    const auto channelBox = [this](const QString &name, bool none) {
        auto *box = new QComboBox(this);
        box->setObjectName(name);
        if (none) box->addItem(QStringLiteral("None"), -1);
        for (int s : LogChannels::boxOrder())
            box->addItem(QString::fromUtf8(LogChannels::all()[s].caption), s);
        return box;
    };
    XBox = channelBox(QStringLiteral("ScatterX"), false);
    YBox = channelBox(QStringLiteral("ScatterY"), false);
    ColourBox = channelBox(QStringLiteral("ScatterColour"), true);
    MapBox = new QComboBox(this);
    MapBox->setObjectName(QStringLiteral("ScatterMap"));
    XBox->setCurrentIndex(XBox->findData(RpmSeries));
    YBox->setCurrentIndex(YBox->findData(LambdaSeries));
    ColourBox->setCurrentIndex(ColourBox->findData(VacuumSeries));
    FollowCheck = new QCheckBox(QStringLiteral("Follow the chart"), this);
    FollowCheck->setObjectName(QStringLiteral("ScatterFollow"));
    FollowCheck->setAccessibleName(FollowCheck->text());
    FollowCheck->setChecked(true);

    auto *form = new QFormLayout;
    const auto row = [&](const QString &caption, QComboBox *box) {
        box->setAccessibleName(caption);
        form->addRow(caption, box);
    };
    row(QStringLiteral("Across"), XBox);
    row(QStringLiteral("Up"), YBox);
    row(QStringLiteral("Colour by"), ColourBox);
    row(QStringLiteral("Map"), MapBox);
    form->addRow(FollowCheck);
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("ScatterSummary"));
    Summary->setWordWrap(true);
    Summary->setFocusPolicy(Qt::TabFocus);
    form->addRow(Summary);

    Plot = new QCustomPlot(this);
    Plot->setObjectName(QStringLiteral("ScatterChart"));
    Plot->setAccessibleName(QStringLiteral("Scatter chart"));
    Plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    Plot->setNoAntialiasingOnDrag(true);
    Plot->yAxis2->setVisible(true);
    m_dots = new ScatterDots(Plot->xAxis, Plot->yAxis);
    m_map = Plot->addGraph(Plot->xAxis, Plot->yAxis2);
    m_map->setPen(QPen(Qt::black, 2));
    m_map->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, Qt::black, Qt::white, 7));

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Plot, 1);

    for (QComboBox *b : {XBox, YBox, ColourBox})
        connect(b, &QComboBox::currentIndexChanged, this, [this] {
            fillMaps();
            rebuild();
        });
    connect(MapBox, &QComboBox::currentIndexChanged, this, &ScatterWindow::rebuild);
    connect(FollowCheck, &QCheckBox::toggled, this, &ScatterWindow::rebuild);
    fillMaps();
}

void ScatterWindow::fillMaps() {
    // The maps over the channel across.
    const int x = XBox->currentData().toInt();
    QVector<MapId> maps;
    switch (x) {
    case RpmSeries:
        maps = {MapId::FuelCruise, MapId::FuelLow, MapId::FuelHigh, MapId::Timing};
        break;
    case VacuumSeries:
        maps = {MapId::FuelVacuum, MapId::VacuumTiming};
        break;
    case WaterSeries:
        maps = {MapId::WaterTemp};
        break;
    case AirSeries:
        maps = {MapId::AirTemp};
        break;
    case BatterySeries:
        maps = {MapId::Voltage};
        break;
    default:
        break;
    }
    const QSignalBlocker quiet(MapBox);
    const QVariant was = MapBox->currentData();
    MapBox->clear();
    MapBox->addItem(QStringLiteral("None"), -1);
    for (MapId m : maps) {
        QString title = QString::fromLatin1(emu::model::mapInfo(m).title);
        if (m == MapId::FuelCruise || m == MapId::FuelLow || m == MapId::FuelHigh)
            title = QStringLiteral("Fuel RPM map %1 (its region only)")
                        .arg(m == MapId::FuelLow    ? "Low"
                             : m == MapId::FuelHigh ? "High"
                                                    : "Cruise");
        MapBox->addItem(title, int(m));
    }
    const int keep = MapBox->findData(was);
    MapBox->setCurrentIndex(keep > 0 ? keep : (maps.isEmpty() ? 0 : 1));
}

void ScatterWindow::setSource(const LogRecord *record, std::vector<bool> kept,
                              const MapHits::Context &ctx, const EmuMaps *maps) {
    m_record = record;
    m_kept = std::move(kept);
    m_ctx = ctx;
    m_maps = maps;
    rebuild();
}

void ScatterWindow::setTimeRange(double from, double to) {
    m_from = from;
    m_to = to;
    if (FollowCheck->isChecked()) rebuild();
}

void ScatterWindow::refresh() {
    rebuild();
}

int ScatterWindow::dotCount() const {
    return int(m_dots->xs.size());
}

void ScatterWindow::rebuild() {
    m_dots->xs.clear();
    m_dots->ys.clear();
    m_dots->bins.clear();
    m_map->data()->clear();
    const int xs = XBox->currentData().toInt(), ys = YBox->currentData().toInt();
    const int cs = ColourBox->currentData().toInt();
    const int mapIndex = MapBox->currentData().toInt();
    Plot->xAxis->setLabel(XBox->currentText() + QStringLiteral(" (") + LogChannels::unit(xs) +
                          QLatin1Char(')'));
    Plot->yAxis->setLabel(YBox->currentText() + QStringLiteral(" (") + LogChannels::unit(ys) +
                          QLatin1Char(')'));
    const LogRecord *rec = m_record;
    const int cx = rec ? rec->column(xs) : -1, cy = rec ? rec->column(ys) : -1;
    const int cc = rec && cs >= 0 ? rec->column(cs) : -1;
    const int cv = rec ? rec->column(VacuumSeries) : -1;
    FuelRegion only = FuelRegion::None;
    if (mapIndex >= 0) {
        const MapId m = MapId(mapIndex);
        only = m == MapId::FuelLow      ? FuelRegion::Low
               : m == MapId::FuelHigh   ? FuelRegion::High
               : m == MapId::FuelCruise ? FuelRegion::Cruise
                                        : FuelRegion::None;
    }
    int shown = 0;
    double clo = INFINITY, chi = -INFINITY;
    if (cx >= 0 && cy >= 0) {
        const bool follow = FollowCheck->isChecked();
        FuelRegion region = FuelRegion::None;
        m_dots->xs.reserve(std::size_t(rec->rows));
        m_dots->ys.reserve(std::size_t(rec->rows));
        std::vector<double> colour;
        for (int r = 0; r < rec->rows; ++r) {
            if (cv >= 0 && !rec->isMissed(r))
                region = MapHits::regionOf(rec->value(cv, r), region, m_ctx);
            if (!m_kept.empty() && !m_kept[std::size_t(r)]) continue;
            const double t = rec->times[std::size_t(r)];
            if (follow && (t < m_from || t > m_to)) continue;
            if (only != FuelRegion::None && region != only) continue;
            const double x = rec->value(cx, r), y = rec->value(cy, r);
            if (std::isnan(x) || std::isnan(y)) continue;
            m_dots->xs.push_back(x);
            m_dots->ys.push_back(y);
            if (cc >= 0) {
                const double c = rec->value(cc, r);
                colour.push_back(c);
                if (c < clo) clo = c;
                if (c > chi) chi = c;
            }
        }
        shown = int(m_dots->xs.size());
        if (cc >= 0) {
            m_dots->bins.resize(colour.size());
            const double span = chi > clo ? chi - clo : 1;
            for (std::size_t i = 0; i < colour.size(); ++i)
                m_dots->bins[i] =
                    std::isnan(colour[i])
                        ? 0
                        : quint8(std::clamp(int((colour[i] - clo) / span * Bins), 0, Bins - 1));
        }
    }
    // The map's points, on its own axis at the right, in the channel's unit across.
    if (mapIndex >= 0 && m_maps) {
        const MapId m = MapId(mapIndex);
        const int n = m_maps->pointCount(m, m_ctx.axes);
        const bool rpm = xs == RpmSeries;
        for (int p = 1; p <= n; ++p)
            m_map->addData(m_maps->position(m, p, m_ctx.axes) * (rpm ? 100 : 1),
                           m_maps->value(m, p));
        const MapInfo &info = emu::model::mapInfo(m);
        Plot->yAxis2->setRange(info.lo, info.hi);
        Plot->yAxis2->setLabel(QString::fromLatin1(info.title) +
                               (m == MapId::Timing || m == MapId::VacuumTiming
                                    ? QStringLiteral(" (°)")
                                    : QStringLiteral(" (%)")));
        Plot->yAxis2->setVisible(true);
    } else {
        Plot->yAxis2->setVisible(false);
    }
    bool found = false;
    QCPRange r = m_dots->getKeyRange(found, QCP::sdBoth);
    // The map's points stay in view too.
    if (!m_map->data()->isEmpty()) {
        bool mapFound = false;
        const QCPRange m = m_map->getKeyRange(mapFound);
        if (mapFound)
            r = found ? QCPRange(std::min(r.lower, m.lower), std::max(r.upper, m.upper)) : m;
        found = found || mapFound;
    }
    if (found)
        Plot->xAxis->setRange(r.lower - 0.02 * r.size() - 1e-9, r.upper + 0.02 * r.size() + 1e-9);
    r = m_dots->getValueRange(found, QCP::sdBoth, QCPRange());
    if (found)
        Plot->yAxis->setRange(r.lower - 0.02 * r.size() - 1e-9, r.upper + 0.02 * r.size() + 1e-9);
    const QLocale l;
    QString text = QStringLiteral("%1 samples").arg(l.toString(shown));
    if (cc >= 0 && clo <= chi)
        text += QStringLiteral("; colour: %1 from %2 (blue) to %3 (red) %4")
                    .arg(ColourBox->currentText(), l.toString(clo), l.toString(chi),
                         LogChannels::unit(cs));
    Summary->setText(text);
    Summary->setAccessibleName(text);
    Plot->replot(QCustomPlot::rpQueuedReplot);
}
