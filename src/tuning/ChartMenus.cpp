#include "tuning/ChartMenus.h"

#include "connection/Session.h"
#include "tuning/HistoryMenu.h"
#include "tuning/MapChart.h"
#include "tuning/RangeEditDialog.h"

#include <QMenu>
#include <algorithm>

ChartMenus::ChartMenus(Session &session, MapChartSet &charts, QObject *parent)
    : QObject(parent), m_s(session), m_charts(charts) {
    for (int i = 0; i < ChartCount; ++i) {
        const Chart c = Chart(i);
        MapChart *chart = m_charts.chart(c);
        chart->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(chart, &QWidget::customContextMenuRequested, this, [this, c](const QPoint &pos) {
            QMenu *m = menu(c, pos);
            m->exec(m_charts.chart(c)->mapToGlobal(pos));
            delete m;
        });
    }
}

QMenu *ChartMenus::menu(Chart c, const QPoint &pos) {
    MapChart *chart = m_charts.chart(c);
    auto *menu = new QMenu(chart);
    addHistoryActions(menu, m_s.history());
    menu->addSeparator();
    // Preset: the point under the pointer and the keyboard selection.
    const MapId id = m_charts.mapOf(c);
    const MapAxes axes = m_s.axes();
    const int n = m_charts.pointCount(id);
    const int under =
        std::clamp(m_s.maps().nearest(id, chart->pixelToX(m_charts.curveIndex(c), pos.x()), axes),
                   1, std::max(1, n));
    const int selected =
        std::clamp(m_s.maps().nearest(id, m_charts[c].selection, axes), 1, std::max(1, n));
    QAction *edit = menu->addAction(tr("Edit points..."), this,
                                    [this, c, under, selected] { editPoints(c, under, selected); });
    edit->setEnabled(chart->isEnabled() && n > 0);
    menu->addAction(tr("Compare with File..."), this, &ChartMenus::compareRequested);
    if (c == FuelVac || c == FuelRpm)
        menu->addAction(tr("Fuel Suggestions..."), this, &ChartMenus::fuelSuggestionsRequested);
    return menu;
}

RangeEditDialog *ChartMenus::dialog() const {
    return m_rangeDialog;
}

RangeEditDialog *ChartMenus::editPoints(Chart c, int first, int last) {
    delete m_rangeDialog;
    auto *dlg = new RangeEditDialog(
        m_s, [this](MapId id) { return m_charts.keyLimits(id); }, m_charts.mapOf(c), first, last,
        m_charts.chart(c)->window());
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(dlg, &QDialog::accepted, this, [this, dlg] {
        const RangeResult r = dlg->result();
        if (!r.changes.empty()) m_s.editMapPoints(dlg->map(), r.changes, dlg->stepText());
    });
    // The points it works on are shaded on their chart while it is open.
    connect(dlg, &RangeEditDialog::rangeShown, this, &ChartMenus::showEditedRange);
    connect(dlg, &QDialog::finished, this, [this] { showEditedRange(MapId::Timing, 0, 0); });
    showEditedRange(dlg->map(), dlg->range().first, dlg->range().second);
    m_rangeDialog = dlg;
    dlg->open();
    return dlg;
}

void ChartMenus::showEditedRange(MapId id, int first, int last) {
    const QString name = QStringLiteral("EditedRange");
    for (int i = 0; i < ChartCount; ++i) {
        MapChart *chart = m_charts.chart(Chart(i));
        for (QCPItemRect *r : chart->findChildren<QCPItemRect *>(name)) {
            chart->removeItem(r);
            chart->requestRedraw(true);
        }
    }
    const int n = m_charts.pointCount(id);
    if (first < 1 || last < first || last > n) return;
    // From half way to the point before the first to half way to the point after the last.
    const MapAxes axes = m_s.axes();
    auto x = [&](int p) { return m_s.maps().position(id, p, axes); };
    auto half = [&](int p, int q) { return n > 1 ? (x(q) - x(p)) / 2 : 0.5; };
    const double left = x(first) - (first > 1 ? half(first - 1, first) : half(1, 2));
    const double right = x(last) + (last < n ? half(last, last + 1) : half(n - 1, n));
    const auto [c, index] = MapChartSet::curveOf(id);
    MapChart *chart = m_charts.chart(c);
    auto *rect = new QCPItemRect(chart);
    if (MapSeries *curve = chart->series(index))
        for (QCPItemPosition *corner : {rect->topLeft, rect->bottomRight})
            corner->setAxes(curve->keyAxis(), curve->valueAxis());
    rect->setObjectName(name);
    rect->setLayer(QStringLiteral("grid")); // under the curves
    rect->setPen(Qt::NoPen);
    rect->setBrush(QColor(0, 120, 215, 48));
    rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
    rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
    rect->topLeft->setCoords(left, 0);
    rect->bottomRight->setCoords(right, 1);
    chart->requestRedraw(true);
}
