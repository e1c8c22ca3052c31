#pragma once
// "Scatter Plot": one channel of a log against another, each sample a dot coloured by a third
// channel, with the points of the matching map drawn over it on a right-hand axis (lambda over
// RPM with a fuel RPM map shows only the samples of that map's region). It takes the samples the
// hit table filters keep and, while "Follow the chart" is ticked, only those in the chart's
// visible time range.
#include "live/MapHits.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPGraph;
class QLabel;
class ScatterDots;
class EmuMaps;
struct LogRecord;

class ScatterWindow : public QWidget {
    Q_OBJECT
public:
    explicit ScatterWindow(QWidget *parent = nullptr);

    // The log and the rows the filters keep (by row; empty: every row), the tune's context and
    // maps for the overlay. The record and maps must outlive the next setSource.
    void setSource(const LogRecord *record, std::vector<bool> kept, const MapHits::Context &ctx,
                   const EmuMaps *maps);
    // The chart's visible time range.
    void setTimeRange(double from, double to);
    // Draws again (the maps changed).
    void refresh();

    int dotCount() const; // dots drawn
    QCustomPlot *Plot = nullptr;
    QComboBox *XBox = nullptr;
    QComboBox *YBox = nullptr;
    QComboBox *ColourBox = nullptr;
    QComboBox *MapBox = nullptr;
    QCheckBox *FollowCheck = nullptr;
    QLabel *Summary = nullptr;

private:
    void fillMaps();
    void rebuild();

    const LogRecord *m_record = nullptr;
    std::vector<bool> m_kept;
    MapHits::Context m_ctx;
    const EmuMaps *m_maps = nullptr;
    double m_from = -1e300, m_to = 1e300;
    ScatterDots *m_dots = nullptr;
    QCPGraph *m_map = nullptr;
};
