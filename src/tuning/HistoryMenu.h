#pragma once
// "Undo: <step>" and "Redo: <step>" entries of the context menus of the charts and the Setup page.
#include <QCoreApplication>
#include <QMenu>
#include <QUndoStack>

inline void addHistoryActions(QMenu *menu, QUndoStack &h) {
    auto tr = [](const char *s) { return QCoreApplication::translate("HistoryMenu", s); };
    QAction *undo = menu->addAction(h.canUndo() ? tr("Undo: %1").arg(h.undoText()) : tr("Undo"), &h,
                                    &QUndoStack::undo);
    undo->setEnabled(h.canUndo());
    QAction *redo = menu->addAction(h.canRedo() ? tr("Redo: %1").arg(h.redoText()) : tr("Redo"), &h,
                                    &QUndoStack::redo);
    redo->setEnabled(h.canRedo());
}
