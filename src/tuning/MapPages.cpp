#include "tuning/MapPages.h"

#include "connection/Session.h"
#include "tuning/ChartKeyboard.h"
#include "tuning/ChartMenus.h"
#include "tuning/ChartMouse.h"
#include "tuning/FuelVariantButtons.h"
#include "tuning/HitShading.h"
#include "tuning/JetControls.h"
#include "tuning/LiveMarkers.h"
#include "tuning/MapChart.h"

#include <QBoxLayout>
#include <QFrame>

namespace {
constexpr int RtHostWidth = 190;

QFrame *makePanel(const QString &name, QWidget *parent) {
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setMouseTracking(true);
    return f;
}
} // namespace

MapPages::MapPages(Session &session, QWidget *timingTab, QWidget *fuelTab, QWidget *correctionTab,
                   QObject *parent)
    : QObject(parent), m_s(session) {
    QWidget *tabs[3] = {timingTab, fuelTab, correctionTab};
    const char *panelNames[3] = {"Panel3", "Panel4", "Panel26"};
    for (int t = 0; t < 3; ++t) {
        auto *row = new QHBoxLayout(tabs[t]);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        m_panels[t] = makePanel(QString::fromLatin1(panelNames[t]), tabs[t]);
        row->addWidget(m_panels[t], 1);
        m_rtHosts[t] = new QFrame(tabs[t]);
        m_rtHosts[t]->setObjectName(QStringLiteral("RtHost%1").arg(t));
        m_rtHosts[t]->setFixedWidth(RtHostWidth);
        row->addWidget(m_rtHosts[t]);
    }

    // The parts. The charts first: every other part works on them.
    m_charts = new MapChartSet(m_s, this);
    m_hits = std::make_unique<HitShading>(m_s, *m_charts);
    m_charts->setPointNote([this](MapId id, int p) { return m_hits->text(id, p); });
    m_mouse = new ChartMouse(m_s, *m_charts, *m_hits, this);
    QWidget *const panels[3] = {m_panels[0], m_panels[1], m_panels[2]};
    m_mouse->watch(panels);
    m_keyboard = std::make_unique<ChartKeyboard>(m_s, *m_charts);
    m_menus = new ChartMenus(m_s, *m_charts, this);
    connect(m_menus, &ChartMenus::compareRequested, this, &MapPages::compareRequested);
    connect(m_menus, &ChartMenus::fuelSuggestionsRequested, this,
            &MapPages::fuelSuggestionsRequested);
    m_markers = std::make_unique<LiveMarkers>(m_s, *m_charts);
    m_variants = new FuelVariantButtons(m_s, m_charts->chart(FuelRpm), this);
    // The fuel RPM chart's hit shading follows the edited variant.
    connect(m_variants, &FuelVariantButtons::variantChanged, this, [this] {
        if (m_hits->any()) m_hits->show(FuelRpm);
    });

    // "Timing Map" tab.
    auto *col = new QVBoxLayout(m_panels[0]);
    col->setContentsMargins(4, 4, 4, 4);
    col->addWidget(m_charts->chart(Timing), 3);
    col->addWidget(m_charts->chart(Vacuum), 2);

    // "Fuel Maps" tab: the two charts and the jets.
    auto *fuelRow = new QHBoxLayout(m_panels[1]);
    fuelRow->setContentsMargins(4, 4, 4, 4);
    auto *fuelCol = new QVBoxLayout;
    fuelCol->addWidget(m_charts->chart(FuelVac), 1);
    fuelCol->addWidget(m_charts->chart(FuelRpm), 1);
    fuelRow->addLayout(fuelCol, 1);
    m_jets = new JetControls(m_s, m_panels[1]);
    fuelRow->addWidget(m_jets->mainColumn());
    fuelRow->addWidget(m_jets->idleColumn());

    // "Correction Maps" tab: the water temperature chart on Panel18, the other two beside.
    auto *corr = new QVBoxLayout(m_panels[2]);
    corr->setContentsMargins(4, 4, 4, 4);
    m_panel18 = new QFrame(m_panels[2]);
    m_panel18->setObjectName(QStringLiteral("Panel18"));
    m_panel18->setEnabled(false);
    auto *p18 = new QVBoxLayout(m_panel18);
    p18->setContentsMargins(0, 0, 0, 0);
    p18->addWidget(m_charts->chart(Temp));
    corr->addWidget(m_panel18, 1);
    auto *corrRow = new QHBoxLayout;
    corrRow->addWidget(m_charts->chart(AirTemp), 1);
    corrRow->addWidget(m_charts->chart(Voltage), 1);
    corr->addLayout(corrRow, 1);

    connect(&m_s, &Session::thresholdsChanged, this, &MapPages::updateThresholdArrows);
    connect(&m_s, &Session::mapChanged, this, &MapPages::rebuildCurve);
}

MapPages::~MapPages() = default;

// --- Connect, Read, Write, Close all ---

void MapPages::configureAtConnect() {
    m_charts->configureAxes();
    if (m_s.caps().fuel) {
        m_panel18->setEnabled(true);
        m_jets->setEnabled(true);
    }
    updateThresholdArrows();
}

void MapPages::readTables() {
    const Capabilities caps = m_s.caps();
    (*m_charts)[Timing].selection = 0;
    if (caps.timing) m_charts->chart(Timing)->setEnabled(true);
    if (caps.fuel) m_jets->setBars();
}

void MapPages::afterWrite() {
    m_charts->chart(Timing)->clearSeries(0);
    m_charts->chart(Vacuum)->clearSeries(0);
    m_charts->chart(FuelRpm)->clearSeries(0);
    m_charts->chart(FuelVac)->clearSeries(2);
    for (MapId id : emu::model::allMaps())
        if (emu::model::hasCapability(m_s.caps(), id)) rebuildCurve(id);
    if (m_s.caps().fuel) m_jets->setBars();
}

void MapPages::closeAll() {
    for (Chart c : {Timing, Vacuum})
        for (int i = 0; i < 3; ++i)
            m_charts->chart(c)->clearSeries(i);
    // The curves stay as Close all leaves them.
    for (MapId id : {MapId::Timing, MapId::VacuumTiming, MapId::FuelVacuum, MapId::FuelCruise})
        m_s.clearMap(id);
    m_jets->clearMainJetBox();
    for (Chart c : {Timing, Vacuum, FuelVac, FuelRpm})
        m_charts->chart(c)->setEnabled(false);
}

// --- the parts' faces ---

void MapPages::updateLiveMarkers(const LiveValues &v) {
    m_markers->update(v);
}

void MapPages::updateThresholdArrows() {
    m_markers->updateThresholdArrows();
}

void MapPages::showRegion(int region) {
    m_variants->showRegion(region);
}

void MapPages::trackOperatingPoint(double rpmHundreds, double vacuumBar) {
    m_keyboard->trackOperatingPoint(rpmHundreds, vacuumBar);
}

QFrame *MapPages::rtHost(int tab) const {
    return tab >= 0 && tab < 3 ? m_rtHosts[tab] : nullptr;
}

QWidget *MapPages::chart(const QString &objectName) const {
    return m_charts->chart(objectName);
}

MapChart *MapPages::mapChart(Chart c) const {
    return m_charts->chart(c);
}

int MapPages::activeChart() const {
    return m_charts->active();
}

double MapPages::selection(Chart c) const {
    return (*m_charts)[c].selection;
}

double MapPages::keyStep(Chart c) const {
    return (*m_charts)[c].step;
}

bool MapPages::mouseTuning() const {
    return m_mouse->mouseTuning();
}

QSlider *MapPages::mainJetAdjust() const {
    return m_jets->mainJetAdjust();
}

QSlider *MapPages::idleJetAdjust() const {
    return m_jets->idleJetAdjust();
}

void MapPages::rebuildCurve(MapId id) {
    m_charts->rebuildCurve(id);
}

std::pair<int, int> MapPages::keyLimits(MapId id) const {
    return m_charts->keyLimits(id);
}

QMenu *MapPages::chartMenu(Chart c, const QPoint &pos) {
    return m_menus->menu(c, pos);
}

RangeEditDialog *MapPages::editPoints(Chart c, int first, int last) {
    return m_menus->editPoints(c, first, last);
}

RangeEditDialog *MapPages::rangeEditDialog() const {
    return m_menus->dialog();
}

void MapPages::setOtherTune(const EmuMaps *maps, const MapAxes &axes, const Capabilities &caps) {
    m_charts->setOtherTune(maps, axes, caps);
}

int MapPages::selectPoint(MapId id, int p) {
    const Chart c = curveOf(id).first;
    if (p < 1 || p > m_charts->pointCount(id)) return -1;
    if (c == FuelRpm)
        m_s.setFuelVariant(id == MapId::FuelLow    ? FuelVariant::Low
                           : id == MapId::FuelHigh ? FuelVariant::High
                                                   : FuelVariant::Cruise);
    m_keyboard->select(c, id, p);
    return (*m_charts)[c].tab;
}

void MapPages::setHits(const MapHits::Hits &hits) {
    m_hits->setHits(hits);
}

QString MapPages::hitText(MapId id, int p) const {
    return m_hits->text(id, p);
}

void MapPages::setMouseTuning(bool on) {
    m_mouse->setMouseTuning(on);
}

void MapPages::formKeyDown(int key, bool fuelTabActive) {
    m_keyboard->keyDown(key);
    if (fuelTabActive) m_jets->keyDown(key);
}

void MapPages::formKeyUp(int key) {
    Q_UNUSED(key);
    m_keyboard->keyUp();
}

void MapPages::dragOver(Chart c, const QPoint &pos) {
    m_mouse->dragOver(c, pos);
}

void MapPages::hover(Chart c, const QPoint &pos) {
    m_mouse->hover(c, pos);
}

void MapPages::hideReadouts(int tab) {
    m_charts->hideReadouts(tab);
}

void MapPages::MainJetAdjustChange(int position) {
    m_jets->MainJetAdjustChange(position);
}
void MapPages::IdleJetAdjustChange(int position) {
    m_jets->IdleJetAdjustChange(position);
}
void MapPages::Edit28Change() {
    m_jets->Edit28Change();
}
void MapPages::Edit32Change() {
    m_jets->Edit32Change();
}
void MapPages::RadioLowClick() {
    m_variants->RadioLowClick();
}
void MapPages::RadioCruiseClick() {
    m_variants->RadioCruiseClick();
}
void MapPages::RadioHighClick() {
    m_variants->RadioHighClick();
}
