#pragma once
// "Hit tables": which samples of the log count on the maps' hit tables and in the scatter plot
// (a time range and conditions on channels), and how many the filters kept.
#include "live/MapHits.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

class HitFilterBox : public QGroupBox {
    Q_OBJECT
public:
    enum Range { WholeLog, VisibleRange, BetweenCursors };
    explicit HitFilterBox(QWidget *parent = nullptr);

    Range range() const;
    // The conditions; the time range is left open (the page knows the view and the cursors).
    MapHits::Filter conditions() const;
    // "Kept 51,234 of 72,000 samples" (and what dropped the others).
    void showCounts(const MapHits::Counts &counts);
    QString countsText() const;

    QComboBox *RangeBox = nullptr;
    QCheckBox *WaterCheck = nullptr;
    QDoubleSpinBox *WaterMin = nullptr;
    QCheckBox *RpmCheck = nullptr;
    QDoubleSpinBox *RpmMin = nullptr;
    QCheckBox *ThrottleCheck = nullptr;
    QDoubleSpinBox *ThrottleMax = nullptr;
    QCheckBox *MissedCheck = nullptr;
    QPushButton *ResetButton = nullptr;   // "Reset": live hits start again from now
    QPushButton *ScatterButton = nullptr; // "Scatter Plot..."
    QLabel *Kept = nullptr;

signals:
    void changed();
    void resetRequested();
    void scatterRequested();
};
