#pragma once
// The map charts' context menus ("Undo: ...", "Redo: ...", "Edit points...", "Compare with
// File...", "Fuel Suggestions...") and the range edit they open, whose points are shaded on
// their chart while its dialog is open.
#include "tuning/MapChartSet.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

class Session;
class QMenu;
class RangeEditDialog;

class ChartMenus : public QObject, public ChartIds {
    Q_OBJECT
public:
    // Gives every chart its context menu.
    ChartMenus(Session &session, MapChartSet &charts, QObject *parent = nullptr);

    // Chart c's context menu for a right click at pos (chart pixels). The caller owns it.
    QMenu *menu(Chart c, const QPoint &pos);
    // "Edit points..." on chart c: the dialog preset to points first..last of its map; OK
    // applies the edit as one step. Shown window-modal.
    RangeEditDialog *editPoints(Chart c, int first, int last);
    RangeEditDialog *dialog() const;

signals:
    void compareRequested();
    void fuelSuggestionsRequested();

private:
    // Shades points first..last of a map on its chart; 0, 0 clears the shade.
    void showEditedRange(MapId id, int first, int last);

    Session &m_s;
    MapChartSet &m_charts;
    QPointer<RangeEditDialog> m_rangeDialog;
};
