#include "monitor/EngineMonitorPage.h"

#include "live/LiveData.h"
#include "model/Numbers.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/Palette.h"

#include <QEvent>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {
using G = TA3nalogGauge;

struct GaugeSetup {
    const char *name;
    const char *caption;
    int scale;
    int indMin, indMax;
    int angle;
    G::Style style;
    int mainTicks;
    QColor minColor, midColor, maxColor;
    G::FaceOptions marks;
};

namespace pal = emu::ui::palette;
const QColor Green(pal::Green);
const QColor Yellow(pal::Yellow);
const QColor Red(pal::Red);
const QColor Blue(pal::Blue);
const QColor Lime(pal::Lime);
const QColor Orange(pal::Orange);

TA3nalogGauge *makeGauge(const GaugeSetup &s, QWidget *parent) {
    auto *g = new TA3nalogGauge(parent);
    g->setObjectName(QLatin1String(s.name));
    g->setFaceOptions(G::FaceOptions(G::ShowMainTicks | G::ShowSubTicks | G::ShowValues |
                                     G::ShowCenter | G::ShowFrame | G::ShowCaption) |
                      s.marks);
    g->setCaption(QString::fromUtf8(s.caption));
    // The scale first: it pulls the zone limits inside itself, then the limits are taken.
    g->setScale(s.scale);
    g->setIndMaximum(s.indMax);
    g->setIndMinimum(s.indMin);
    g->setStyle(s.style);
    g->setAngle(s.angle);
    g->setNumberMainTicks(s.mainTicks);
    g->setMinColor(s.minColor);
    g->setMidColor(s.midColor);
    g->setMaxColor(s.maxColor);
    g->setLengthMainTicks(15);
    g->setLengthSubTicks(8);
    g->setCenterRadius(8);
    g->setCircleRadius(3);
    g->setCircleColor(Blue);
    g->setMargin(10);
    g->setAntiAliased(G::aaNone);
    g->setAccessibleName(QString::fromUtf8(s.caption));
    return g;
}
} // namespace

EngineMonitorPage::EngineMonitorPage(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EngineMonitorPage"));
    const GaugeSetup setups[7] = {
        {"RPMGauge", "RPM x 100", 70, 1, 60, 270, G::CenterStyle, 7, Green, Yellow, Red,
         G::ShowIndicatorMax},
        {"VacuumGauge", "kPa x10", 10, 1, 1, 120, G::CenterStyle, 7, Green, Yellow, Red, {}},
        {"AnalogTiming", "Degrees", 45, 10, 35, 45, G::RightStyle, 5, Yellow, Yellow, Red,
         G::FaceOptions(G::ShowIndicatorMin | G::ShowIndicatorMax)},
        {"TempGauge", "\u00baC", 140, 40, 95, 120, G::CenterStyle, 7, Blue, Blue, Red,
         G::FaceOptions(G::ShowIndicatorMin | G::ShowIndicatorMax)},
        {"VoltGauge", "V", 16, 11, 13, 120, G::CenterStyle, 4, Yellow, Green, Red,
         G::FaceOptions(G::ShowIndicatorMin | G::ShowIndicatorMid | G::ShowIndicatorMax)},
        {"LambdaGauge", "Air/Fuel Ratio", 17, 12, 16, 270, G::CenterStyle, 7, Red, Lime, Blue,
         G::FaceOptions(G::ShowIndicatorMin | G::ShowIndicatorMid | G::ShowIndicatorMax)},
        {"InjectorGauge", "% Inj", 100, 20, 80, 120, G::CenterStyle, 5, Yellow, Yellow, Red,
         G::FaceOptions(G::ShowIndicatorMin | G::ShowIndicatorMax)},
    };
    TA3nalogGauge **gauges[7] = {&RPMGauge,  &VacuumGauge, &AnalogTiming, &TempGauge,
                                 &VoltGauge, &LambdaGauge, &InjectorGauge};
    // What each dial shows, for assistive technology (its name is the caption on its face).
    const char *shows[7] = {"Engine speed",      "Manifold vacuum", "Ignition timing",
                            "Water temperature", "Battery voltage", "Lambda",
                            "Injector duty"};
    for (int i = 0; i < 7; ++i) {
        *gauges[i] = makeGauge(setups[i], this);
        (*gauges[i])->setAccessibleDescription(QLatin1String(shows[i]));
    }

    RPMGauge->setFaceColor(QColor(pal::White));
    RPMGauge->setArrowColor(Orange);
    RPMGauge->setCenterColor(Orange);
    RPMGauge->setArrowWidth(2);
    AnalogTiming->setMargin(17);
    for (TA3nalogGauge *g :
         {VacuumGauge, AnalogTiming, TempGauge, VoltGauge, LambdaGauge, InjectorGauge}) {
        g->setArrowColor(QColor(pal::Black));
        g->setArrowWidth(1);
        g->setCenterColor(QColor(pal::Gray));
        g->setFixedSize(SideWidth, SideHeight);
    }
    RPMGauge->setMinimumSize(360, 350);
    RPMGauge->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    RPMGauge->resize(RpmWidth, RpmSize);

    EventLoggerLabel = new QLabel(QStringLiteral("Event Logger"), this);
    EventLoggerLabel->setObjectName(QStringLiteral("EventLoggerLabel"));
    EventLoggerLabel->setAccessibleName(EventLoggerLabel->text());
    EventLog = new QPlainTextEdit(this);
    EventLog->setObjectName(QStringLiteral("EventLog"));
    EventLog->setReadOnly(true);
    EventLog->setPlainText(QStringLiteral("Inactive"));
    EventLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont italic = EventLog->font();
    italic.setItalic(true);
    EventLog->setFont(italic);
    QPalette pal = EventLog->palette();
    pal.setColor(QPalette::Text, QColor(emu::ui::palette::Gray));
    EventLog->setPalette(pal);
    EventLog->setFixedHeight(64);
    EventLog->setAccessibleName(QStringLiteral("Event Logger"));
    EventLoggerLabel->setBuddy(EventLog);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);
    auto *left = new QVBoxLayout;
    left->addWidget(AnalogTiming);
    left->addWidget(LambdaGauge);
    left->addWidget(InjectorGauge);
    left->addStretch(1);
    // The RPM dial keeps its proportions however large the page is: the layout sizes an empty
    // place holder and the dial is centred on it.
    auto *rpmHolder = new QWidget(this);
    rpmHolder->setObjectName(QStringLiteral("RPMGaugeHolder"));
    rpmHolder->setMinimumSize(RPMGauge->minimumSize());
    rpmHolder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    rpmHolder->setAttribute(Qt::WA_TransparentForMouseEvents);
    rpmHolder->installEventFilter(this);
    RPMGauge->raise();
    auto *middle = new QVBoxLayout;
    middle->addWidget(rpmHolder, 1);
    middle->addWidget(EventLoggerLabel);
    middle->addWidget(EventLog);
    auto *right = new QVBoxLayout;
    right->addWidget(VacuumGauge);
    right->addWidget(VoltGauge);
    right->addWidget(TempGauge);
    right->addStretch(1);
    grid->addLayout(left, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addLayout(right, 0, 2);
    grid->setColumnStretch(1, 1);
}

bool EngineMonitorPage::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type t = event->type();
    auto *holder = qobject_cast<QWidget *>(watched);
    if ((t == QEvent::Resize || t == QEvent::Move) && holder && RPMGauge &&
        holder->objectName() == QLatin1String("RPMGaugeHolder")) {
        // As large as fits, centred. A 270-degree dial's radius follows the width alone, so the
        // width stays the height plus the margins' share rather than growing in proportion.
        const QRect area = holder->geometry();
        const int h = std::max(1, std::min(area.height(), area.width() - RpmExtraWidth));
        const QSize dial(h + RpmExtraWidth, h);
        // The numbers and the caption grow with the dial.
        QFont f = font();
        f.setPixelSize(
            std::max(QFontInfo(font()).pixelSize(), emu::num::roundInt(h * 12.0 / RpmSize)));
        if (RPMGauge->font() != f) RPMGauge->setFont(f);
        RPMGauge->setGeometry(QRect(area.topLeft() + QPoint((area.width() - dial.width()) / 2,
                                                            (area.height() - dial.height()) / 2),
                                    dial));
    }
    return QWidget::eventFilter(watched, event);
}

void EngineMonitorPage::update(const LiveValues &v) {
    RPMGauge->setPosition(float(v.rpm));
    VacuumGauge->setPosition(float(v.vacuum * 10));
    AnalogTiming->setPosition(float(emu::num::roundHalfEven(v.totalTiming)));
    TempGauge->setPosition(float(emu::num::roundHalfEven(v.waterTemp)));
    VoltGauge->setPosition(float(v.battery / 10));
    // The sensor value as it is, in hundredths of a volt.
    LambdaGauge->setPosition(float(v.lambda));
    InjectorGauge->setPosition(float(v.injectorDuty));
}

void EngineMonitorPage::rescale(double rpmRange, int mapSensorRange) {
    RPMGauge->setScale(emu::num::roundInt(rpmRange / 100));
    RPMGauge->setIndMaximum(emu::num::roundInt(rpmRange / 100 - 10));
    RPMGauge->setNumberMainTicks(emu::num::roundInt(rpmRange / 1000));
    VacuumGauge->setScale(mapSensorRange);
}
