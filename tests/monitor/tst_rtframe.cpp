// The real-time frame: what a live data frame from the EMU becomes on its labels and bars.
#include "MonitorRig.h"
#include "live/LivePoll.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"
#include "support/SessionState.h"
#include "widgets/ALProgressBar.h"

#include <QLabel>
#include <QtTest>

namespace {
// A quiet engine: 3000 RPM, vacuum byte 129, TPS 40, 0.50 V, 80 °C, 25 °C, pot 50.2 %, 13.0 V,
// 3.5 ms.
const QByteArray Base = liveFrame(30, 129, 40, 50, 80, 25, 129, 130, 35);

QByteArray with(QByteArray frame, int index, int byte) {
    frame[index] = char(quint8(byte));
    return frame;
}

// Text of a label or position of a bar, by object name.
QString shown(TRT &rt, const QString &name) {
    if (auto *bar = rt.findChild<TALProgressBar *>(name)) return QString::number(bar->position());
    if (auto *label = rt.findChild<QLabel *>(name)) return label->text();
    return QStringLiteral("<no control %1>").arg(name);
}
} // namespace

class TestRTFrame : public QObject {
    Q_OBJECT
private slots:
    void initialTexts();
    void captionsAndMarks();
    void barSetup_data();
    void barSetup();
    void barsStartEmpty();
    void barBordersShowOnAllFourEdges_data();
    void barBordersShowOnAllFourEdges();
    void frameToDisplay_data();
    void frameToDisplay();
    void lambdaTarget_data();
    void lambdaTarget();
    void setTargetCaption();
};

void TestRTFrame::initialTexts() {
    TRT rt;
    QCOMPARE(rt.size(), QSize(TRT::FrameWidth, TRT::FrameHeight));
    QCOMPARE(rt.frameShadow(), QFrame::Sunken);
    QCOMPARE(rt.palette().color(QPalette::Window), QColor(Qt::white));
    for (const char *n : {"Label49", "Label50", "Label51"})
        QCOMPARE(shown(rt, n), QStringLiteral("NA"));
    for (const char *n :
         {"Label53", "Label54", "Label55", "Label19", "Label20", "Label10", "Label13", "Label56"})
        QCOMPARE(shown(rt, n), QStringLiteral("0"));
    QCOMPARE(shown(rt, "Label6"), QStringLiteral(".50"));
    QCOMPARE(rt.Shape1->toolTip(), QStringLiteral("Target Lambda Volts = 0.45V"));
    QCOMPARE(rt.Label49->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(rt.Label49->font().bold());
    QVERIFY(rt.Label49->font().fixedPitch());
}

void TestRTFrame::captionsAndMarks() {
    TRT rt;
    QStringList texts;
    for (QLabel *l : rt.findChildren<QLabel *>())
        texts << l->text();
    for (const char *t :
         {"Timing",    "RPM",    "Vacuum", "o", "Water", "Air", "Battery", "TPS", "POT",
          "Injectors", "Lambda", "ms",     "%", "V",     "120", "60",      "100", "40",
          "-20",       "16",     "12",     "8", "25",    "50",  "1.0"})
        QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
    QCOMPARE(texts.count(QString::fromUtf8("\u00baC")), 2);
    // Every control says what it is.
    for (QWidget *w : rt.findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(w) || qobject_cast<TALProgressBar *>(w))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
}

void TestRTFrame::barSetup_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("style");
    QTest::addColumn<QColor>("c1");
    QTest::addColumn<QColor>("c2");
    QTest::addColumn<QColor>("c3");
    QTest::addColumn<bool>("border");
    using B = TALProgressBar;
    const int up = B::pdBottomToTop;
    QTest::newRow("water") << "WaterBar" << 0 << 120 << up << int(B::cs3Colors) << QColor(0, 0, 255)
                           << QColor(0, 128, 0) << QColor(255, 0, 0) << true;
    QTest::newRow("air") << "AirBar" << -20 << 100 << up << int(B::cs3Colors)
                         << QColor(166, 202, 240) << QColor(0, 0, 128) << QColor(255, 0, 0) << true;
    QTest::newRow("battery") << "BATBar" << 80 << 160 << up << int(B::cs3Colors)
                             << QColor(255, 255, 0) << QColor(0, 128, 0) << QColor(255, 0, 0)
                             << true;
    QTest::newRow("tps") << "TPSBar" << 0 << 100 << up << int(B::cs1Color) << QColor(166, 202, 240)
                         << QColor() << QColor() << true;
    QTest::newRow("pot") << "POTBar" << 0 << 100 << up << int(B::cs1Color) << QColor(0, 255, 128)
                         << QColor() << QColor() << true;
    QTest::newRow("injector time") << "InjBar" << 0 << 250 << up << int(B::cs1Color)
                                   << QColor(236, 118, 0) << QColor() << QColor() << true;
    QTest::newRow("injector duty") << "InjPers" << 0 << 100 << up << int(B::cs1Color)
                                   << QColor(255, 128, 128) << QColor() << QColor() << true;
    QTest::newRow("lambda rich") << "LambdaBarL" << 0 << 50 << int(B::pdRightToLeft)
                                 << int(B::cs3Colors) << QColor(255, 255, 0) << QColor(255, 0, 0)
                                 << QColor(138, 0, 0) << false;
    QTest::newRow("lambda lean") << "LambdaBarR" << 0 << 50 << int(B::pdLeftToRight)
                                 << int(B::cs3Colors) << QColor(255, 255, 0) << QColor(0, 128, 0)
                                 << QColor(0, 64, 0) << false;
}

void TestRTFrame::barSetup() {
    QFETCH(QString, bar);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, direction);
    QFETCH(int, style);
    QFETCH(QColor, c1);
    QFETCH(QColor, c2);
    QFETCH(QColor, c3);
    QFETCH(bool, border);
    TRT rt;
    auto *b = rt.findChild<TALProgressBar *>(bar);
    QVERIFY(b);
    QCOMPARE(b->min(), min);
    QCOMPARE(b->max(), max);
    QCOMPARE(int(b->direction()), direction);
    QCOMPARE(int(b->barColorStyle()), style);
    QCOMPARE(b->barColor1(), c1);
    if (c2.isValid()) QCOMPARE(b->barColor2(), c2);
    if (c3.isValid()) QCOMPARE(b->barColor3(), c3);
    QCOMPARE(b->showBorder(), border);
    QCOMPARE(b->backgroundColor(), QColor(Qt::white));
    QVERIFY(!b->showPosText());
}

void TestRTFrame::barsStartEmpty() {
    // Before the first poll nothing is filled, the air bar (-20..100) included.
    TRT rt;
    for (TALProgressBar *b : rt.findChildren<TALProgressBar *>()) {
        QCOMPARE(b->position(), b->min());
        QCOMPARE(b->filledLength(), 0);
        const QImage img = b->grab().toImage();
        const QRect in = b->innerRect();
        for (int y = in.top(); y <= in.bottom(); ++y)
            for (int x = in.left(); x <= in.right(); ++x)
                QVERIFY2(img.pixelColor(x, y) == QColor(Qt::white),
                         qPrintable(QString("%1 at %2,%3").arg(b->objectName()).arg(x).arg(y)));
    }
}

void TestRTFrame::barBordersShowOnAllFourEdges_data() {
    QTest::addColumn<QString>("bar");
    for (const char *name :
         {"WaterBar", "AirBar", "BATBar", "TPSBar", "POTBar", "InjBar", "InjPers"})
        QTest::newRow(name) << name;
}

void TestRTFrame::barBordersShowOnAllFourEdges() {
    // On the white frame every edge of a bordered bar must stand out, the bottom and right ones
    // too (the usual highlight colour is white).
    QFETCH(QString, bar);
    TRT rt;
    auto *b = rt.findChild<TALProgressBar *>(bar);
    QVERIFY(b);
    b->setPosition((b->min() + b->max()) / 2);
    const QImage img = rt.grab().toImage();
    const QRect r(b->mapTo(&rt, QPoint(0, 0)), b->size());
    const QColor white(Qt::white);
    const int midX = r.left() + r.width() / 2;
    const int upperY = r.top() + 3; // above the half-way fill
    for (int x = r.left() + 1; x < r.right(); ++x) {
        QCOMPARE(img.pixelColor(x, r.top()), b->borderColor1());
        QCOMPARE(img.pixelColor(x, r.bottom()), b->borderColor2());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        QCOMPARE(img.pixelColor(r.left(), y), b->borderColor1());
        QCOMPARE(img.pixelColor(r.right(), y), b->borderColor2());
    }
    for (const QColor &c : {b->borderColor1(), b->borderColor2()})
        QVERIFY2(qGray(c.rgb()) < 230, qPrintable(c.name())); // visible on white
    // Inside the border, the unfilled part is the white background.
    QCOMPARE(img.pixelColor(midX, upperY), white);
}

void TestRTFrame::frameToDisplay_data() {
    QTest::addColumn<QByteArray>("before"); // an earlier frame (empty: none)
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("shortReply"); // bytes the EMU actually sends of `frame` (0: all)
    QTest::addColumn<int>("sensorRange");
    QTest::addColumn<bool>("twoStroke");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");

    const QByteArray none;
    QTest::newRow("rpm 25 -> 2500") << none << with(Base, 0, 26) << 0 << 10 << false << "Label50"
                                    << "2500";
    QTest::newRow("timing from both maps")
        << none << with(Base, 1, 255) << 0 << 10 << false << "Label49"
        << "23"; // timing point 30 (20) + vacuum timing point 32 (3)
    QTest::newRow("vacuum byte 255, S 10")
        << none << with(Base, 1, 255) << 0 << 10 << false << "Label51"
        << "1";
    QTest::newRow("vacuum 0.5") << none << with(Base, 1, 128) << 0 << 10 << false << "Label51"
                                << "0.5";
    QTest::newRow("vacuum 3.51 -> Err")
        << none << with(Base, 1, 225) << 0 << 40 << false << "Label51"
        << "Err";
    QTest::newRow("vacuum 3.5 shown") << none << with(Base, 1, 224) << 0 << 40 << false << "Label51"
                                      << "3.5";
    QTest::newRow("air byte 1 -> -20 label")
        << none << with(Base, 5, 1) << 0 << 10 << false << "Label54"
        << "-20";
    QTest::newRow("air byte 1 -> -20 bar")
        << none << with(Base, 5, 1) << 0 << 10 << false << "AirBar"
        << "-20";
    QTest::newRow("pot byte 129 -> 50.2")
        << none << with(Base, 6, 129) << 0 << 10 << false << "Label20"
        << "50.2";
    QTest::newRow("pot bar rounds") << none << with(Base, 6, 129) << 0 << 10 << false << "POTBar"
                                    << "50";
    QTest::newRow("tps label") << none << Base << 0 << 10 << false << "Label19"
                               << "40";
    QTest::newRow("tps 120 pins the bar")
        << none << with(Base, 2, 121) << 0 << 10 << false << "TPSBar"
        << "100";
    QTest::newRow("tps 120 label") << none << with(Base, 2, 121) << 0 << 10 << false << "Label19"
                                   << "120";
    QTest::newRow("water 130 leaves the bar")
        << Base << with(Base, 4, 131) << 0 << 10 << false << "WaterBar"
        << "80";
    QTest::newRow("water 130 label") << Base << with(Base, 4, 131) << 0 << 10 << false << "Label53"
                                     << "130";
    QTest::newRow("battery 126 label")
        << none << with(Base, 7, 127) << 0 << 10 << false << "Label55"
        << "12.6";
    QTest::newRow("battery 126 bar") << none << with(Base, 7, 127) << 0 << 10 << false << "BATBar"
                                     << "126";
    QTest::newRow("battery 12.0 -> 12")
        << none << with(Base, 7, 121) << 0 << 10 << false << "Label55"
        << "12";
    QTest::newRow("lambda 50 right")
        << none << with(Base, 3, 51) << 0 << 10 << false << "LambdaBarR"
        << "0";
    QTest::newRow("lambda 50 left") << none << with(Base, 3, 51) << 0 << 10 << false << "LambdaBarL"
                                    << "0";
    QTest::newRow("lambda 62 right")
        << none << with(Base, 3, 63) << 0 << 10 << false << "LambdaBarR"
        << "12";
    QTest::newRow("lambda 62 left")
        << with(Base, 3, 31) << with(Base, 3, 63) << 0 << 10 << false << "LambdaBarL"
        << "0";
    QTest::newRow("lambda 62 label") << none << with(Base, 3, 63) << 0 << 10 << false << "Label56"
                                     << "0.62";
    QTest::newRow("lambda 30 left") << none << with(Base, 3, 31) << 0 << 10 << false << "LambdaBarL"
                                    << "20";
    QTest::newRow("lambda 30 right")
        << with(Base, 3, 63) << with(Base, 3, 31) << 0 << 10 << false << "LambdaBarR"
        << "0";
    QTest::newRow("injector ms") << none << Base << 0 << 10 << false << "Label10"
                                 << "3.5";
    QTest::newRow("injector bar") << none << Base << 0 << 10 << false << "InjBar"
                                  << "35";
    // 3000 RPM, 6.0 ms: 0.003 s of a 0.02 s revolution = 15 %; a two-stroke doubles it.
    QTest::newRow("duty four-stroke") << none << with(Base, 8, 61) << 0 << 10 << false << "Label13"
                                      << "15";
    QTest::newRow("duty two-stroke") << none << with(Base, 8, 61) << 0 << 10 << true << "Label13"
                                     << "30";
    QTest::newRow("duty two-stroke bar")
        << none << with(Base, 8, 61) << 0 << 10 << true << "InjPers"
        << "30";
    // A reply of five bytes would be completed by the earlier frame's: a missed sample, and
    // every display keeps the earlier frame.
    const QByteArray later = liveFrame(40, 200, 10, 20, 90, 60, 1, 140, 60);
    QTest::newRow("short reply keeps air") << Base << later << 5 << 10 << false << "Label54"
                                           << "25";
    QTest::newRow("short reply keeps water") << Base << later << 5 << 10 << false << "Label53"
                                             << "80";
}

void TestRTFrame::frameToDisplay() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, frame);
    QFETCH(int, shortReply);
    QFETCH(int, sensorRange);
    QFETCH(bool, twoStroke);
    QFETCH(QString, control);
    QFETCH(QString, expected);

    MonitorRig rig;
    MapAxes axes = rig.session.axes();
    axes.mapSensorRange = sensorRange;
    rig.session.setAxes(axes);
    if (twoStroke) rig.session.setSetupValue(emu::model::OffTwoStroke, 2);
    editMaps(rig.session, [](EmuMaps &m) {
        for (int p = 1; p <= 70; ++p)
            m.setValue(MapId::Timing, p, p <= 30 ? 20 : 25);
        for (int p = 1; p <= 32; ++p)
            m.setValue(MapId::VacuumTiming, p, p == 32 ? 3 : 0);
    });

    QList<TRT *> frames;
    std::vector<std::unique_ptr<TRT>> owned;
    for (int i = 0; i < 4; ++i) {
        owned.push_back(std::make_unique<TRT>());
        owned.back()->setObjectName(QStringLiteral("RT%1").arg(i + 1));
        frames << owned.back().get();
    }
    owned[0]->show(); // one on screen, three on hidden tabs
    LivePoll poll(rig.session);
    subscribeLiveDisplays(poll, {frames, {}, nullptr});

    if (!before.isEmpty()) {
        rig.emu.pinLiveFrame(before);
        poll.tick();
    }
    rig.emu.pinLiveFrame(frame);
    if (shortReply > 0)
        rig.emu.setReplyFault(VirtualEmu::ReplyFault::ShortReply, shortReply, 0xFC, 1);
    poll.tick();

    for (TRT *rt : frames)
        QCOMPARE(shown(*rt, control), expected);
}

void TestRTFrame::lambdaTarget_data() {
    QTest::addColumn<double>("volts");
    QTest::addColumn<bool>("rt2Style");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.45") << 0.45 << false << ".45";
    QTest::newRow("0.45 while moving") << 0.45 << true << ".45";
    QTest::newRow("0.25") << 0.25 << false << ".25";
    QTest::newRow("0.57") << 0.57 << false << ".57";
    QTest::newRow("0.75") << 0.75 << true << ".75";
    QTest::newRow("0.5") << 0.5 << false << ".50";
}

void TestRTFrame::lambdaTarget() {
    QFETCH(double, volts);
    QFETCH(bool, rt2Style);
    QFETCH(QString, text);
    TRT rt;
    rt.placeLambdaTarget(volts, rt2Style);
    const int w = rt.LambdaPanel->width();
    const int x = qRound(w * volts); // no halves for these targets
    QCOMPARE(rt.Label6->text(), text);
    QCOMPARE(rt.Shape1->x(), x - qRound(rt.Shape1->width() / 2.0));
    QCOMPARE(rt.Label6->x(), x - qRound(rt.Label6->width() / 2.0) - (rt2Style ? 0 : 1));
    // The marker and its label sit under the lambda bars.
    QVERIFY(rt.Shape1->y() >= rt.LambdaBarL->geometry().bottom());
    QVERIFY(rt.Label6->y() >= rt.Shape1->geometry().bottom());
}

void TestRTFrame::setTargetCaption() {
    TRT rt;
    rt.show();
    QCOMPARE(rt.LambdaCaption->text(), QStringLiteral("Lambda"));
    rt.setTargetEditing(true);
    QCOMPARE(rt.LambdaCaption->text(), QStringLiteral("Set Target"));
    QVERIFY(!rt.Label56->isVisible());
    rt.setTargetEditing(false);
    QCOMPARE(rt.LambdaCaption->text(), QStringLiteral("Lambda"));
    QVERIFY(rt.Label56->isVisible());
}

QTEST_MAIN(TestRTFrame)
#include "tst_rtframe.moc"
