#include "tuning/RangeEditDialog.h"

#include "connection/Session.h"
#include "model/Numbers.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <tuple>

RangeResult rangeEdit(const std::vector<double> &values, int first, int last, RangeOp op,
                      double amount, int lo, int hi) {
    RangeResult r;
    const int n = int(values.size());
    if (first > last) std::swap(first, last);
    first = std::max(first, 1);
    last = std::min(last, n);
    auto at = [&](int p) { return values[std::size_t(p - 1)]; };
    for (int p = first; p <= last; ++p) {
        const double v = at(p);
        double w = v;
        switch (op) {
        case RangeOp::Set:
            w = amount;
            break;
        case RangeOp::Add:
            w = v + amount;
            break;
        case RangeOp::Scale:
            w = v * amount / 100.0;
            break;
        case RangeOp::Interpolate:
            if (last > first) w = at(first) + (at(last) - at(first)) * (p - first) / (last - first);
            break;
        case RangeOp::Smooth:
            if (p > first && p < last) w = (at(p - 1) + v + at(p + 1)) / 3.0;
            break;
        }
        w = emu::num::roundHalfEven(w);
        if (w < lo || w > hi) {
            w = std::clamp<double>(w, lo, hi);
            ++r.clamped;
        }
        if (w != v) r.changes.emplace_back(p, w);
    }
    return r;
}

namespace {
const char *const OpNames[] = {"Set to value", "Add value", "Scale by percentage",
                               "Interpolate between end points", "Smooth"};

// The last edit of this run: the next dialog starts from it.
struct LastEdit {
    bool any = false;
    MapId map = MapId::Timing;
    int first = 1, last = 1;
    RangeOp op = RangeOp::Add;
    double amount = 0;
};
LastEdit &lastEdit() {
    static LastEdit last;
    return last;
}
} // namespace

RangeEditDialog::RangeEditDialog(Session &session, Limits limits, MapId map, int first, int last,
                                 QWidget *parent)
    : QDialog(parent), m_s(session), m_limits(std::move(limits)) {
    setObjectName(QStringLiteral("EditPointsForm"));
    setWindowTitle(tr("Edit points"));
    auto *form = new QFormLayout(this);
    m_map = new QComboBox(this);
    m_map->setObjectName(QStringLiteral("EditPointsMap"));
    for (MapId id : emu::model::allMaps())
        if (emu::model::hasCapability(m_s.caps(), id))
            m_map->addItem(Session::mapName(id), int(id));
    m_first = new QSpinBox(this);
    m_first->setObjectName(QStringLiteral("EditPointsFirst"));
    m_last = new QSpinBox(this);
    m_last->setObjectName(QStringLiteral("EditPointsLast"));
    m_op = new QComboBox(this);
    m_op->setObjectName(QStringLiteral("EditPointsOperation"));
    for (const char *name : OpNames)
        m_op->addItem(tr(name));
    m_amount = new QDoubleSpinBox(this);
    m_amount->setObjectName(QStringLiteral("EditPointsValue"));
    m_amount->setDecimals(1);
    m_amount->setRange(-1000, 1000);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("EditPointsSummary"));
    m_summary->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    form->addRow(tr("Map:"), m_map);
    form->addRow(tr("First point:"), m_first);
    form->addRow(tr("Last point:"), m_last);
    form->addRow(tr("Operation:"), m_op);
    form->addRow(tr("Value:"), m_amount);
    form->addRow(m_summary);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setMap(map);
    const LastEdit &was = lastEdit();
    if (was.any && was.map == map)
        setRange(was.first, was.last);
    else
        setRange(first, last);
    setOperation(was.op, was.amount);
    connect(this, &QDialog::accepted, this, &RangeEditDialog::remember);
    connect(m_map, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this] { setRange(m_first->value(), m_last->value()); });
    for (QSpinBox *b : {m_first, m_last})
        connect(b, qOverload<int>(&QSpinBox::valueChanged), this, &RangeEditDialog::updatePreview);
    connect(m_op, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &RangeEditDialog::updatePreview);
    connect(m_amount, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &RangeEditDialog::updatePreview);
    updatePreview();
}

MapId RangeEditDialog::map() const {
    return MapId(m_map->currentData().toInt());
}

void RangeEditDialog::setMap(MapId id) {
    const int i = m_map->findData(int(id));
    if (i >= 0) m_map->setCurrentIndex(i);
}

void RangeEditDialog::setRange(int first, int last) {
    const int n = m_s.maps().pointCount(map(), m_s.axes());
    for (QSpinBox *b : {m_first, m_last}) {
        QSignalBlocker block(b);
        b->setRange(1, std::max(1, n));
    }
    {
        QSignalBlocker block(m_first);
        m_first->setValue(std::min(first, last));
    }
    {
        QSignalBlocker block(m_last);
        m_last->setValue(std::max(first, last));
    }
    updatePreview();
}

void RangeEditDialog::setOperation(RangeOp op, double amount) {
    {
        QSignalBlocker block(m_amount);
        m_amount->setValue(amount);
    }
    m_op->setCurrentIndex(int(op));
    updatePreview();
}

std::vector<double> RangeEditDialog::currentValues(MapId id) const {
    const int n = m_s.maps().pointCount(id, m_s.axes());
    std::vector<double> v(std::size_t(std::max(0, n)));
    for (int p = 1; p <= n; ++p)
        v[std::size_t(p - 1)] = m_s.maps().value(id, p);
    return v;
}

RangeResult RangeEditDialog::result() const {
    const MapId id = map();
    const auto [lo, hi] = m_limits(id);
    return rangeEdit(currentValues(id), m_first->value(), m_last->value(),
                     RangeOp(m_op->currentIndex()), m_amount->value(), lo, hi);
}

QString RangeEditDialog::summary() const {
    return m_summary->text();
}

QString RangeEditDialog::stepText() const {
    const QString what = m_op->currentText().toLower();
    const bool withValue = m_op->currentIndex() <= int(RangeOp::Scale);
    return tr("%1 points %2 to %3: %4%5")
        .arg(Session::mapName(map()))
        .arg(std::min(m_first->value(), m_last->value()))
        .arg(std::max(m_first->value(), m_last->value()))
        .arg(what,
             withValue ? QLatin1Char(' ') + emu::num::formatGeneral(m_amount->value()) : QString());
}

std::pair<int, int> RangeEditDialog::range() const {
    return {std::min(m_first->value(), m_last->value()),
            std::max(m_first->value(), m_last->value())};
}

void RangeEditDialog::forgetLastEdit() {
    lastEdit() = LastEdit();
}

void RangeEditDialog::remember() const {
    LastEdit &last = lastEdit();
    last.any = true;
    last.map = map();
    std::tie(last.first, last.last) = range();
    last.op = RangeOp(m_op->currentIndex());
    last.amount = m_amount->value();
}

void RangeEditDialog::updatePreview() {
    const bool withValue = m_op->currentIndex() <= int(RangeOp::Scale);
    m_amount->setEnabled(withValue);
    const RangeResult r = result();
    const auto [lo, hi] = m_limits(map());
    const int n = int(r.changes.size());
    QString text = n == 1 ? tr("1 point changes") : tr("%1 points change").arg(n);
    if (r.clamped > 0)
        text += tr("; %1 held at the limits %2 to %3").arg(r.clamped).arg(lo).arg(hi);
    m_summary->setText(text + QLatin1Char('.'));
    m_ok->setEnabled(!r.changes.empty());
    emit rangeShown(map(), range().first, range().second);
}
