// The bar indicator: properties, position rules, fill geometry, gradient placement, border,
// position text, redraw economy and its accessible value.
#include "widgets/ALProgressBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

QRgb at(const QImage &img, int x, int y) {
    return img.pixel(x, y) & 0xffffff;
}
QRgb rgb(const QColor &c) {
    return c.rgb() & 0xffffff;
}
} // namespace

class TstALProgressBar : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void setPosition_data();
    void setPosition();
    void rangeChangeKeepsFillInside();
    void fillGeometry_data();
    void fillGeometry();
    void fillPixels_data();
    void fillPixels();
    void threeColourGradientStaysInPlace();
    void twoColourGradientEnds_data();
    void twoColourGradientEnds();
    void border();
    void barBitmapIsTiledAndOwned();
    void positionText_data();
    void positionText();
    void positionTextIsDrawn();
    void interpolate_data();
    void interpolate();
    void patternBuiltOnlyOnLookChange();
    void hiddenBarOnlyStores();
    void accessibleValue();
};

void TstALProgressBar::defaults() {
    TALProgressBar bar;
    QCOMPARE(bar.size(), QSize(200, 20));
    QCOMPARE(bar.barColor1(), kGreen);
    QCOMPARE(bar.barColor2(), QColor(255, 255, 0));
    QCOMPARE(bar.barColor3(), kRed);
    QCOMPARE(bar.barColorStyle(), TALProgressBar::cs3Colors);
    QCOMPARE(bar.direction(), TALProgressBar::pdLeftToRight);
    QCOMPARE(bar.min(), 0);
    QCOMPARE(bar.max(), 100);
    QCOMPARE(bar.position(), 0);
    QVERIFY(!bar.percentage());
    QVERIFY(bar.showBorder());
    QVERIFY(bar.showPosText());
    QVERIFY(bar.posTextPrefix().isEmpty());
    QVERIFY(bar.posTextSuffix().isEmpty());
    QVERIFY(bar.barBitmap().isNull());
    QCOMPARE(bar.backgroundColor(), bar.palette().color(QPalette::Button));
    // The properties are reachable by their names too.
    QCOMPARE(bar.property("Max").toInt(), 100);
    QVERIFY(bar.setProperty("Position", 42));
    QCOMPARE(bar.position(), 42);
}

void TstALProgressBar::setPosition_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("signalled");
    QTest::newRow("inside") << 0 << 120 << 10 << 60 << 60 << true;
    QTest::newRow("at max") << 0 << 120 << 10 << 120 << 120 << true;
    QTest::newRow("at min") << 0 << 120 << 10 << 0 << 0 << true;
    QTest::newRow("above max keeps") << 0 << 120 << 10 << 130 << 10 << false;
    QTest::newRow("below min keeps") << -20 << 100 << 30 << -21 << 30 << false;
    QTest::newRow("negative inside") << -20 << 100 << 30 << -20 << -20 << true;
    QTest::newRow("same value") << 0 << 100 << 50 << 50 << 50 << false;
}

void TstALProgressBar::setPosition() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, start);
    QFETCH(int, value);
    QFETCH(int, expected);
    QFETCH(bool, signalled);
    TALProgressBar bar;
    bar.setMin(min);
    bar.setMax(max);
    bar.setPosition(start);
    QCOMPARE(bar.position(), start);
    QSignalSpy spy(&bar, &TALProgressBar::positionChanged);
    bar.setPosition(value);
    QCOMPARE(bar.position(), expected);
    QCOMPARE(spy.count(), signalled ? 1 : 0);
}

void TstALProgressBar::rangeChangeKeepsFillInside() {
    TALProgressBar bar;
    bar.setShowBorder(false);
    bar.setPosition(80);
    QCOMPARE(bar.filledLength(), 160);
    // Lowering Max below the position keeps the position but never overfills the track.
    bar.setMax(50);
    QCOMPARE(bar.position(), 80);
    QCOMPARE(bar.filledLength(), 200);
    QCOMPARE(bar.fillRect(), QRect(0, 0, 200, 20));
    // Raising Min above it empties the bar.
    bar.setMax(100);
    bar.setMin(90);
    QCOMPARE(bar.filledLength(), 0);
    // Min = Max: empty whatever the position.
    bar.setMin(80);
    bar.setMax(80);
    QCOMPARE(bar.filledLength(), 0);
}

void TstALProgressBar::fillGeometry_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("border");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("track");
    QTest::addColumn<QRect>("fill");
    // 145 high with border: L = 143, round(71.5) = 72 (halves to even).
    QTest::newRow("bottom to top, tie up") << int(TALProgressBar::pdBottomToTop) << QSize(33, 145)
                                           << true << 0 << 120 << 60 << 143 << QRect(1, 72, 31, 72);
    // L = 141: round(70.5) = 70.
    QTest::newRow("bottom to top, tie down")
        << int(TALProgressBar::pdBottomToTop) << QSize(33, 143) << true << 0 << 120 << 60 << 141
        << QRect(1, 72, 31, 70);
    QTest::newRow("left to right, no border")
        << int(TALProgressBar::pdLeftToRight) << QSize(200, 20) << false << 0 << 100 << 50 << 200
        << QRect(0, 0, 100, 20);
    // L = 98: round(24.5) = 24, at the right end.
    QTest::newRow("right to left") << int(TALProgressBar::pdRightToLeft) << QSize(100, 10) << true
                                   << 0 << 100 << 25 << 98 << QRect(75, 1, 24, 8);
    QTest::newRow("top to bottom, negative min")
        << int(TALProgressBar::pdTopToBottom) << QSize(20, 50) << false << -20 << 100 << 40 << 50
        << QRect(0, 0, 20, 25);
    QTest::newRow("at min is empty") << int(TALProgressBar::pdLeftToRight) << QSize(200, 20) << true
                                     << 80 << 160 << 80 << 198 << QRect(1, 1, 0, 18);
    QTest::newRow("full") << int(TALProgressBar::pdBottomToTop) << QSize(33, 145) << true << 0
                          << 120 << 120 << 143 << QRect(1, 1, 31, 143);
}

void TstALProgressBar::fillGeometry() {
    QFETCH(int, direction);
    QFETCH(QSize, size);
    QFETCH(bool, border);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, pos);
    QFETCH(int, track);
    QFETCH(QRect, fill);
    TALProgressBar bar;
    bar.resize(size);
    bar.setDirection(TALProgressBar::Direction(direction));
    bar.setShowBorder(border);
    bar.setMin(min);
    bar.setMax(max);
    bar.setPosition(pos);
    QCOMPARE(bar.trackLength(), track);
    QCOMPARE(bar.fillRect(), fill);
}

void TstALProgressBar::fillPixels_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("filled");
    QTest::addColumn<QPoint>("open");
    // 50 of 100 on a bar without border: half the track is filled.
    QTest::newRow("left to right")
        << int(TALProgressBar::pdLeftToRight) << QSize(100, 10) << QPoint(49, 5) << QPoint(50, 5);
    QTest::newRow("right to left")
        << int(TALProgressBar::pdRightToLeft) << QSize(100, 10) << QPoint(50, 5) << QPoint(49, 5);
    QTest::newRow("bottom to top")
        << int(TALProgressBar::pdBottomToTop) << QSize(10, 100) << QPoint(5, 50) << QPoint(5, 49);
    QTest::newRow("top to bottom")
        << int(TALProgressBar::pdTopToBottom) << QSize(10, 100) << QPoint(5, 49) << QPoint(5, 50);
}

void TstALProgressBar::fillPixels() {
    QFETCH(int, direction);
    QFETCH(QSize, size);
    QFETCH(QPoint, filled);
    QFETCH(QPoint, open);
    TALProgressBar bar;
    bar.resize(size);
    bar.setShowBorder(false);
    bar.setShowPosText(false);
    bar.setBarColorStyle(TALProgressBar::cs1Color);
    bar.setBarColor1(kBlue);
    bar.setBackgroundColor(kWhite);
    bar.setDirection(TALProgressBar::Direction(direction));
    bar.setPosition(50);
    const QImage img = bar.grab().toImage();
    QCOMPARE(at(img, filled.x(), filled.y()), rgb(kBlue));
    QCOMPARE(at(img, open.x(), open.y()), rgb(kWhite));
}

void TstALProgressBar::threeColourGradientStaysInPlace() {
    // Blue, green, red bottom to top on 33 x 145 without border: the lower 73 rows run from blue
    // at the bottom to green, the upper 72 rows from green to red at the top.
    TALProgressBar bar;
    bar.resize(33, 145);
    bar.setShowBorder(false);
    bar.setShowPosText(false);
    bar.setDirection(TALProgressBar::pdBottomToTop);
    bar.setBarColor1(kBlue);
    bar.setBarColor2(kGreen);
    bar.setBarColor3(kRed);
    bar.setBackgroundColor(kWhite);
    bar.setMax(120);
    bar.setPosition(60); // round(72.5) = 72 rows: 73..144
    QImage img = bar.grab().toImage();
    QCOMPARE(at(img, 16, 144), rgb(kBlue));
    // Row 73 is line 2 of the 73-line run from green to blue.
    QCOMPARE(at(img, 16, 73), qRgb(0, 126, 4) & 0xffffff);
    QCOMPARE(at(img, 16, 72), rgb(kWhite));

    bar.setPosition(120);
    img = bar.grab().toImage();
    QCOMPARE(at(img, 16, 144), rgb(kBlue));
    QCOMPARE(at(img, 16, 73), qRgb(0, 126, 4) & 0xffffff); // unchanged as the bar grows
    QCOMPARE(at(img, 16, 72), rgb(kGreen));
    QCOMPARE(at(img, 16, 71), rgb(kGreen));
    QCOMPARE(at(img, 16, 0), rgb(kRed));
}

void TstALProgressBar::twoColourGradientEnds_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::newRow("left to right")
        << int(TALProgressBar::pdLeftToRight) << QSize(200, 20) << QPoint(0, 10) << QPoint(199, 10);
    QTest::newRow("right to left")
        << int(TALProgressBar::pdRightToLeft) << QSize(200, 20) << QPoint(199, 10) << QPoint(0, 10);
    QTest::newRow("bottom to top")
        << int(TALProgressBar::pdBottomToTop) << QSize(20, 200) << QPoint(10, 199) << QPoint(10, 0);
    QTest::newRow("top to bottom")
        << int(TALProgressBar::pdTopToBottom) << QSize(20, 200) << QPoint(10, 0) << QPoint(10, 199);
}

void TstALProgressBar::twoColourGradientEnds() {
    QFETCH(int, direction);
    QFETCH(QSize, size);
    QFETCH(QPoint, start);
    QFETCH(QPoint, end);
    TALProgressBar bar;
    bar.resize(size);
    bar.setShowBorder(false);
    bar.setShowPosText(false);
    bar.setBarColorStyle(TALProgressBar::cs2Colors);
    bar.setBarColor1(kBlue);
    bar.setBarColor2(kRed);
    bar.setDirection(TALProgressBar::Direction(direction));
    bar.setPosition(100);
    const QImage img = bar.grab().toImage();
    QCOMPARE(at(img, start.x(), start.y()), rgb(kBlue));
    QCOMPARE(at(img, end.x(), end.y()), rgb(kRed));
}

void TstALProgressBar::border() {
    TALProgressBar bar;
    bar.setShowPosText(false);
    bar.setBorderColor1(kRed);
    bar.setBorderColor2(kBlue);
    bar.setPosition(50);
    QImage img = bar.grab().toImage();
    QCOMPARE(at(img, 150, 0), rgb(kRed));   // top
    QCOMPARE(at(img, 0, 10), rgb(kRed));    // left
    QCOMPARE(at(img, 50, 19), rgb(kBlue));  // bottom
    QCOMPARE(at(img, 199, 10), rgb(kBlue)); // right
    QCOMPARE(at(img, 199, 0), rgb(kRed));   // the top line ends in the top-right corner
    QCOMPARE(at(img, 199, 19), rgb(kBlue)); // bottom-right corner
    // A tall one-colour bar on a white background, as in the real-time frame: the whole length
    // of all four edges, whatever the fill.
    TALProgressBar tall;
    tall.resize(28, 74);
    tall.setShowPosText(false);
    tall.setDirection(TALProgressBar::pdBottomToTop);
    tall.setBarColorStyle(TALProgressBar::cs1Color);
    tall.setBarColor1(kGreen);
    tall.setBackgroundColor(kWhite);
    tall.setBorderColor1(kRed);
    tall.setBorderColor2(kBlue);
    for (int pos : {0, 50, 100}) {
        tall.setPosition(pos);
        const QImage t = tall.grab().toImage();
        for (int x = 1; x < 27; ++x) {
            QCOMPARE(at(t, x, 0), rgb(kRed));
            QCOMPARE(at(t, x, 73), rgb(kBlue));
        }
        for (int y = 1; y < 73; ++y) {
            QCOMPARE(at(t, 0, y), rgb(kRed));
            QCOMPARE(at(t, 27, y), rgb(kBlue));
        }
    }
    // The fill starts inside the border: 99 of the 198 track pixels.
    QCOMPARE(bar.fillRect(), QRect(1, 1, 99, 18));
    bar.setShowBorder(false);
    img = bar.grab().toImage();
    QVERIFY(at(img, 150, 0) != rgb(kRed));
    QCOMPARE(bar.fillRect(), QRect(0, 0, 100, 20));
}

void TstALProgressBar::barBitmapIsTiledAndOwned() {
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.setPixel(0, 0, qRgb(10, 20, 30));
    tile.setPixel(1, 0, qRgb(40, 50, 60));
    tile.setPixel(0, 1, qRgb(70, 80, 90));
    tile.setPixel(1, 1, qRgb(100, 110, 120));
    TALProgressBar bar;
    bar.setShowPosText(false);
    bar.setBarBitmap(tile);
    tile.fill(Qt::black); // the bar keeps its own copy
    bar.setPosition(100);
    const QImage img = bar.grab().toImage();
    // Tiled from the control's top-left corner, under the border.
    QCOMPARE(at(img, 1, 1), qRgb(100, 110, 120) & 0xffffff);
    QCOMPARE(at(img, 2, 1), qRgb(70, 80, 90) & 0xffffff);
    QCOMPARE(at(img, 52, 2), qRgb(10, 20, 30) & 0xffffff);
}

void TstALProgressBar::positionText_data() {
    QTest::addColumn<bool>("percentage");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << false << 0 << 250 << 125 << "<125 ms>";
    QTest::newRow("percentage of max") << true << 80 << 160 << 120 << "<75 ms>";
    QTest::newRow("percentage tie to even") << true << 0 << 200 << 1 << "<0 ms>";
    QTest::newRow("percentage, max 0") << true << -10 << 0 << -5 << "<0 ms>";
}

void TstALProgressBar::positionText() {
    QFETCH(bool, percentage);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, pos);
    QFETCH(QString, text);
    TALProgressBar bar;
    bar.setPercentage(percentage);
    bar.setMin(min);
    bar.setMax(max);
    bar.setPosition(pos);
    bar.setPosTextPrefix("<");
    bar.setPosTextSuffix(" ms>");
    QCOMPARE(bar.positionText(), text);
}

void TstALProgressBar::positionTextIsDrawn() {
    TALProgressBar bar;
    bar.setBarColorStyle(TALProgressBar::cs1Color);
    bar.setBarColor1(kWhite);
    bar.setBackgroundColor(kWhite);
    bar.setPosition(88);
    auto inkInMiddle = [&bar] {
        const QImage img = bar.grab().toImage();
        int ink = 0;
        for (int y = 2; y < 18; ++y)
            for (int x = 70; x < 130; ++x)
                ink += qGray(img.pixel(x, y)) < 128;
        return ink;
    };
    QVERIFY(inkInMiddle() > 0);
    bar.setShowPosText(false);
    QCOMPARE(inkInMiddle(), 0);
}

void TstALProgressBar::interpolate_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("expected");
    QTest::newRow("first line is a") << 0 << 255 << 1 << 10 << 0;
    QTest::newRow("last line is b") << 0 << 255 << 10 << 10 << 255;
    QTest::newRow("tie rounds to even, up") << 0 << 3 << 2 << 3 << 2;
    QTest::newRow("tie rounds to even, down") << 0 << 1 << 2 << 3 << 0;
    QTest::newRow("falling") << 128 << 0 << 2 << 73 << 126;
    QTest::newRow("single line") << 40 << 200 << 1 << 1 << 40;
}

void TstALProgressBar::interpolate() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, k);
    QFETCH(int, n);
    QFETCH(int, expected);
    const QColor c = TALProgressBar::interpolate(QColor(a, a, 0), QColor(b, b, 0), k, n);
    QCOMPARE(c.red(), expected);
    QCOMPARE(c.green(), expected);
    QCOMPARE(c.blue(), 0);
}

void TstALProgressBar::patternBuiltOnlyOnLookChange() {
    TALProgressBar bar;
    bar.grab();
    const int builds = bar.patternBuilds();
    for (int i = 1; i <= 20; ++i) {
        bar.setPosition(i * 5);
        bar.grab();
    }
    QCOMPARE(bar.patternBuilds(), builds);
    bar.setBarColor2(kBlue);
    bar.grab();
    QCOMPARE(bar.patternBuilds(), builds + 1);
    bar.resize(150, 20);
    bar.grab();
    QCOMPARE(bar.patternBuilds(), builds + 2);
}

void TstALProgressBar::hiddenBarOnlyStores() {
    TALProgressBar bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QTRY_VERIFY(bar.paints() > 0);
    QTest::qWait(20);

    int paints = bar.paints();
    bar.setPosition(40);
    QTRY_VERIFY(bar.paints() > paints);

    // The same position again schedules nothing.
    paints = bar.paints();
    bar.setPosition(40);
    bar.setPosition(400); // out of range: nothing either
    QTest::qWait(50);
    QCOMPARE(bar.paints(), paints);

    bar.hide();
    paints = bar.paints();
    bar.setPosition(70);
    QTest::qWait(50);
    QCOMPARE(bar.paints(), paints);
    QCOMPARE(bar.position(), 70);

    bar.show();
    QTRY_VERIFY(bar.paints() > paints);
    QCOMPARE(bar.fillRect().width(), 139); // 70 % of 198
}

void TstALProgressBar::accessibleValue() {
    TALProgressBar bar;
    bar.setAccessibleName("Water");
    bar.setMin(-20);
    bar.setMax(100);
    bar.setPosition(37);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&bar);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QString("Water"));
    QCOMPARE(iface->text(QAccessible::Value), QString("37"));
    QAccessibleValueInterface *value = iface->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toInt(), 37);
    QCOMPARE(value->minimumValue().toInt(), -20);
    QCOMPARE(value->maximumValue().toInt(), 100);
    bar.setPosition(-5);
    QCOMPARE(value->currentValue().toInt(), -5);
    value->setCurrentValue(50); // read-only indicator
    QCOMPARE(bar.position(), -5);
}

QTEST_MAIN(TstALProgressBar)
#include "tst_alprogressbar.moc"
