// The auto-size label stretches its text over its whole box, in four directions.
#include "widgets/Autosize.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

class CountingLabel : public TAutoSizeLabel {
public:
    using TAutoSizeLabel::TAutoSizeLabel;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *e) override {
        ++paints;
        TAutoSizeLabel::paintEvent(e);
    }
};

void prepare(TAutoSizeLabel &l) {
    QPalette pal = l.palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    l.setPalette(pal);
    l.setAutoFillBackground(true);
}

QImage draw(TAutoSizeLabel &l) {
    QImage img(l.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    l.render(&img);
    return img;
}

// Bounding box of the dark pixels.
QRect ink(const QImage &img) {
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 160) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

class TestAutoSize : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void fillsItsBox_data();
    void fillsItsBox();
    void fontSizeDoesNotMatter();
    void boxSizeDoes();
    void equalValuesDoNotRepaint();
    void emptyTextDrawsNothing();
    void exposesTextToAccessibility();
};

void TestAutoSize::defaults() {
    TAutoSizeLabel l;
    QCOMPARE(l.angle(), TAutoSizeLabel::ta0);
    QCOMPARE(l.labelText(), QStringLiteral("Merhaba"));
    QCOMPARE(l.size(), QSize(200, 200));
    QCOMPARE(l.font().family(), QStringLiteral("Arial"));
    QVERIFY(l.text().isEmpty()); // the inherited caption stays empty
    QCOMPARE(l.property("Angle").toInt(), int(TAutoSizeLabel::ta0));
}

void TestAutoSize::fillsItsBox_data() {
    QTest::addColumn<int>("angle");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QString>("text");
    // Where the run must lie: the edge it hugs and the direction it spans.
    QTest::newRow("0, wide box") << 0 << QSize(160, 30) << "Sensitivity";
    QTest::newRow("90, Max RPM 12x70") << 1 << QSize(12, 70) << "Max RPM";
    QTest::newRow("90, % Enrichment 13x98") << 1 << QSize(13, 98) << "% Enrichment";
    QTest::newRow("180") << 2 << QSize(120, 24) << "Idle Jet";
    QTest::newRow("270") << 3 << QSize(13, 90) << "Main Jet";
}

void TestAutoSize::fillsItsBox() {
    QFETCH(int, angle);
    QFETCH(QSize, box);
    QFETCH(QString, text);
    TAutoSizeLabel l;
    prepare(l);
    l.setAngle(TAutoSizeLabel::TextAngle(angle));
    l.setLabelText(text);
    l.resize(box);
    const QRect r = ink(draw(l));
    QVERIFY2(!r.isNull(), "nothing drawn");
    const bool upright = angle % 2 == 0;
    const int length = upright ? box.width() : box.height();
    const int run = upright ? r.width() : r.height();
    // The run covers most of the box's length and stays inside the box.
    QVERIFY2(run >= length * 0.75, qPrintable(QStringLiteral("run %1 of %2").arg(run).arg(length)));
    QVERIFY(QRect(QPoint(0, 0), box).contains(r));
    // The text starts at its corner: 90 reads upwards from the bottom, 270 downwards from the top.
    if (angle == 1) QVERIFY(r.bottom() >= box.height() - 8);
    if (angle == 3) QVERIFY(r.top() <= 8);
    if (angle == 0) QVERIFY(r.left() <= 4);
    if (angle == 2) QVERIFY(r.right() >= box.width() - 5);
}

void TestAutoSize::fontSizeDoesNotMatter() {
    TAutoSizeLabel a, b;
    for (TAutoSizeLabel *l : {&a, &b}) {
        prepare(*l);
        l->setAngle(TAutoSizeLabel::ta90);
        l->setLabelText(QStringLiteral("Max RPM"));
        l->resize(12, 70);
    }
    QFont small = a.font();
    small.setPointSize(6);
    a.setFont(small);
    QFont big = b.font();
    big.setPointSize(40);
    b.setFont(big);
    QCOMPARE(draw(a), draw(b));
}

void TestAutoSize::boxSizeDoes() {
    TAutoSizeLabel l;
    prepare(l);
    l.setAngle(TAutoSizeLabel::ta90);
    l.setLabelText(QStringLiteral("Max RPM"));
    l.resize(12, 70);
    const QRect small = ink(draw(l));
    l.resize(12, 98);
    const QRect tall = ink(draw(l));
    QVERIFY(tall.height() > small.height() + 15);
}

void TestAutoSize::equalValuesDoNotRepaint() {
    CountingLabel l;
    l.resize(40, 40);
    l.show();
    QVERIFY(QTest::qWaitForWindowExposed(&l));
    QCoreApplication::processEvents();
    const int before = l.paints;
    l.setLabelText(l.labelText());
    l.setAngle(l.angle());
    QCoreApplication::processEvents();
    QCOMPARE(l.paints, before);
    l.setLabelText(QStringLiteral("Idle Jet"));
    QTRY_VERIFY(l.paints > before);
    const int after = l.paints;
    l.setAngle(TAutoSizeLabel::ta270);
    QTRY_VERIFY(l.paints > after);
}

void TestAutoSize::emptyTextDrawsNothing() {
    TAutoSizeLabel l;
    prepare(l);
    l.setLabelText(QString());
    for (int a = 0; a < 4; ++a) {
        l.setAngle(TAutoSizeLabel::TextAngle(a));
        QVERIFY(ink(draw(l)).isNull());
    }
    // A box without area has nothing to stretch over.
    QFont f;
    double stretch = 0;
    QVERIFY(!TAutoSizeLabel::fitFont(l.font(), QStringLiteral("x"), TAutoSizeLabel::ta90,
                                     QSize(0, 70), &f, &stretch));
    QVERIFY(TAutoSizeLabel::fitFont(l.font(), QStringLiteral("x"), TAutoSizeLabel::ta90,
                                    QSize(12, 70), &f, &stretch));
}

void TestAutoSize::exposesTextToAccessibility() {
    TAutoSizeLabel l;
    l.setLabelText(QStringLiteral("% Enrichment"));
    QCOMPARE(l.accessibleName(), QStringLiteral("% Enrichment"));
}

QTEST_MAIN(TestAutoSize)
#include "tst_autosize.moc"
