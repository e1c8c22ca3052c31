// Edit history and range edits: real mouse and key events on the charts and the Setup page; the
// bytes that undo and redo send to the virtual EMU are checked exactly.
#include "connection/ConnectionController.h"
#include "support/SessionState.h"
#include "tests/tuning/MapRig.h"
#include "tuning/MapChart.h"
#include "tuning/RangeEditDialog.h"
#include "tuning/SetupPage.h"
#include "widgets/Messages.h"

#include <QMenu>

namespace {
enum Edit { Drag, Key, Setup, Range };

QByteArray points(int section, std::initializer_list<std::pair<int, int>> offsetValue) {
    QByteArray b;
    for (auto [o, v] : offsetValue)
        b += bytes({section, o, v});
    return b;
}

struct HistoryRig : Rig {
    SetupPage page{s};
    QString lastStatus;
    HistoryRig() {
        RangeEditDialog::forgetLastEdit(); // each rig is a run of its own
        s.markConnected();
        page.setSetupPanelsEnabled(true);
        page.resize(1200, 800);
        page.show();
        QObject::connect(&s, &Session::status, [this](int, const QString &t) { lastStatus = t; });
        pages->setMouseTuning(true);
    }
    void preset(MapId id, std::initializer_list<std::pair<int, double>> values) {
        editMaps(s, [&](EmuMaps &m) {
            for (auto [p, v] : values)
                m.setValue(id, p, v);
        });
        rebuildAndForget();
    }
    void rebuildAndForget() {
        pages->rebuildCurve(MapId::Timing);
        s.clearHistory();
        emu.clearWritten();
    }
    // Undo (false) or redo (true) through a chart's context menu; the entry's text.
    QString take(bool redo) {
        std::unique_ptr<QMenu> menu(pages->chartMenu(MapPages::Timing, QPoint(10, 10)));
        QAction *a = menu->actions().at(redo ? 1 : 0);
        const QString text = a->text();
        a->trigger();
        return text;
    }
    void edit(Edit e) {
        switch (e) {
        case Drag: {
            showChart(MapPages::Timing);
            QTest::mousePress(chart(MapPages::Timing), Qt::LeftButton, Qt::NoModifier,
                              pixel(MapPages::Timing, 10, 20) + QPoint(0, 3));
            for (int x : {10, 11, 12})
                QTest::mouseMove(chart(MapPages::Timing), pixel(MapPages::Timing, x, 20));
            QTest::mouseRelease(chart(MapPages::Timing), Qt::LeftButton, Qt::NoModifier,
                                pixel(MapPages::Timing, 12, 20));
            break;
        }
        case Key:
            hoverAt(MapPages::Timing, 20, 10);
            key(Qt::Key_Up);
            break;
        case Setup: {
            QLineEdit *box = page.findChild<QLineEdit *>(QStringLiteral("Edit12"));
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_6);
            break;
        }
        case Range: {
            RangeEditDialog *d = pages->editPoints(MapPages::Timing, 5, 1);
            d->setOperation(RangeOp::Set, 10);
            QCOMPARE(d->summary(), QStringLiteral("4 points change."));
            d->accept();
            break;
        }
        }
    }
};
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        Messages::setHandler([](const QString &text, Messages::Kind) { qWarning() << text; });
    }

    void undoRedoSend_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("undone");
        QTest::addColumn<QByteArray>("redone");
        const QByteArray drag = points(0xE8, {{9, 20}, {10, 20}, {11, 20}});
        QTest::newRow("one drag, three points")
            << int(Drag) << "Timing points 10 to 12 (3 changed)" << drag
            << points(0xE8, {{9, 5}, {10, 5}, {11, 5}}) << drag;
        QTest::newRow("one key step")
            << int(Key) << "Timing point 20 from 30 to 31" << points(0xE8, {{19, 31}})
            << points(0xE8, {{19, 30}}) << points(0xE8, {{19, 31}});
        QTest::newRow("setup editor")
            << int(Setup) << "Cylinders from 4 to 6" << bytes({0xF2, 0x50, 6})
            << bytes({0xF2, 0x50, 4}) << bytes({0xF2, 0x50, 6});
        const QByteArray range = points(0xE8, {{0, 10}, {1, 10}, {2, 10}, {4, 10}});
        QTest::newRow("range edit")
            << int(Range) << "Timing points 1 to 5: set to value 10" << range
            << points(0xE8, {{0, 5}, {1, 5}, {2, 5}, {4, 5}}) << range;
    }
    void undoRedoSend() {
        QFETCH(int, edit);
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, undone);
        QFETCH(QByteArray, redone);
        HistoryRig r;
        r.page.findChild<QLineEdit *>(QStringLiteral("Edit12"))->setText(QStringLiteral("4"));
        r.preset(MapId::Timing,
                 {{1, 5}, {2, 5}, {3, 5}, {4, 10}, {5, 5}, {10, 5}, {11, 5}, {12, 5}, {20, 30}});
        const EmuImage before = r.s.image();
        std::vector<double> was;
        for (int p = 1; p <= 70; ++p)
            was.push_back(r.value(MapId::Timing, p));

        r.edit(Edit(edit));
        QCOMPARE(r.emu.written(), sent);
        QCOMPARE(r.s.history().count(), 1);

        r.emu.clearWritten();
        QCOMPARE(r.take(false), QStringLiteral("Undo: ") + text);
        QCOMPARE(r.emu.written(), undone);
        QCOMPARE(r.lastStatus, QStringLiteral("Undo: ") + text);
        for (int p = 1; p <= 70; ++p)
            QCOMPARE(r.value(MapId::Timing, p), was[std::size_t(p - 1)]);
        QVERIFY(std::equal(before.bytes.begin(), before.bytes.end(), r.s.image().bytes.begin()));
        QCOMPARE(r.page.findChild<QLineEdit *>(QStringLiteral("Edit12"))->text(),
                 QStringLiteral("4"));

        r.emu.clearWritten();
        QCOMPARE(r.take(true), QStringLiteral("Redo: ") + text);
        QCOMPARE(r.emu.written(), redone);
    }

    // Without an EMU to send to, undo and redo change memory only and say so.
    void memoryOnly_data() {
        QTest::addColumn<int>("why");
        QTest::newRow("file mode") << 0;
        QTest::newRow("link lost") << 1;
    }
    void memoryOnly() {
        QFETCH(int, why);
        HistoryRig r;
        r.preset(MapId::Timing, {{20, 30}});
        if (why == 0)
            r.s.setFileMode(true);
        else
            r.s.setLinkDownQuery([] { return true; });
        r.edit(Key);
        r.emu.clearWritten();
        r.take(false);
        QCOMPARE(r.value(MapId::Timing, 20), 30.0);
        r.take(true);
        QCOMPARE(r.value(MapId::Timing, 20), 31.0);
        QCOMPARE(r.emu.written(), QByteArray());
        QVERIFY2(r.lastStatus.contains(QStringLiteral("memory only")), qPrintable(r.lastStatus));
    }

    // "Edit points..." reaches every map, whichever chart it was opened on: points 1 to 3 from
    // 0 to 10 and back.
    void rangeEditEveryMap_data() {
        QTest::addColumn<int>("map");
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("bias");
        QTest::newRow("fuel RPM Low") << int(MapId::FuelLow) << 0xCA << 0 << 100;
        QTest::newRow("fuel RPM High") << int(MapId::FuelHigh) << 0xCA << 32 << 100;
        QTest::newRow("vacuum timing") << int(MapId::VacuumTiming) << 0xE8 << 100 << 10;
        QTest::newRow("voltage") << int(MapId::Voltage) << 0xD4 << 48 << 100;
    }
    void rangeEditEveryMap() {
        QFETCH(int, map);
        QFETCH(int, section);
        QFETCH(int, offset);
        QFETCH(int, bias);
        HistoryRig r;
        editMaps(r.s, [map](EmuMaps &m) {
            for (int p = 1; p <= 3; ++p)
                m.setValue(MapId(map), p, 0);
        });
        RangeEditDialog *d = r.pages->editPoints(MapPages::Timing, 1, 3);
        d->setMap(MapId(map));
        d->setRange(1, 3);
        d->setOperation(RangeOp::Set, 10);
        d->accept();
        const auto three = [&](int v) {
            return points(section, {{offset, v}, {offset + 1, v}, {offset + 2, v}});
        };
        QCOMPARE(r.emu.written(), three(bias + 10));
        r.emu.clearWritten();
        r.s.history().undo();
        QCOMPARE(r.emu.written(), three(bias));
    }

    // The dialog starts on nothing that changes a point (Enter does nothing), then on the last
    // edit of the run; its range is shaded on the chart while it is open; the status bar tells
    // the edit, not an undo or redo before it.
    void rangeEditStartsSafe() {
        HistoryRig r;
        r.preset(MapId::Timing, {{1, 10}, {2, 11}, {3, 12}, {4, 13}, {5, 14}});
        r.edit(Key);
        r.take(false);
        r.take(true);
        QVERIFY(r.lastStatus.startsWith(QStringLiteral("Redo: ")));
        r.emu.clearWritten();
        MapChart *chart = r.pages->mapChart(MapPages::Timing);
        const auto shade = [chart] {
            return chart->findChildren<QCPItemRect *>(QStringLiteral("EditedRange"));
        };
        const auto x = [&r](int p) { return r.s.maps().position(MapId::Timing, p, r.s.axes()); };

        RangeEditDialog *d = r.pages->editPoints(MapPages::Timing, 2, 2);
        QTest::keyClick(d, Qt::Key_Return);
        QVERIFY(d->isVisible());
        QCOMPARE(d->summary(), QStringLiteral("0 points change."));
        QCOMPARE(r.emu.written(), QByteArray());
        QCOMPARE(shade().size(), 1);
        const QCPItemRect *rect = shade().first();
        QVERIFY(rect->topLeft->coords().x() > x(1) && rect->topLeft->coords().x() < x(2));
        QVERIFY(rect->bottomRight->coords().x() > x(2) && rect->bottomRight->coords().x() < x(3));

        d->setRange(3, 5);
        d->setOperation(RangeOp::Add, 2);
        const QString step = d->stepText();
        d->accept();
        QCOMPARE(r.lastStatus, step);
        QVERIFY(shade().isEmpty());

        RangeEditDialog *again = r.pages->editPoints(MapPages::Timing, 1, 1);
        QCOMPARE(again->stepText(), step); // same operation, value and range
        again->reject();
        QVERIFY(shade().isEmpty());
    }

    void readClearsHistory() {
        HistoryRig r;
        r.edit(Key);
        QVERIFY(r.s.history().canUndo());
        ConnectionController::decodeTables(r.s);
        r.pages->readTables();
        QVERIFY(!r.s.history().canUndo());
    }

    // Every operation over points 2..6 of 1, 2, 6, 3, 9, 8, 13 within -2..10.
    void rangeOperations_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QList<double>>("after");
        QTest::addColumn<int>("clamped");
        QTest::newRow("set, half to even")
            << int(RangeOp::Set) << 4.5 << QList<double>{1, 4, 4, 4, 4, 4, 13} << 0;
        QTest::newRow("add, clamped high")
            << int(RangeOp::Add) << 2.0 << QList<double>{1, 4, 8, 5, 10, 10, 13} << 1;
        QTest::newRow("add, clamped low")
            << int(RangeOp::Add) << -5.0 << QList<double>{1, -2, 1, -2, 4, 3, 13} << 1;
        QTest::newRow("scale") << int(RangeOp::Scale) << 50.0 << QList<double>{1, 1, 3, 2, 4, 4, 13}
                               << 0;
        QTest::newRow("interpolate")
            << int(RangeOp::Interpolate) << 0.0 << QList<double>{1, 2, 4, 5, 6, 8, 13} << 0;
        QTest::newRow("smooth") << int(RangeOp::Smooth) << 0.0
                                << QList<double>{1, 2, 4, 6, 7, 8, 13} << 0;
    }
    void rangeOperations() {
        QFETCH(int, op);
        QFETCH(double, amount);
        QFETCH(QList<double>, after);
        QFETCH(int, clamped);
        std::vector<double> v{1, 2, 6, 3, 9, 8, 13};
        const RangeResult r = rangeEdit(v, 2, 6, RangeOp(op), amount, -2, 10);
        for (auto [p, w] : r.changes)
            v[std::size_t(p - 1)] = w;
        QCOMPARE(QList<double>(v.begin(), v.end()), after);
        QCOMPARE(r.clamped, clamped);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
