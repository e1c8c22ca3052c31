#pragma once
// TTimingAnalysis: the timing map plus the vacuum timing map, for every engine-speed point and
// every vacuum point, as a table (TimingGrid) and, on request, as a 3D wireframe (TimingDChart).
#include <QColor>
#include <QString>
#include <QVector3D>
#include <QVector>
#include <QWidget>

class QPushButton;
class QTableView;
class QTableWidget;
class Session;

// The three-dimensional canvas of the analysis window. The wireframe is kept as data in canvas
// units (x to the right, y downwards, z into the depth) and projected on every repaint, so it
// survives covering the window and follows the view when the user drags to rotate it.
class TimingCanvas3D : public QWidget {
    Q_OBJECT
public:
    struct View {
        double elevation = 340; // degrees; 360 looks straight at the front
        double rotation = 320;  // degrees about the vertical axis
        double horizOffset = 0; // pixels
        double vertOffset = 0;  // pixels
        double tilt = 0;        // degrees about the line of sight
        double zoom = 90;       // percent
        bool perspective = true;
    };
    struct Polyline {
        QColor color;
        QVector<QVector3D> points;
    };
    struct Label {
        QString text;
        QVector3D at;
        double angle = 0; // degrees, counter-clockwise
        QColor color;
        int pointSize = 10;
    };
    struct Wireframe {
        QVector<Polyline> lines;
        QVector<Label> labels;
        bool isEmpty() const { return lines.isEmpty() && labels.isEmpty(); }
    };

    explicit TimingCanvas3D(QWidget *parent = nullptr);

    void setWireframe(const Wireframe &wireframe, const View &view);
    void clearWireframe();
    const Wireframe &wireframe() const { return m_wireframe; }

    View view() const { return m_view; }
    void setView(const View &view);

    // Canvas point to widget pixels under the current view.
    QPointF project(const QVector3D &p) const;

    QSize sizeHint() const override { return QSize(527, 528); }

signals:
    void viewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void drawTitle(QPainter &p) const;
    QRectF plotArea() const;
    void updateDescription();

    Wireframe m_wireframe;
    View m_view;
    View m_initialView; // the view set with the wireframe (double-click returns to it)
    QPoint m_dragFrom;
    bool m_dragging = false;
};

class TTimingAnalysis : public QWidget {
    Q_OBJECT
public:
    static constexpr int ColCount = 102;
    static constexpr int RowCount = 34;
    static constexpr int VacuumRows = 32;
    static QColor fixedColor() { return QColor(166, 202, 240); }

    // The main window is the parent: the analysis is one of its windows and is centred on it.
    explicit TTimingAnalysis(QWidget *mainWindow = nullptr);

    // Whether "Analyse Maps" (sp3D) can be offered: both timing maps are there, which the model's
    // timing and vacuum capabilities say once a table read (or an opened file) filled them.
    static bool analysisAvailable(const Session &session);

    // "Analyse Maps": fill the grid from the maps and show the window (not modal).
    void analyse(const Session &session);
    // The grid part of it, without showing the window.
    void fillGrid(const Session &session);

    // Cell text at column c, row r (counted from 0).
    QString cell(int c, int r) const;
    // Speed points of the last analysis (0 before any).
    int analysedPoints() const { return m_points; }

    // The wireframe of "View 3D" from the grid; false and *error set when a cell is no integer.
    bool buildWireframe(TimingCanvas3D::Wireframe *out, QString *error) const;
    // The view "View 3D" sets.
    static TimingCanvas3D::View wireframeView();

    // Handlers.
    void Button1Click(); // "View 3D"
    void Button2Click(); // "Exit"

    QTableWidget *TimingGrid = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    TimingCanvas3D *TimingDChart = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCell(int c, int r, const QString &text);
    void buildFrozenHeadings();
    void placeFrozenHeadings();
    void centreOnMainWindow();

    QWidget *m_mainWindow = nullptr;
    QTableView *m_frozenTop = nullptr;    // rows 0 and 1
    QTableView *m_frozenLeft = nullptr;   // columns 0 and 1
    QTableView *m_frozenCorner = nullptr; // the four corner cells
    int m_points = 0;
};
