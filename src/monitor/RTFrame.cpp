#include "monitor/RTFrame.h"

#include "live/LiveData.h"
#include "model/Numbers.h"
#include "widgets/ALProgressBar.h"
#include "widgets/Palette.h"
#include "widgets/ValueLabel.h"

#include <QLabel>
#include <QPainter>

namespace {
namespace pal = emu::ui::palette;
const QColor Blue(pal::Blue);
const QColor Green(pal::Green);
const QColor Red(pal::Red);
const QColor SkyBlue(pal::SkyBlue);
const QColor Navy(pal::Navy);
const QColor Yellow(pal::Yellow);
const QColor BorderShadow(pal::Gray);
const QColor BorderLight(pal::LightGray);

// The lambda target marker: a small rounded rectangle.
class TargetShape : public QWidget {
public:
    explicit TargetShape(QWidget *parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(pal::Black), 1));
        p.setBrush(Navy);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
};

// The lambda panel: a light outline around the two bars, so that the track shows while both are
// empty (they have no border of their own).
class LambdaTrack : public QWidget {
public:
    LambdaTrack(QWidget *parent, const QRect &track) : QWidget(parent), m_track(track) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setPen(BorderLight);
        p.setBrush(Qt::NoBrush);
        p.drawRect(m_track.adjusted(-1, -1, 0, 0));
    }

private:
    QRect m_track;
};

void setTextIfChanged(QLabel *label, const QString &text) {
    static_cast<ValueLabel *>(label)->setValueText(text);
}
} // namespace

TRT::TRT(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("RT"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(emu::ui::palette::White));
    pal.setColor(QPalette::WindowText, QColor(emu::ui::palette::Black));
    setPalette(pal);
    setFixedSize(FrameWidth, FrameHeight);
    setAccessibleName(QStringLiteral("Real-time data"));

    buildValues();
    buildTemperatureBars();
    buildThrottleAndInjectors();
    buildLambda();
}

QLabel *TRT::addLabel(const QString &text, const QRect &r, Qt::Alignment align, int pointSize,
                      QWidget *parent) {
    auto *l = new QLabel(text, parent ? parent : this);
    l->setGeometry(r);
    l->setAlignment(align);
    QFont f = l->font();
    f.setPointSize(pointSize);
    l->setFont(f);
    l->setAccessibleName(text);
    return l;
}

QLabel *TRT::addValue(const QString &caption, const QString &unit, const QString &text,
                      const QRect &r, Qt::Alignment align, int pointSize, QWidget *parent) {
    auto *l = new ValueLabel(caption, unit, parent ? parent : this);
    l->setText(text);
    l->setGeometry(r);
    l->setAlignment(align);
    QFont f = l->font();
    f.setPointSize(pointSize);
    l->setFont(f);
    return l;
}

TALProgressBar *TRT::addBar(const char *name, const QString &caption, const QRect &r, int min,
                            int max, QWidget *parent) {
    auto *b = new TALProgressBar(parent ? parent : this);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(r);
    b->setMin(min);
    b->setMax(max);
    // Nothing is polled yet: the bar starts empty, at its lower end (a bar's position starts at
    // 0, which on the air bar's -20..100 range would show a fifth filled).
    b->setPosition(min);
    b->setBackgroundColor(QColor(pal::White));
    // A lowered border: the usual shadow on the top and left, and on the bottom and right a light
    // grey instead of the usual highlight, which is white and would vanish on the white frame.
    b->setBorderColor1(BorderShadow);
    b->setBorderColor2(BorderLight);
    b->setShowPosText(false);
    b->setDirection(TALProgressBar::pdBottomToTop);
    b->setAccessibleName(caption);
    return b;
}

void TRT::buildValues() {
    // Three rows: a caption on the left, the big red value on the right.
    QFont big(QStringLiteral("Courier New"));
    big.setStyleHint(QFont::Monospace);
    big.setFixedPitch(true);
    big.setBold(true);
    big.setPointSize(16);
    const char *names[3] = {"Label49", "Label50", "Label51"};
    const char *titles[3] = {"Timing", "RPM", "Vacuum"};
    const char *units[3] = {"degrees", "rpm", "bar"};
    QLabel **labels[3] = {&Label49, &Label50, &Label51};
    for (int i = 0; i < 3; ++i) {
        const int y = 4 + i * 28;
        addLabel(QLatin1String(titles[i]), QRect(6, y + 6, 56, 16),
                 Qt::AlignLeft | Qt::AlignVCenter, 9);
        QLabel *l =
            addValue(QLatin1String(titles[i]), QLatin1String(units[i]), QStringLiteral("NA"),
                     QRect(62, y, 100, 26), Qt::AlignRight | Qt::AlignVCenter, 16);
        l->setObjectName(QLatin1String(names[i]));
        l->setFont(big);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Red);
        l->setPalette(p);
        *labels[i] = l;
    }
    // The degree sign after the timing.
    QLabel *deg = addLabel(QStringLiteral("o"), QRect(163, 4, 12, 12), Qt::AlignLeft, 7);
    deg->setAccessibleName(QStringLiteral("degrees"));
}

void TRT::buildTemperatureBars() {
    // Water, air and battery: caption, value and unit, then the bar with its scale marks.
    struct Column {
        const char *bar;
        const char *label;
        const char *caption;
        const char *unit;
        const char *spoken;
        int min, max;
        const char *marks[3];
        QColor c1, c2, c3;
    };
    const Column cols[3] = {
        {"WaterBar",
         "Label53",
         "Water",
         "\u00baC",
         "\u00b0C",
         0,
         120,
         {"120", "60", "0"},
         Blue,
         Green,
         Red},
        {"AirBar",
         "Label54",
         "Air",
         "\u00baC",
         "\u00b0C",
         -20,
         100,
         {"100", "40", "-20"},
         SkyBlue,
         Navy,
         Red},
        {"BATBar", "Label55", "Battery", "V", "V", 80, 160, {"16", "12", "8"}, Yellow, Green, Red},
    };
    QLabel **values[3] = {&Label53, &Label54, &Label55};
    TALProgressBar **bars[3] = {&WaterBar, &AirBar, &BATBar};
    const int top = 112, barTop = 142, barHeight = 110;
    for (int i = 0; i < 3; ++i) {
        const Column &c = cols[i];
        const int x0 = 2 + i * 59;
        addLabel(QString::fromUtf8(c.caption), QRect(x0, top - 16, 58, 14), Qt::AlignCenter, 8);
        QLabel *v =
            addValue(QString::fromUtf8(c.caption), QString::fromUtf8(c.spoken), QStringLiteral("0"),
                     QRect(x0 + 4, top, 34, 14), Qt::AlignRight | Qt::AlignVCenter, 8);
        v->setObjectName(QLatin1String(c.label));
        *values[i] = v;
        addLabel(QString::fromUtf8(c.unit), QRect(x0 + 39, top, 18, 14),
                 Qt::AlignLeft | Qt::AlignVCenter, 7);
        TALProgressBar *b = addBar(c.bar, QString::fromUtf8(c.caption),
                                   QRect(x0 + 30, barTop, 18, barHeight), c.min, c.max);
        b->setBarColorStyle(TALProgressBar::cs3Colors);
        b->setBarColor1(c.c1);
        b->setBarColor2(c.c2);
        b->setBarColor3(c.c3);
        if (i == 2) b->setAccessibleDescription(QStringLiteral("tenths of a volt"));
        *bars[i] = b;
        for (int m = 0; m < 3; ++m) {
            const int y = barTop - 6 + m * (barHeight / 2);
            addLabel(QLatin1String(c.marks[m]), QRect(x0, y, 27, 12),
                     Qt::AlignRight | Qt::AlignVCenter, 7);
        }
    }
}

void TRT::buildThrottleAndInjectors() {
    const int capY = 258, barTop = 290, barHeight = 74;
    // Throttle and tuning pot: a one-colour bar each with its value on it.
    struct Pot {
        const char *bar;
        const char *label;
        const char *caption;
        QColor color;
        int x;
    };
    const Pot pots[2] = {{"TPSBar", "Label19", "TPS", SkyBlue, 4},
                         {"POTBar", "Label20", "POT", QColor(pal::SpringGreen), 44}};
    TALProgressBar **bars[2] = {&TPSBar, &POTBar};
    QLabel **labels[2] = {&Label19, &Label20};
    for (int i = 0; i < 2; ++i) {
        const Pot &p = pots[i];
        addLabel(QLatin1String(p.caption), QRect(p.x, capY, 36, 14), Qt::AlignCenter, 8);
        addLabel(QStringLiteral("%"), QRect(p.x, capY + 14, 36, 14), Qt::AlignCenter, 7);
        TALProgressBar *b =
            addBar(p.bar, QLatin1String(p.caption), QRect(p.x + 4, barTop, 28, barHeight), 0, 100);
        b->setBarColorStyle(TALProgressBar::cs1Color);
        b->setBarColor1(p.color);
        b->setPercentage(true);
        *bars[i] = b;
        QLabel *v = addValue(QLatin1String(p.caption), QStringLiteral("%"), QStringLiteral("0"),
                             QRect(p.x, barTop + barHeight / 2 - 7, 36, 14), Qt::AlignCenter, 7);
        v->setObjectName(QLatin1String(p.label));
        v->setAttribute(Qt::WA_TransparentForMouseEvents);
        v->raise();
        *labels[i] = v;
    }

    // Injector time and duty.
    addLabel(QStringLiteral("Injectors"), QRect(86, capY, 90, 14), Qt::AlignCenter, 8);
    Label10 = addValue(QStringLiteral("Injector time"), QStringLiteral("ms"), QStringLiteral("0"),
                       QRect(96, capY + 14, 22, 14), Qt::AlignRight | Qt::AlignVCenter, 7);
    Label10->setObjectName(QStringLiteral("Label10"));
    addLabel(QStringLiteral("ms"), QRect(119, capY + 14, 14, 14), Qt::AlignLeft | Qt::AlignVCenter,
             7);
    Label13 = addValue(QStringLiteral("Injector duty"), QStringLiteral("%"), QStringLiteral("0"),
                       QRect(134, capY + 14, 22, 14), Qt::AlignRight | Qt::AlignVCenter, 7);
    Label13->setObjectName(QStringLiteral("Label13"));
    addLabel(QStringLiteral("%"), QRect(157, capY + 14, 14, 14), Qt::AlignLeft | Qt::AlignVCenter,
             7);

    InjBar =
        addBar("InjBar", QStringLiteral("Injector ms"), QRect(112, barTop, 18, barHeight), 0, 250);
    InjBar->setBarColorStyle(TALProgressBar::cs1Color);
    InjBar->setBarColor1(QColor(pal::DarkOrange));
    InjBar->setAccessibleDescription(QStringLiteral("tenths of a millisecond"));
    InjPers =
        addBar("InjPers", QStringLiteral("Injector %"), QRect(134, barTop, 18, barHeight), 0, 100);
    InjPers->setBarColorStyle(TALProgressBar::cs1Color);
    InjPers->setBarColor1(QColor(pal::Salmon));
    const char *timeMarks[3] = {"25", "12", "0"};
    const char *dutyMarks[3] = {"100", "50", "0"};
    for (int m = 0; m < 3; ++m) {
        const int y = barTop - 6 + m * (barHeight / 2);
        addLabel(QLatin1String(timeMarks[m]), QRect(88, y, 22, 12),
                 Qt::AlignRight | Qt::AlignVCenter, 7);
        addLabel(QLatin1String(dutyMarks[m]), QRect(154, y, 22, 12),
                 Qt::AlignLeft | Qt::AlignVCenter, 7);
    }
}

void TRT::buildLambda() {
    // The panel spans 0 V at its left edge to 1.0 V at its right edge; the two bars meet at
    // 0.50 V in the middle.
    const int w = 172;
    const QRect track(1, 13, w - 2, 14); // inside the outline
    LambdaPanel = new LambdaTrack(this, track);
    LambdaPanel->setObjectName(QStringLiteral("LambdaPanel"));
    LambdaPanel->setGeometry(4, 374, w, 62);
    LambdaPanel->setAccessibleName(QStringLiteral("Lambda"));

    addLabel(QStringLiteral("0"), QRect(0, 0, 20, 12), Qt::AlignLeft | Qt::AlignVCenter, 7,
             LambdaPanel);
    addLabel(QStringLiteral("1.0"), QRect(w - 20, 0, 20, 12), Qt::AlignRight | Qt::AlignVCenter, 7,
             LambdaPanel);
    Label56 = addValue(QStringLiteral("Lambda"), QStringLiteral("V"), QStringLiteral("0"),
                       QRect(w / 2 - 20, 0, 40, 12), Qt::AlignCenter, 7, LambdaPanel);
    Label56->setObjectName(QStringLiteral("Label56"));

    LambdaBarL = addBar("LambdaBarL", QStringLiteral("Lambda rich"),
                        QRect(track.left(), track.top(), w / 2 - track.left(), track.height()), 0,
                        50, LambdaPanel);
    LambdaBarL->setDirection(TALProgressBar::pdRightToLeft);
    LambdaBarL->setAccessibleDescription(QStringLiteral("hundredths of a volt below 0.50 V"));
    LambdaBarL->setShowBorder(false);
    LambdaBarL->setBarColorStyle(TALProgressBar::cs3Colors);
    LambdaBarL->setBarColor1(Yellow);
    LambdaBarL->setBarColor2(Red);
    LambdaBarL->setBarColor3(QColor(pal::Maroon));

    LambdaBarR = addBar("LambdaBarR", QStringLiteral("Lambda lean"),
                        QRect(w / 2, track.top(), track.right() + 1 - w / 2, track.height()), 0, 50,
                        LambdaPanel);
    LambdaBarR->setDirection(TALProgressBar::pdLeftToRight);
    LambdaBarR->setAccessibleDescription(QStringLiteral("hundredths of a volt above 0.50 V"));
    LambdaBarR->setShowBorder(false);
    LambdaBarR->setBarColorStyle(TALProgressBar::cs3Colors);
    LambdaBarR->setBarColor1(Yellow);
    LambdaBarR->setBarColor2(Green);
    LambdaBarR->setBarColor3(QColor(pal::DarkGreen));

    Shape1 = new TargetShape(LambdaPanel);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(w / 2 - 5, 29, 10, 8);
    Shape1->setToolTip(QStringLiteral("Target Lambda Volts = 0.45V"));
    Shape1->setAccessibleName(QStringLiteral("Target Lambda Volts = 0.45V"));

    Label6 = addValue(QStringLiteral("Target lambda"), QStringLiteral("V"), QStringLiteral(".50"),
                      QRect(w / 2 - 10, 37, 20, 12), Qt::AlignCenter, 7, LambdaPanel);
    Label6->setObjectName(QStringLiteral("Label6"));

    LambdaCaption =
        addLabel(QStringLiteral("Lambda"), QRect(0, 49, w, 13), Qt::AlignCenter, 8, LambdaPanel);
    LambdaCaption->setObjectName(QStringLiteral("LambdaCaption"));
}

void TRT::update(const LiveValues &v) {
    // 1..3: the big labels.
    setTextIfChanged(Label49, emu::num::formatGeneral(v.totalTiming));
    setTextIfChanged(Label50, QString::number(qint64(emu::num::roundHalfEven(v.rpm)) * 100));
    setTextIfChanged(Label51,
                     v.vacuum > 3.5 ? QStringLiteral("Err") : emu::num::formatGeneral(v.vacuum));

    // 4. Throttle: a reading above the bar's end pins the bar there.
    TPSBar->setPosition(v.tps > TPSBar->max() ? TPSBar->max() : emu::num::roundInt(v.tps));
    setTextIfChanged(Label19, emu::num::formatGeneral(v.tps));

    // 5. Temperatures; a value outside a bar's range leaves the bar where it was.
    WaterBar->setPosition(emu::num::roundInt(v.waterTemp));
    AirBar->setPosition(emu::num::roundInt(v.airTemp));

    // 6. Lambda either side of 0.50 V.
    LambdaBarR->setPosition(v.lambda >= 50 ? emu::num::roundInt(v.lambda - 50) : 0);
    LambdaBarL->setPosition(v.lambda <= 50 ? emu::num::roundInt(50 - v.lambda) : 0);

    // 7. Injector duty.
    InjPers->setPosition(v.injectorDuty);
    setTextIfChanged(Label13, QString::number(v.injectorDuty));

    // 8. Pot, battery, injector time.
    POTBar->setPosition(emu::num::roundInt(v.pot));
    BATBar->setPosition(emu::num::roundInt(v.battery));
    InjBar->setPosition(emu::num::roundInt(v.injectorTime));

    // 9. The small value labels.
    setTextIfChanged(Label53, emu::num::formatGeneral(v.waterTemp));
    setTextIfChanged(Label54, emu::num::formatGeneral(v.airTemp));
    setTextIfChanged(Label55, emu::num::formatGeneral(v.battery / 10));
    setTextIfChanged(Label56, emu::num::formatGeneral(v.lambda / 100));
    setTextIfChanged(Label10, emu::num::formatGeneral(v.injectorTime / 10));
    // The pot's own label shows its value too (rather than a "0" that never changes).
    setTextIfChanged(Label20, emu::num::formatGeneral(v.pot));
}

void TRT::placeLambdaTarget(double volts, bool rt2Style) {
    const int w = LambdaPanel->width();
    const int x = emu::num::roundInt(w * volts);
    setTextIfChanged(Label6, QStringLiteral(".") + emu::num::formatGeneral(volts * 100));
    Label6->adjustSize();
    Shape1->move(x - emu::num::roundInt(Shape1->width() / 2.0), Shape1->y());
    Label6->move(x - emu::num::roundInt(Label6->width() / 2.0) - (rt2Style ? 0 : 1), Label6->y());
}

void TRT::setTargetEditing(bool on) {
    m_targetEditing = on;
    LambdaCaption->setText(on ? QStringLiteral("Set Target") : QStringLiteral("Lambda"));
    LambdaCaption->setAccessibleName(LambdaCaption->text());
    Label56->setVisible(!on);
}
