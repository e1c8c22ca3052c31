#include "tuning/SetupPage.h"

#include "connection/Session.h"
#include "connection/SetupFile.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "tuning/HistoryMenu.h"
#include "tuning/SetupRadioGroup.h"
#include "widgets/Autosize.h"
#include "widgets/Messages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QValidator>

namespace {
// A vehicle box takes only what a setup file can hold as it is: no "~" (it separates the three
// texts), no control characters and none of the invisible ones that change how the text shows
// (direction overrides, zero-width characters). Typing or pasting them changes nothing.
class VehicleTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override {
        return SetupFile::cleanVehicleText(input) == input ? Acceptable : Invalid;
    }
};

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

// Accepted raw values: the stored byte value + 1 must still fit a byte.
bool fitsByte(double raw) {
    return raw >= 0 && raw <= SetupPage::MaxRawValue + 0.5 &&
           emu::num::roundInt(raw) <= SetupPage::MaxRawValue;
}

bool isText(Entry e) {
    switch (e) {
    case Entry::PutBack:
    case Entry::PutBackStored:
    case Entry::ResetToZero:
    case Entry::ResetToZeroWhole:
    case Entry::Quiet:
    case Entry::Calibration:
        return true;
    default:
        return false;
    }
}

const SetupField &fieldFor(const char *editor) {
    for (const SetupField &f : emu::model::setupFields())
        if (qstrcmp(f.editor, editor) == 0) return f;
    qFatal("no setup field for %s", editor);
}
} // namespace

SetupPage::SetupPage(Session &session, QWidget *parent) : QWidget(parent), m_s(session) {
    m_work[emu::model::OffRpmRange] = emu::model::setupFieldAt(emu::model::OffRpmRange)->zeroReads;
    buildUi();
    connect(&m_s, &Session::setupRestored, this, &SetupPage::showRestored);
    connect(&m_s, &Session::vehicleTextChanged, this, &SetupPage::showVehicleInfo);
}

// ---------------------------------------------------------------------------------------------
// Layout

namespace {
QLineEdit *makeEdit(QWidget *owner, QFormLayout *form, const QString &name, const QString &caption,
                    bool readOnly = false) {
    auto *e = new QLineEdit(owner);
    e->setObjectName(name);
    e->setAccessibleName(caption);
    e->setReadOnly(readOnly);
    // Wide enough for the longest value a box takes (an RPM range of 10000, "0.75").
    const int fit = e->fontMetrics().horizontalAdvance(QStringLiteral("100000")) + 14;
    e->setMinimumWidth(qMax(64, fit));
    e->setMaximumWidth(qMax(64, fit));
    auto *label = new QLabel(caption, owner);
    label->setBuddy(e);
    form->addRow(label, e);
    return e;
}

QGroupBox *makeGroup(QWidget *owner, const QString &title) {
    auto *g = new QGroupBox(title, owner);
    g->setAccessibleName(title);
    return g;
}

QFormLayout *makeForm(QGroupBox *g) {
    auto *f = new QFormLayout(g);
    f->setLabelAlignment(Qt::AlignLeft);
    f->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    f->setContentsMargins(6, 4, 6, 4);
    f->setVerticalSpacing(4);
    return f;
}
} // namespace

void SetupPage::addField(QWidget *owner, QFormLayout *form, const char *editor) {
    const SetupField &f = fieldFor(editor);
    const QString name = QLatin1String(f.editor), caption = QString::fromUtf8(f.caption);
    m_fieldOf.insert(name, &f);
    QWidget *w = nullptr;
    switch (f.entry) {
    case Entry::CheckBox: {
        auto *c = new QCheckBox(caption, owner);
        connect(c, &QCheckBox::toggled, this, [this, h = handler(name, "Click")] { (this->*h)(); });
        form->addRow(c);
        w = c;
        break;
    }
    case Entry::Radio: {
        auto *g = new SetupRadioGroup(caption, f.items(), owner);
        connect(g, &SetupRadioGroup::itemSelected, this,
                [this, h = handler(name, "Click")] { (this->*h)(); });
        form->addRow(g);
        w = g;
        break;
    }
    case Entry::SourceButtons: {
        auto *buttons = new QButtonGroup(owner);
        const QStringList items = f.items(), names = f.itemEditors();
        for (int code = 0; code < names.size(); ++code) {
            auto *b = new QRadioButton(items.at(code), owner);
            b->setObjectName(names.at(code));
            b->setAccessibleName(items.at(code));
            buttons->addButton(b, code);
            m_controls.insert(names.at(code), b);
            m_fieldOf.insert(names.at(code), &f);
            connect(b, &QRadioButton::toggled, this,
                    [this, h = handler(names.at(code), "Click")] { (this->*h)(); });
            form->addRow(b);
        }
        return;
    }
    case Entry::Slider: {
        auto *bar = new QSlider(Qt::Horizontal, owner);
        const int lo = emu::model::rawFromDisplay(f, f.min),
                  hi = emu::model::rawFromDisplay(f, f.max);
        bar->setRange(lo, hi);
        bar->setValue(emu::model::rawFromDisplay(f, m_s.lambdaTarget()));
        bar->setPageStep((hi - lo + 1) / 10);
        bar->setMinimumWidth(120);
        bar->installEventFilter(this);
        connect(bar, &QSlider::valueChanged, this,
                [this, h = handler(name, "Change")] { (this->*h)(); });
        form->addRow(bar);
        bar->setObjectName(name);
        bar->setAccessibleName(caption);
        m_controls.insert(name, bar);
        const QString readout = QLatin1String(f.companion);
        m_controls.insert(readout, makeEdit(owner, form, readout, caption, true));
        return;
    }
    default: {
        if (!isText(f.entry)) qFatal("%s has no editor on the Setup page", editor);
        QLineEdit *e = makeEdit(owner, form, name, caption);
        connect(e, &QLineEdit::textChanged, this,
                [this, h = handler(name, "Change")] { (this->*h)(); });
        w = e;
        break;
    }
    }
    w->setObjectName(name);
    w->setAccessibleName(caption);
    m_controls.insert(name, w);
}

QLineEdit *SetupPage::edit(const QString &name) const {
    return control<QLineEdit>(name);
}

SetupPage::Handler SetupPage::handler(const QString &control, const char *event) {
    static const QHash<QString, Handler> table = {
        {QStringLiteral("Edit12Change"), &SetupPage::Edit12Change},
        {QStringLiteral("Edit13Change"), &SetupPage::Edit13Change},
        {QStringLiteral("Edit14Change"), &SetupPage::Edit14Change},
        {QStringLiteral("Edit15Change"), &SetupPage::Edit15Change},
        {QStringLiteral("Edit20Change"), &SetupPage::Edit20Change},
        {QStringLiteral("Edit16Change"), &SetupPage::Edit16Change},
        {QStringLiteral("Edit17Change"), &SetupPage::Edit17Change},
        {QStringLiteral("Edit1Change"), &SetupPage::Edit1Change},
        {QStringLiteral("Edit24Change"), &SetupPage::Edit24Change},
        {QStringLiteral("Edit100Change"), &SetupPage::Edit100Change},
        {QStringLiteral("Edit34Change"), &SetupPage::Edit34Change},
        {QStringLiteral("Edit59Change"), &SetupPage::Edit59Change},
        {QStringLiteral("Edit54Change"), &SetupPage::Edit54Change},
        {QStringLiteral("Edit35Change"), &SetupPage::Edit35Change},
        {QStringLiteral("Edit36Change"), &SetupPage::Edit36Change},
        {QStringLiteral("Edit37Change"), &SetupPage::Edit37Change},
        {QStringLiteral("Edit38Change"), &SetupPage::Edit38Change},
        {QStringLiteral("Edit57Change"), &SetupPage::Edit57Change},
        {QStringLiteral("Edit53Change"), &SetupPage::Edit53Change},
        {QStringLiteral("Edit39Change"), &SetupPage::Edit39Change},
        {QStringLiteral("Edit41Change"), &SetupPage::Edit41Change},
        {QStringLiteral("Edit56Change"), &SetupPage::Edit56Change},
        {QStringLiteral("Edit33Change"), &SetupPage::Edit33Change},
        {QStringLiteral("Edit40Change"), &SetupPage::Edit40Change},
        {QStringLiteral("Edit49Change"), &SetupPage::Edit49Change},
        {QStringLiteral("Edit50Change"), &SetupPage::Edit50Change},
        {QStringLiteral("Edit51Change"), &SetupPage::Edit51Change},
        {QStringLiteral("Edit55Change"), &SetupPage::Edit55Change},
        {QStringLiteral("Edit52Change"), &SetupPage::Edit52Change},
        {QStringLiteral("Edit58Change"), &SetupPage::Edit58Change},
        {QStringLiteral("Edit60Change"), &SetupPage::Edit60Change},
        {QStringLiteral("TrackBar1Change"), &SetupPage::TrackBar1Change},
        {QStringLiteral("TrackBar2Change"), &SetupPage::TrackBar2Change},
        {QStringLiteral("TrackBar3Change"), &SetupPage::TrackBar3Change},
        {QStringLiteral("TrackBar4Change"), &SetupPage::TrackBar4Change},
        {QStringLiteral("TrackBar5Change"), &SetupPage::TrackBar5Change},
        {QStringLiteral("TrackBar6Change"), &SetupPage::TrackBar6Change},
        {QStringLiteral("TrackBar7Change"), &SetupPage::TrackBar7Change},
        {QStringLiteral("TrackBar7Exit"), &SetupPage::TrackBar7Exit},
        {QStringLiteral("CheckBox1Click"), &SetupPage::CheckBox1Click},
        {QStringLiteral("CheckBox2Click"), &SetupPage::CheckBox2Click},
        {QStringLiteral("CheckBox3Click"), &SetupPage::CheckBox3Click},
        {QStringLiteral("CheckBox4Click"), &SetupPage::CheckBox4Click},
        {QStringLiteral("CheckBox5Click"), &SetupPage::CheckBox5Click},
        {QStringLiteral("CheckBox6Click"), &SetupPage::CheckBox6Click},
        {QStringLiteral("CheckBox20Click"), &SetupPage::CheckBox20Click},
        {QStringLiteral("RadioGroup2Click"), &SetupPage::RadioGroup2Click},
        {QStringLiteral("RadioGroup3Click"), &SetupPage::RadioGroup3Click},
        {QStringLiteral("RadioGroup4Click"), &SetupPage::RadioGroup4Click},
        {QStringLiteral("RadioButton1Click"), &SetupPage::RadioButton1Click},
        {QStringLiteral("RadioButton2Click"), &SetupPage::RadioButton2Click},
        {QStringLiteral("RadioButton3Click"), &SetupPage::RadioButton3Click},
        {QStringLiteral("RadioButton4Click"), &SetupPage::RadioButton4Click},
        {QStringLiteral("RadioButton5Click"), &SetupPage::RadioButton5Click},
        {QStringLiteral("RadioButton6Click"), &SetupPage::RadioButton6Click},
        {QStringLiteral("RadioButton7Click"), &SetupPage::RadioButton7Click},
        {QStringLiteral("RadioButton8Click"), &SetupPage::RadioButton8Click},
        {QStringLiteral("RadioButton9Click"), &SetupPage::RadioButton9Click},
        {QStringLiteral("RadioButton10Click"), &SetupPage::RadioButton10Click},
        {QStringLiteral("RadioButton11Click"), &SetupPage::RadioButton11Click},
        {QStringLiteral("RadioButton12Click"), &SetupPage::RadioButton12Click},
        {QStringLiteral("RadioButton13Click"), &SetupPage::RadioButton13Click},
        {QStringLiteral("RadioButton14Click"), &SetupPage::RadioButton14Click},
        {QStringLiteral("CalBtnClick"), &SetupPage::CalBtnClick},
        {QStringLiteral("Button1Click"), &SetupPage::Button1Click},
        {QStringLiteral("Button2Click"), &SetupPage::Button2Click},
        {QStringLiteral("Button3Click"), &SetupPage::Button3Click},
        {QStringLiteral("Edit52Exit"), &SetupPage::Edit52Exit},
        {QStringLiteral("Edit58Exit"), &SetupPage::Edit58Exit},
        {QStringLiteral("Edit60Exit"), &SetupPage::Edit60Exit},
    };
    const QString name = control + QLatin1String(event);
    const Handler h = table.value(name);
    if (!h) qFatal("%s has no handler on the Setup page", qPrintable(name));
    return h;
}

void SetupPage::buildUi() {
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto *scroll = new QScrollArea(this);
    m_editorArea = scroll;
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
            QLineEdit *e = makeEdit(g, f, QLatin1String(names[i]), QLatin1String(captions[i]));
            m_controls.insert(e->objectName(), e);
            e->setMaxLength(18);
            e->setMaximumWidth(130);
            e->setValidator(new VehicleTextValidator(e));
            auto field = fields[i];
            connect(e, &QLineEdit::textChanged, this,
                    [this, field](const QString &t) { m_s.setVehicleText(field, t); });
        }
        col1->addWidget(g);
    }
    {
        auto *g = makeGroup(content, QStringLiteral("EMU Information"));
        auto *f = makeForm(g);
        const char *names[4] = {"Edit6", "Edit7", "Edit8", "Edit18"};
        const char *captions[4] = {"EMU Version", "EMU Model", "EMU Frimware Release", "EMU Type"};
        for (int i = 0; i < 4; ++i)
            m_controls.insert(QLatin1String(names[i]), makeEdit(g, f, QLatin1String(names[i]),
                                                                QLatin1String(captions[i]), true));
        edit(QStringLiteral("Edit18"))->setMaximumWidth(130);
        col1->addWidget(g);
    }
    {
        // A sensor's Calibrate button; a calibration edit lies over its button and shows only
        // after a click on it.
        auto *g = makeGroup(content, QStringLiteral("Active Sensors"));
        auto *grid = new QGridLayout(g);
        grid->setContentsMargins(8, 6, 8, 6);
        auto *rows = new QFormLayout; // collects the check boxes; they move into the grid
        const char *sensors[6] = {"CheckBox1", "CheckBox6", "CheckBox4",
                                  "CheckBox2", "CheckBox5", "CheckBox3"};
        for (int r = 0; r < 6; ++r) {
            addField(g, rows, sensors[r]);
            auto *c = control<QCheckBox>(QLatin1String(sensors[r]));
            rows->removeWidget(c);
            c->setEnabled(false);
            m_sensorBoxes << c;
            grid->addWidget(c, r, 0);
            const SetupField &f = *m_fieldOf.value(c->objectName());
            if (!*f.companion) continue;
            auto *b = new QPushButton(QStringLiteral("Calibrate"), g);
            const QString button = QLatin1String(f.companion);
            const QString hint = QStringLiteral("Calibrate ") + QString::fromUtf8(f.caption);
            b->setObjectName(button);
            b->setAccessibleName(QStringLiteral("Calibrate"));
            b->setToolTip(hint);
            b->setAccessibleDescription(hint);
            b->setEnabled(false);
            connect(b, &QPushButton::clicked, this,
                    [this, h = handler(button, "Click")] { (this->*h)(); });
            m_controls.insert(button, b);
            QWidget *cell = b;
            for (const SetupField &cal : emu::model::setupFields()) {
                if (cal.entry != Entry::Calibration || button != QLatin1String(cal.companion))
                    continue;
                auto *stack = new QStackedWidget(g);
                stack->addWidget(b);
                auto *e = new QLineEdit(stack);
                const QString name = QLatin1String(cal.editor);
                e->setObjectName(name);
                e->setAccessibleName(QString::fromUtf8(cal.caption));
                e->installEventFilter(this);
                connect(e, &QLineEdit::textChanged, this,
                        [this, h = handler(name, "Change")] { (this->*h)(); });
                stack->addWidget(e);
                stack->setCurrentIndex(0);
                stack->setMaximumWidth(90);
                m_controls.insert(name, e);
                m_fieldOf.insert(name, &cal);
                m_calStack.insert(button, stack);
                cell = stack;
            }
            grid->addWidget(cell, r, 1);
        }
        delete rows;
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
    struct Group {
        QVBoxLayout *column;
        const char *title;
        std::vector<const char *> editors;
    };
    const Group groups[] = {
        {col2, "Engine", {"Edit12", "Edit13", "Edit20", "Edit15", "CheckBox20"}},
        {col2, "Ignition", {"Edit14", "Edit100", "Edit34", "Edit59", "RadioGroup3"}},
        {col2, "Launch Control", {"Edit53", "Edit54", "Edit55"}},
        {col2, "Idle Control", {"Edit39", "Edit40"}},
        {col3,
         "Fuel",
         {"Edit33", "Edit35", "Edit36", "Edit37", "Edit38", "Edit41", "Edit57", "Edit56"}},
        {col3, "Lambda Control", {"TrackBar7", "Edit49", "Edit50", "Edit51"}},
    };
    for (const Group &group : groups) {
        auto *g = makeGroup(m_panel2, QLatin1String(group.title));
        auto *f = makeForm(g);
        for (const char *e : group.editors)
            addField(g, f, e);
        group.column->addWidget(g);
    }
    col2->addStretch(1);
    {
        // The tuning POT group stands on its own below the lambda control.
        auto *holder = new QFormLayout;
        addField(m_panel2, holder, "RadioGroup4");
        QWidget *pot = control<QWidget>(QStringLiteral("RadioGroup4"));
        holder->removeWidget(pot);
        delete holder;
        col3->addWidget(pot);
    }
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
        const char *outputs[2][3] = {{"RadioButton1", "Edit16", "Edit17"},
                                     {"RadioButton8", "Edit1", "Edit24"}};
        for (const auto &o : outputs) {
            auto *g = makeGroup(m_panel22, QString::fromUtf8(fieldFor(o[0]).caption));
            auto *f = makeForm(g);
            for (const char *e : o)
                addField(g, f, e);
            lay->addWidget(g);
        }
    }
    col4->addWidget(m_panel22);

    m_panel19 = new QWidget(content);
    m_panel19->setObjectName(QStringLiteral("Panel19"));
    {
        auto *lay = new QVBoxLayout(m_panel19);
        lay->setContentsMargins(0, 0, 0, 0);
        auto *holder = new QFormLayout;
        addField(m_panel19, holder, "RadioGroup2");
        QWidget *pump = control<QWidget>(QStringLiteral("RadioGroup2"));
        holder->removeWidget(pump);
        delete holder;
        lay->addWidget(pump);
        auto *row = new QHBoxLayout;
        const struct {
            const char *title;
            const char *bars[3];
        } pumpGroups[2] = {{"Map", {"TrackBar3", "TrackBar4", "TrackBar5"}},
                           {"TPS", {"TrackBar2", "TrackBar1", "TrackBar6"}}};
        for (const auto &pg : pumpGroups) {
            auto *g = makeGroup(m_panel19, QLatin1String(pg.title));
            auto *grid = new QGridLayout(g);
            grid->setContentsMargins(6, 6, 6, 6);
            grid->setHorizontalSpacing(2);
            for (int k = 0; k < 3; ++k) {
                const SetupField &f = fieldFor(pg.bars[k]);
                const QString name = QLatin1String(f.editor),
                              caption = QString::fromUtf8(f.caption);
                const int top = emu::model::rawFromDisplay(f, f.max);
                auto *label = new TAutoSizeLabel(g);
                label->setAngle(TAutoSizeLabel::ta90);
                label->setLabelText(caption);
                label->setFixedSize(
                    13, fittingCaptionLength(label->font(), label->labelText(), 13, 90));
                auto *bar = new QSlider(Qt::Vertical, g);
                bar->setObjectName(name);
                bar->setAccessibleName(caption);
                bar->setRange(emu::model::rawFromDisplay(f, f.min), top);
                bar->setPageStep(top / 10);
                // Position 1 is at the top and means the largest value.
                bar->setInvertedAppearance(true);
                bar->setInvertedControls(true);
                bar->setValue(top);
                bar->setFixedHeight(90);
                connect(bar, &QSlider::valueChanged, this,
                        [this, h = handler(name, "Change")] { (this->*h)(); });
                auto *box = new QLineEdit(g);
                box->setObjectName(QLatin1String(f.companion));
                box->setAccessibleName(caption);
                box->setReadOnly(true);
                box->setFixedWidth(44);
                box->setText(num(emu::model::displayFromRaw(f, 1)));
                m_controls.insert(name, bar);
                m_controls.insert(box->objectName(), box);
                m_fieldOf.insert(name, &f);
                grid->addWidget(label, 0, 2 * k, Qt::AlignCenter);
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
}

bool SetupPage::eventFilter(QObject *watched, QEvent *event) {
    const QString name = watched->objectName();
    if (event->type() == QEvent::FocusIn && name == QLatin1String("TrackBar7")) {
        TrackBar7Enter();
    } else if (event->type() == QEvent::FocusOut) {
        if (name == QLatin1String("TrackBar7"))
            TrackBar7Exit();
        else if (m_fieldOf.contains(name))
            (this->*handler(name, "Exit"))(); // a calibration edit
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void SetupPage::markEdited() {
    m_s.setModified(true);
    emit setupEdited();
}

void SetupPage::change(const QString &editor) {
    const SetupField &f = *m_fieldOf.value(editor);
    if (f.entry == Entry::Slider || f.entry == Entry::SliderTopMax)
        sliderMoved(f);
    else
        textEntry(f);
}

void SetupPage::click(const QString &editor) {
    const SetupField &f = *m_fieldOf.value(editor);
    switch (f.entry) {
    case Entry::CheckBox: {
        if (!m_s.editingEnabled()) return;
        const bool on = control<QCheckBox>(editor)->isChecked();
        m_s.setSetupValue(f.offset, on ? 2 : 1);
        if (auto *cal = control<QPushButton>(QLatin1String(f.companion))) cal->setEnabled(on);
        break;
    }
    case Entry::Radio: {
        const int i = control<SetupRadioGroup>(editor)->itemIndex();
        if (i >= 0) m_s.setSetupValue(f.offset, int(f.min) + i);
        break;
    }
    case Entry::SourceButtons:
        sourceClicked(f, int(f.itemEditors().indexOf(editor)));
        break;
    default:
        break;
    }
}

void SetupPage::textEntry(const SetupField &f) {
    if (!m_s.editingEnabled()) return;
    QLineEdit *box = edit(QLatin1String(f.editor));
    const QString text = box->text();
    // A quiet field reports an empty box as a conversion error; the others wait for a digit.
    if (text.isEmpty() && f.entry != Entry::Quiet) return;
    double v = 0;
    if (!readNumber(this, text, f.decimal() || f.entry == Entry::ResetToZeroWhole, &v)) return;
    const double hi = f.boundBy >= 0 ? m_work[f.boundBy] : f.max;
    double raw = f.kind == FieldKind::OutputLimit
                     ? emu::model::outputDeviceFromDisplay(
                           int(m_work[emu::model::sourceOffsetOf(f.offset)]), v)
                     : emu::model::rawValue(f, v);
    if (!(v >= f.min && v <= hi && fitsByte(raw))) {
        // The new text runs this handler again.
        if (f.entry == Entry::PutBack)
            box->setText(num(m_work[f.offset]));
        else if (f.entry == Entry::PutBackStored)
            box->setText(num(emu::model::displayFromRaw(f, m_s.image().value(f.offset))));
        else
            box->setText(QStringLiteral("0"));
        return;
    }
    if (f.entry == Entry::ResetToZeroWhole) {
        double whole = 0;
        if (!readNumber(this, text, false, &whole)) return;
        raw = emu::model::rawValue(f, whole);
    }
    m_work[f.offset] = v;
    m_s.setSetupValue(f.offset, emu::num::roundInt(raw));
    if (f.entry != Entry::Quiet && f.entry != Entry::Calibration) markEdited();
}

void SetupPage::sliderMoved(const SetupField &f) {
    if (!m_s.editingEnabled()) return;
    auto *bar = control<QSlider>(QLatin1String(f.editor));
    const int value =
        f.entry == Entry::SliderTopMax ? bar->maximum() - bar->value() + 1 : bar->value();
    if (f.entry == Entry::SliderTopMax)
        edit(QLatin1String(f.companion))->setText(num(emu::model::displayFromRaw(f, value)));
    m_s.setSetupValue(f.offset, value);
    if (f.entry == Entry::Slider) {
        markEdited();
        edit(QLatin1String(f.companion))->setText(num(emu::model::displayFromRaw(f, value)));
    }
}

void SetupPage::sourceClicked(const SetupField &f, int code) {
    if (!control<QRadioButton>(f.itemEditors().value(code))->isChecked()) return;
    m_work[f.offset] = code;
    m_s.setSetupValue(f.offset, code);
}

void SetupPage::revealCalibration(const QString &button) {
    QStackedWidget *stack = m_calStack.value(button);
    stack->setCurrentIndex(1);
    stack->currentWidget()->setFocus(Qt::OtherFocusReason);
}

void SetupPage::hideCalibration(const QString &editor) {
    m_calStack.value(QLatin1String(m_fieldOf.value(editor)->companion))->setCurrentIndex(0);
}

#define SETUP_CHANGE(name)                                                                         \
    void SetupPage::name##Change() {                                                               \
        change(QStringLiteral(#name));                                                             \
    }
#define SETUP_CLICK(name)                                                                          \
    void SetupPage::name##Click() {                                                                \
        click(QStringLiteral(#name));                                                              \
    }
SETUP_CHANGE(Edit12)
SETUP_CHANGE(Edit13)
SETUP_CHANGE(Edit14)
SETUP_CHANGE(Edit15)
SETUP_CHANGE(Edit20)
SETUP_CHANGE(Edit16)
SETUP_CHANGE(Edit17)
SETUP_CHANGE(Edit1)
SETUP_CHANGE(Edit24)
SETUP_CHANGE(Edit100)
SETUP_CHANGE(Edit34)
SETUP_CHANGE(Edit59)
SETUP_CHANGE(Edit54)
SETUP_CHANGE(Edit35)
SETUP_CHANGE(Edit36)
SETUP_CHANGE(Edit37)
SETUP_CHANGE(Edit38)
SETUP_CHANGE(Edit57)
SETUP_CHANGE(Edit53)
SETUP_CHANGE(Edit39)
SETUP_CHANGE(Edit41)
SETUP_CHANGE(Edit56)
SETUP_CHANGE(Edit33)
SETUP_CHANGE(Edit40)
SETUP_CHANGE(Edit49)
SETUP_CHANGE(Edit50)
SETUP_CHANGE(Edit51)
SETUP_CHANGE(Edit55)
SETUP_CHANGE(Edit52)
SETUP_CHANGE(Edit58)
SETUP_CHANGE(Edit60)
SETUP_CHANGE(TrackBar1)
SETUP_CHANGE(TrackBar2)
SETUP_CHANGE(TrackBar3)
SETUP_CHANGE(TrackBar4)
SETUP_CHANGE(TrackBar5)
SETUP_CHANGE(TrackBar6)
SETUP_CHANGE(TrackBar7)
SETUP_CLICK(CheckBox1)
SETUP_CLICK(CheckBox2)
SETUP_CLICK(CheckBox3)
SETUP_CLICK(CheckBox4)
SETUP_CLICK(CheckBox5)
SETUP_CLICK(CheckBox6)
SETUP_CLICK(CheckBox20)
SETUP_CLICK(RadioGroup2)
SETUP_CLICK(RadioGroup3)
SETUP_CLICK(RadioGroup4)
SETUP_CLICK(RadioButton1)
SETUP_CLICK(RadioButton2)
SETUP_CLICK(RadioButton3)
SETUP_CLICK(RadioButton4)
SETUP_CLICK(RadioButton5)
SETUP_CLICK(RadioButton6)
SETUP_CLICK(RadioButton7)
SETUP_CLICK(RadioButton8)
SETUP_CLICK(RadioButton9)
SETUP_CLICK(RadioButton10)
SETUP_CLICK(RadioButton11)
SETUP_CLICK(RadioButton12)
SETUP_CLICK(RadioButton13)
SETUP_CLICK(RadioButton14)
#undef SETUP_CHANGE
#undef SETUP_CLICK

void SetupPage::TrackBar7Enter() {
    emit lambdaTargetFocusChanged(true);
}
void SetupPage::TrackBar7Exit() {
    emit lambdaTargetFocusChanged(false);
}
void SetupPage::CalBtnClick() {
    emit calibrateTpsRequested();
}
void SetupPage::Button1Click() {
    revealCalibration(QStringLiteral("Button1"));
}
void SetupPage::Button2Click() {
    revealCalibration(QStringLiteral("Button2"));
}
void SetupPage::Button3Click() {
    revealCalibration(QStringLiteral("Button3"));
}
void SetupPage::Edit52Exit() {
    hideCalibration(QStringLiteral("Edit52"));
}
void SetupPage::Edit58Exit() {
    hideCalibration(QStringLiteral("Edit58"));
}
void SetupPage::Edit60Exit() {
    hideCalibration(QStringLiteral("Edit60"));
}

// ---------------------------------------------------------------------------------------------
// Decoding

void SetupPage::showNumber(QLineEdit *box, int offset, double shown) {
    if (m_s.image().isUnset(offset)) {
        box->setEnabled(false);
        return;
    }
    box->setEnabled(true);
    box->setText(num(shown)); // runs the box's handler when the text changes
}

void SetupPage::checkOutputSource(const SetupField &f, int source) {
    const QStringList buttons = f.itemEditors();
    if (source >= 0 && source < buttons.size()) {
        control<QRadioButton>(buttons.at(source))->setChecked(true); // a change sends the source
        return;
    }
    // No button for this code (unset or unknown): none is checked.
    for (const QString &name : buttons) {
        auto *b = control<QRadioButton>(name);
        if (!b->isChecked()) continue;
        QButtonGroup *g = b->group();
        g->setExclusive(false);
        b->setChecked(false);
        g->setExclusive(true);
    }
}

void SetupPage::fill(const SetupField &f, Decode which) {
    const EmuImage &img = m_s.image();
    const int off = f.offset;
    const int value = img.value(off);
    const QString name = QLatin1String(f.editor);
    switch (f.entry) {
    case Entry::SourceButtons: {
        // The source, then its limits in display units; source 0 forces both to 0.
        m_work[off] = value;
        for (int lim : {off + 1, off + 2}) {
            if (!img.isUnset(lim))
                m_work[lim] = emu::model::outputDisplayFromDevice(value, img.value(lim));
            if (value != 0) continue;
            m_work[lim] = 0;
            if (which != Decode::AfterDiscard)
                edit(QLatin1String(emu::model::setupFieldAt(lim)->editor))
                    ->setText(QStringLiteral("0"));
        }
        if (which != Decode::AfterDiscard) checkOutputSource(f, value);
        break;
    }
    case Entry::PutBack:
        if (f.kind != FieldKind::OutputLimit) {
            if (!img.isUnset(off)) m_work[off] = emu::model::displayFromRaw(f, value);
            if (f.zeroReads != 0 && which != Decode::AfterWrite && m_work[off] == 0)
                m_work[off] = f.zeroReads;
        }
        showNumber(edit(name), off, m_work[off]);
        break;
    case Entry::PutBackStored:
    case Entry::ResetToZero:
    case Entry::ResetToZeroWhole:
    case Entry::Quiet:
        showNumber(edit(name), off,
                   value == 0 && f.zeroReads != 0 ? f.zeroReads
                                                  : emu::model::displayFromRaw(f, value));
        break;
    case Entry::Calibration:
        edit(name)->setText(QString::number(value));
        break;
    case Entry::CheckBox:
        control<QCheckBox>(name)->setChecked(value == 2);
        break;
    case Entry::Radio: {
        auto *g = control<SetupRadioGroup>(name);
        const int b = img.setupByte(off);
        g->setEnabled(b != emu::model::Unset);
        if (b != emu::model::Unset)
            g->setItemIndex(b == 0 ? 0 : b - 1); // a byte beyond the items selects none
        break;
    }
    case Entry::SliderTopMax: {
        // Out-of-range values stop the bar at its end; the box shows where it stands.
        auto *bar = control<QSlider>(name);
        bar->setValue(qBound(1, bar->maximum() - value + 1, bar->maximum()));
        edit(QLatin1String(f.companion))
            ->setText(num(emu::model::displayFromRaw(f, bar->maximum() - bar->value() + 1)));
        break;
    }
    case Entry::Slider: {
        auto *bar = control<QSlider>(name);
        QLineEdit *box = edit(QLatin1String(f.companion));
        const bool set = !img.isUnset(off);
        bar->setEnabled(set);
        box->setEnabled(set);
        if (!set) break;
        bar->setValue(value); // its handler may store the bar's position instead
        box->setText(num(emu::model::displayFromRaw(f, img.value(off))));
        break;
    }
    case Entry::None:
        break;
    }
}

void SetupPage::decode(Decode which) {
    for (const SetupField *f : emu::model::decodeOrder(which))
        fill(*f, which);
}

void SetupPage::decodeSetup() {
    decode(Decode::Load);
    for (QCheckBox *c : m_sensorBoxes)
        c->setEnabled(true);
}

void SetupPage::refreshAfterWrite() {
    decode(Decode::AfterWrite);
}

void SetupPage::showRestored(int code) {
    const SetupField *f = emu::model::setupFieldAt(code);
    if (!f || !m_controls.contains(QLatin1String(f->editor))) return;
    if (f->kind == FieldKind::OutputLimit)
        m_work[code] = emu::model::outputDisplayFromDevice(
            int(m_work[emu::model::sourceOffsetOf(code)]), m_s.image().value(code));
    // The handlers that run on the new value send nothing: the session is restoring.
    fill(*f, Decode::AfterWrite);
}

QMenu *SetupPage::contextMenu() {
    auto *menu = new QMenu(this);
    addHistoryActions(menu, m_s.history());
    menu->addSeparator();
    menu->addAction(tr("Compare with File..."), this, &SetupPage::compareRequested);
    return menu;
}

void SetupPage::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = contextMenu();
    menu->exec(event->globalPos());
    delete menu;
}

void SetupPage::refillAfterDiscard() {
    decode(Decode::AfterDiscard);
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
    if (!m_s.isConnected()) return;
    for (QCheckBox *c : m_sensorBoxes) {
        const SetupField &f = *m_fieldOf.value(c->objectName());
        if (auto *b = control<QPushButton>(QLatin1String(f.companion)))
            b->setEnabled(m_s.image().value(f.offset) == 2);
    }
}

void SetupPage::showIdentity() {
    const auto &id = m_s.image().identity;
    edit(QStringLiteral("Edit6"))->setText(QString::number(id[0]));
    edit(QStringLiteral("Edit7"))->setText(QString::number(id[1]));
    edit(QStringLiteral("Edit8"))->setText(QString::number(id[2]));
}

void SetupPage::setEmuType(const QString &moduleTypeName) {
    edit(QStringLiteral("Edit18"))->setText(moduleTypeName);
}

void SetupPage::showVehicleInfo() {
    // Copies first: filling one box writes its string back into the image.
    const QString make = m_s.image().vehicleMake, model = m_s.image().vehicleModel,
                  engine = m_s.image().engineType;
    edit(QStringLiteral("Edit9"))->setText(make.left(18));
    edit(QStringLiteral("Edit10"))->setText(model.left(18));
    edit(QStringLiteral("Edit11"))->setText(engine.left(18));
}

QString SetupPage::vehicleMake() const {
    return edit(QStringLiteral("Edit9"))->text();
}
QString SetupPage::vehicleModel() const {
    return edit(QStringLiteral("Edit10"))->text();
}
QString SetupPage::engineType() const {
    return edit(QStringLiteral("Edit11"))->text();
}

int SetupPage::cylinders() const {
    return int(m_work[emu::model::OffCylinders]);
}
double SetupPage::rpmRange() const {
    return m_work[emu::model::OffRpmRange];
}
double SetupPage::coilTime() const {
    return m_work[emu::model::OffCoilTime];
}
int SetupPage::mapSensorRange() const {
    return int(m_work[emu::model::OffMapSensorRange]);
}
double SetupPage::rpmLimiter() const {
    return m_work[emu::model::OffRpmLimiter];
}
int SetupPage::outputSource(int output) const {
    return int(m_work[output == 2 ? emu::model::OffOutput2Source : emu::model::OffOutput1Source]);
}
double SetupPage::outputMin(int output) const {
    return m_work[output == 2 ? emu::model::OffOutput2Min : emu::model::OffOutput1Min];
}
double SetupPage::outputMax(int output) const {
    return m_work[output == 2 ? emu::model::OffOutput2Max : emu::model::OffOutput1Max];
}
