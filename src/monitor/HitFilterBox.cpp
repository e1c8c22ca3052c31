#include "monitor/HitFilterBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

namespace {
QDoubleSpinBox *spin(QWidget *parent, const QString &name, double lo, double hi, double value,
                     const QString &suffix, int decimals) {
    auto *s = new QDoubleSpinBox(parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setDecimals(decimals);
    s->setValue(value);
    s->setSuffix(suffix);
    s->setEnabled(false);
    return s;
}
} // namespace

HitFilterBox::HitFilterBox(QWidget *parent) : QGroupBox(QStringLiteral("Hit tables"), parent) {
    setObjectName(QStringLiteral("HitFilterBox"));
    setAccessibleName(title());
    auto *grid = new QGridLayout(this);

    auto *rangeLabel = new QLabel(QStringLiteral("Samples from"), this);
    RangeBox = new QComboBox(this);
    RangeBox->setObjectName(QStringLiteral("HitRange"));
    RangeBox->addItems({QStringLiteral("Whole log"), QStringLiteral("Visible range"),
                        QStringLiteral("Between cursors")});
    RangeBox->setAccessibleName(rangeLabel->text());
    rangeLabel->setBuddy(RangeBox);
    grid->addWidget(rangeLabel, 0, 0);
    grid->addWidget(RangeBox, 0, 1);

    const auto condition = [&](int row, const QString &caption, const QString &name,
                               QDoubleSpinBox *box) {
        auto *check = new QCheckBox(caption, this);
        check->setObjectName(name);
        check->setAccessibleName(caption);
        box->setAccessibleName(caption);
        grid->addWidget(check, row, 0);
        grid->addWidget(box, row, 1);
        connect(check, &QCheckBox::toggled, box, &QWidget::setEnabled);
        connect(check, &QCheckBox::toggled, this, &HitFilterBox::changed);
        connect(box, &QDoubleSpinBox::valueChanged, this, &HitFilterBox::changed);
        return check;
    };
    WaterMin = spin(this, QStringLiteral("HitWaterMin"), -40, 150, 70, QStringLiteral(" °C"), 0);
    WaterCheck =
        condition(1, QStringLiteral("Water at least"), QStringLiteral("HitWater"), WaterMin);
    RpmMin = spin(this, QStringLiteral("HitRpmMin"), 0, 25400, 1000, QStringLiteral(" RPM"), 0);
    RpmCheck = condition(2, QStringLiteral("RPM at least"), QStringLiteral("HitRpm"), RpmMin);
    RpmMin->setSingleStep(100);
    ThrottleMax =
        spin(this, QStringLiteral("HitThrottleMax"), 0, 10000, 50, QStringLiteral(" %/s"), 0);
    ThrottleMax->setSingleStep(10);
    ThrottleCheck = condition(3, QStringLiteral("Throttle change at most"),
                              QStringLiteral("HitThrottle"), ThrottleMax);
    MissedCheck = new QCheckBox(QStringLiteral("Exclude missed samples"), this);
    MissedCheck->setObjectName(QStringLiteral("HitMissed"));
    MissedCheck->setAccessibleName(MissedCheck->text());
    MissedCheck->setChecked(true);
    grid->addWidget(MissedCheck, 4, 0, 1, 2);
    connect(MissedCheck, &QCheckBox::toggled, this, &HitFilterBox::changed);
    connect(RangeBox, &QComboBox::currentIndexChanged, this, &HitFilterBox::changed);

    Kept = new QLabel(this);
    Kept->setObjectName(QStringLiteral("HitKept"));
    Kept->setWordWrap(true);
    Kept->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Kept->setFocusPolicy(Qt::TabFocus); // reachable by Tab, read by a screen reader
    grid->addWidget(Kept, 5, 0, 1, 2);

    ResetButton = new QPushButton(QStringLiteral("Reset"), this);
    ResetButton->setObjectName(QStringLiteral("HitReset"));
    ResetButton->setAccessibleName(QStringLiteral("Reset hit tables"));
    ResetButton->setToolTip(QStringLiteral("While logging: count from now on"));
    ScatterButton = new QPushButton(QStringLiteral("Scatter Plot..."), this);
    ScatterButton->setObjectName(QStringLiteral("ScatterButton"));
    ScatterButton->setAccessibleName(QStringLiteral("Scatter Plot..."));
    grid->addWidget(ResetButton, 6, 0);
    grid->addWidget(ScatterButton, 6, 1);
    connect(ResetButton, &QPushButton::clicked, this, &HitFilterBox::resetRequested);
    connect(ScatterButton, &QPushButton::clicked, this, &HitFilterBox::scatterRequested);
    showCounts(MapHits::Counts());
}

HitFilterBox::Range HitFilterBox::range() const {
    return Range(RangeBox->currentIndex());
}

MapHits::Filter HitFilterBox::conditions() const {
    MapHits::Filter f;
    if (WaterCheck->isChecked()) f.minWater = WaterMin->value();
    if (RpmCheck->isChecked()) f.minRpm = RpmMin->value();
    if (ThrottleCheck->isChecked()) f.maxThrottleRate = ThrottleMax->value();
    f.excludeMissed = MissedCheck->isChecked();
    return f;
}

void HitFilterBox::showCounts(const MapHits::Counts &c) {
    const QLocale l;
    QString text =
        QStringLiteral("Kept %1 of %2 samples").arg(l.toString(c.kept), l.toString(c.rows));
    QStringList dropped;
    const auto note = [&](int n, const char *what) {
        if (n > 0) dropped << QStringLiteral("%1 %2").arg(l.toString(n), QLatin1String(what));
    };
    note(c.outsideTime, "outside the time range");
    note(c.missed, "missed");
    note(c.coldWater, "water too cold");
    note(c.lowRpm, "RPM too low");
    note(c.throttleChange, "throttle changing too fast");
    if (!dropped.isEmpty()) text += QStringLiteral(" (dropped: %1)").arg(dropped.join(", "));
    Kept->setText(text);
    Kept->setAccessibleName(text);
}

QString HitFilterBox::countsText() const {
    return Kept->text();
}
