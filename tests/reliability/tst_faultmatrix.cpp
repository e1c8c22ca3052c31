// Every exchange of the main window against every fault of the EMU's line: no answer, a short,
// late, garbled answer or one with a zero byte inside, the device vanishing before, during or
// between exchanges, and a port held by another program. The program must neither crash nor
// hang, must keep what is in memory, must say so when the link is lost, and must work again once
// the fault is gone. Virtual EMU on Com1, fake clock.
#include "../app/AppRig.h"

#include "dialogs/SaveFrm.h"
#include "live/LivePoll.h"
#include "model/EmuImage.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "tuning/SetupPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {
enum class Fault {
    NoAnswer,
    Short,
    Late,
    Garbage,
    Zero,
    VanishBefore,
    VanishDuring,
    VanishBetween,
    Busy
};
enum class Exchange { Probe, Connect, Read, Write, Poll, Parameter, Point, SaveFromEmu };

const char *faultName(Fault f) {
    static const char *n[] = {"no answer",     "short reply",    "late reply",
                              "garbage",       "zero byte",      "vanish before",
                              "vanish during", "vanish between", "busy"};
    return n[int(f)];
}
const char *exchangeName(Exchange e) {
    static const char *n[] = {"probe", "connect",   "read",  "write",
                              "poll",  "parameter", "point", "save from EMU"};
    return n[int(e)];
}

// RPM 2500 and the rest of a plausible frame (every value + 1).
const QByteArray Frame("\x1A\x80\x2B\x3F\x5B\x2E\x81\x7F\x1F", 9);

struct Snapshot {
    QByteArray setup;
    QList<double> maps;
    static Snapshot of(Session &s) {
        Snapshot r;
        r.setup =
            QByteArray(reinterpret_cast<const char *>(s.image().setup()), EmuImage::SetupSize);
        for (MapId id : emu::model::allMaps())
            for (int p = 1; p <= emu::model::mapInfo(id).points; ++p)
                r.maps << s.maps().value(id, p);
        return r;
    }
};

bool answered(Fault f) {
    return f == Fault::NoAnswer || f == Fault::Short || f == Fault::Late || f == Fault::Garbage ||
           f == Fault::Zero;
}
bool vanishing(Fault f) {
    return f == Fault::VanishBefore || f == Fault::VanishDuring || f == Fault::VanishBetween;
}
} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT
private slots:
    void matrix_data();
    void matrix();
    void saveToUnwritableFolder();
};

void TestFaultMatrix::matrix_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("exchange");
    for (int e = 0; e <= int(Exchange::SaveFromEmu); ++e)
        for (int f = 0; f <= int(Fault::Busy); ++f)
            QTest::addRow("%s x %s", exchangeName(Exchange(e)), faultName(Fault(f))) << f << e;
}

void TestFaultMatrix::matrix() {
    QFETCH(int, fault);
    QFETCH(int, exchange);
    const Fault f = Fault(fault);
    const Exchange x = Exchange(exchange);
    QElapsedTimer wall;
    wall.start();

    AppRig rig;
    VirtualEmu &emu = rig.addEmu(1);
    emu.setGarbageSeed(7);
    emu.setSetupByte(emu::model::OffCylinders, 5); // 4 cylinders: the parameter row types 6
    emu.setMapValue(MapId::Timing, 20, 30);
    emu.pinLiveFrame(Frame);
    TForm1 &w = *rig.form;
    Session &s = rig.s();
    QTemporaryDir dir;
    const QString savePath = dir.filePath("saved.emu");
    w.setSaveFileChooser([&](QWidget *) { return savePath; });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const bool fresh = x == Exchange::Probe || x == Exchange::Connect;
    if (x != Exchange::Probe) w.FormShow();
    if (!fresh) {
        QTest::mouseClick(w.spConnect, Qt::LeftButton);
        QCOMPARE(w.statusText(0), QString("Ready"));
        rig.clock.advance(20);
        w.livePoll()->tick();
    }
    // The rows drive the poll's ticks themselves. Keep the real 20 ms timer running but out of
    // the way: on a slow (sanitizer) build it would otherwise slip a poll into the exchange.
    w.livePoll()->Timer1->setInterval(24 * 3600 * 1000);
    const Snapshot before = Snapshot::of(s);

    // Prepare what the exchange needs before the fault strikes.
    QLineEdit *cylinders = w.setupPage()->findChild<QLineEdit *>("Edit12");
    MapChart *timing = w.mapPages()->mapChart(MapPages::Timing);
    if (x == Exchange::Parameter) {
        w.PageControl1->setCurrentIndex(0);
        cylinders->setFocus();
        cylinders->selectAll();
    }
    if (x == Exchange::Point) {
        w.PageControl1->setCurrentWidget(w.TimingSheet);
        const QPoint at(qRound(timing->xAxis->coordToPixel(20)),
                        qRound(timing->yAxis->coordToPixel(10)));
        QTest::mouseMove(timing, at + QPoint(0, 1));
        QTest::mouseMove(timing, at);
    }

    // The fault.
    bool vanishArmed = false;
    switch (f) {
    case Fault::NoAnswer:
        emu.setReplyFault(VirtualEmu::ReplyFault::NoAnswer);
        break;
    case Fault::Short:
        emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, 3);
        break;
    case Fault::Late:
        emu.setReplyFault(VirtualEmu::ReplyFault::LateReply, 600);
        break;
    case Fault::Garbage:
        emu.setReplyFault(VirtualEmu::ReplyFault::Garbage);
        break;
    case Fault::Zero:
        emu.setReplyFault(VirtualEmu::ReplyFault::ZeroByte, 2);
        break;
    case Fault::VanishBefore:
        emu.setVanished(true);
        break;
    case Fault::VanishDuring:
        // Gone as soon as the EMU has the command, or at the first wait of the exchange.
        vanishArmed = true;
        QObject::connect(&emu, &VirtualEmu::commandReceived, &emu, [&] {
            if (vanishArmed) emu.setVanished(true);
        });
        rig.clock.onAdvance = [&](qint64) {
            if (vanishArmed) emu.setVanished(true);
        };
        break;
    case Fault::VanishBetween:
        break;
    case Fault::Busy:
        // Another program holds the port: every open fails.
        s.port().Close();
        emu.setOpenFault(ByteDevice::OpenError::Busy);
        break;
    }

    auto run = [&] {
        switch (x) {
        case Exchange::Probe:
            w.FormShow();
            break;
        case Exchange::Connect:
            if (!w.spConnect->isEnabled()) w.spConnect->setEnabled(true);
            w.ComboBox1->setEditText("Com1");
            QTest::mouseClick(w.spConnect, Qt::LeftButton);
            break;
        case Exchange::Read:
            w.spReadClick();
            break;
        case Exchange::Write:
            QTest::mouseClick(w.spWrite, Qt::LeftButton);
            break;
        case Exchange::Poll:
            for (int i = 0; i < 3; ++i) {
                rig.clock.advance(20);
                w.livePoll()->tick();
            }
            break;
        case Exchange::Parameter:
            QTest::keyClicks(cylinders, "6");
            break;
        case Exchange::Point:
            QTest::keyClick(w.windowHandle(), Qt::Key_Up);
            break;
        case Exchange::SaveFromEmu:
            QTest::mouseClick(w.spSave, Qt::LeftButton);
            w.saveForm()->RadioButton2->setChecked(true);
            QTest::mouseClick(w.saveForm()->Button1, Qt::LeftButton);
            break;
        }
    };
    rig.wires.clear();
    run();
    vanishArmed = false;
    QByteArray goodSave;
    if (f == Fault::VanishBetween) {
        // Gone after a good exchange: the next poll must notice it.
        QFile good(savePath);
        if (good.open(QIODevice::ReadOnly)) goodSave = good.readAll();
        emu.setVanished(true);
        if (!fresh) {
            w.livePoll()->tick();
            run();
        }
    }
    rig.clock.onAdvance = nullptr;
    QVERIFY(w.isEnabled()); // no window left disabled behind a dialog

    // What the exchange sent, when the line was there to take it.
    if (f != Fault::VanishBefore && f != Fault::Busy && f != Fault::VanishBetween) {
        const QByteArray sent = rig.written();
        switch (x) {
        case Exchange::Write:
            QVERIFY(sent.startsWith('\xF3'));
            break;
        case Exchange::Parameter:
            QVERIFY2(sent.startsWith(QByteArray("\xF2\x50\x06", 3)), sent.toHex().constData());
            break;
        case Exchange::Point:
            QVERIFY2(sent.startsWith(QByteArray("\xE8\x13\x1F", 3)), sent.toHex().constData());
            break;
        default:
            break;
        }
    }

    // Nothing in memory lost: the maps and the setup stay as they were, but for the one item a
    // parameter or point write changes. A Read or Connect whose garbled answer has no zero byte
    // is indistinguishable from a good one and replaces the maps as the EMU's own.
    if (!fresh && !(x == Exchange::Read && f == Fault::Garbage)) {
        Snapshot now = Snapshot::of(s);
        Snapshot want = before;
        if (x == Exchange::Parameter) want.setup[emu::model::OffCylinders] = 7;
        // Timing point 20: 30 -> 31 (the row that presses twice: 32, the second one kept in
        // memory only).
        if (x == Exchange::Point) want.maps[19] = f == Fault::VanishBetween ? 32 : 31;
        QCOMPARE(now.setup, want.setup);
        QCOMPARE(now.maps, want.maps);
    }
    if (x == Exchange::SaveFromEmu && f == Fault::VanishBetween) {
        // The good save stands; the failed one wrote nothing over it.
        QFile file(savePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(goodSave.size() > 1000);
        QCOMPARE(file.readAll(), goodSave);
    } else if (x == Exchange::SaveFromEmu && f != Fault::Garbage) {
        QVERIFY2(!QFile::exists(savePath), "a partial image must not be saved");
    }
    if (x == Exchange::SaveFromEmu && f != Fault::Garbage) QVERIFY(!rig.messages.isEmpty());

    // A vanished device is noticed within one poll, the poll stops quietly and the status bar
    // names the port; the way back is open.
    if (vanishing(f) && !fresh) {
        w.livePoll()->tick();
        QVERIFY(!w.livePoll()->Timer1->isActive());
        QVERIFY2(w.statusText(0).startsWith("Connection lost: Com1 (virtual EMU) has gone"),
                 qPrintable(w.statusText(0)));
        QVERIFY(w.spRetry->isEnabled());
        QVERIFY(w.spConnect->isEnabled());
        QVERIFY(w.ComboBox1->isEnabled());
    }
    if (x == Exchange::Write && (vanishing(f) || f == Fault::Busy))
        QVERIFY2(!w.statusText(0).contains("written to EMU"), qPrintable(w.statusText(0)));
    if (x == Exchange::Read && answered(f) && f != Fault::Garbage)
        QVERIFY2(w.statusText(0).contains("maps in memory are kept"), qPrintable(w.statusText(0)));

    // The fault is gone: the late bytes have arrived (a reply 600 ms late holds back the ones
    // behind it: the third of the poll's comes 1.8 s after the first), the adapter is back.
    emu.clearReplyFaults();
    emu.setOpenFault(ByteDevice::OpenError::None);
    emu.setVanished(false);
    rig.clock.advance(2000);
    const Snapshot kept = Snapshot::of(s);
    if (!s.isConnected() || w.spConnect->isEnabled()) {
        if (w.spRetry->isEnabled()) QTest::mouseClick(w.spRetry, Qt::LeftButton);
        QCOMPARE(w.ComboBox1->currentText(), QString("Com1"));
        QVERIFY(w.spConnect->isEnabled());
        QTest::mouseClick(w.spConnect, Qt::LeftButton);
        QCOMPARE(w.statusText(0), QString("Ready"));
    }
    QVERIFY(s.isConnected());
    QVERIFY(w.livePoll()->Timer1->isActive());
    if (!fresh && vanishing(f)) {
        // Reconnected: memory untouched, the tuner chooses Read or Write.
        QCOMPARE(Snapshot::of(s).maps, kept.maps);
        QCOMPARE(Snapshot::of(s).setup, kept.setup);
        QVERIFY(w.spRead->isEnabled());
        QVERIFY(w.spWrite->isEnabled());
    }
    // The next exchanges read correct data again.
    for (int i = 0; i < 3; ++i) {
        rig.clock.advance(20);
        w.livePoll()->tick();
    }
    QCOMPARE(s.live().rpm, 25.0);
    w.spReadClick();
    for (int p = 1; p <= 70; ++p)
        QCOMPARE(s.maps().value(MapId::Timing, p), double(emu.mapValue(MapId::Timing, p)));
    QCOMPARE(Snapshot::of(s).setup.left(80), QByteArray(emu.setupBlock()).left(80));

    // Bounded: the protocol's waits on the fake clock, and little real time.
    QVERIFY2(rig.clock.slept() < 20000, qPrintable(QString::number(rig.clock.slept())));
    QVERIFY2(wall.elapsed() < 5000, qPrintable(QString::number(wall.elapsed())));
    w.hide();
}

// Save From Memory into a folder that takes no file (made immutable, so that even root cannot
// write): a clear message, and the file already there is left whole.
void TestFaultMatrix::saveToUnwritableFolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("tuned.emu");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents\r\n");
    }
    if (QProcess::execute("chattr", {"+i", dir.path()}) != 0)
        QSKIP("chattr +i is not available here");
    AppRig rig;
    rig.addEmu(1);
    TForm1 &w = *rig.form;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.FormShow();
    QTest::mouseClick(w.spConnect, Qt::LeftButton);
    w.setSaveFileChooser([&](QWidget *) { return path; });
    QTest::mouseClick(w.spSave, Qt::LeftButton);
    w.saveForm()->RadioButton1->setChecked(true); // "Save From Memory"
    QTest::mouseClick(w.saveForm()->Button1, Qt::LeftButton);
    QProcess::execute("chattr", {"-i", dir.path()});
    QVERIFY(w.isEnabled());
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY2(rig.messages.at(0).contains(path), qPrintable(rig.messages.at(0)));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old contents\r\n"));
    w.hide();
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
