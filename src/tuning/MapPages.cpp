#include "tuning/MapPages.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "tuning/HistoryMenu.h"
#include "tuning/MapChart.h"
#include "tuning/RangeEditDialog.h"
#include "widgets/Messages.h"
#include "widgets/Palette.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <vector>

namespace {
namespace pal = emu::ui::palette;

const QColor CursorColor(pal::CursorGreen);
constexpr int RtHostWidth = 190;

QFrame *makePanel(const QString &name, QWidget *parent) {
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setMouseTracking(true);
    return f;
}

QString number(double v) {
    return emu::num::formatGeneral(v);
}

void setBold(QWidget *w, bool bold) {
    QFont f = w->font();
    if (f.bold() == bold) return;
    f.setBold(bold);
    w->setFont(f);
}

// One jet column: caption, vertical track bar (top = 255), value box.
QWidget *jetColumn(const QString &caption, QSlider *bar, QLineEdit *box, QWidget *parent) {
    auto *w = new QWidget(parent);
    auto *v = new QVBoxLayout(w);
    v->setContentsMargins(2, 2, 2, 2);
    auto *label = new QLabel(caption, w);
    label->setAlignment(Qt::AlignHCenter);
    label->setBuddy(bar);
    v->addWidget(label);
    v->addWidget(bar, 1, Qt::AlignHCenter);
    v->addWidget(box);
    return w;
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
        m_panels[t]->installEventFilter(this);
        row->addWidget(m_panels[t], 1);
        m_rtHosts[t] = new QFrame(tabs[t]);
        m_rtHosts[t]->setObjectName(QStringLiteral("RtHost%1").arg(t));
        m_rtHosts[t]->setFixedWidth(RtHostWidth);
        row->addWidget(m_rtHosts[t]);
    }

    struct Def {
        Chart c;
        const char *name, *title;
        int tab;
        const char *posBox, *posCaption, *valBox, *valCaption;
        double cursorHeight, markerHeight;
    };
    const Def defs[ChartCount] = {
        {Timing, "TimingChart", "Timing Map", 0, "Edit3", "RPM:", "Edit2", "Degrees:", 45, 45},
        {Vacuum, "VacuumChart", "Vacuum Map", 0, "Edit5", "Vacuum:", "Edit4", "Degrees:", 10, 10},
        {FuelVac, "FuelVacChart", "Vacuum Map", 1, "Edit23", "Vacuum:", "Edit22", "%", 50, 100},
        {FuelRpm, "FuelRPMChart", "RPM Map", 1, "Edit21", "RPM:", "Edit19", "%", 50, 100},
        {Temp, "TempChart", "Water Temp Correction", 2, "Edit26", "Temp:", "Edit25", "%", 60, 100},
        {AirTemp, "AirTmpChart", "Air Temp Correction", 2, "Edit29", "Temp:", "Edit27", "%", 50,
         100},
        {Voltage, "VoltageChart", "Voltage Correction", 2, "Edit31", "V:", "Edit30", "%", 50, 100},
    };
    for (const Def &d : defs) {
        ChartState &st = m_charts[d.c];
        st.chart = new MapChart(QString::fromLatin1(d.name), QString::fromLatin1(d.title));
        st.tab = d.tab;
        st.cursorHeight = d.cursorHeight;
        st.markerHeight = d.markerHeight;
        st.chart->setupReadouts(QString::fromLatin1(d.posBox), QString::fromLatin1(d.posCaption),
                                QString::fromLatin1(d.valBox), QString::fromLatin1(d.valCaption));
        st.chart->setReadoutsVisible(d.c == Vacuum);
        st.chart->setEnabled(false);
        st.chart->installEventFilter(this);
        // A chart reached with the keyboard takes the tuning keys as under the pointer.
        connect(st.chart, &MapChart::keyboardFocused, this, [this, c = d.c] { m_active = c; });
        st.chart->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(st.chart, &QWidget::customContextMenuRequested, this,
                [this, c = d.c](const QPoint &pos) {
                    QMenu *menu = chartMenu(c, pos);
                    menu->exec(m_charts[c].chart->mapToGlobal(pos));
                    delete menu;
                });
    }

    // Series in index order.
    MapChart *c = m_charts[Timing].chart;
    c->addBar(QStringLiteral("Series5"), CursorColor);
    c->addBar(QStringLiteral("Series3"), QColor(pal::Periwinkle));
    c->addCurve(QStringLiteral("Series1"), QColor(pal::Red));
    c->setBottomAxis(1, 50, 1, QStringLiteral("RPM x 100"));
    c->setLeftAxis(0, 45, 5, QStringLiteral("Degrees"));

    c = m_charts[Vacuum].chart;
    c->addBar(QStringLiteral("Series7"), CursorColor);
    c->addBar(QStringLiteral("Series6"), QColor(pal::Salmon));
    c->addCurve(QStringLiteral("Series4"), QColor(pal::SeaGreen));
    c->setBottomAxis(0, 1.2, 0.2, QStringLiteral("Bar"));
    c->setLeftAxis(-10, 10, 2, QStringLiteral("Degrees"));

    c = m_charts[FuelVac].chart;
    c->addArrow(QStringLiteral("Series2"), QColor(pal::Navy));
    c->addArrow(QStringLiteral("Series10"), QColor(pal::Green));
    c->addBar(QStringLiteral("Series11"), CursorColor);
    c->addBar(QStringLiteral("Series12"), QColor(pal::Salmon));
    c->addCurve(QStringLiteral("Series9"), QColor(pal::Red));
    c->setBottomAxis(0, 1.2, 0.1, QStringLiteral("Bar"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));
    m_charts[FuelVac].cursorIndex = 2;
    m_charts[FuelVac].markerIndex = 3;

    c = m_charts[FuelRpm].chart;
    c->addBar(QStringLiteral("Series13"), CursorColor);
    c->addBar(QStringLiteral("Series14"), QColor(pal::Periwinkle));
    c->addCurve(QStringLiteral("Series8"), QColor(pal::Red), QCPScatterStyle::ssCircle);
    c->addCurve(QStringLiteral("Series31"), QColor(pal::Green),
                QCPScatterStyle::ssTriangleInverted);
    c->addCurve(QStringLiteral("Series32"), QColor(pal::SteelBlue), QCPScatterStyle::ssTriangle);
    c->setBottomAxis(0, 50, 5, QStringLiteral("RPM"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    c = m_charts[Temp].chart;
    c->addBar(QStringLiteral("Series28"), CursorColor);
    c->addBar(QStringLiteral("Series23"), QColor(pal::LemonYellow));
    c->addCurve(QStringLiteral("Series15"), QColor(pal::Blue));
    c->setBottomAxis(0, 120, 10, QStringLiteral("°C"));
    c->setLeftAxis(-60, 60, 10, QStringLiteral("%"));

    c = m_charts[AirTemp].chart;
    c->addBar(QStringLiteral("Series29"), CursorColor);
    c->addBar(QStringLiteral("Series25"), QColor(pal::Peach));
    c->addCurve(QStringLiteral("Series24"), QColor(pal::Red));
    c->setBottomAxis(-20, 100, 10, QStringLiteral("°C"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    c = m_charts[Voltage].chart;
    c->addBar(QStringLiteral("Series30"), CursorColor);
    c->addBar(QStringLiteral("Series27"), QColor(pal::Pink));
    c->addCurve(QStringLiteral("Series26"), QColor(pal::Red));
    c->setBottomAxis(8, 16, 1, QStringLiteral("V"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    // Fuel RPM variant buttons on the fuel RPM chart; "Cruise" is chosen at start.
    MapChart *rpm = m_charts[FuelRpm].chart;
    m_radioLow = new QRadioButton(QStringLiteral("Low"));
    m_radioCruise = new QRadioButton(QStringLiteral("Cruise"));
    m_radioHigh = new QRadioButton(QStringLiteral("High"));
    m_radioLow->setObjectName(QStringLiteral("RadioLow"));
    m_radioCruise->setObjectName(QStringLiteral("RadioCruise"));
    m_radioHigh->setObjectName(QStringLiteral("RadioHigh"));
    for (QRadioButton *r : {m_radioLow, m_radioCruise, m_radioHigh}) {
        r->setAccessibleName(r->text());
        rpm->addTitleWidget(r);
    }
    m_radioCruise->setChecked(true);
    setBold(m_radioCruise, true);
    connect(m_radioLow, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioLowClick();
    });
    connect(m_radioCruise, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioCruiseClick();
    });
    connect(m_radioHigh, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioHighClick();
    });

    // "Timing Map" tab.
    auto *col = new QVBoxLayout(m_panels[0]);
    col->setContentsMargins(4, 4, 4, 4);
    col->addWidget(m_charts[Timing].chart, 3);
    col->addWidget(m_charts[Vacuum].chart, 2);

    // "Fuel Maps" tab: the two charts and the jets.
    auto *fuelRow = new QHBoxLayout(m_panels[1]);
    fuelRow->setContentsMargins(4, 4, 4, 4);
    auto *fuelCol = new QVBoxLayout;
    fuelCol->addWidget(m_charts[FuelVac].chart, 1);
    fuelCol->addWidget(m_charts[FuelRpm].chart, 1);
    fuelRow->addLayout(fuelCol, 1);
    auto makeJet = [this](const QString &name, const QString &box, const QString &caption,
                          QSlider **bar, QLineEdit **edit) {
        *bar = new QSlider(Qt::Vertical);
        (*bar)->setObjectName(name);
        (*bar)->setRange(0, 255);
        (*bar)->setPageStep(10);
        (*bar)->setSingleStep(1);
        (*bar)->setInvertedAppearance(true); // position 0 (value 255) at the top
        (*bar)->setInvertedControls(true);
        (*bar)->setValue(127);
        (*bar)->setEnabled(false);
        (*bar)->setAccessibleName(caption);
        *edit = new QLineEdit;
        (*edit)->setObjectName(box);
        (*edit)->setAccessibleName(caption);
        (*edit)->setFixedWidth(48);
    };
    makeJet(QStringLiteral("MainJetAdjust"), QStringLiteral("Edit28"), QStringLiteral("Main Jet"),
            &m_mainJet, &m_edit28);
    makeJet(QStringLiteral("IdleJetAdjust"), QStringLiteral("Edit32"), QStringLiteral("Idle Jet"),
            &m_idleJet, &m_edit32);
    fuelRow->addWidget(jetColumn(QStringLiteral("Main Jet"), m_mainJet, m_edit28, m_panels[1]));
    fuelRow->addWidget(jetColumn(QStringLiteral("Idle Jet"), m_idleJet, m_edit32, m_panels[1]));
    connect(m_mainJet, &QSlider::valueChanged, this, &MapPages::MainJetAdjustChange);
    connect(m_idleJet, &QSlider::valueChanged, this, &MapPages::IdleJetAdjustChange);
    connect(m_edit28, &QLineEdit::textChanged, this, &MapPages::Edit28Change);
    connect(m_edit32, &QLineEdit::textChanged, this, &MapPages::Edit32Change);

    // "Correction Maps" tab: the water temperature chart on Panel18, the other two beside.
    auto *corr = new QVBoxLayout(m_panels[2]);
    corr->setContentsMargins(4, 4, 4, 4);
    m_panel18 = new QFrame(m_panels[2]);
    m_panel18->setObjectName(QStringLiteral("Panel18"));
    m_panel18->setEnabled(false);
    auto *p18 = new QVBoxLayout(m_panel18);
    p18->setContentsMargins(0, 0, 0, 0);
    p18->addWidget(m_charts[Temp].chart);
    corr->addWidget(m_panel18, 1);
    auto *corrRow = new QHBoxLayout;
    corrRow->addWidget(m_charts[AirTemp].chart, 1);
    corrRow->addWidget(m_charts[Voltage].chart, 1);
    corr->addLayout(corrRow, 1);

    // Keyboard steps before Connect, from the form's axes.
    m_charts[Timing].step = 50.0 / m_s.timingPoints;
    m_charts[Vacuum].step = emu::model::vacuumSpacing(MapId::VacuumTiming, m_s.axes());
    m_charts[FuelVac].step = emu::model::vacuumSpacing(MapId::FuelVacuum, m_s.axes());
    m_charts[FuelRpm].step = 50.0 / 32;
    m_charts[Temp].step = 5;
    m_charts[AirTemp].step = 5;
    m_charts[Voltage].step = 0.5;

    connect(&m_s, &Session::thresholdsChanged, this, &MapPages::updateThresholdArrows);
    connect(&m_s, &Session::mapChanged, this, &MapPages::rebuildCurve);
    connect(&m_s, &Session::setupRestored, this, &MapPages::showSetupRestored);
}

// --- chart and map bookkeeping ---

MapId MapPages::mapOf(Chart c) const {
    switch (c) {
    case Timing:
        return MapId::Timing;
    case Vacuum:
        return MapId::VacuumTiming;
    case FuelVac:
        return MapId::FuelVacuum;
    case FuelRpm:
        return m_s.fuelVariantMap();
    case Temp:
        return MapId::WaterTemp;
    case AirTemp:
        return MapId::AirTemp;
    case Voltage:
    case ChartCount:
        break;
    }
    return MapId::Voltage;
}

int MapPages::curveIndex(Chart c) const {
    if (c == FuelVac) return 4;
    if (c == FuelRpm) {
        switch (m_s.fuelVariant) {
        case FuelVariant::Low:
            return 3;
        case FuelVariant::High:
            return 4;
        case FuelVariant::Cruise:
            break;
        }
    }
    return 2;
}

int MapPages::lo(Chart c) const {
    return emu::model::mapInfo(mapOf(c)).lo;
}

int MapPages::hi(Chart c) const {
    if (c == Timing) return m_s.maxTimingAdvance;
    return emu::model::mapInfo(mapOf(c)).hi;
}

std::pair<int, int> MapPages::keyLimits(MapId id) const {
    if (id == MapId::Timing) return {0, m_s.maxTimingAdvance};
    const int bias = emu::model::mapInfo(id).bias;
    return {-bias, 255 - bias};
}

int MapPages::pointCount(MapId id) const {
    return m_s.maps.pointCount(id, m_s.axes());
}

static std::pair<MapPages::Chart, int> curveOf(MapId id) {
    switch (id) {
    case MapId::Timing:
        return {MapPages::Timing, 2};
    case MapId::VacuumTiming:
        return {MapPages::Vacuum, 2};
    case MapId::FuelVacuum:
        return {MapPages::FuelVac, 4};
    case MapId::FuelCruise:
        return {MapPages::FuelRpm, 2};
    case MapId::FuelLow:
        return {MapPages::FuelRpm, 3};
    case MapId::FuelHigh:
        return {MapPages::FuelRpm, 4};
    case MapId::WaterTemp:
        return {MapPages::Temp, 2};
    case MapId::AirTemp:
        return {MapPages::AirTemp, 2};
    case MapId::Voltage:
        break;
    }
    return {MapPages::Voltage, 2};
}

void MapPages::rebuildCurve(MapId id) {
    const auto [c, index] = curveOf(id);
    const MapAxes axes = m_s.axes();
    const int n = pointCount(id);
    QVector<double> keys(n), values(n);
    for (int p = 1; p <= n; ++p) {
        keys[p - 1] = m_s.maps.position(id, p, axes);
        values[p - 1] = m_s.maps.value(id, p);
    }
    m_charts[c].chart->setPoints(index, keys, values);
}

void MapPages::setOtherTune(const EmuMaps *maps, const MapAxes &axes, const Capabilities &caps) {
    for (MapId id : emu::model::allMaps()) {
        const auto [c, index] = curveOf(id);
        QVector<double> keys, values;
        if (maps && emu::model::hasCapability(caps, id)) {
            const int n = maps->pointCount(id, axes);
            for (int p = 1; p <= n; ++p) {
                keys << maps->position(id, p, axes);
                values << maps->value(id, p);
            }
        }
        m_charts[c].chart->setOtherCurve(index, keys, values);
    }
}

int MapPages::selectPoint(MapId id, int p) {
    const Chart c = curveOf(id).first;
    if (p < 1 || p > pointCount(id)) return -1;
    if (c == FuelRpm)
        setVariant(int(id == MapId::FuelLow    ? FuelVariant::Low
                       : id == MapId::FuelHigh ? FuelVariant::High
                                               : FuelVariant::Cruise),
                   false);
    ChartState &st = m_charts[c];
    const double x = m_s.maps.position(id, p, m_s.axes());
    m_active = c;
    st.selection = x;
    m_lastKeyPosition = x;
    st.chart->setBar(st.cursorIndex, x, st.cursorHeight);
    describe(c, p);
    return st.tab;
}

void MapPages::describe(Chart c, int p) {
    MapChart *ch = m_charts[c].chart;
    const QString hits = hitText(mapOf(c), p);
    ch->setAccessibleDescription(
        tr("Point %1: %2").arg(p).arg(number(m_s.maps.value(mapOf(c), p))) +
        (hits.isEmpty() ? QString() : QStringLiteral("; ") + hits));
}

// --- hit tables of a log ---

void MapPages::setHits(const MapHits::Hits &hits) {
    m_hits = hits;
    for (int c = 0; c < ChartCount; ++c)
        showHits(Chart(c));
}

void MapPages::showHits(Chart c) {
    const MapId id = mapOf(c);
    const int n = m_hits.pointCount(id);
    double most = 0;
    for (int p = 1; p <= n; ++p)
        most = std::max(most, m_hits.at(id, p).seconds);
    QVector<double> positions, shares;
    if (most > 0) {
        const MapAxes axes = m_s.axes();
        // The vacuum maps' points where the hits put them (their stored positions are only
        // known once the maps are decoded).
        const bool vacuum = id == MapId::VacuumTiming || id == MapId::FuelVacuum;
        for (int p = 1; p <= n; ++p) {
            positions << (vacuum ? emu::model::vacuumPosition(id, p, axes)
                                 : m_s.maps.position(id, p, axes));
            shares << m_hits.at(id, p).seconds / most;
        }
    }
    m_charts[c].chart->setHitStrip(positions, shares);
}

QString MapPages::hitText(MapId id, int p) const {
    if (p < 1 || p > m_hits.pointCount(id) || m_hits.counts.kept == 0) return QString();
    const MapHits::Point &pt = m_hits.at(id, p);
    const QLocale l;
    QString text = tr("%1 samples, %2 s")
                       .arg(l.toString(pt.samples), number(emu::num::roundTo(pt.seconds, 1)));
    if (MapHits::isFuelMap(id) && pt.lambdaSamples > 0)
        text += tr(", lambda %1 V, %2 % richer than the target")
                    .arg(number(emu::num::roundTo(pt.meanLambda(), 3)),
                         number(emu::num::roundTo(pt.richShare() * 100, 0)));
    return text;
}

// --- Connect, Read, Write, Close all ---

void MapPages::configureAtConnect() {
    const Capabilities caps = m_s.caps;
    const double r100 = m_s.rpmRange / 100.0;
    const MapAxes axes = m_s.axes();
    const double s10 = emu::model::vacuumFullScale(axes);
    const int n = std::max(1, m_s.timingPoints);
    if (caps.timing) {
        const double max = std::max(2.0, emu::num::roundHalfEven(r100));
        m_charts[Timing].chart->setBottomMaximum(max);
        m_charts[Timing].step = max / n;
        m_charts[Timing].chart->setEnabled(true);
    }
    if (caps.vacuum) {
        m_charts[Vacuum].chart->setEnabled(true);
        m_charts[Vacuum].chart->setBottomMaximum(s10 + 0.2);
        if (s10 < 2) m_charts[Vacuum].chart->setBottomStep(0.1);
        m_charts[Vacuum].step = emu::model::vacuumSpacing(MapId::VacuumTiming, axes);
    }
    if (caps.fuel) {
        for (Chart c : {FuelVac, FuelRpm, Temp, AirTemp, Voltage})
            m_charts[c].chart->setEnabled(true);
        m_panel18->setEnabled(true);
        m_mainJet->setEnabled(true);
        m_idleJet->setEnabled(true);
        m_charts[FuelVac].chart->setBottomMaximum(emu::num::roundTo(s10 + 0.2, 2));
        m_charts[FuelVac].step = emu::model::vacuumSpacing(MapId::FuelVacuum, axes);
        m_charts[FuelRpm].chart->setBottomMaximum(r100);
        m_charts[FuelRpm].step = r100 / 32;
    }
    updateThresholdArrows();
}

void MapPages::setJetBars() {
    // Position = 255 - value; a stored byte of 0 is the value 255 under the +1 rule.
    auto place = [](QSlider *bar, QLineEdit *box, quint8 stored) {
        const int value = emu::model::jetValue(stored);
        const int position = 255 - value;
        if (bar->value() != position) {
            bar->setValue(position); // runs the change handler, which sends while editing
        } else if (box->text() != QString::number(value)) {
            // Same position (e.g. after Close all cleared the box): show the value again
            // without sending what the EMU already holds.
            QSignalBlocker block(box);
            box->setText(QString::number(value));
        }
    };
    place(m_mainJet, m_edit28, m_s.image.setupByte(emu::model::OffMainJet));
    place(m_idleJet, m_edit32, m_s.image.setupByte(emu::model::OffIdleJet));
}

void MapPages::readTables() {
    const Capabilities caps = m_s.caps;
    m_charts[Timing].selection = 0;
    auto decode = [this](MapId id) { m_s.decodeMap(id); };
    if (caps.timing) {
        decode(MapId::Timing);
        m_charts[Timing].chart->setEnabled(true);
    }
    if (caps.vacuum) decode(MapId::VacuumTiming);
    if (caps.fuel) {
        setJetBars();
        for (MapId id : {MapId::FuelVacuum, MapId::FuelCruise, MapId::FuelLow, MapId::FuelHigh,
                         MapId::WaterTemp, MapId::AirTemp, MapId::Voltage})
            decode(id);
        setVariant(int(FuelVariant::Cruise), false);
    }
}

void MapPages::afterWrite() {
    m_charts[Timing].chart->clearSeries(0);
    m_charts[Vacuum].chart->clearSeries(0);
    m_charts[FuelRpm].chart->clearSeries(0);
    m_charts[FuelVac].chart->clearSeries(2);
    for (MapId id : emu::model::allMaps())
        if (emu::model::hasCapability(m_s.caps, id)) rebuildCurve(id);
    if (m_s.caps.fuel) setJetBars();
}

void MapPages::closeAll() {
    for (Chart c : {Timing, Vacuum})
        for (int i = 0; i < 3; ++i)
            m_charts[c].chart->clearSeries(i);
    // The curves stay as Close all leaves them.
    for (MapId id : {MapId::Timing, MapId::VacuumTiming, MapId::FuelVacuum, MapId::FuelCruise})
        m_s.clearMap(id);
    {
        QSignalBlocker block(m_edit28); // nothing is sent for the cleared box
        m_edit28->clear();
    }
    for (Chart c : {Timing, Vacuum, FuelVac, FuelRpm})
        m_charts[c].chart->setEnabled(false);
}

// --- live displays ---

void MapPages::updateLiveMarkers(const LiveValues &v) {
    const double x[ChartCount] = {v.rpm,
                                  v.vacuum,
                                  v.vacuum,
                                  v.rpm,
                                  v.waterTemp,
                                  v.airTemp,
                                  emu::num::roundTo(v.battery / 10, 1)};
    for (int c = 0; c < ChartCount; ++c) {
        const ChartState &st = m_charts[c];
        st.chart->setBar(st.markerIndex, x[c], st.markerHeight);
    }
}

void MapPages::updateThresholdArrows() {
    MapChart *c = m_charts[FuelVac].chart;
    const double top = c->yAxis->range().upper;
    c->setBar(0, m_s.lowThrottleVacuum, top);
    c->setBar(1, m_s.highThrottleVacuum, top);
}

void MapPages::showRegion(int region) {
    QRadioButton *r = nullptr;
    QColor color;
    switch (FuelRegion(region)) {
    case FuelRegion::Low:
        r = m_radioLow;
        color = QColor(pal::Navy);
        break;
    case FuelRegion::High:
        r = m_radioHigh;
        color = QColor(pal::Green);
        break;
    case FuelRegion::Cruise:
        r = m_radioCruise;
        color = QColor(pal::Red);
        break;
    case FuelRegion::None:
        return;
    }
    QPalette pal = r->palette();
    if (pal.color(QPalette::WindowText) != color) {
        pal.setColor(QPalette::WindowText, color);
        r->setPalette(pal);
    }
    r->setChecked(true); // runs the button's handler: the variant follows
    setVariant(r == m_radioLow    ? int(FuelVariant::Low)
               : r == m_radioHigh ? int(FuelVariant::High)
                                  : int(FuelVariant::Cruise),
               true);
}

void MapPages::trackOperatingPoint(double rpmHundreds, double vacuumBar) {
    m_charts[Timing].selection = rpmHundreds;
    m_charts[FuelRpm].selection = rpmHundreds;
    m_charts[Vacuum].selection = vacuumBar;
    m_charts[FuelVac].selection = vacuumBar;
}

QFrame *MapPages::rtHost(int tab) const {
    return tab >= 0 && tab < 3 ? m_rtHosts[tab] : nullptr;
}

QWidget *MapPages::chart(const QString &objectName) const {
    for (const ChartState &st : m_charts)
        if (st.chart->objectName() == objectName) return st.chart;
    return nullptr;
}

// --- fuel RPM variant ---

void MapPages::setVariant(int variant, bool fromRadio) {
    m_s.fuelVariant = FuelVariant(variant);
    QRadioButton *chosen = variant == int(FuelVariant::Low)    ? m_radioLow
                           : variant == int(FuelVariant::High) ? m_radioHigh
                                                               : m_radioCruise;
    if (!fromRadio && !chosen->isChecked()) {
        // Decoding makes "Cruise" the edited map; the buttons show what is edited.
        QSignalBlocker block(chosen);
        chosen->setChecked(true);
    }
    for (QRadioButton *r : {m_radioLow, m_radioCruise, m_radioHigh})
        setBold(r, r == chosen);
    if (m_hits.counts.kept > 0) showHits(FuelRpm);
}

void MapPages::RadioLowClick() {
    setVariant(int(FuelVariant::Low), true);
}
void MapPages::RadioCruiseClick() {
    setVariant(int(FuelVariant::Cruise), true);
}
void MapPages::RadioHighClick() {
    setVariant(int(FuelVariant::High), true);
}

// --- jets ---

void MapPages::MainJetAdjustChange(int position) {
    m_edit28->setText(QString::number(255 - position));
}
void MapPages::IdleJetAdjustChange(int position) {
    m_edit32->setText(QString::number(255 - position));
}
void MapPages::Edit28Change() {
    jetTextChanged(m_edit28, emu::model::OffMainJet, m_mainJet);
}
void MapPages::Edit32Change() {
    jetTextChanged(m_edit32, emu::model::OffIdleJet, m_idleJet);
}

void MapPages::jetTextChanged(QLineEdit *box, int code, QSlider *bar) {
    if (!m_s.editingEnabled) return;
    const QString text = box->text();
    if (text.isEmpty()) return; // a cleared box (while typing, or Close all) sends nothing
    int v = 0;
    QString error;
    if (!emu::num::parseInteger(text, &v, &error)) {
        Messages::error(box->window(), error);
        return;
    }
    if (v < emu::model::JetMin || v > emu::model::JetMax) {
        Messages::error(box->window(), tr("'%1' is not a valid jet value: enter %2 to %3")
                                           .arg(text)
                                           .arg(emu::model::JetMin)
                                           .arg(emu::model::JetMax));
        return;
    }
    m_s.setSetupValue(code, v);
    // The track bar follows a typed value (without running its handler again).
    QSignalBlocker block(bar);
    bar->setValue(255 - v);
}

// --- mouse tuning ---

void MapPages::setMouseTuning(bool on) {
    m_mouseTuning = on;
}

int MapPages::chartIndex(QObject *o) const {
    for (int c = 0; c < ChartCount; ++c)
        if (m_charts[c].chart == o) return c;
    return -1;
}

int MapPages::chartAt(const QPoint &globalPos) const {
    for (int c = 0; c < ChartCount; ++c) {
        const MapChart *ch = m_charts[c].chart;
        if (ch->isVisible() && ch->isEnabled() && ch->rect().contains(ch->mapFromGlobal(globalPos)))
            return c;
    }
    return -1;
}

bool MapPages::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress &&
        type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    auto *me = static_cast<QMouseEvent *>(event);
    const int c = chartIndex(watched);
    if (c < 0) {
        if (type == QEvent::MouseMove)
            for (int t = 0; t < 3; ++t)
                if (watched == m_panels[t]) hideReadouts(t);
        return false;
    }
    MapChart *ch = m_charts[c].chart;
    switch (type) {
    case QEvent::MouseButtonPress:
        // With the switch on, pressing starts a drag; the chart holds the pointer until release.
        if (me->button() == Qt::LeftButton && m_mouseTuning) {
            endDrag();
            m_dragSource = c;
            ch->setCursor(Qt::SizeVerCursor);
            // Everything the drag writes, press to release, is one history step.
            m_s.beginEdit();
            m_dragStep = true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (me->button() == Qt::LeftButton && m_dragSource >= 0) {
            m_charts[m_dragSource].chart->setCursor(Qt::CrossCursor);
            endDrag();
        }
        break;
    default: // move
        if (m_dragSource >= 0 && (me->buttons() & Qt::LeftButton)) {
            const QPoint global = me->globalPosition().toPoint();
            const int target = chartAt(global);
            if (target >= 0) dragOver(Chart(target), m_charts[target].chart->mapFromGlobal(global));
        } else {
            endDrag();
            hover(Chart(c), me->position().toPoint());
        }
        break;
    }
    return false;
}

void MapPages::endDrag() {
    m_dragSource = -1;
    if (!m_dragStep) return;
    m_dragStep = false;
    m_s.endEdit();
}

void MapPages::dragOver(Chart c, const QPoint &pos) {
    if (!m_mouseTuning) return;
    ChartState &st = m_charts[c];
    if (!st.chart->isEnabled()) return;
    const MapId id = mapOf(c);
    const int ci = curveIndex(c);
    const double x = st.chart->pixelToX(ci, pos.x());
    const double y = st.chart->pixelToY(ci, pos.y());
    if (y < lo(c) || y > hi(c)) return;
    const MapAxes axes = m_s.axes();
    const bool vacuum = c == Vacuum || c == FuelVac;
    if (vacuum && (x < 0 || x > emu::model::vacuumFullScale(axes))) return;
    if (c == AirTemp && x < -20) return;
    const int p = m_s.maps.nearest(id, x, axes);
    if (p < 1 || p > pointCount(id)) return;
    const double v = emu::num::roundHalfEven(y);
    // The EMU gets the point first; the curve follows on the session's change signal.
    if (vacuum)
        m_s.setMapPointAt(id, p, v, emu::model::vacuumPositionRounded(id, p, axes));
    else
        m_s.setMapPoint(id, p, v);
    if (c == Timing || vacuum) st.selection = m_s.maps.position(id, p, axes);
    describe(c, p);
}

void MapPages::hover(Chart c, const QPoint &pos) {
    ChartState &st = m_charts[c];
    MapChart *ch = st.chart;
    if (!ch->isEnabled()) return;
    ch->setReadoutsVisible(true);
    const int ci = curveIndex(c);
    const double x = ch->pixelToX(ci, pos.x());
    if (m_hits.counts.kept > 0) {
        // The hit numbers of the point under the pointer (all three maps on the fuel RPM chart).
        const MapAxes axes = m_s.axes();
        QStringList tip;
        const std::vector<MapId> maps =
            c == FuelRpm ? std::vector<MapId>{MapId::FuelLow, MapId::FuelCruise, MapId::FuelHigh}
                         : std::vector<MapId>{mapOf(c)};
        for (MapId m : maps) {
            const int p = std::clamp(m_s.maps.nearest(m, x, axes), 1, pointCount(m));
            const QString h = hitText(m, p);
            tip << (c == FuelRpm ? QString::fromLatin1(emu::model::mapInfo(m).title) + ": "
                                 : QString()) +
                       tr("point %1: %2").arg(p).arg(h.isEmpty() ? tr("no samples") : h);
        }
        ch->setToolTip(tip.join(QLatin1Char('\n')));
    } else if (!ch->toolTip().isEmpty()) {
        ch->setToolTip(QString());
    }
    const double y = ch->pixelToY(ci, pos.y());
    const int ry = emu::num::roundInt(y);
    if (ry >= lo(c) && ry <= hi(c)) ch->valueBox()->setText(QString::number(ry));
    const int rx = emu::num::roundInt(x);
    const double s10 = emu::model::vacuumFullScale(m_s.axes());
    const double x1 = emu::num::roundTo(x, 1);
    const double x2 = emu::num::roundTo(x, 2);
    QLineEdit *pb = ch->positionBox();
    switch (c) {
    case Timing:
        if (rx >= 1 && rx <= m_s.timingPoints) pb->setText(QString::number(rx * 100));
        st.selection = rx;
        break;
    case Vacuum:
        if (x1 >= -1.0 && x1 <= s10) pb->setText(number(x2));
        st.selection = x2;
        break;
    case FuelVac:
        if (x1 >= 0 && x1 <= s10) pb->setText(number(x2));
        st.selection = x2;
        break;
    case FuelRpm:
        if (rx >= 0 && rx <= m_s.rpmRange / 100.0) pb->setText(QString::number(rx * 100));
        st.selection = rx;
        break;
    case Temp:
        if (rx >= 0 && rx <= 120) pb->setText(QString::number(rx));
        st.selection = rx;
        break;
    case AirTemp:
        if (rx >= -20 && rx <= 100) pb->setText(QString::number(rx));
        st.selection = rx;
        break;
    case Voltage:
    case ChartCount:
        if (x >= 8 && x <= 16) pb->setText(number(x1));
        st.selection = x1;
        break;
    }
    ch->setFocus(Qt::MouseFocusReason);
    ch->clearSeries(st.cursorIndex);
    ch->setCursor(Qt::CrossCursor); // back after a key hid it
    m_active = c;
}

void MapPages::hideReadouts(int tab) {
    for (const ChartState &st : m_charts)
        if (st.tab == tab) st.chart->setReadoutsVisible(false);
}

// --- keyboard tuning ---

void MapPages::formKeyDown(int key, bool fuelTabActive) {
    if (m_active >= 0 && m_charts[m_active].chart->isEnabled()) keyPress(Chart(m_active), key);
    if (!fuelTabActive) return;
    QSlider *bar = nullptr;
    int delta = 0;
    switch (key) {
    case Qt::Key_Q:
        bar = m_mainJet;
        delta = -1;
        break;
    case Qt::Key_A:
        bar = m_mainJet;
        delta = 1;
        break;
    case Qt::Key_W:
        bar = m_mainJet;
        delta = -10;
        break;
    case Qt::Key_S:
        bar = m_mainJet;
        delta = 10;
        break;
    case Qt::Key_D:
        bar = m_idleJet;
        delta = -1;
        break;
    case Qt::Key_C:
        bar = m_idleJet;
        delta = 1;
        break;
    case Qt::Key_F:
        bar = m_idleJet;
        delta = -10;
        break;
    case Qt::Key_V:
        bar = m_idleJet;
        delta = 10;
        break;
    default:
        return;
    }
    // The bar keeps within 0..255 (QSlider bounds it); its change handler sends.
    if (bar->isEnabled()) bar->setValue(bar->value() + delta);
}

void MapPages::formKeyUp(int key) {
    Q_UNUSED(key);
    if (m_active >= 0 && m_charts[m_active].chart->isEnabled()) keyRelease(Chart(m_active));
}

void MapPages::refreshKeyStep(Chart c) {
    // The correction charts take their step from the axis at each key.
    const QCPRange r = m_charts[c].chart->xAxis->range();
    if (c == Temp)
        m_charts[c].step = r.upper / 24;
    else if (c == AirTemp)
        m_charts[c].step = (r.upper - r.lower) / 24;
    else if (c == Voltage)
        m_charts[c].step = (r.upper - r.lower) / 16;
}

void MapPages::keyPress(Chart c, int key) {
    ChartState &st = m_charts[c];
    const MapId id = mapOf(c);
    const MapAxes axes = m_s.axes();
    const int n = pointCount(id);
    if (n < 1) return;
    if ((c == Vacuum || c == FuelVac) && !(emu::model::vacuumFullScale(axes) > 0))
        return; // no vacuum axis: no point can be found
    refreshKeyStep(c);

    // 1-2: the selection and its point, kept on the map: a step that would leave the first or
    // last point is not taken, and a selection off the map is drawn onto its nearest end point.
    double x = st.selection;
    if (key == Qt::Key_Left)
        x -= st.step;
    else if (key == Qt::Key_Right)
        x += st.step;
    int p = m_s.maps.nearest(id, x, axes);
    if (p < 1 || p > n) {
        x = st.selection;
        p = m_s.maps.nearest(id, x, axes);
        if (p < 1 || p > n) {
            p = std::clamp(p, 1, n);
            x = m_s.maps.position(id, p, axes);
        }
    }
    const auto [keyLo, keyHi] = keyLimits(id);
    const double value = m_s.maps.value(id, p);
    double v = emu::num::roundHalfEven(value);

    // 3: Up / Down; the timing map stays within 0..45, every map within its byte range.
    if (key == Qt::Key_Up) {
        const double up = emu::num::roundHalfEven(value + 1);
        if (c == Timing ? v < keyHi : up <= keyHi) v = up;
    } else if (key == Qt::Key_Down) {
        const double down = emu::num::roundHalfEven(value - 1);
        if (c == Timing ? v > keyLo : down >= keyLo) v = down;
    }

    // 4: selection cursor.
    st.chart->setBar(st.cursorIndex, x, st.cursorHeight);

    // 5, 6: store and redraw (the point is sent when the key is released).
    if (c == Timing && (key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
        const int delta = key == Qt::Key_PageUp ? 1 : -1;
        const int top = hi(c);
        std::vector<double> all(n);
        for (int q = 1; q <= n; ++q) {
            const double w = m_s.maps.value(id, q);
            all[q - 1] = (delta > 0 && w < top) || (delta < 0 && w > 0) ? w + delta : w;
        }
        m_s.storeMapPoints(id, 1, all);
        v = emu::num::roundHalfEven(m_s.maps.value(id, p));
    } else {
        m_s.storeMapPoints(id, p, {v});
    }

    // 7: selection and last key position.
    st.selection = c == FuelVac ? emu::model::vacuumPosition(id, p, axes) : x;
    m_lastKeyPosition = st.selection;

    // 8: read-outs.
    st.chart->valueBox()->setText(number(v));
    QString pos;
    switch (c) {
    case Timing:
    case FuelRpm:
        pos = number(x * 100);
        break;
    case Vacuum:
        pos = number(emu::num::roundTo(x, 1));
        break;
    case FuelVac:
        pos = number(emu::num::roundTo(st.selection, 1));
        break;
    default:
        pos = number(x);
        break;
    }
    st.chart->positionBox()->setText(pos);
    describe(c, p);

    // 9: the pointer is hidden over the chart until it moves over a chart again.
    st.chart->setCursor(Qt::BlankCursor);
}

void MapPages::keyRelease(Chart c) {
    const MapId id = mapOf(c);
    double x = m_lastKeyPosition;
    if (c == Vacuum) x = emu::num::roundTo(x, 2);
    const int p = m_s.maps.nearest(id, x, m_s.axes());
    if (p < 1 || p > pointCount(id)) return; // no key has selected a point on this map
    m_s.sendPoint(id, p);
}

// --- history and range edits ---

void MapPages::showSetupRestored(int code) {
    QLineEdit *box = code == emu::model::OffMainJet   ? m_edit28
                     : code == emu::model::OffIdleJet ? m_edit32
                                                      : nullptr;
    if (!box) return;
    QSlider *bar = box == m_edit28 ? m_mainJet : m_idleJet;
    const int value = emu::model::jetValue(m_s.image.setupByte(code));
    QSignalBlocker blockBox(box), blockBar(bar);
    box->setText(QString::number(value));
    bar->setValue(255 - value);
}

QMenu *MapPages::chartMenu(Chart c, const QPoint &pos) {
    auto *menu = new QMenu(m_charts[c].chart);
    addHistoryActions(menu, m_s.history());
    menu->addSeparator();
    // Preset: the point under the pointer and the keyboard selection.
    const MapId id = mapOf(c);
    const MapAxes axes = m_s.axes();
    const int n = pointCount(id);
    const int under =
        std::clamp(m_s.maps.nearest(id, m_charts[c].chart->pixelToX(curveIndex(c), pos.x()), axes),
                   1, std::max(1, n));
    const int selected =
        std::clamp(m_s.maps.nearest(id, m_charts[c].selection, axes), 1, std::max(1, n));
    QAction *edit = menu->addAction(tr("Edit points..."), this,
                                    [this, c, under, selected] { editPoints(c, under, selected); });
    edit->setEnabled(m_charts[c].chart->isEnabled() && n > 0);
    menu->addAction(tr("Compare with File..."), this, &MapPages::compareRequested);
    if (c == FuelVac || c == FuelRpm)
        menu->addAction(tr("Fuel Suggestions..."), this, &MapPages::fuelSuggestionsRequested);
    return menu;
}

RangeEditDialog *MapPages::rangeEditDialog() const {
    return m_rangeDialog;
}

RangeEditDialog *MapPages::editPoints(Chart c, int first, int last) {
    delete m_rangeDialog;
    auto *dlg = new RangeEditDialog(
        m_s, [this](MapId id) { return keyLimits(id); }, mapOf(c), first, last,
        m_charts[c].chart->window());
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(dlg, &QDialog::accepted, this, [this, dlg] {
        const RangeResult r = dlg->result();
        if (!r.changes.empty()) m_s.editMapPoints(dlg->map(), r.changes, dlg->stepText());
    });
    // The points it works on are shaded on their chart while it is open.
    connect(dlg, &RangeEditDialog::rangeShown, this, &MapPages::showEditedRange);
    connect(dlg, &QDialog::finished, this, [this] { showEditedRange(MapId::Timing, 0, 0); });
    showEditedRange(dlg->map(), dlg->range().first, dlg->range().second);
    m_rangeDialog = dlg;
    dlg->open();
    return dlg;
}

void MapPages::showEditedRange(MapId id, int first, int last) {
    const QString name = QStringLiteral("EditedRange");
    for (const ChartState &st : m_charts) {
        for (QCPItemRect *r : st.chart->findChildren<QCPItemRect *>(name)) {
            st.chart->removeItem(r);
            st.chart->requestRedraw(true);
        }
    }
    const int n = pointCount(id);
    if (first < 1 || last < first || last > n) return;
    // From half way to the point before the first to half way to the point after the last.
    const MapAxes axes = m_s.axes();
    auto x = [&](int p) { return m_s.maps.position(id, p, axes); };
    auto half = [&](int p, int q) { return n > 1 ? (x(q) - x(p)) / 2 : 0.5; };
    const double left = x(first) - (first > 1 ? half(first - 1, first) : half(1, 2));
    const double right = x(last) + (last < n ? half(last, last + 1) : half(n - 1, n));
    const auto [c, index] = curveOf(id);
    MapChart *chart = m_charts[c].chart;
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
