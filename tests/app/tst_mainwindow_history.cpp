// The edit history in the main window: Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y from any tab re-send the
// undone or redone point write; Connect and Read leave no history behind.
#include "AppRig.h"
#include "tuning/MapPages.h"

#include <QTabWidget>
#include <QtTest>

class TestMainWindowHistory : public QObject {
    Q_OBJECT
private slots:
    void shortcutsFromAnyTab_data() {
        QTest::addColumn<int>("tab");
        for (int t : {0, 1, 2, 3, 4, 5})
            QTest::newRow(qPrintable(QStringLiteral("tab %1").arg(t))) << t;
    }
    void shortcutsFromAnyTab() {
        QFETCH(int, tab);
        AppRig rig;
        rig.addEmu(1);
        TForm1 &f = *rig.form;
        QVERIFY(rig.showAndSearch());
        f.spConnectClick();
        QVERIFY(!rig.s().history().canUndo());
        const double was = rig.s().maps().value(MapId::Timing, 5);
        rig.s().setMapPoint(MapId::Timing, 5, 30);
        f.PageControl1->setCurrentIndex(tab);
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        const auto keys = [&](QKeyCombination k) {
            rig.wires.clear();
            QTest::keyClick(f.windowHandle(), k.key(), k.keyboardModifiers());
            QByteArray sent; // without the live poll's requests
            for (const Wire &w : rig.wires)
                if (w.bytes != QByteArray("\xFC")) sent += w.bytes;
            return sent;
        };
        const QByteArray undone("\xE8\x04", 2);
        QCOMPARE(keys(Qt::CTRL | Qt::Key_Z), undone + char(was));
        QCOMPARE(f.statusText(0), QStringLiteral("Undo: Timing point 5 from %1 to 30").arg(was));
        QCOMPARE(keys(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), undone + char(30));
        QCOMPARE(keys(Qt::CTRL | Qt::Key_Z), undone + char(was));
        QCOMPARE(keys(Qt::CTRL | Qt::Key_Y), undone + char(30));

        f.spReadClick();
        QVERIFY(!rig.s().history().canUndo());
    }
};

QTEST_MAIN(TestMainWindowHistory)
#include "tst_mainwindow_history.moc"
