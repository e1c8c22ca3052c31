// Tuning safely in the main window: "Compare with File..." lists what a setup file holds apart
// from memory and draws its curves behind the charts' own; "Verify after Write" reads the tables
// back after Write.
#include "app/AppRig.h"
#include "connection/SetupFile.h"
#include "dialogs/CompareWindow.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"

#include <QCheckBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {
QStringList rowTexts(QTreeWidget *t) {
    QStringList rows;
    for (int i = 0; i < t->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < CompareWindow::ColumnCount; ++c)
            cells << t->topLevelItem(i)->text(c);
        rows << cells.join('|');
    }
    return rows;
}

// What went to the EMU apart from the live poll's requests.
QByteArray sentBesidesPoll(const AppRig &rig) {
    return rig.written().replace('\xFC', QByteArray());
}

void connectEmu(AppRig &rig) {
    rig.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
    rig.form->FormShow();
    rig.form->spConnectClick();
    QVERIFY(rig.s().isConnected());
}
} // namespace

class TstCompareWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void compareWithFile();
    void verifyAfterWrite_data();
    void verifyAfterWrite();

private:
    QTemporaryDir m_dir;
};

void TstCompareWindow::compareWithFile() {
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1, 3);
    connectEmu(rig);
    // The EMU's own image with timing point 5 three degrees up and two more cylinders.
    std::array<quint8, 7> id{};
    for (int i = 0; i < 7; ++i)
        id[i] = quint8(emu.identity().at(i));
    TableValues table = SetupFile::tableFromReply(emu.imageStream());
    const int timing5 = emu.mapValue(MapId::Timing, 5);
    table[100 + 5] = quint8(table[100 + 5] + 3);
    table[emu::model::OffCylinders] = quint8(table[emu::model::OffCylinders] + 2);
    const QString path = m_dir.filePath("other.emu");
    QString error;
    QVERIFY(SetupFile::write(path, SetupFile::format(id, "", "", "", table), &error));
    rig.form->setOpenFileChooser([path](QWidget *) { return path; });

    rig.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.form.get()));
    rig.wires.clear();
    QTest::keyClick(rig.form.get(), Qt::Key_D, Qt::ControlModifier);
    CompareWindow *w = rig.form->compareWindow();
    QVERIFY(w && w->isVisible());
    QVERIFY(sentBesidesPoll(rig).isEmpty()); // comparing sends nothing

    const SetupField &cyl = *emu::model::setupFieldAt(emu::model::OffCylinders);
    EmuImage other = rig.s().image();
    other.setSetupByte(cyl.offset, table[cyl.offset]);
    const double x = rig.s().maps().position(MapId::Timing, 5, rig.s().axes());
    QCOMPARE(rowTexts(w->table()),
             (QStringList{
                 QStringLiteral("%1|||%2|%3|")
                     .arg(cyl.caption, emu::model::displayText(rig.s().image(), cyl),
                          emu::model::displayText(other, cyl)),
                 QStringLiteral("Timing Map|5|%1|%2|%3|3").arg(x).arg(timing5).arg(timing5 + 3)}));

    // The other curve, behind the timing chart's own.
    MapChart *chart = rig.form->mapPages()->mapChart(MapPages::Timing);
    QCPGraph *curve = chart->otherCurve(2);
    QVERIFY(curve);
    QCOMPARE(curve->pen().style(), Qt::DashLine);
    QCOMPARE(curve->scatterStyle().shape(), QCPScatterStyle::ssNone);
    QCOMPARE(curve->data()->size(), rig.s().timingPoints());
    QCOMPARE(curve->data()->at(4)->value, double(timing5 + 3));
    QVERIFY(chart->layer("other")->index() < chart->series(2)->layer()->index());

    // Double-clicking the map row shows the point on its chart.
    rig.form->PageControl1->setCurrentIndex(rig.form->PageControl1->count() - 1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTreeWidget *t = w->table();
    const QRect r = t->visualItemRect(t->topLevelItem(1));
    QVERIFY(!r.isEmpty());
    QSignalSpy chosen(w, &CompareWindow::pointChosen);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // A double click as the window system delivers it: press, release, press, double click,
    // release.
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(t->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(rig.form->PageControl1->currentWidget(), rig.form->TimingSheet);
    QCOMPARE(rig.form->mapPages()->activeChart(), int(MapPages::Timing));
    QCOMPARE(rig.form->mapPages()->selection(MapPages::Timing), x);

    w->close();
    QVERIFY(!chart->otherCurve(2));
    QVERIFY(sentBesidesPoll(rig).isEmpty());
}

void TstCompareWindow::verifyAfterWrite_data() {
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("alter"); // the EMU keeps another value for voltage point 3
    QTest::addColumn<QString>("status");
    QTest::newRow("off") << false << true << "Data table written to EMU";
    QTest::newRow("on, verified") << true << false << "Data table written to EMU and verified";
    QTest::newRow("on, point differs")
        << true << true
        << "Data table written to EMU, but the read-back differs: voltageCorrection point 3";
}

void TstCompareWindow::verifyAfterWrite() {
    QFETCH(bool, verify);
    QFETCH(bool, alter);
    QFETCH(QString, status);
    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1, 3);
    connectEmu(rig);
    if (rig.form->VerifyAfterWrite->isChecked() != verify)
        QTest::mouseClick(rig.form->VerifyAfterWrite, Qt::LeftButton);
    if (alter)
        connect(&emu, &VirtualEmu::tablesWritten, this,
                [&] { emu.setMapValue(MapId::Voltage, 3, emu.mapValue(MapId::Voltage, 3) + 1); });
    rig.wires.clear();
    QVERIFY(rig.form->spWrite->isEnabled());
    QTest::mouseClick(rig.form->spWrite, Qt::LeftButton);
    const QByteArray sent = rig.written();
    QCOMPARE(sent.left(1), QByteArray("\xF3"));
    QCOMPARE(sent.size(), 1 + 458 + (verify ? 1 : 0));
    QCOMPARE(sent.endsWith('\xFD'), verify);
    QVERIFY2(rig.form->statusText(0).startsWith(status), qPrintable(rig.form->statusText(0)));
}

QTEST_MAIN(TstCompareWindow)
#include "tst_comparewindow.moc"
