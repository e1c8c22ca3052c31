#pragma once
// "Edit points...": one operation over a range of points of one map, previewed before OK.
#include "model/Maps.h"

#include <QDialog>
#include <functional>
#include <utility>
#include <vector>

class Session;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

enum class RangeOp { Set, Add, Scale, Interpolate, Smooth };

struct RangeResult {
    std::vector<std::pair<int, double>> changes; // point, new value; in point order
    int clamped = 0;                             // results held at a limit
};

// Points first..last of `values` (index p - 1): set to amount, add amount, scale by amount %,
// interpolate linearly between the two end points, or smooth (each inner point to the mean of
// itself and its neighbours as they were). Results are rounded half to even and clamped to
// lo..hi; only points whose value changes are listed.
RangeResult rangeEdit(const std::vector<double> &values, int first, int last, RangeOp op,
                      double amount, int lo, int hi);

// Opens on "Add value" 0, which changes nothing until the user chooses; later in the run it opens
// on the operation and value of the last edit, and on its range when the map is the same.
class RangeEditDialog : public QDialog {
    Q_OBJECT
public:
    // limits: the values a map's points are kept within.
    using Limits = std::function<std::pair<int, int>(MapId)>;
    RangeEditDialog(Session &session, Limits limits, MapId map, int first, int last,
                    QWidget *parent = nullptr);

    void setMap(MapId id);
    void setRange(int first, int last);
    void setOperation(RangeOp op, double amount);
    MapId map() const;
    // First and last point, first <= last.
    std::pair<int, int> range() const;
    // What OK would change, for the current entries.
    RangeResult result() const;
    QString summary() const;
    // The history text of the edit.
    QString stepText() const;
    // The next dialog starts as the first of a run does.
    static void forgetLastEdit();

signals:
    // The map and points the dialog works on now (for the chart to show them).
    void rangeShown(MapId id, int first, int last);

private:
    void remember() const;
    void updatePreview();
    std::vector<double> currentValues(MapId id) const;

    Session &m_s;
    Limits m_limits;
    QComboBox *m_map = nullptr;
    QSpinBox *m_first = nullptr;
    QSpinBox *m_last = nullptr;
    QComboBox *m_op = nullptr;
    QDoubleSpinBox *m_amount = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_ok = nullptr;
};
