#include "dialogs/CompareWindow.h"

#include "connection/Session.h"
#include "connection/SetupFile.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int MapRole = Qt::UserRole;       // MapId of a map row, -1 for a setup row
constexpr int PointRole = Qt::UserRole + 1; // point of a map row

// The map's title as its chart shows it, told apart where two charts share one.
QString mapName(MapId id) {
    const QString title = QString::fromUtf8(emu::model::mapInfo(id).title);
    switch (id) {
    case MapId::VacuumTiming:
        return title + QStringLiteral(" (timing)");
    case MapId::FuelVacuum:
        return title + QStringLiteral(" (fuel)");
    case MapId::FuelCruise:
    case MapId::FuelLow:
    case MapId::FuelHigh:
        return QStringLiteral("RPM Map ") + title;
    default:
        return title;
    }
}

QString number(double v) {
    return QString::number(v, 'g', 6);
}
QString shown(const std::optional<double> &v) {
    return v ? number(*v) : QStringLiteral("-");
}
} // namespace

CompareWindow::CompareWindow(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), m_s(session) {
    setObjectName(QStringLiteral("CompareWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("CompareSummary"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_table = new QTreeWidget(this);
    m_table->setObjectName(QStringLiteral("CompareTable"));
    m_table->setAccessibleName(QStringLiteral("Differences"));
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setHeaderLabels({QStringLiteral("Map or setting"), QStringLiteral("Point"),
                              QStringLiteral("x"), QStringLiteral("This"), QStringLiteral("Other"),
                              QStringLiteral("Difference (Other \u2212 This)")});
    m_table->header()->setSectionResizeMode(What, QHeaderView::ResizeToContents);
    layout->addWidget(m_table);
    connect(m_table, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { rowActivated(item); });
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CompareWindow::refresh);
    resize(640, 480);
}

void CompareWindow::scheduleRefresh() {
    m_refreshTimer.start();
}

bool CompareWindow::openFile(const QString &path, QString *error) {
    SetupFileData data;
    if (!SetupFile::read(path, &data, error)) return false;
    m_other = emu::model::Tune();
    SetupFile::apply(data, m_other.image);
    m_other.decodeFileTable();
    m_path = path;
    setWindowTitle(QStringLiteral("Compare with %1").arg(QFileInfo(path).fileName()));
    refresh();
    return true;
}

void CompareWindow::refresh() {
    using namespace emu::model;
    const TuneDifferences d =
        compareTunes(TuneView{&m_s.image(), &m_s.maps(), m_s.caps(), m_s.axes()}, m_other.view());
    m_table->clear();
    QList<QTreeWidgetItem *> rows;
    for (const FieldDifference &f : d.fields) {
        QString name = QStringLiteral("Setup byte %1").arg(f.offset);
        if (f.field) name = QString::fromUtf8(*f.field->caption ? f.field->caption : f.field->name);
        auto *row = new QTreeWidgetItem({name, QString(), QString(), f.thisText, f.otherText});
        row->setData(What, MapRole, -1);
        rows << row;
    }
    for (MapId id : d.onlyThis) {
        auto *row = new QTreeWidgetItem(
            {mapName(id), QString(), QString(), QStringLiteral("map"), QStringLiteral("(none)")});
        row->setData(What, MapRole, -1);
        rows << row;
    }
    for (MapId id : d.onlyOther) {
        auto *row = new QTreeWidgetItem(
            {mapName(id), QString(), QString(), QStringLiteral("(none)"), QStringLiteral("map")});
        row->setData(What, MapRole, -1);
        rows << row;
    }
    for (const PointDifference &p : d.points) {
        const QString diff =
            p.thisValue && p.otherValue ? number(*p.otherValue - *p.thisValue) : QString();
        auto *row = new QTreeWidgetItem({mapName(p.map), QString::number(p.point), number(p.x),
                                         shown(p.thisValue), shown(p.otherValue), diff});
        row->setData(What, MapRole, int(p.map));
        row->setData(What, PointRole, p.point);
        rows << row;
    }
    m_table->addTopLevelItems(rows);
    m_summary->setText(rows.isEmpty()
                           ? QStringLiteral("%1 holds the same setup and maps as memory.")
                                 .arg(QFileInfo(m_path).fileName())
                           : QStringLiteral("%1 difference(s) between memory (This) and %2 "
                                            "(Other). Double-click a map point to show it.")
                                 .arg(rows.size())
                                 .arg(QFileInfo(m_path).fileName()));
}

void CompareWindow::rowActivated(QTreeWidgetItem *item) {
    if (!item) return;
    const int map = item->data(What, MapRole).toInt();
    if (map < 0) return;
    emit pointChosen(MapId(map), item->data(What, PointRole).toInt());
}

void CompareWindow::closeEvent(QCloseEvent *event) {
    QWidget::closeEvent(event);
    emit closed();
}
