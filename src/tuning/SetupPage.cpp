#include "tuning/SetupPage.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "tuning/SetupRadioGroup.h"
#include "widgets/Autosize.h"
#include "widgets/Messages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// Family A: an entry outside the range puts the last accepted value back.
struct AInfo {
    const char *edit;
    int code;
    bool decimal;
    double lo, hi; // hi < 0: the RPM range working value
};
const AInfo kA[] = {
    {"Edit12", 0x50, false, 1, 12},   {"Edit13", 0x51, false, 0, 10000},
    {"Edit14", 0x52, true, 0, 100},   {"Edit15", 0x53, false, 0, 30},
    {"Edit20", 0x54, false, 0, -1},   {"Edit16", 0x1E, true, 0, 10000},
    {"Edit17", 0x1F, true, 0, 10000}, {"Edit1", 0x21, true, 0, 10000},
    {"Edit24", 0x22, true, 0, 10000}, {"Edit100", 0x00, false, 0, 180},
    {"Edit34", 0x01, false, 1, 60},   {"Edit59", 0x33, false, 0, 180},
    {"Edit54", 0x2F, false, 0, 90},
};

// Family B: an entry outside 0..hi sets "0". raw = typed x mul / div.
struct BInfo {
    const char *edit;
    int code;
    bool decimal;
    double hi;
    double mul, div;
};
const BInfo kB[] = {
    {"Edit35", 0x2B, true, 25, 10, 1},      {"Edit36", 0x2A, true, 25, 10, 1},
    {"Edit37", 0x28, true, 3, 100, 1},      {"Edit38", 0x29, true, 3, 100, 1},
    {"Edit57", 0x10, true, 3, 100, 1},      {"Edit53", 0x2E, true, 10000, 1, 100},
    {"Edit39", 0x23, false, 10000, 1, 100}, {"Edit41", 0x0F, false, 10000, 1, 100},
    {"Edit56", 0x11, false, 100, 1, 1},
};

// Family C: quiet integer fields; the calibration edits ignore an empty text. The upper bounds
// keep value + 1 inside a byte (start prime pulse and the calibration numbers would wrap).
struct CInfo {
    const char *edit;
    int code;
    int lo, hi;
    bool calibration;
};
const CInfo kC[] = {
    {"Edit33", 0x04, 0, SetupPage::MaxRawValue, false},
    {"Edit40", 0x24, 0, 199, false},
    {"Edit49", 0x0B, 0, 100, false},
    {"Edit50", 0x0C, 5, 25, false},
    {"Edit51", 0x0D, 5, 25, false},
    {"Edit55", 0x30, 0, 199, false},
    {"Edit52", 0x2C, 0, SetupPage::MaxRawValue, true},
    {"Edit58", 0x32, 0, SetupPage::MaxRawValue, true},
    {"Edit60", 0x34, 0, SetupPage::MaxRawValue, true},
};

// Accelerator pump track bars TrackBar1..TrackBar6: value = max - position + 1.
struct PumpInfo {
    const char *name;
    int code;
    int max;
    const char *box;
    int scale;
    const char *caption;
};
const PumpInfo kPump[] = {
    {"TrackBar1", 0x1B, 10, "Edit45", 10, "% Enrichment"},
    {"TrackBar2", 0x1A, 10, "Edit44", 1, "Sensitivity"},
    {"TrackBar3", 0x17, 10, "Edit46", 1, "Sensitivity"},
    {"TrackBar4", 0x18, 10, "Edit47", 10, "% Enrichment"},
    {"TrackBar5", 0x19, 40, "Edit42", 100, "Max RPM"},
    {"TrackBar6", 0x1C, 40, "Edit43", 100, "Max RPM"},
};

// Sensor check boxes (CheckBox1..6, CheckBox20) and their Calibrate buttons (-1: none).
struct SensorInfo {
    const char *name;
    const char *caption;
    int code;
    int calButton; // 0 CalBtn, 1 Button1, 2 Button2, 3 Button3
};
const SensorInfo kSensor[] = {
    {"CheckBox1", "Throttle Position Sensor", 0x05, 0},
    {"CheckBox2", "Lambda Sensor", 0x08, -1},
    {"CheckBox3", "TDC Sensor", 0x2D, -1},
    {"CheckBox4", "Air Temp Sensor", 0x07, 2},
    {"CheckBox5", "Map Sensor", 0x09, 3},
    {"CheckBox6", "Water Temp Sensor", 0x06, 1},
    {"CheckBox20", "Two Stroke", 0x31, -1},
};

// RadioButton1..14: output and source code.
struct SourceButton {
    int output;
    int code;
};
const SourceButton kSourceButton[14] = {
    {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 0},
    {2, 1}, {2, 2}, {2, 3}, {2, 0}, {2, 4}, {2, 5}, {2, 6},
};

const char *const kSourceCaption[7] = {"None",   "RPM",        "Vacuum",  "TPS",
                                       "Lambda", "Water Temp", "Air Temp"};

// Reads a number the way the runtime converts it; a failure is reported in a message box.
bool readNumber(QWidget *parent, const QString &text, bool decimal, double *out) {
    QString error;
    if (decimal) {
        double d = 0;
        if (!emu::num::parseFloat(text, &d, &error)) {
            Messages::error(parent, error);
            return false;
        }
        *out = d;
        return true;
    }
    int i = 0;
    if (!emu::num::parseInteger(text, &i, &error)) {
        Messages::error(parent, error);
        return false;
    }
    *out = i;
    return true;
}

QString num(double v) {
    return emu::num::formatGeneral(v);
}

// The longest box of at most `length` pixels along which a turned, stretched caption shows whole:
// the label rounds its character width, which can make the run a few pixels longer than its box
// ("% Enrichment" lost its last letter on a 90-pixel box).
int fittingCaptionLength(const QFont &base, const QString &text, int thickness, int length) {
    for (int l = length; l > length / 2; --l) {
        QFont f;
        double stretch = 1;
        if (!TAutoSizeLabel::fitFont(base, text, TAutoSizeLabel::ta90, QSize(thickness, l), &f,
                                     &stretch))
            return length;
        if (QFontMetricsF(f).horizontalAdvance(text) * stretch <= l + 0.01) return l;
    }
    return length;
}
} // namespace

SetupPage::SetupPage(Session &session, QWidget *parent) : QWidget(parent), m_s(session) {
    m_workA[A13] = 7000;
    buildUi();
}

// ---------------------------------------------------------------------------------------------
// Layout

void SetupPage::buildUi() {
    auto makeEdit = [this](QWidget *owner, QFormLayout *form, const char *name,
                           const QString &caption, bool readOnly = false) {
        auto *e = new QLineEdit(owner);
        e->setObjectName(QLatin1String(name));
        e->setAccessibleName(caption);
        e->setReadOnly(readOnly);
        // Wide enough for the longest value a box takes (an RPM range of 10000, "0.75").
        const int fit = e->fontMetrics().horizontalAdvance(QStringLiteral("100000")) + 14;
        e->setMinimumWidth(qMax(64, fit));
        e->setMaximumWidth(qMax(64, fit));
        auto *label = new QLabel(caption, owner);
        label->setBuddy(e);
        form->addRow(label, e);
        m_edits.insert(QLatin1String(name), e);
        return e;
    };
    auto makeGroup = [](QWidget *owner, const QString &title) {
        auto *g = new QGroupBox(title, owner);
        g->setAccessibleName(title);
        return g;
    };
    auto makeForm = [](QGroupBox *g) {
        auto *f = new QFormLayout(g);
        f->setLabelAlignment(Qt::AlignLeft);
        f->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
        f->setContentsMargins(6, 4, 6, 4);
        f->setVerticalSpacing(4);
        return f;
    };

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    auto *columns = new QHBoxLayout(content);
    columns->setContentsMargins(0, 0, 0, 0);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    m_rtHost = new QFrame(this);
    m_rtHost->setObjectName(QStringLiteral("RT2Host"));
    m_rtHost->setFixedWidth(190);
    m_rtHost->setLayout(new QVBoxLayout);
    m_rtHost->layout()->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_rtHost);

    // Column 1: vehicle, EMU identity, sensors.
    auto *col1 = new QVBoxLayout;
    {
        auto *g = makeGroup(content, QStringLiteral("Vehicle Information"));
        auto *f = makeForm(g);
        const char *names[3] = {"Edit9", "Edit10", "Edit11"};
        const char *captions[3] = {"Vehicle Make", "Vehicle Model", "Engine Type"};
        QString EmuImage::*fields[3] = {&EmuImage::vehicleMake, &EmuImage::vehicleModel,
                                        &EmuImage::engineType};
        for (int i = 0; i < 3; ++i) {
            QLineEdit *e = makeEdit(g, f, names[i], QLatin1String(captions[i]));
            e->setMaxLength(18);
            e->setMaximumWidth(130);
            auto field = fields[i];
            connect(e, &QLineEdit::textChanged, this,
                    [this, field](const QString &t) { m_s.image.*field = t; });
        }
        col1->addWidget(g);
    }
    {
        auto *g = makeGroup(content, QStringLiteral("EMU Information"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit6", QStringLiteral("EMU Version"), true);
        makeEdit(g, f, "Edit7", QStringLiteral("EMU Model"), true);
        makeEdit(g, f, "Edit8", QStringLiteral("EMU Frimware Release"), true);
        makeEdit(g, f, "Edit18", QStringLiteral("EMU Type"), true)->setMaximumWidth(130);
        col1->addWidget(g);
    }
    {
        auto *g = makeGroup(content, QStringLiteral("Active Sensors"));
        auto *grid = new QGridLayout(g);
        grid->setContentsMargins(8, 6, 8, 6);
        const char *calNames[4] = {"CalBtn", "Button1", "Button2", "Button3"};
        const char *calHints[4] = {"Calibrate Throttle Position Sensor",
                                   "Calibrate Water Temp Sensor", "Calibrate Air Temp Sensor",
                                   "Calibrate Map Sensor"};
        for (int i = 0; i < 4; ++i) {
            auto *b = new QPushButton(QStringLiteral("Calibrate"), g);
            b->setObjectName(QLatin1String(calNames[i]));
            b->setAccessibleName(QStringLiteral("Calibrate"));
            b->setToolTip(QLatin1String(calHints[i]));
            b->setAccessibleDescription(QLatin1String(calHints[i]));
            b->setEnabled(false);
            m_cal[i] = b;
        }
        // Calibration edits lie over Button1..Button3 and show only after a click on them.
        const char *calEdits[3] = {"Edit52", "Edit58", "Edit60"};
        const char *calCaptions[3] = {"Water Temp Calibration", "Air Temp Calibration",
                                      "Map Sensor Calibration"};
        for (int i = 0; i < 3; ++i) {
            auto *stack = new QStackedWidget(g);
            stack->addWidget(m_cal[i + 1]);
            auto *e = new QLineEdit(stack);
            e->setObjectName(QLatin1String(calEdits[i]));
            e->setAccessibleName(QLatin1String(calCaptions[i]));
            e->installEventFilter(this);
            stack->addWidget(e);
            stack->setCurrentIndex(0);
            stack->setMaximumWidth(90);
            m_edits.insert(QLatin1String(calEdits[i]), e);
            m_calStack[i] = stack;
        }
        // Rows in the order CheckBox1, CheckBox6, CheckBox4, CheckBox2, CheckBox5, CheckBox3.
        const int order[6] = {S1, S6, S4, S2, S5, S3};
        for (int r = 0; r < 6; ++r) {
            const SensorInfo &info = kSensor[order[r]];
            auto *c = new QCheckBox(QLatin1String(info.caption), g);
            c->setObjectName(QLatin1String(info.name));
            c->setAccessibleName(QLatin1String(info.caption));
            c->setEnabled(false);
            m_sensor[order[r]] = c;
            grid->addWidget(c, r, 0);
            if (info.calButton == 0)
                grid->addWidget(m_cal[0], r, 1);
            else if (info.calButton > 0)
                grid->addWidget(m_calStack[info.calButton - 1], r, 1);
        }
        col1->addWidget(g);
    }
    col1->addStretch(1);
    columns->addLayout(col1);

    // Panel2: the setup editors, in two columns.
    m_panel2 = new QWidget(content);
    m_panel2->setObjectName(QStringLiteral("Panel2"));
    auto *p2 = new QHBoxLayout(m_panel2);
    p2->setContentsMargins(0, 0, 0, 0);
    auto *col2 = new QVBoxLayout;
    auto *col3 = new QVBoxLayout;
    p2->addLayout(col2);
    p2->addLayout(col3);
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Engine"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit12", QStringLiteral("Cylinders"));
        makeEdit(g, f, "Edit13", QStringLiteral("RPM Range"));
        makeEdit(g, f, "Edit20", QStringLiteral("RPM Limiter"));
        makeEdit(g, f, "Edit15", QStringLiteral("Map Sensor (kPa x10)"));
        auto *two = new QCheckBox(QLatin1String(kSensor[S20].caption), g);
        two->setObjectName(QLatin1String(kSensor[S20].name));
        two->setAccessibleName(QLatin1String(kSensor[S20].caption));
        m_sensor[S20] = two;
        f->addRow(two);
        col2->addWidget(g);
    }
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Ignition"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit14", QStringLiteral("Coil Time (ms)"));
        makeEdit(g, f, "Edit100", QStringLiteral("Timing Sensor °BTDC"));
        makeEdit(g, f, "Edit34", QStringLiteral("Gear Teeth"));
        makeEdit(g, f, "Edit59", QStringLiteral("Trailing Degrees"));
        m_group3 = new SetupRadioGroup(QStringLiteral("Coil Combination"),
                                       {QStringLiteral("Single"), QStringLiteral("Wasted Spark"),
                                        QStringLiteral("Multi Coil")},
                                       g);
        m_group3->setObjectName(QStringLiteral("RadioGroup3"));
        f->addRow(m_group3);
        col2->addWidget(g);
    }
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Launch Control"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit53", QStringLiteral("RPM Limiter "));
        makeEdit(g, f, "Edit54", QStringLiteral("Timing °"));
        makeEdit(g, f, "Edit55", QStringLiteral("Fuel %"));
        col2->addWidget(g);
    }
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Idle Control"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit39", QStringLiteral("RPM"));
        makeEdit(g, f, "Edit40", QStringLiteral("Start %"));
        col2->addWidget(g);
    }
    col2->addStretch(1);
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Fuel"));
        auto *f = makeForm(g);
        makeEdit(g, f, "Edit33", QStringLiteral("Start Prime Pulse"));
        makeEdit(g, f, "Edit35", QStringLiteral("Start enrichment "));
        makeEdit(g, f, "Edit36", QStringLiteral("Max Fueling "));
        makeEdit(g, f, "Edit37", QStringLiteral("Low throttle vacuum "));
        makeEdit(g, f, "Edit38", QStringLiteral("High throttle vacuum"));
        makeEdit(g, f, "Edit41", QStringLiteral("Fuel Cut-off RPM"));
        makeEdit(g, f, "Edit57", QStringLiteral("Fuel Cut-off Vac"));
        makeEdit(g, f, "Edit56", QStringLiteral("Fuel Cut-off TPS"));
        col3->addWidget(g);
    }
    {
        auto *g = makeGroup(m_panel2, QStringLiteral("Lambda Control"));
        auto *f = makeForm(g);
        m_lambda = new QSlider(Qt::Horizontal, g);
        m_lambda->setObjectName(QStringLiteral("TrackBar7"));
        m_lambda->setAccessibleName(QStringLiteral("Target Volts"));
        m_lambda->setRange(25, 75);
        m_lambda->setValue(45);
        m_lambda->setPageStep(5);
        m_lambda->setMinimumWidth(120);
        m_lambda->installEventFilter(this);
        f->addRow(m_lambda);
        makeEdit(g, f, "Edit48", QStringLiteral("Target Volts"), true);
        makeEdit(g, f, "Edit49", QStringLiteral("Control Percentage"));
        makeEdit(g, f, "Edit50", QStringLiteral("Control Delay "));
        makeEdit(g, f, "Edit51", QStringLiteral("Control Variable"));
        col3->addWidget(g);
    }
    m_group4 = new SetupRadioGroup(QStringLiteral("Tuning POT Input"),
                                   {QStringLiteral("Off"), QStringLiteral("Injector"),
                                    QStringLiteral("Timing"), QStringLiteral("Battery"),
                                    QStringLiteral("Launch")},
                                   m_panel2);
    m_group4->setObjectName(QStringLiteral("RadioGroup4"));
    col3->addWidget(m_group4);
    col3->addStretch(1);
    columns->addWidget(m_panel2);

    // Column 4: Panel22 (outputs) and Panel19 (accelerator pump).
    auto *col4 = new QVBoxLayout;
    m_panel22 = new QGroupBox(QStringLiteral("General Purpose Outputs"), content);
    m_panel22->setObjectName(QStringLiteral("Panel22"));
    m_panel22->setAccessibleName(QStringLiteral("General Purpose Outputs"));
    {
        auto *lay = new QHBoxLayout(m_panel22);
        lay->setContentsMargins(6, 6, 6, 6);
        const char *minNames[2] = {"Edit16", "Edit1"};
        const char *maxNames[2] = {"Edit17", "Edit24"};
        for (int o = 0; o < 2; ++o) {
            auto *g = makeGroup(m_panel22, QStringLiteral("Output %1").arg(o + 1));
            auto *f = makeForm(g);
            auto *buttons = new QButtonGroup(g);
            for (int code = 0; code < 7; ++code) {
                int index = 0;
                while (kSourceButton[index].output != o + 1 || kSourceButton[index].code != code)
                    ++index;
                auto *b = new QRadioButton(QLatin1String(kSourceCaption[code]), g);
                b->setObjectName(QStringLiteral("RadioButton%1").arg(index + 1));
                b->setAccessibleName(QLatin1String(kSourceCaption[code]));
                buttons->addButton(b, code);
                m_source[index] = b;
                f->addRow(b);
            }
            makeEdit(g, f, minNames[o], QStringLiteral("Min"));
            makeEdit(g, f, maxNames[o], QStringLiteral("Max"));
            lay->addWidget(g);
        }
    }
    col4->addWidget(m_panel22);

    m_panel19 = new QWidget(content);
    m_panel19->setObjectName(QStringLiteral("Panel19"));
    {
        auto *lay = new QVBoxLayout(m_panel19);
        lay->setContentsMargins(0, 0, 0, 0);
        m_group2 = new SetupRadioGroup(QStringLiteral("Accelerator Pump"),
                                       {QStringLiteral("None"), QStringLiteral("Map"),
                                        QStringLiteral("TPS"), QStringLiteral("Both")},
                                       m_panel19);
        m_group2->setObjectName(QStringLiteral("RadioGroup2"));
        lay->addWidget(m_group2);
        auto *row = new QHBoxLayout;
        // Group "Map": TrackBar3, 4, 5; group "TPS": TrackBar2, 1, 6.
        const int groups[2][3] = {{2, 3, 4}, {1, 0, 5}};
        const char *titles[2] = {"Map", "TPS"};
        for (int gi = 0; gi < 2; ++gi) {
            auto *g = makeGroup(m_panel19, QLatin1String(titles[gi]));
            auto *grid = new QGridLayout(g);
            grid->setContentsMargins(6, 6, 6, 6);
            grid->setHorizontalSpacing(2);
            for (int k = 0; k < 3; ++k) {
                const int i = groups[gi][k];
                const PumpInfo &info = kPump[i];
                auto *caption = new TAutoSizeLabel(g);
                caption->setAngle(TAutoSizeLabel::ta90);
                caption->setLabelText(QLatin1String(info.caption));
                caption->setFixedSize(
                    13, fittingCaptionLength(caption->font(), caption->labelText(), 13, 90));
                auto *bar = new QSlider(Qt::Vertical, g);
                bar->setObjectName(QLatin1String(info.name));
                bar->setAccessibleName(QLatin1String(info.caption));
                bar->setRange(1, info.max);
                bar->setPageStep(info.max / 10);
                // Position 1 is at the top and means the largest value.
                bar->setInvertedAppearance(true);
                bar->setInvertedControls(true);
                bar->setValue(info.max);
                bar->setFixedHeight(90);
                m_pump[i] = bar;
                auto *box = new QLineEdit(g);
                box->setObjectName(QLatin1String(info.box));
                box->setAccessibleName(QLatin1String(info.caption));
                box->setReadOnly(true);
                box->setFixedWidth(44);
                box->setText(num(info.scale));
                m_edits.insert(QLatin1String(info.box), box);
                grid->addWidget(caption, 0, 2 * k, Qt::AlignCenter);
                grid->addWidget(bar, 0, 2 * k + 1);
                grid->addWidget(box, 1, 2 * k, 1, 2);
            }
            row->addWidget(g);
        }
        lay->addLayout(row);
    }
    col4->addWidget(m_panel19);
    col4->addStretch(1);
    columns->addLayout(col4);
    columns->addStretch(1);

    m_panel2->setEnabled(false);
    m_panel22->setEnabled(false);
    m_panel19->setEnabled(false);

    // Handlers.
    auto onText = [this](const char *name, void (SetupPage::*slot)()) {
        connect(edit(QLatin1String(name)), &QLineEdit::textChanged, this, slot);
    };
    onText("Edit12", &SetupPage::Edit12Change);
    onText("Edit13", &SetupPage::Edit13Change);
    onText("Edit14", &SetupPage::Edit14Change);
    onText("Edit15", &SetupPage::Edit15Change);
    onText("Edit20", &SetupPage::Edit20Change);
    onText("Edit16", &SetupPage::Edit16Change);
    onText("Edit17", &SetupPage::Edit17Change);
    onText("Edit1", &SetupPage::Edit1Change);
    onText("Edit24", &SetupPage::Edit24Change);
    onText("Edit100", &SetupPage::Edit100Change);
    onText("Edit34", &SetupPage::Edit34Change);
    onText("Edit59", &SetupPage::Edit59Change);
    onText("Edit54", &SetupPage::Edit54Change);
    onText("Edit35", &SetupPage::Edit35Change);
    onText("Edit36", &SetupPage::Edit36Change);
    onText("Edit37", &SetupPage::Edit37Change);
    onText("Edit38", &SetupPage::Edit38Change);
    onText("Edit57", &SetupPage::Edit57Change);
    onText("Edit53", &SetupPage::Edit53Change);
    onText("Edit39", &SetupPage::Edit39Change);
    onText("Edit41", &SetupPage::Edit41Change);
    onText("Edit56", &SetupPage::Edit56Change);
    onText("Edit33", &SetupPage::Edit33Change);
    onText("Edit40", &SetupPage::Edit40Change);
    onText("Edit49", &SetupPage::Edit49Change);
    onText("Edit50", &SetupPage::Edit50Change);
    onText("Edit51", &SetupPage::Edit51Change);
    onText("Edit55", &SetupPage::Edit55Change);
    onText("Edit52", &SetupPage::Edit52Change);
    onText("Edit58", &SetupPage::Edit58Change);
    onText("Edit60", &SetupPage::Edit60Change);

    void (SetupPage::*pumpSlots[6])() = {&SetupPage::TrackBar1Change, &SetupPage::TrackBar2Change,
                                         &SetupPage::TrackBar3Change, &SetupPage::TrackBar4Change,
                                         &SetupPage::TrackBar5Change, &SetupPage::TrackBar6Change};
    for (int i = 0; i < 6; ++i)
        connect(m_pump[i], &QSlider::valueChanged, this, pumpSlots[i]);
    connect(m_lambda, &QSlider::valueChanged, this, &SetupPage::TrackBar7Change);

    void (SetupPage::*sensorSlots[SCount])() = {
        &SetupPage::CheckBox1Click, &SetupPage::CheckBox2Click, &SetupPage::CheckBox3Click,
        &SetupPage::CheckBox4Click, &SetupPage::CheckBox5Click, &SetupPage::CheckBox6Click,
        &SetupPage::CheckBox20Click};
    for (int i = 0; i < SCount; ++i)
        connect(m_sensor[i], &QCheckBox::toggled, this, sensorSlots[i]);

    connect(m_group2, &SetupRadioGroup::itemSelected, this, &SetupPage::RadioGroup2Click);
    connect(m_group3, &SetupRadioGroup::itemSelected, this, &SetupPage::RadioGroup3Click);
    connect(m_group4, &SetupRadioGroup::itemSelected, this, &SetupPage::RadioGroup4Click);

    void (SetupPage::*sourceSlots[14])() = {
        &SetupPage::RadioButton1Click,  &SetupPage::RadioButton2Click,
        &SetupPage::RadioButton3Click,  &SetupPage::RadioButton4Click,
        &SetupPage::RadioButton5Click,  &SetupPage::RadioButton6Click,
        &SetupPage::RadioButton7Click,  &SetupPage::RadioButton8Click,
        &SetupPage::RadioButton9Click,  &SetupPage::RadioButton10Click,
        &SetupPage::RadioButton11Click, &SetupPage::RadioButton12Click,
        &SetupPage::RadioButton13Click, &SetupPage::RadioButton14Click};
    for (int i = 0; i < 14; ++i)
        connect(m_source[i], &QRadioButton::toggled, this, sourceSlots[i]);

    connect(m_cal[0], &QPushButton::clicked, this, &SetupPage::CalBtnClick);
    connect(m_cal[1], &QPushButton::clicked, this, &SetupPage::Button1Click);
    connect(m_cal[2], &QPushButton::clicked, this, &SetupPage::Button2Click);
    connect(m_cal[3], &QPushButton::clicked, this, &SetupPage::Button3Click);
}

bool SetupPage::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn && watched == m_lambda) {
        TrackBar7Enter();
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == m_lambda)
            TrackBar7Exit();
        else if (watched == edit(QStringLiteral("Edit52")))
            Edit52Exit();
        else if (watched == edit(QStringLiteral("Edit58")))
            Edit58Exit();
        else if (watched == edit(QStringLiteral("Edit60")))
            Edit60Exit();
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Handler families

void SetupPage::markEdited() {
    m_s.modified = true;
    emit setupEdited();
}

int SetupPage::rawForA(AField f, double display) const {
    double raw = display;
    switch (f) {
    case A13:
    case A20:
        raw = display / 100;
        break;
    case A14:
        raw = display * 2;
        break;
    case A16:
    case A17:
        raw = emu::model::outputDeviceFromDisplay(m_outSource[0], display);
        break;
    case A1:
    case A24:
        raw = emu::model::outputDeviceFromDisplay(m_outSource[1], display);
        break;
    default:
        break;
    }
    if (!(raw >= 0 && raw <= MaxRawValue + 0.5)) return -1;
    const int r = emu::num::roundInt(raw);
    return r <= MaxRawValue ? r : -1;
}

void SetupPage::familyA(AField f) {
    if (!m_s.editingEnabled) return;
    const AInfo &info = kA[f];
    QLineEdit *box = edit(QLatin1String(info.edit));
    const QString text = box->text();
    if (text.isEmpty()) return;
    double v = 0;
    if (!readNumber(this, text, info.decimal, &v)) return;
    const double hi = info.hi < 0 ? m_workA[A13] : info.hi;
    const int raw = (v >= info.lo && v <= hi) ? rawForA(f, v) : -1;
    if (raw < 0) {
        // Put the last accepted value back; the new text runs this handler again.
        const double back = f == A54 ? m_s.image.value(emu::model::OffLaunchTiming) : m_workA[f];
        box->setText(num(back));
        return;
    }
    m_workA[f] = v;
    m_s.sendParameter(info.code, raw);
    markEdited();
}

void SetupPage::familyB(BField f) {
    if (!m_s.editingEnabled) return;
    const BInfo &info = kB[f];
    QLineEdit *box = edit(QLatin1String(info.edit));
    const QString text = box->text();
    if (text.isEmpty()) return;
    double v = 0;
    if (!readNumber(this, text, info.decimal, &v)) return;
    double raw = v * info.mul / info.div;
    if (!(v >= 0 && v <= info.hi) || !(raw <= MaxRawValue + 0.5) ||
        emu::num::roundInt(raw) > MaxRawValue) {
        box->setText(QStringLiteral("0")); // runs this handler again, which sends 0
        return;
    }
    if (f == B53) {
        // The limiter is tested as a decimal but taken as a whole number.
        double whole = 0;
        if (!readNumber(this, text, false, &whole)) return;
        raw = whole / 100;
    }
    m_s.sendParameter(info.code, emu::num::roundInt(raw));
    markEdited();
    if (f == B37 || f == B38) {
        (f == B37 ? m_s.lowThrottleVacuum : m_s.highThrottleVacuum) = v;
        emit m_s.thresholdsChanged();
    }
}

void SetupPage::familyC(CField f) {
    if (!m_s.editingEnabled) return;
    const CInfo &info = kC[f];
    QLineEdit *box = edit(QLatin1String(info.edit));
    const QString text = box->text();
    if (info.calibration && text.isEmpty()) return;
    double v = 0;
    if (!readNumber(this, text, false, &v)) return;
    if (v < info.lo || v > info.hi) {
        box->setText(QStringLiteral("0")); // runs this handler again
        return;
    }
    m_s.sendParameter(info.code, int(v));
}

void SetupPage::pumpTrackBar(int index) {
    if (!m_s.editingEnabled) return;
    const PumpInfo &info = kPump[index];
    const int value = info.max - m_pump[index]->value() + 1;
    edit(QLatin1String(info.box))->setText(num(value * info.scale));
    m_s.sendParameter(info.code, value);
}

void SetupPage::sensorClick(Sensor s) {
    if (!m_s.editingEnabled) return;
    const SensorInfo &info = kSensor[s];
    const bool on = m_sensor[s]->isChecked();
    m_s.sendParameter(info.code, on ? 2 : 1);
    if (info.calButton >= 0) m_cal[info.calButton]->setEnabled(on);
    if (s == S20) m_s.twoStroke = on;
}

void SetupPage::outputButtonClick(int button) {
    if (!m_source[button]->isChecked()) return;
    const SourceButton &b = kSourceButton[button];
    m_outSource[b.output - 1] = b.code;
    m_s.sendParameter(b.output == 1 ? emu::model::OffOutput1Source : emu::model::OffOutput2Source,
                      b.code);
}

void SetupPage::Edit12Change() {
    familyA(A12);
}
void SetupPage::Edit13Change() {
    familyA(A13);
}
void SetupPage::Edit14Change() {
    familyA(A14);
}
void SetupPage::Edit15Change() {
    familyA(A15);
}
void SetupPage::Edit20Change() {
    familyA(A20);
}
void SetupPage::Edit16Change() {
    familyA(A16);
}
void SetupPage::Edit17Change() {
    familyA(A17);
}
void SetupPage::Edit1Change() {
    familyA(A1);
}
void SetupPage::Edit24Change() {
    familyA(A24);
}
void SetupPage::Edit100Change() {
    familyA(A100);
}
void SetupPage::Edit34Change() {
    familyA(A34);
}
void SetupPage::Edit59Change() {
    familyA(A59);
}
void SetupPage::Edit54Change() {
    familyA(A54);
}
void SetupPage::Edit35Change() {
    familyB(B35);
}
void SetupPage::Edit36Change() {
    familyB(B36);
}
void SetupPage::Edit37Change() {
    familyB(B37);
}
void SetupPage::Edit38Change() {
    familyB(B38);
}
void SetupPage::Edit57Change() {
    familyB(B57);
}
void SetupPage::Edit53Change() {
    familyB(B53);
}
void SetupPage::Edit39Change() {
    familyB(B39);
}
void SetupPage::Edit41Change() {
    familyB(B41);
}
void SetupPage::Edit56Change() {
    familyB(B56);
}
void SetupPage::Edit33Change() {
    familyC(C33);
}
void SetupPage::Edit40Change() {
    familyC(C40);
}
void SetupPage::Edit49Change() {
    familyC(C49);
}
void SetupPage::Edit50Change() {
    familyC(C50);
}
void SetupPage::Edit51Change() {
    familyC(C51);
}
void SetupPage::Edit55Change() {
    familyC(C55);
}
void SetupPage::Edit52Change() {
    familyC(C52);
}
void SetupPage::Edit58Change() {
    familyC(C58);
}
void SetupPage::Edit60Change() {
    familyC(C60);
}
void SetupPage::TrackBar1Change() {
    pumpTrackBar(0);
}
void SetupPage::TrackBar2Change() {
    pumpTrackBar(1);
}
void SetupPage::TrackBar3Change() {
    pumpTrackBar(2);
}
void SetupPage::TrackBar4Change() {
    pumpTrackBar(3);
}
void SetupPage::TrackBar5Change() {
    pumpTrackBar(4);
}
void SetupPage::TrackBar6Change() {
    pumpTrackBar(5);
}

void SetupPage::TrackBar7Change() {
    if (!m_s.editingEnabled) return;
    const int position = m_lambda->value();
    m_s.lambdaTarget = position / 100.0;
    m_s.sendParameter(emu::model::OffLambdaTarget, position);
    markEdited();
    edit(QStringLiteral("Edit48"))->setText(num(m_s.lambdaTarget));
    emit m_s.lambdaTargetChanged();
}

void SetupPage::TrackBar7Enter() {
    emit lambdaTargetFocusChanged(true);
}
void SetupPage::TrackBar7Exit() {
    emit lambdaTargetFocusChanged(false);
}

void SetupPage::CheckBox1Click() {
    sensorClick(S1);
}
void SetupPage::CheckBox2Click() {
    sensorClick(S2);
}
void SetupPage::CheckBox3Click() {
    sensorClick(S3);
}
void SetupPage::CheckBox4Click() {
    sensorClick(S4);
}
void SetupPage::CheckBox5Click() {
    sensorClick(S5);
}
void SetupPage::CheckBox6Click() {
    sensorClick(S6);
}
void SetupPage::CheckBox20Click() {
    sensorClick(S20);
}

void SetupPage::RadioGroup2Click() {
    const int i = m_group2->itemIndex();
    if (i >= 0) m_s.sendParameter(emu::model::OffAccelPumpMode, i);
}

void SetupPage::RadioGroup3Click() {
    // The coil combination is sent and stored as 1..3.
    const int i = m_group3->itemIndex();
    if (i >= 0) m_s.sendParameter(emu::model::OffCoilCombination, i + 1);
}

void SetupPage::RadioGroup4Click() {
    const int i = m_group4->itemIndex();
    if (i >= 0) m_s.sendParameter(emu::model::OffTuningPotInput, i);
}

void SetupPage::RadioButton1Click() {
    outputButtonClick(0);
}
void SetupPage::RadioButton2Click() {
    outputButtonClick(1);
}
void SetupPage::RadioButton3Click() {
    outputButtonClick(2);
}
void SetupPage::RadioButton4Click() {
    outputButtonClick(3);
}
void SetupPage::RadioButton5Click() {
    outputButtonClick(4);
}
void SetupPage::RadioButton6Click() {
    outputButtonClick(5);
}
void SetupPage::RadioButton7Click() {
    outputButtonClick(6);
}
void SetupPage::RadioButton8Click() {
    outputButtonClick(7);
}
void SetupPage::RadioButton9Click() {
    outputButtonClick(8);
}
void SetupPage::RadioButton10Click() {
    outputButtonClick(9);
}
void SetupPage::RadioButton11Click() {
    outputButtonClick(10);
}
void SetupPage::RadioButton12Click() {
    outputButtonClick(11);
}
void SetupPage::RadioButton13Click() {
    outputButtonClick(12);
}
void SetupPage::RadioButton14Click() {
    outputButtonClick(13);
}

void SetupPage::CalBtnClick() {
    emit calibrateTpsRequested();
}
void SetupPage::Button1Click() {
    revealCalibration(0);
}
void SetupPage::Button2Click() {
    revealCalibration(1);
}
void SetupPage::Button3Click() {
    revealCalibration(2);
}

void SetupPage::revealCalibration(int which) {
    m_calStack[which]->setCurrentIndex(1);
    m_calStack[which]->currentWidget()->setFocus(Qt::OtherFocusReason);
}

void SetupPage::Edit52Exit() {
    m_calStack[0]->setCurrentIndex(0);
}
void SetupPage::Edit58Exit() {
    m_calStack[1]->setCurrentIndex(0);
}
void SetupPage::Edit60Exit() {
    m_calStack[2]->setCurrentIndex(0);
}

// ---------------------------------------------------------------------------------------------
// Decoding

void SetupPage::showNumber(QLineEdit *box, int offset, double shown) {
    if (m_s.image.isUnset(offset)) {
        box->setEnabled(false);
        return;
    }
    box->setEnabled(true);
    box->setText(num(shown)); // runs the box's handler when the text changes
}

void SetupPage::decodeEngine(bool rpmDefault) {
    const EmuImage &img = m_s.image;
    if (!img.isUnset(emu::model::OffCylinders)) m_workA[A12] = img.value(emu::model::OffCylinders);
    if (!img.isUnset(emu::model::OffRpmRange))
        m_workA[A13] = img.value(emu::model::OffRpmRange) * 100.0;
    if (rpmDefault && m_workA[A13] == 0) m_workA[A13] = 7000;
    if (!img.isUnset(emu::model::OffCoilTime))
        m_workA[A14] = emu::num::roundTo(img.value(emu::model::OffCoilTime) / 2.0, 1);
    if (!img.isUnset(emu::model::OffMapSensorRange))
        m_workA[A15] = img.value(emu::model::OffMapSensorRange);
    if (!img.isUnset(emu::model::OffRpmLimiter))
        m_workA[A20] = img.value(emu::model::OffRpmLimiter) * 100.0;
}

void SetupPage::showEngineBoxes() {
    showNumber(edit(QStringLiteral("Edit12")), emu::model::OffCylinders, m_workA[A12]);
    showNumber(edit(QStringLiteral("Edit13")), emu::model::OffRpmRange, m_workA[A13]);
    showNumber(edit(QStringLiteral("Edit14")), emu::model::OffCoilTime, m_workA[A14]);
    showNumber(edit(QStringLiteral("Edit15")), emu::model::OffMapSensorRange, m_workA[A15]);
    showNumber(edit(QStringLiteral("Edit20")), emu::model::OffRpmLimiter, m_workA[A20]);
}

void SetupPage::checkOutputSource(int output, int source) {
    for (int i = 0; i < 14; ++i) {
        if (kSourceButton[i].output == output && kSourceButton[i].code == source) {
            m_source[i]->setChecked(true); // a changed selection sends the source
            return;
        }
    }
    // No button for this code (unset or unknown): none is checked.
    for (int i = 0; i < 14; ++i) {
        if (kSourceButton[i].output == output && m_source[i]->isChecked()) {
            QButtonGroup *g = m_source[i]->group();
            g->setExclusive(false);
            m_source[i]->setChecked(false);
            g->setExclusive(true);
        }
    }
}

void SetupPage::decodeOutputs(int output, bool checkButton) {
    const EmuImage &img = m_s.image;
    const int srcOff = output == 1 ? emu::model::OffOutput1Source : emu::model::OffOutput2Source;
    const int minOff = srcOff + 1, maxOff = srcOff + 2;
    const AField fmin = output == 1 ? A16 : A1;
    const AField fmax = output == 1 ? A17 : A24;
    const int source = img.value(srcOff);
    m_outSource[output - 1] = source;
    if (!img.isUnset(minOff))
        m_workA[fmin] = emu::model::outputDisplayFromDevice(source, img.value(minOff));
    if (!img.isUnset(maxOff))
        m_workA[fmax] = emu::model::outputDisplayFromDevice(source, img.value(maxOff));
    if (source == 0) {
        m_workA[fmin] = m_workA[fmax] = 0;
        if (checkButton) {
            edit(QLatin1String(kA[fmin].edit))->setText(QStringLiteral("0"));
            edit(QLatin1String(kA[fmax].edit))->setText(QStringLiteral("0"));
        }
    }
    if (checkButton) checkOutputSource(output, source);
}

void SetupPage::showPumpTrackBar(int index) {
    static const int offsets[6] = {
        emu::model::OffTpsPumpEnrichment,  emu::model::OffTpsPumpSensitivity,
        emu::model::OffMapPumpSensitivity, emu::model::OffMapPumpEnrichment,
        emu::model::OffMapPumpMaxRpm,      emu::model::OffTpsPumpMaxRpm};
    const PumpInfo &info = kPump[index];
    const int value = m_s.image.value(offsets[index]);
    // Out-of-range values stop the bar at its end; the box shows where it stands.
    m_pump[index]->setValue(qBound(1, info.max - value + 1, info.max));
    edit(QLatin1String(info.box))
        ->setText(num((info.max - m_pump[index]->value() + 1) * info.scale));
}

void SetupPage::showRadioGroup(SetupRadioGroup *g, int offset) {
    const int b = m_s.image.setupByte(offset);
    if (b == emu::model::Unset) {
        g->setEnabled(false);
        return;
    }
    g->setEnabled(true);
    g->setItemIndex(b == 0 ? 0 : b - 1); // a byte beyond the items selects none
}

void SetupPage::decodeSetup() {
    EmuImage &img = m_s.image;
    auto box = [this](const char *name) { return edit(QLatin1String(name)); };

    // 1-3: engine values and the outputs.
    decodeEngine(true);
    decodeOutputs(1, true);
    decodeOutputs(2, true);
    showEngineBoxes();
    showNumber(box("Edit16"), emu::model::OffOutput1Min, m_workA[A16]);
    showNumber(box("Edit17"), emu::model::OffOutput1Max, m_workA[A17]);
    showNumber(box("Edit1"), emu::model::OffOutput2Min, m_workA[A1]);
    showNumber(box("Edit24"), emu::model::OffOutput2Max, m_workA[A24]);

    // 4: timing sensor, gear teeth, trailing degrees.
    const struct {
        AField f;
        int offset;
    } timing[] = {{A100, emu::model::OffTimingSensorBtdc},
                  {A34, emu::model::OffGearTeeth},
                  {A59, emu::model::OffTrailingDegrees}};
    for (const auto &t : timing) {
        if (!img.isUnset(t.offset)) m_workA[t.f] = img.value(t.offset);
        showNumber(box(kA[t.f].edit), t.offset, m_workA[t.f]);
    }

    // 5: sensors and two-stroke.
    const int sensorOffsets[SCount] = {emu::model::OffTpsSensor, emu::model::OffLambdaSensor,
                                       emu::model::OffTdcSensor, emu::model::OffAirTempSensor,
                                       emu::model::OffMapSensor, emu::model::OffWaterTempSensor,
                                       emu::model::OffTwoStroke};
    for (int i = 0; i < SCount; ++i)
        m_sensor[i]->setChecked(img.value(sensorOffsets[i]) == 2);
    for (int i = S1; i <= S6; ++i)
        m_sensor[i]->setEnabled(true);
    m_s.twoStroke = img.value(emu::model::OffTwoStroke) == 2;
    if (img.value(emu::model::OffTpsSensor) == 2) {
        m_s.tpsMinimum = img.value(emu::model::OffTpsMinimum);
        m_s.tpsSpan = img.value(emu::model::OffTpsSpan);
        if (m_s.tpsSpan == 0) {
            m_s.tpsSpan = 100;
            m_s.tpsMinimum = 0;
        }
    }

    // 6: fuel, cut-off, idle and launch.
    showNumber(box("Edit35"), emu::model::OffStartEnrichment,
               emu::num::roundTo(img.value(emu::model::OffStartEnrichment) / 10.0, 1));
    showNumber(box("Edit36"), emu::model::OffMaxFueling,
               emu::num::roundTo(img.value(emu::model::OffMaxFueling) / 10.0, 1));
    showNumber(box("Edit33"), emu::model::OffStartPrimePulse,
               img.value(emu::model::OffStartPrimePulse));
    showNumber(box("Edit41"), emu::model::OffFuelCutRpm,
               img.value(emu::model::OffFuelCutRpm) * 100.0);
    showNumber(box("Edit57"), emu::model::OffFuelCutVacuum,
               img.value(emu::model::OffFuelCutVacuum) / 100.0);
    showNumber(box("Edit56"), emu::model::OffFuelCutTps, img.value(emu::model::OffFuelCutTps));
    showNumber(box("Edit39"), emu::model::OffIdleRpm, img.value(emu::model::OffIdleRpm) * 100.0);
    showNumber(box("Edit40"), emu::model::OffIdleStartPercent,
               img.value(emu::model::OffIdleStartPercent));
    showNumber(box("Edit53"), emu::model::OffLaunchRpmLimit,
               img.value(emu::model::OffLaunchRpmLimit) * 100.0);
    showNumber(box("Edit54"), emu::model::OffLaunchTiming, img.value(emu::model::OffLaunchTiming));
    showNumber(box("Edit55"), emu::model::OffLaunchFuel, img.value(emu::model::OffLaunchFuel));

    // 7: radio groups (their handlers always send a changed selection).
    showRadioGroup(m_group3, emu::model::OffCoilCombination);
    showRadioGroup(m_group4, emu::model::OffTuningPotInput);
    showRadioGroup(m_group2, emu::model::OffAccelPumpMode);

    // 8: accelerator pump track bars.
    for (int i = 0; i < 6; ++i)
        showPumpTrackBar(i);

    // 9: vacuum thresholds; value 0 reads as 0.1 and 0.9 bar.
    const struct {
        const char *edit;
        int offset;
        double whenZero;
        double *working;
    } thresholds[] = {{"Edit37", emu::model::OffLowThrottleVacuum, 0.1, &m_s.lowThrottleVacuum},
                      {"Edit38", emu::model::OffHighThrottleVacuum, 0.9, &m_s.highThrottleVacuum}};
    for (const auto &t : thresholds) {
        if (img.isUnset(t.offset)) {
            box(t.edit)->setEnabled(false);
            continue;
        }
        const int value = img.value(t.offset);
        *t.working = value == 0 ? t.whenZero : value / 100.0;
        showNumber(box(t.edit), t.offset, *t.working);
    }
    emit m_s.thresholdsChanged();

    // 10: lambda target.
    if (img.isUnset(emu::model::OffLambdaTarget)) {
        box("Edit48")->setEnabled(false);
        m_lambda->setEnabled(false);
    } else {
        const int value = img.value(emu::model::OffLambdaTarget);
        m_s.lambdaTarget = value / 100.0;
        m_lambda->setEnabled(true);
        m_lambda->setValue(value); // its handler may take the bar's position instead
        box("Edit48")->setEnabled(true);
        box("Edit48")->setText(num(m_s.lambdaTarget));
        emit m_s.lambdaTargetChanged();
    }

    // 11: lambda control.
    showNumber(box("Edit49"), emu::model::OffLambdaControlPercent,
               img.value(emu::model::OffLambdaControlPercent));
    showNumber(box("Edit50"), emu::model::OffLambdaControlDelay,
               img.value(emu::model::OffLambdaControlDelay));
    showNumber(box("Edit51"), emu::model::OffLambdaControlVariable,
               img.value(emu::model::OffLambdaControlVariable));

    // 12: calibration numbers, unconditionally.
    box("Edit52")->setText(QString::number(img.value(emu::model::OffWaterTempCalibration)));
    box("Edit58")->setText(QString::number(img.value(emu::model::OffAirTempCalibration)));
    box("Edit60")->setText(QString::number(img.value(emu::model::OffMapSensorCalibration)));

    m_s.deriveFromSetup();
}

void SetupPage::refreshAfterWrite() {
    decodeEngine(false);
    decodeOutputs(1, true);
    decodeOutputs(2, true);
    showEngineBoxes();
    auto box = [this](const char *name) { return edit(QLatin1String(name)); };
    showNumber(box("Edit16"), emu::model::OffOutput1Min, m_workA[A16]);
    showNumber(box("Edit17"), emu::model::OffOutput1Max, m_workA[A17]);
    showNumber(box("Edit1"), emu::model::OffOutput2Min, m_workA[A1]);
    showNumber(box("Edit24"), emu::model::OffOutput2Max, m_workA[A24]);
    const EmuImage &img = m_s.image;
    const struct {
        AField f;
        int offset;
    } timing[] = {{A100, emu::model::OffTimingSensorBtdc},
                  {A34, emu::model::OffGearTeeth},
                  {A59, emu::model::OffTrailingDegrees}};
    for (const auto &t : timing) {
        if (!img.isUnset(t.offset)) m_workA[t.f] = img.value(t.offset);
        showNumber(box(kA[t.f].edit), t.offset, m_workA[t.f]);
    }
    // Accelerator pump values of offsets 23, 24 and 25 (TrackBar3, 4, 5).
    for (int i : {2, 3, 4})
        showPumpTrackBar(i);
}

void SetupPage::refillAfterDiscard() {
    decodeEngine(true);
    decodeOutputs(1, false);
    showEngineBoxes();
    showNumber(edit(QStringLiteral("Edit16")), emu::model::OffOutput1Min, m_workA[A16]);
    showNumber(edit(QStringLiteral("Edit17")), emu::model::OffOutput1Max, m_workA[A17]);
}

// ---------------------------------------------------------------------------------------------
// Enabling and identity

void SetupPage::setSetupPanelsEnabled(bool on) {
    m_panel2->setEnabled(on);
    m_panel22->setEnabled(on);
}

void SetupPage::setPumpPanelEnabled(bool on) {
    m_panel19->setEnabled(on);
}

void SetupPage::updateCalibrateButtons() {
    if (!m_s.connected) return;
    const int offsets[4] = {emu::model::OffTpsSensor, emu::model::OffWaterTempSensor,
                            emu::model::OffAirTempSensor, emu::model::OffMapSensor};
    for (int i = 0; i < 4; ++i)
        m_cal[i]->setEnabled(m_s.image.value(offsets[i]) == 2);
}

void SetupPage::showIdentity() {
    const auto &id = m_s.image.identity;
    edit(QStringLiteral("Edit6"))->setText(QString::number(id[0]));
    edit(QStringLiteral("Edit7"))->setText(QString::number(id[1]));
    edit(QStringLiteral("Edit8"))->setText(QString::number(id[2]));
}

void SetupPage::setEmuType(const QString &moduleTypeName) {
    edit(QStringLiteral("Edit18"))->setText(moduleTypeName);
}

void SetupPage::showVehicleInfo() {
    // Copies first: filling one box writes its string back into the image.
    const QString make = m_s.image.vehicleMake, model = m_s.image.vehicleModel,
                  engine = m_s.image.engineType;
    edit(QStringLiteral("Edit9"))->setText(make.left(18));
    edit(QStringLiteral("Edit10"))->setText(model.left(18));
    edit(QStringLiteral("Edit11"))->setText(engine.left(18));
}

int SetupPage::cylinders() const {
    return int(m_workA[A12]);
}
double SetupPage::rpmRange() const {
    return m_workA[A13];
}
double SetupPage::coilTime() const {
    return m_workA[A14];
}
int SetupPage::mapSensorRange() const {
    return int(m_workA[A15]);
}
double SetupPage::rpmLimiter() const {
    return m_workA[A20];
}
int SetupPage::outputSource(int output) const {
    return m_outSource[output == 2 ? 1 : 0];
}
double SetupPage::outputMin(int output) const {
    return m_workA[output == 2 ? A1 : A16];
}
double SetupPage::outputMax(int output) const {
    return m_workA[output == 2 ? A24 : A17];
}
