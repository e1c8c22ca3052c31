#pragma once
// "Compare with File...": a second setup file opened read-only beside the setup in memory. The
// window lists every setup field and map point where the two differ; double-clicking a map point
// asks for that point to be shown on its chart.
#include "model/TuneCompare.h"

#include <QTimer>
#include <QWidget>

class Session;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { What, Point, X, This, Other, Difference, ColumnCount };

    explicit CompareWindow(Session &session, QWidget *parent = nullptr);

    // Reads the file as the other tune and lists the differences; false (with *error) when the
    // file does not read, and the window keeps what it had.
    bool openFile(const QString &path, QString *error);
    // The list again, from the session as it is now; scheduleRefresh does it once the current
    // event is handled (many edits in a row give one refresh).
    void refresh();
    void scheduleRefresh();

    const emu::model::Tune &otherTune() const { return m_other; }
    QString fileName() const { return m_path; }
    QTreeWidget *table() const { return m_table; }

signals:
    // A map row was double-clicked.
    void pointChosen(MapId id, int point);
    // The window was closed.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void rowActivated(QTreeWidgetItem *item);

    Session &m_s;
    emu::model::Tune m_other;
    QString m_path;
    QLabel *m_summary = nullptr;
    QTreeWidget *m_table = nullptr;
    QTimer m_refreshTimer;
};
