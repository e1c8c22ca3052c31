// The analog gauge: properties and setter rules, dial geometry per style, needle end points,
// face contents on a grab, the face cache, supersampling, redraw rate and its accessible value.
#include "widgets/A3nalogGauge.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <set>

namespace {
constexpr double kRad = 3.14159265358979323846 / 180.0;
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

QPointF polar(QPointF c, double theta, double r) {
    return QPointF(c.x() - r * std::cos(theta * kRad), c.y() - r * std::sin(theta * kRad));
}

// A plain gauge: white face, nothing but what the test switches on.
void plain(TA3nalogGauge &g, TA3nalogGauge::FaceOptions options) {
    g.setFaceColor(kWhite);
    g.setFaceOptions(options);
}

// The same with the needle in white, pointing into the gap of the scale (call after the style
// and the angle are set).
void faceOnly(TA3nalogGauge &g, TA3nalogGauge::FaceOptions options) {
    plain(g, options);
    g.setArrowColor(kWhite);
    g.setPosition(float(g.scale() * (1.0 + (360.0 - g.angle()) / (2.0 * g.angle()))));
}

bool near(QPointF a, QPointF b) {
    return std::abs(a.x() - b.x()) < 1e-6 && std::abs(a.y() - b.y()) < 1e-6;
}
} // namespace

class TstA3nalogGauge : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void geometry_data();
    void geometry();
    void sideStylesLimitAngle();
    void angleRule_data();
    void angleRule();
    void arrowWidthRule_data();
    void arrowWidthRule();
    void scaleRule_data();
    void scaleRule();
    void zoneLimitRule_data();
    void zoneLimitRule();
    void positionEvents();
    void needleEnd_data();
    void needleEnd();
    void needleIsDrawn();
    void tickLabels_data();
    void tickLabels();
    void mainTicksCounted_data();
    void mainTicksCounted();
    void captionAndValuesDrawn();
    void zoneArcColours();
    void faceCachedOverPositionChanges();
    void antiAliasing();
    void antiAliasedNeedleMatchesWholeFilter_data();
    void antiAliasedNeedleMatchesWholeFilter();
    void hiddenGaugeOnlyStores();
    void framesMeasured();
    void minimumSize();
    void accessibleValue();
};

void TstA3nalogGauge::defaults() {
    TA3nalogGauge g;
    QCOMPARE(g.size(), QSize(225, 180));
    QCOMPARE(g.minColor(), QColor(0, 128, 0));
    QCOMPARE(g.midColor(), QColor(255, 255, 0));
    QCOMPARE(g.maxColor(), QColor(255, 0, 0));
    QCOMPARE(g.faceColor(), g.palette().color(QPalette::Button));
    QCOMPARE(g.ticksColor(), kBlack);
    QCOMPARE(g.arrowColor(), kBlack);
    QCOMPARE(g.centerColor(), QColor(128, 128, 128));
    QCOMPARE(g.circleColor(), QColor(0, 0, 255));
    QCOMPARE(g.centerRadius(), 8);
    QCOMPARE(g.circleRadius(), 3);
    QCOMPARE(g.angle(), 120);
    QCOMPARE(g.margin(), 10);
    QCOMPARE(g.style(), TA3nalogGauge::CenterStyle);
    QCOMPARE(g.arrowWidth(), 1);
    QCOMPARE(g.numberMainTicks(), 7);
    QCOMPARE(g.lengthMainTicks(), 15);
    QCOMPARE(g.lengthSubTicks(), 8);
    QCOMPARE(g.position(), 0.0f);
    QCOMPARE(g.scale(), 140);
    QCOMPARE(g.indMinimum(), 30);
    QCOMPARE(g.indMaximum(), 80);
    QCOMPARE(g.caption(), QString("mV"));
    QCOMPARE(g.antiAliased(), TA3nalogGauge::aaNone);
    QCOMPARE(g.frames(), 0);
    const auto o = g.faceOptions();
    QVERIFY(o.testFlag(TA3nalogGauge::ShowMargin));
    QVERIFY(!o.testFlag(TA3nalogGauge::ShowCircles));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowMainTicks));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowSubTicks));
    QVERIFY(!o.testFlag(TA3nalogGauge::ShowIndicatorMin));
    QVERIFY(!o.testFlag(TA3nalogGauge::ShowIndicatorMid));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowIndicatorMax));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowValues));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowCenter));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowFrame));
    QVERIFY(o.testFlag(TA3nalogGauge::Show3D));
    QVERIFY(o.testFlag(TA3nalogGauge::ShowCaption));
}

void TstA3nalogGauge::geometry_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("angle");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPointF>("centre");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("start");
    const int c = TA3nalogGauge::CenterStyle;
    QTest::newRow("centre 270") << c << 270 << QSize(521, 505) << QPointF(260.5, 252) << 250.0
                                << -45.0;
    // round(94.5 / cos 30) = 109, below the limit 165; centre y = 109 + 76 div 2.
    QTest::newRow("centre 120") << c << 120 << QSize(209, 185) << QPointF(104.5, 147) << 109.0
                                << 30.0;
    QTest::newRow("centre 180") << c << 180 << QSize(225, 180) << QPointF(112.5, 90) << 102.0
                                << 0.0;
    QTest::newRow("centre 360") << c << 360 << QSize(225, 181) << QPointF(112.5, 90) << 102.0
                                << -90.0;
    // A narrow sweep would want R = 590: the height limits it to 160.
    QTest::newRow("centre 20, limited")
        << c << 20 << QSize(225, 180) << QPointF(112.5, 170) << 160.0 << 80.0;
    QTest::newRow("left") << int(TA3nalogGauge::LeftStyle) << 90 << QSize(225, 180)
                          << QPointF(10, 170) << 205.0 << 90.0;
    QTest::newRow("right") << int(TA3nalogGauge::RightStyle) << 45 << QSize(225, 180)
                           << QPointF(215, 170) << 205.0 << 0.0;
}

void TstA3nalogGauge::geometry() {
    QFETCH(int, style);
    QFETCH(int, angle);
    QFETCH(QSize, size);
    QFETCH(QPointF, centre);
    QFETCH(double, radius);
    QFETCH(double, start);
    TA3nalogGauge g;
    g.resize(size);
    g.setStyle(TA3nalogGauge::Style(style));
    g.setAngle(angle);
    QCOMPARE(g.angle(), angle);
    QCOMPARE(g.centre(), centre);
    QCOMPARE(g.radius(), radius);
    QCOMPARE(g.startAngle(), start);
    // Drawn twice the size, the dial scales with it.
    const auto big = g.geometryFor(size.width() * 2, size.height() * 2, 2);
    QVERIFY(std::abs(big.centre.x() - 2 * centre.x()) <= 2);
    QVERIFY(std::abs(big.radius - 2 * radius) <= 2);
}

void TstA3nalogGauge::sideStylesLimitAngle() {
    TA3nalogGauge g;
    g.setAngle(270);
    g.setStyle(TA3nalogGauge::RightStyle);
    QCOMPARE(g.angle(), 90);
    g.setAngle(120);
    QCOMPARE(g.angle(), 90);
    g.setAngle(45);
    QCOMPARE(g.angle(), 45);
    g.setStyle(TA3nalogGauge::CenterStyle);
    g.setAngle(300);
    QCOMPARE(g.angle(), 300);
    g.setStyle(TA3nalogGauge::LeftStyle);
    QCOMPARE(g.angle(), 90);
}

void TstA3nalogGauge::angleRule_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("10 refused") << 10 << 120;
    QTest::newRow("11 taken") << 11 << 11;
    QTest::newRow("360 taken") << 360 << 360;
    QTest::newRow("361 refused") << 361 << 120;
    QTest::newRow("negative refused") << -90 << 120;
}

void TstA3nalogGauge::angleRule() {
    QFETCH(int, value);
    QFETCH(int, expected);
    TA3nalogGauge g;
    g.setAngle(value);
    QCOMPARE(g.angle(), expected);
}

void TstA3nalogGauge::arrowWidthRule_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("9 -> 5") << 9 << 5;
    QTest::newRow("0 -> 1") << 0 << 1;
    QTest::newRow("-4 -> 1") << -4 << 1;
    QTest::newRow("3") << 3 << 3;
}

void TstA3nalogGauge::arrowWidthRule() {
    QFETCH(int, value);
    QFETCH(int, expected);
    TA3nalogGauge g;
    g.grab();
    const int faces = g.faceRenders();
    g.setArrowWidth(value);
    QCOMPARE(g.arrowWidth(), expected);
    g.grab();
    QCOMPARE(g.faceRenders(), faces); // the needle only
}

void TstA3nalogGauge::scaleRule_data() {
    QTest::addColumn<int>("indMin");
    QTest::addColumn<int>("indMax");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("expScale");
    QTest::addColumn<int>("expMin");
    QTest::addColumn<int>("expMax");
    QTest::newRow("max pulled below scale") << 1 << 60 << 50 << 50 << 1 << 49;
    QTest::newRow("min follows the rest") << 30 << 80 << 100 << 100 << 20 << 80;
    QTest::newRow("both") << 30 << 80 << 60 << 60 << 1 << 59;
    QTest::newRow("1 ignored") << 30 << 80 << 1 << 140 << 30 << 80;
    QTest::newRow("0 ignored") << 30 << 80 << 0 << 140 << 30 << 80;
    QTest::newRow("larger keeps limits") << 30 << 80 << 200 << 200 << 30 << 80;
}

void TstA3nalogGauge::scaleRule() {
    QFETCH(int, indMin);
    QFETCH(int, indMax);
    QFETCH(int, scale);
    QFETCH(int, expScale);
    QFETCH(int, expMin);
    QFETCH(int, expMax);
    TA3nalogGauge g;
    g.setIndMinimum(indMin);
    g.setIndMaximum(indMax);
    g.setScale(scale);
    QCOMPARE(g.scale(), expScale);
    QCOMPARE(g.indMinimum(), expMin);
    QCOMPARE(g.indMaximum(), expMax);
}

void TstA3nalogGauge::zoneLimitRule_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("taken");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("139") << 139 << true;
    QTest::newRow("140 (the scale)") << 140 << false;
    QTest::newRow("-5") << -5 << false;
}

void TstA3nalogGauge::zoneLimitRule() {
    QFETCH(int, value);
    QFETCH(bool, taken);
    TA3nalogGauge g;
    g.setIndMinimum(value);
    g.setIndMaximum(value);
    QCOMPARE(g.indMinimum(), taken ? value : 30);
    QCOMPARE(g.indMaximum(), taken ? value : 80);
}

void TstA3nalogGauge::positionEvents() {
    TA3nalogGauge g; // zone 30..80
    QSignalSpy over(&g, &TA3nalogGauge::overMax);
    QSignalSpy under(&g, &TA3nalogGauge::overMin);
    QSignalSpy changed(&g, &TA3nalogGauge::positionChanged);
    g.setPosition(50);
    QCOMPARE(over.count(), 0);
    QCOMPARE(under.count(), 0);
    QCOMPARE(changed.count(), 1);
    g.setPosition(80.5f);
    QCOMPARE(over.count(), 1);
    g.setPosition(80.5f); // the same value: nothing
    QCOMPARE(over.count(), 1);
    QCOMPARE(changed.count(), 2);
    g.setPosition(29.9f);
    QCOMPARE(under.count(), 1);
    g.setPosition(500); // beyond the scale: kept as it is
    QCOMPARE(g.position(), 500.0f);
}

void TstA3nalogGauge::needleEnd_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QPointF>("tip");
    const double d = 250 * std::sqrt(0.5);
    QTest::newRow("min, lower left") << 0.0 << QPointF(260.5 - d, 252 + d);
    QTest::newRow("mid, top") << 70.0 << QPointF(260.5, 2);
    QTest::newRow("max, lower right") << 140.0 << QPointF(260.5 + d, 252 + d);
    QTest::newRow("a quarter, left") << 140.0 / 6 << QPointF(10.5, 252);
}

void TstA3nalogGauge::needleEnd() {
    QFETCH(double, value);
    QFETCH(QPointF, tip);
    TA3nalogGauge g;
    g.resize(521, 505);
    g.setAngle(270);
    const QPointF end = g.needleEnd(value);
    QVERIFY2(std::abs(end.x() - tip.x()) < 1e-9 && std::abs(end.y() - tip.y()) < 1e-9,
             qPrintable(QString("%1,%2").arg(end.x()).arg(end.y())));
    g.setPosition(float(value));
    QCOMPARE(g.needleEnd(), g.needleEnd(double(float(value))));
}

void TstA3nalogGauge::needleIsDrawn() {
    TA3nalogGauge g;
    plain(g, {});
    g.setArrowColor(QColor(255, 0, 0));
    g.setArrowWidth(3);
    g.setPosition(70); // straight up on the default 120-degree dial
    QImage img = g.grab().toImage();
    const QPointF mid = (g.centre() + g.needleEnd()) / 2;
    QCOMPARE(img.pixelColor(mid.toPoint()), QColor(255, 0, 0));

    // A position beyond the scale is drawn past its end: Scale 17, 270 degrees, 45.
    g.resize(521, 505);
    g.setAngle(270);
    g.setScale(17);
    g.setPosition(45);
    img = g.grab().toImage();
    const double theta = -45 + 270.0 * 45 / 17; // 669.7: once round and on
    const QPointF tip = polar(g.centre(), theta, g.radius());
    QVERIFY(near(g.needleEnd(), tip));
    const QPointF inner = polar(g.centre(), theta, g.radius() * 0.6);
    QCOMPARE(img.pixelColor(inner.toPoint()), QColor(255, 0, 0));
}

void TstA3nalogGauge::tickLabels_data() {
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("45 in 5") << 45 << 5 << QStringList{"0", "9", "18", "27", "36", "45"};
    QTest::newRow("140 in 7") << 140 << 7
                              << QStringList{"0", "20", "40", "60", "80", "100", "120", "140"};
    QTest::newRow("16 in 4, whole numbers") << 16 << 4 << QStringList{"0", "4", "8", "12", "16"};
    QTest::newRow("10 in 7, truncated")
        << 10 << 7 << QStringList{"0", "1", "2", "4", "5", "7", "8", "10"};
}

void TstA3nalogGauge::tickLabels() {
    QFETCH(int, scale);
    QFETCH(int, ticks);
    QFETCH(QStringList, labels);
    TA3nalogGauge g;
    g.setScale(scale);
    g.setNumberMainTicks(ticks);
    g.setNumberMainTicks(0); // would divide by zero: refused
    QCOMPARE(g.numberMainTicks(), ticks);
    QCOMPARE(g.tickLabels(), labels);
}

void TstA3nalogGauge::mainTicksCounted_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("angle");
    QTest::addColumn<int>("ticks");
    QTest::newRow("centre 270, 7") << int(TA3nalogGauge::CenterStyle) << 270 << 7;
    QTest::newRow("centre 120, 5") << int(TA3nalogGauge::CenterStyle) << 120 << 5;
    QTest::newRow("right 45, 5") << int(TA3nalogGauge::RightStyle) << 45 << 5;
    QTest::newRow("left 90, 4") << int(TA3nalogGauge::LeftStyle) << 90 << 4;
}

void TstA3nalogGauge::mainTicksCounted() {
    QFETCH(int, style);
    QFETCH(int, angle);
    QFETCH(int, ticks);
    TA3nalogGauge g;
    g.resize(521, 505);
    g.setStyle(TA3nalogGauge::Style(style));
    g.setAngle(angle);
    g.setNumberMainTicks(ticks);
    faceOnly(g, TA3nalogGauge::ShowMainTicks | TA3nalogGauge::ShowSubTicks);
    const QImage img = g.grab().toImage();
    // Walk the circle between the sub ticks' and the main ticks' inner ends: only main ticks
    // cross it.
    const double r = g.radius() - 12;
    int runs = 0;
    bool inRun = false;
    for (double t = g.startAngle() - 3; t <= g.startAngle() + angle + 3; t += 0.05) {
        // A one-pixel line drawn diagonally only touches corners: look at the neighbours too.
        const QPoint p = polar(g.centre(), t, r).toPoint();
        bool dark = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint q = p + QPoint(dx, dy);
                dark = dark || (img.rect().contains(q) && qGray(img.pixel(q)) < 128);
            }
        if (dark && !inRun) ++runs;
        inRun = dark;
    }
    QCOMPARE(runs, ticks + 1);
}

void TstA3nalogGauge::captionAndValuesDrawn() {
    TA3nalogGauge g;
    g.resize(521, 505);
    g.setAngle(270);
    g.setScale(45);
    g.setNumberMainTicks(5);
    g.setCaption("Degrees");
    g.setCaptionColor(QColor(255, 0, 0));
    g.setValueColor(QColor(0, 0, 255));
    faceOnly(g, TA3nalogGauge::ShowCaption | TA3nalogGauge::ShowValues);
    const QImage img = g.grab().toImage();
    const QFontMetrics fm(g.font());

    auto count = [&img](QRect box, auto pred) {
        int n = 0;
        box &= img.rect();
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                n += pred(img.pixelColor(x, y));
        return n;
    };
    auto reddish = [](QColor c) { return c.red() > 200 && c.green() < 120 && c.blue() < 120; };
    auto bluish = [](QColor c) { return c.blue() > 200 && c.red() < 120 && c.green() < 120; };

    // The caption hangs below the point halfway out on the middle of the sweep.
    const QPointF cap = polar(g.centre(), g.startAngle() + 135, g.radius() / 2);
    const int capWidth = fm.horizontalAdvance("Degrees");
    QVERIFY(count(QRect(int(cap.x()) - capWidth / 2, int(cap.y()), capWidth, fm.height()),
                  reddish) > 10);
    QCOMPARE(count(img.rect(), bluish) > 0, true);

    // Every main tick number sits inside the dial at its tick.
    const QStringList labels = g.tickLabels();
    QCOMPARE(labels.size(), 6);
    for (int j = 0; j < labels.size(); ++j) {
        const double t = g.startAngle() + 270.0 * j / 5;
        const QPointF at = polar(g.centre(), t, g.radius() - 20);
        const int tw = fm.horizontalAdvance(labels[j]);
        const QRect box(int(at.x()) - tw / 2 - j - 2, int(at.y()) - 2, tw + 2 * j + 4,
                        fm.height() + 4);
        QVERIFY2(count(box, bluish) > 3, qPrintable(labels[j]));
    }
    // Nothing blue away from the numbers: the centre of the dial.
    QCOMPARE(count(QRect(250, 240, 20, 20), bluish), 0);
}

void TstA3nalogGauge::zoneArcColours() {
    TA3nalogGauge g; // zones 30..80 of 140 on 120 degrees
    faceOnly(g, TA3nalogGauge::ShowIndicatorMin | TA3nalogGauge::ShowIndicatorMid |
                    TA3nalogGauge::ShowIndicatorMax);
    g.setMinColor(QColor(0, 0, 255));
    g.setMidColor(QColor(0, 255, 0));
    g.setMaxColor(QColor(255, 0, 0));
    const QImage img = g.grab().toImage();
    auto onArc = [&](double value) {
        return img.pixelColor(
            polar(g.centre(), g.startAngle() + 120 * value / 140, g.radius()).toPoint());
    };
    QCOMPARE(onArc(15), QColor(0, 0, 255));
    QCOMPARE(onArc(55), QColor(0, 255, 0));
    QCOMPARE(onArc(110), QColor(255, 0, 0));
    // Only the max zone by default.
    g.setFaceOptions(TA3nalogGauge::ShowIndicatorMax);
    const QImage img2 = g.grab().toImage();
    QCOMPARE(
        img2.pixelColor(polar(g.centre(), g.startAngle() + 120 * 15 / 140.0, g.radius()).toPoint()),
        kWhite);
}

void TstA3nalogGauge::faceCachedOverPositionChanges() {
    TA3nalogGauge g;
    g.grab();
    const int faces = g.faceRenders();
    const int needles = g.needleRenders();
    QCOMPARE(faces, 1);
    for (int i = 1; i <= 10; ++i) {
        g.setPosition(i * 10);
        g.grab();
    }
    QCOMPARE(g.faceRenders(), faces);
    QCOMPARE(g.needleRenders(), needles + 10);
    // A needle-only property leaves the face alone too.
    g.setArrowColor(QColor(255, 0, 0));
    g.setCenterRadius(5);
    g.grab();
    QCOMPARE(g.faceRenders(), faces);
    // A face property, a font or a size change draws the face again.
    g.setTicksColor(QColor(0, 0, 255));
    g.grab();
    QCOMPARE(g.faceRenders(), faces + 1);
    QFont f = g.font();
    f.setPixelSize(20);
    g.setFont(f);
    g.grab();
    QCOMPARE(g.faceRenders(), faces + 2);
    g.resize(300, 200);
    g.grab();
    QCOMPARE(g.faceRenders(), faces + 3);
    // Several changes before one paint cost one face.
    g.setCaption("RPM x 100");
    g.setScale(70);
    g.setIndMaximum(60);
    g.grab();
    QCOMPARE(g.faceRenders(), faces + 4);
}

void TstA3nalogGauge::antiAliasing() {
    TA3nalogGauge g;
    plain(g, TA3nalogGauge::ShowCenter);
    g.setCenterColor(kBlack);
    g.setPosition(33);
    auto colours = [&g] {
        const QImage img = g.grab().toImage();
        std::set<QRgb> seen;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                seen.insert(img.pixel(x, y));
        return seen;
    };
    // Without supersampling only the face and the needle's own colour appear.
    QCOMPARE(colours().size(), size_t(2));
    for (auto aa : {TA3nalogGauge::aaBiline, TA3nalogGauge::aaTriline, TA3nalogGauge::aaQuadral}) {
        g.setAntiAliased(aa);
        QCOMPARE(g.supersampling(), int(aa) + 1);
        QCOMPARE(g.shownImage().size(), g.size());
        const auto seen = colours();
        QVERIFY(seen.size() > 2); // greys along the edges
        for (QRgb c : seen)
            QVERIFY(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
        // Interior pixels of the hub stay black, the far corner white.
        const QImage img = g.grab().toImage();
        QCOMPARE(img.pixelColor(g.centre().toPoint()), kBlack);
        QCOMPARE(img.pixelColor(2, 2), kWhite);
    }
    g.setAntiAliased(TA3nalogGauge::aaNone);
    QCOMPARE(colours().size(), size_t(2));
}

void TstA3nalogGauge::antiAliasedNeedleMatchesWholeFilter_data() {
    QTest::addColumn<int>("aa");
    QTest::addColumn<float>("position");
    for (int aa = 1; aa <= 3; ++aa)
        for (float p : {0.0f, 17.5f, 35.0f, 70.0f, 105.0f, 140.0f, 160.0f, -30.0f}) {
            const QString name = QString("k=%1 at %2").arg(aa + 1).arg(double(p));
            QTest::newRow(qPrintable(name)) << aa << p;
        }
}

void TstA3nalogGauge::antiAliasedNeedleMatchesWholeFilter() {
    // The needle is drawn supersampled only around itself; the picture must be exactly the box
    // filter of the whole supersampled face with the needle on it. On a plain white face that
    // reference is a white image k times larger with the same needle drawn on it.
    QFETCH(int, aa);
    QFETCH(float, position);
    TA3nalogGauge g;
    plain(g, TA3nalogGauge::ShowCenter);
    g.setAngle(270);
    g.setArrowWidth(3);
    g.setArrowColor(QColor(200, 0, 0));
    g.setCenterColor(QColor(0, 0, 160));
    g.setAntiAliased(TA3nalogGauge::AntiAliased(aa));
    g.setPosition(position);
    const int k = g.supersampling();

    QImage big(g.size() * k, QImage::Format_RGB32);
    big.fill(kWhite);
    {
        const TA3nalogGauge::Geometry geo = g.geometryFor(big.width(), big.height(), k);
        QPainter p(&big);
        p.setPen(QPen(g.arrowColor(), g.arrowWidth() * k));
        p.drawLine(geo.centre,
                   polar(geo.centre, geo.startAngle + geo.sweep * position / 140.0, geo.radius));
        p.setPen(Qt::NoPen);
        p.setBrush(g.centerColor());
        p.drawEllipse(geo.centre, 8.0 * k, 8.0 * k);
    }
    QImage expected(g.size(), QImage::Format_RGB32);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            int r = 0, gr = 0, b = 0;
            for (int dy = 0; dy < k; ++dy)
                for (int dx = 0; dx < k; ++dx) {
                    const QRgb c = big.pixel(x * k + dx, y * k + dy);
                    r += qRed(c);
                    gr += qGreen(c);
                    b += qBlue(c);
                }
            expected.setPixel(x, y, qRgb(r / (k * k), gr / (k * k), b / (k * k)));
        }
    const QImage shown = g.shownImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, expected);
    // What reaches the screen is the same picture.
    QCOMPARE(g.grab().toImage().convertToFormat(QImage::Format_RGB32), expected);
}

void TstA3nalogGauge::hiddenGaugeOnlyStores() {
    TA3nalogGauge g;
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QTRY_COMPARE(g.faceRenders(), 1);
    int needles = g.needleRenders();
    g.setPosition(42);
    QTRY_COMPARE(g.needleRenders(), needles + 1);

    g.hide();
    needles = g.needleRenders();
    g.setPosition(50);
    g.setPosition(60);
    QTest::qWait(50);
    QCOMPARE(g.needleRenders(), needles);
    QCOMPARE(g.position(), 60.0f);
    g.show();
    QTRY_COMPARE(g.needleRenders(), needles + 1);
    QCOMPARE(g.faceRenders(), 1);
}

void TstA3nalogGauge::framesMeasured() {
    TA3nalogGauge g;
    QSignalSpy spy(&g, &TA3nalogGauge::framesChanged);
    g.grab();
    QVERIFY(g.frames() > 0);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), g.frames());
}

void TstA3nalogGauge::minimumSize() {
    TA3nalogGauge g;
    g.resize(10, 10);
    QCOMPARE(g.size(), QSize(60, 50));
    QCOMPARE(g.shownImage().size(), QSize(60, 50));
}

void TstA3nalogGauge::accessibleValue() {
    TA3nalogGauge g;
    g.setCaption("RPM x 100");
    g.setScale(70);
    g.setPosition(25.5f);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&g);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QString("RPM x 100"));
    QAccessibleValueInterface *value = iface->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toDouble(), 25.5);
    QCOMPARE(value->maximumValue().toInt(), 70);
    g.setPosition(61);
    QCOMPARE(value->currentValue().toDouble(), 61.0);
    g.setCaption("Degrees");
    QCOMPARE(iface->text(QAccessible::Name), QString("Degrees"));
}

QTEST_MAIN(TstA3nalogGauge)
#include "tst_a3naloggauge.moc"
