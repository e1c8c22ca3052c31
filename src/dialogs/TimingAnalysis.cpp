#include "dialogs/TimingAnalysis.h"

#include "connection/Session.h"
#include "dialogs/AboutBox.h"
#include "model/Numbers.h"
#include "widgets/Messages.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>

namespace {

constexpr int ColWidth = 30;
constexpr int RowHeight = 20;
constexpr int FixedCols = 2;
constexpr int FixedRows = 2;

// Canvas units of the wireframe: an advance of A degrees at y = 500 - 5 A, speed point k at
// x = 8 (k - 1), vacuum row i at z = 20 (i - 1).
constexpr double BaseY = 500;
double yOf(int advance) {
    return BaseY - 5.0 * advance;
}
double xOf(int k) {
    return 8.0 * (k - 1);
}
double zOf(int i) {
    return 20.0 * (i - 1);
}

const QColor AxisGreen(0, 128, 0);
const QColor LineRed(255, 0, 0);

// The point the view turns about: the middle of the space the wireframe occupies.
const QVector3D Pivot(400, 400, 320);
constexpr double PerspectiveDistance = 1800; // canvas units from the eye to the pivot plane

} // namespace

// ---- TimingCanvas3D ------------------------------------------------------------------------

TimingCanvas3D::TimingCanvas3D(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TimingDChart"));
    setAccessibleName(QStringLiteral("Timing Analysis (Degrees)"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 200);
    setCursor(Qt::OpenHandCursor);
    setToolTip(QStringLiteral("Drag to turn the wireframe, wheel to zoom, double-click to reset"));
    m_initialView = m_view;
    updateDescription();
}

void TimingCanvas3D::setWireframe(const Wireframe &wireframe, const View &view) {
    m_wireframe = wireframe;
    m_view = view;
    m_initialView = view;
    updateDescription();
    update();
}

void TimingCanvas3D::clearWireframe() {
    m_wireframe = Wireframe();
    updateDescription();
    update();
}

void TimingCanvas3D::setView(const View &view) {
    m_view = view;
    update();
    emit viewChanged();
}

QRectF TimingCanvas3D::plotArea() const {
    const QFontMetrics fm(font());
    const double titleHeight = 2.6 * fm.height() + 8;
    return QRectF(4, titleHeight, width() - 8, height() - titleHeight - 4);
}

QPointF TimingCanvas3D::project(const QVector3D &p) const {
    const QVector3D v = p - Pivot;
    // Turn about the vertical axis, then tip the far side up by the elevation (340 = 20 degrees
    // looking down), then tilt about the line of sight.
    const double rot = qDegreesToRadians(m_view.rotation);
    const double x1 = v.x() * std::cos(rot) - v.z() * std::sin(rot);
    const double z1 = v.x() * std::sin(rot) + v.z() * std::cos(rot);
    const double elev = qDegreesToRadians(360.0 - m_view.elevation);
    const double y2 = v.y() * std::cos(elev) - z1 * std::sin(elev);
    const double z2 = v.y() * std::sin(elev) + z1 * std::cos(elev);
    const double tilt = qDegreesToRadians(m_view.tilt);
    double x3 = x1 * std::cos(tilt) - y2 * std::sin(tilt);
    double y3 = x1 * std::sin(tilt) + y2 * std::cos(tilt);
    if (m_view.perspective) {
        const double f = PerspectiveDistance / std::max(100.0, PerspectiveDistance + z2);
        x3 *= f;
        y3 *= f;
    }
    const QRectF area = plotArea();
    const double scale = m_view.zoom / 100.0 * std::min(area.width(), area.height()) / 600.0;
    return QPointF(area.center().x() + m_view.horizOffset + x3 * scale,
                   area.center().y() + m_view.vertOffset + y3 * scale);
}

void TimingCanvas3D::drawTitle(QPainter &p) const {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(font().pointSizeF() > 0 ? font().pointSizeF() + 2 : 11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0, 0, 255));
    const QFontMetrics fm(f);
    const QRectF line1(0, 4, width(), fm.height());
    const QRectF line2(0, 4 + fm.height(), width(), fm.height());
    p.drawText(line1, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Timing Analysis"));
    p.drawText(line2, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("(Degrees)"));
}

void TimingCanvas3D::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::Antialiasing);
    drawTitle(p);

    if (m_wireframe.isEmpty()) {
        p.setPen(QColor(120, 120, 120));
        p.setFont(font());
        p.drawText(plotArea(), Qt::AlignCenter,
                   QStringLiteral("Press \"View 3D\" to draw the maps"));
        return;
    }

    p.save();
    p.setClipRect(plotArea());
    for (const Polyline &line : m_wireframe.lines) {
        if (line.points.size() < 2) continue;
        QPolygonF poly;
        poly.reserve(line.points.size());
        for (const QVector3D &pt : line.points)
            poly << project(pt);
        p.setPen(QPen(line.color, 1));
        p.drawPolyline(poly);
    }
    for (const Label &label : m_wireframe.labels) {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(label.pointSize);
        p.setFont(f);
        p.setPen(label.color);
        p.save();
        p.translate(project(label.at));
        p.rotate(-label.angle);
        p.drawText(QPointF(0, QFontMetrics(f).ascent()), label.text);
        p.restore();
    }
    p.restore();
}

void TimingCanvas3D::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_dragFrom = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void TimingCanvas3D::mouseMoveEvent(QMouseEvent *event) {
    if (!m_dragging) return QWidget::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    const QPoint d = pos - m_dragFrom;
    m_dragFrom = pos;
    View v = m_view;
    v.rotation = std::fmod(v.rotation - d.x() * 0.5 + 360.0, 360.0);
    // Keep the view between looking from straight in front and from straight above.
    v.elevation = std::clamp(v.elevation - d.y() * 0.5, 270.0, 360.0);
    setView(v);
}

void TimingCanvas3D::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        setCursor(Qt::OpenHandCursor);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TimingCanvas3D::mouseDoubleClickEvent(QMouseEvent *) {
    setView(m_initialView);
}

void TimingCanvas3D::wheelEvent(QWheelEvent *event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    View v = m_view;
    v.zoom = std::clamp(v.zoom * std::pow(1.1, steps), 10.0, 400.0);
    setView(v);
    event->accept();
}

void TimingCanvas3D::updateDescription() {
    if (m_wireframe.isEmpty()) {
        setAccessibleDescription(QStringLiteral("No wireframe drawn"));
        return;
    }
    // The highest and lowest advance drawn (y grows downwards).
    double minY = 1e9, maxY = -1e9;
    for (const Polyline &line : m_wireframe.lines) {
        if (line.color != LineRed) continue;
        for (const QVector3D &pt : line.points) {
            minY = std::min<double>(minY, pt.y());
            maxY = std::max<double>(maxY, pt.y());
        }
    }
    if (minY > maxY) {
        setAccessibleDescription(QString());
        return;
    }
    setAccessibleDescription(QStringLiteral("Wireframe of the combined advance, %1 to %2 degrees")
                                 .arg(emu::num::formatGeneral((BaseY - maxY) / 5.0),
                                      emu::num::formatGeneral((BaseY - minY) / 5.0)));
}

// ---- TTimingAnalysis -----------------------------------------------------------------------

TTimingAnalysis::TTimingAnalysis(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("TTimingAnalysis"));
    setWindowTitle(QStringLiteral("Timing Analysis"));
    resize(1027, 528);

    TimingGrid = new QTableWidget(RowCount, ColCount, this);
    TimingGrid->setObjectName(QStringLiteral("TimingGrid"));
    TimingGrid->setAccessibleName(QStringLiteral("Timing Analysis"));
    TimingGrid->horizontalHeader()->hide();
    TimingGrid->verticalHeader()->hide();
    TimingGrid->horizontalHeader()->setDefaultSectionSize(ColWidth);
    TimingGrid->horizontalHeader()->setMinimumSectionSize(10);
    TimingGrid->verticalHeader()->setDefaultSectionSize(RowHeight);
    TimingGrid->verticalHeader()->setMinimumSectionSize(10);
    TimingGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TimingGrid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    TimingGrid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    TimingGrid->setWordWrap(false);
    QFont gridFont = TimingGrid->font();
    gridFont.setPointSizeF(std::max(7.0, gridFont.pointSizeF() - 1.5));
    TimingGrid->setFont(gridFont);
    TimingGrid->setTextElideMode(Qt::ElideNone);
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColCount; ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            TimingGrid->setItem(r, c, item);
        }
    }
    buildFrozenHeadings();

    Button1 = new QPushButton(QStringLiteral("View 3D"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleName(QStringLiteral("View 3D"));
    Button2 = new QPushButton(QStringLiteral("Exit"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("Exit"));
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    TimingDChart = new TimingCanvas3D(this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *left = new QVBoxLayout;
    left->addWidget(TimingGrid, 1);
    left->addLayout(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left, 1);
    layout->addWidget(TimingDChart, 1);
}

bool TTimingAnalysis::analysisAvailable(const Session &session) {
    return session.caps().timing && session.caps().vacuum;
}

QString TTimingAnalysis::cell(int c, int r) const {
    const QTableWidgetItem *item = TimingGrid->item(r, c);
    return item ? item->text() : QString();
}

void TTimingAnalysis::setCell(int c, int r, const QString &text) {
    if (QTableWidgetItem *item = TimingGrid->item(r, c)) item->setText(text);
}

void TTimingAnalysis::fillGrid(const Session &session) {
    const int n = std::clamp(session.timingPoints(), 1, ColCount - 2);
    // Speed headings (RPM / 100), row headings in bar, the two maps' values, corner captions.
    for (int k = 1; k <= n; ++k)
        setCell(k + 1, 0, QString::number(k));
    for (int i = 1; i <= VacuumRows; ++i)
        setCell(0, i + 1, emu::num::formatGeneral(emu::num::roundTo((i - 10) / 10.0, 1)));
    for (int k = 1; k <= n; ++k)
        setCell(k + 1, 1, emu::num::formatGeneral(session.maps().value(MapId::Timing, k)));
    for (int i = 1; i <= VacuumRows; ++i)
        setCell(1, i + 1, emu::num::formatGeneral(session.maps().value(MapId::VacuumTiming, i)));
    setCell(1, 0, QStringLiteral("RPM"));
    setCell(0, 1, QStringLiteral("Bar"));
    // Columns of an earlier analysis with more speed points would show sums of points that are
    // no longer in the map: empty them.
    for (int c = n + 2; c < ColCount; ++c)
        for (int r = 0; r < RowCount; ++r)
            setCell(c, r, QString());

    // Fixed rows and columns.
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColCount; ++c) {
            QTableWidgetItem *item = TimingGrid->item(r, c);
            const bool fixed = r < FixedRows || c < FixedCols;
            item->setBackground(fixed ? QBrush(fixedColor()) : QBrush());
            QFont f = item->font();
            f.setBold(r == 0 || c == 0);
            item->setFont(f);
        }
    }

    // Combined advance from the cell texts.
    for (int i = 1; i <= VacuumRows; ++i) {
        for (int k = 1; k <= n; ++k) {
            int timing = 0, vacuum = 0;
            QString error;
            if (!emu::num::parseInteger(cell(k + 1, 1), &timing, &error) ||
                !emu::num::parseInteger(cell(1, i + 1), &vacuum, &error)) {
                Messages::error(this, error);
                m_points = n;
                return;
            }
            setCell(k + 1, i + 1, QString::number(timing + vacuum));
        }
    }
    m_points = n;
}

void TTimingAnalysis::analyse(const Session &session) {
    fillGrid(session);
    if (!isVisible()) centreOnMainWindow();
    show();
    raise();
    activateWindow();
}

TimingCanvas3D::View TTimingAnalysis::wireframeView() {
    TimingCanvas3D::View v;
    v.elevation = 340;
    v.rotation = 40;
    v.horizOffset = 30;
    v.vertOffset = -50;
    v.tilt = -1;
    v.zoom = 54;
    v.perspective = true;
    return v;
}

bool TTimingAnalysis::buildWireframe(TimingCanvas3D::Wireframe *out, QString *error) const {
    int c11 = 0;
    if (!emu::num::parseInteger(cell(2, 2), &c11, error)) return false;
    const int n = m_points;
    // C[k][i], k = 1..N, i = 1..32.
    QVector<QVector<int>> c(n + 1, QVector<int>(VacuumRows + 1, 0));
    for (int i = 1; i <= VacuumRows; ++i)
        for (int k = 1; k <= n; ++k)
            if (!emu::num::parseInteger(cell(k + 1, i + 1), &c[k][i], error)) return false;

    TimingCanvas3D::Wireframe w;
    using P = QVector3D;
    const P origin(0, BaseY, 0);
    const P firstPoint(0, yOf(c11), 0);
    // Axes.
    w.lines.append({AxisGreen, {origin, P(800, BaseY, 0)}});
    w.lines.append({AxisGreen, {origin, firstPoint}});
    w.lines.append({AxisGreen, {origin, P(0, BaseY, 640)}});
    // Labels.
    w.labels.append({QStringLiteral("RPM"), P(200, 510, 0), 15, LineRed, 10});
    w.labels.append({QStringLiteral("VACUUM"), P(0, 510, 250), -32, LineRed, 10});
    // Speed lines: one per vacuum row, each starting where the pen was left.
    P pen = firstPoint;
    for (int i = 1; i <= VacuumRows; ++i) {
        TimingCanvas3D::Polyline line{LineRed, {pen}};
        for (int k = 1; k <= n; ++k)
            line.points.append(P(xOf(k), yOf(c[k][i]), zOf(i)));
        w.lines.append(line);
        pen = P(0, BaseY, 20.0 * i);
    }
    // Vacuum lines: one per speed point.
    pen = firstPoint;
    for (int k = 1; k <= n; ++k) {
        TimingCanvas3D::Polyline line{LineRed, {pen}};
        for (int i = 1; i <= VacuumRows; ++i)
            line.points.append(P(xOf(k), yOf(c[k][i]), zOf(i)));
        w.lines.append(line);
        pen = P(8.0 * k, BaseY, 0);
    }
    *out = w;
    return true;
}

void TTimingAnalysis::Button1Click() {
    TimingCanvas3D::Wireframe w;
    QString error;
    if (!buildWireframe(&w, &error)) {
        Messages::error(this, error);
        return;
    }
    TimingDChart->setWireframe(w, wireframeView());
}

void TTimingAnalysis::Button2Click() {
    close();
}

void TTimingAnalysis::centreOnMainWindow() {
    // Not placeOver: the window keeps its own size and stays a window of its own.
    emu::ui::centreOver(this, m_mainWindow);
}

// ---- Fixed headings ------------------------------------------------------------------------
// The grid scrolls under two fixed rows and two fixed columns: three views of the same cells
// lie over its top and left edges and follow its scrolling.

void TTimingAnalysis::buildFrozenHeadings() {
    auto overlay = [this](const char *name, const QString &accessible) {
        auto *v = new QTableView(TimingGrid);
        v->setObjectName(QLatin1String(name));
        v->setAccessibleName(accessible);
        v->setModel(TimingGrid->model());
        v->setFocusPolicy(Qt::NoFocus);
        v->horizontalHeader()->hide();
        v->verticalHeader()->hide();
        v->horizontalHeader()->setDefaultSectionSize(ColWidth);
        v->horizontalHeader()->setMinimumSectionSize(10);
        v->verticalHeader()->setDefaultSectionSize(RowHeight);
        v->verticalHeader()->setMinimumSectionSize(10);
        v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        v->setSelectionMode(QAbstractItemView::NoSelection);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        v->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        v->setFrameShape(QFrame::NoFrame);
        v->setFont(TimingGrid->font());
        v->setTextElideMode(Qt::ElideNone);
        v->setWordWrap(false);
        return v;
    };
    m_frozenTop = overlay("TimingGridSpeedHeadings", QStringLiteral("RPM"));
    m_frozenLeft = overlay("TimingGridVacuumHeadings", QStringLiteral("Bar"));
    m_frozenCorner = overlay("TimingGridCorner", QStringLiteral("Timing Analysis"));

    QScrollBar *mainH = TimingGrid->horizontalScrollBar();
    QScrollBar *mainV = TimingGrid->verticalScrollBar();
    connect(mainH, &QScrollBar::valueChanged, m_frozenTop->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(m_frozenTop->horizontalScrollBar(), &QScrollBar::valueChanged, mainH,
            &QScrollBar::setValue);
    connect(mainV, &QScrollBar::valueChanged, m_frozenLeft->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_frozenLeft->verticalScrollBar(), &QScrollBar::valueChanged, mainV,
            &QScrollBar::setValue);
    // Overlays never scroll the other way.
    connect(m_frozenTop->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { m_frozenTop->verticalScrollBar()->setValue(0); });
    connect(m_frozenLeft->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { m_frozenLeft->horizontalScrollBar()->setValue(0); });
    TimingGrid->installEventFilter(this);
    TimingGrid->viewport()->installEventFilter(this);
    m_frozenCorner->raise();
    placeFrozenHeadings();
}

void TTimingAnalysis::placeFrozenHeadings() {
    if (!m_frozenTop) return;
    const QRect vp = TimingGrid->viewport()->geometry();
    int headW = 0, headH = 0;
    for (int c = 0; c < FixedCols; ++c)
        headW += TimingGrid->columnWidth(c);
    for (int r = 0; r < FixedRows; ++r)
        headH += TimingGrid->rowHeight(r);
    headW = std::min(headW, vp.width());
    headH = std::min(headH, vp.height());
    m_frozenTop->setGeometry(vp.x(), vp.y(), vp.width(), headH);
    m_frozenLeft->setGeometry(vp.x(), vp.y(), headW, vp.height());
    m_frozenCorner->setGeometry(vp.x(), vp.y(), headW, headH);
    m_frozenTop->horizontalScrollBar()->setValue(TimingGrid->horizontalScrollBar()->value());
    m_frozenLeft->verticalScrollBar()->setValue(TimingGrid->verticalScrollBar()->value());
    m_frozenCorner->raise();
}

bool TTimingAnalysis::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == TimingGrid || watched == TimingGrid->viewport()) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        placeFrozenHeadings();
    return QWidget::eventFilter(watched, event);
}

void TTimingAnalysis::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeFrozenHeadings();
}
