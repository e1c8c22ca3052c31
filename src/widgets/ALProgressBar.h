#pragma once
// TALProgressBar: an integer position between Min and Max shown as a filled bar growing in one of
// four directions, painted in one colour, a two- or three-colour gradient or a tiled bitmap, with
// an optional 3D border and an optional centred position text.
//
// The fill pattern (gradient or tiling) covers the whole control and is built only when the size or
// a look property changes; the fill merely uncovers it, so the colours stay in place while the bar
// grows. A position change only re-composites the pattern, the background and the text.
#include "widgets/Palette.h"
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

class TALProgressBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor BackgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QImage BarBitmap READ barBitmap WRITE setBarBitmap)
    Q_PROPERTY(QColor BarColor1 READ barColor1 WRITE setBarColor1)
    Q_PROPERTY(QColor BarColor2 READ barColor2 WRITE setBarColor2)
    Q_PROPERTY(QColor BarColor3 READ barColor3 WRITE setBarColor3)
    Q_PROPERTY(BarColorStyle BarColorStyle READ barColorStyle WRITE setBarColorStyle)
    Q_PROPERTY(QColor BorderColor1 READ borderColor1 WRITE setBorderColor1)
    Q_PROPERTY(QColor BorderColor2 READ borderColor2 WRITE setBorderColor2)
    Q_PROPERTY(Direction Direction READ direction WRITE setDirection)
    Q_PROPERTY(int Max READ max WRITE setMax)
    Q_PROPERTY(int Min READ min WRITE setMin)
    Q_PROPERTY(bool Percentage READ percentage WRITE setPercentage)
    Q_PROPERTY(int Position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(QString PosTextPrefix READ posTextPrefix WRITE setPosTextPrefix)
    Q_PROPERTY(QString PosTextSuffix READ posTextSuffix WRITE setPosTextSuffix)
    Q_PROPERTY(bool ShowBorder READ showBorder WRITE setShowBorder)
    Q_PROPERTY(bool ShowPosText READ showPosText WRITE setShowPosText)

public:
    enum BarColorStyle { cs1Color, cs2Colors, cs3Colors };
    Q_ENUM(BarColorStyle)
    enum Direction { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };
    Q_ENUM(Direction)

    // Colours of the standard palette used as defaults.
    static QColor green() { return QColor(emu::ui::palette::Green); }
    static QColor yellow() { return QColor(emu::ui::palette::Yellow); }
    static QColor red() { return QColor(emu::ui::palette::Red); }

    explicit TALProgressBar(QWidget *parent = nullptr);
    ~TALProgressBar() override;

    QColor backgroundColor() const { return m_backgroundColor; }
    QImage barBitmap() const { return m_barBitmap; }
    QColor barColor1() const { return m_barColor1; }
    QColor barColor2() const { return m_barColor2; }
    QColor barColor3() const { return m_barColor3; }
    BarColorStyle barColorStyle() const { return m_style; }
    QColor borderColor1() const { return m_borderColor1; }
    QColor borderColor2() const { return m_borderColor2; }
    Direction direction() const { return m_direction; }
    int max() const { return m_max; }
    int min() const { return m_min; }
    bool percentage() const { return m_percentage; }
    int position() const { return m_position; }
    QString posTextPrefix() const { return m_prefix; }
    QString posTextSuffix() const { return m_suffix; }
    bool showBorder() const { return m_showBorder; }
    bool showPosText() const { return m_showPosText; }

    void setBackgroundColor(const QColor &c);
    void setBarBitmap(const QImage &image); // keeps a copy of its own
    void setBarColor1(const QColor &c);
    void setBarColor2(const QColor &c);
    void setBarColor3(const QColor &c);
    void setBarColorStyle(BarColorStyle s);
    void setBorderColor1(const QColor &c);
    void setBorderColor2(const QColor &c);
    void setDirection(Direction d);
    void setMax(int v);
    void setMin(int v);
    void setPercentage(bool on);
    // A value equal to the present one or outside Min..Max is ignored: the bar keeps its position.
    void setPosition(int v);
    void setPosTextPrefix(const QString &s);
    void setPosTextSuffix(const QString &s);
    void setShowBorder(bool on);
    void setShowPosText(bool on);

    // Geometry of the present state, in widget pixels.
    int trackLength() const;  // L: the length the fill can take
    int filledLength() const; // c: pixels of the track that are filled, within 0..L
    QRect innerRect() const;  // the box inside the border (the whole control without border)
    QRect fillRect() const;   // the filled part of the inner box
    QString positionText() const;

    // Colour of gradient line k of n between a and b (k within 1..n; a run of one line is a).
    static QColor interpolate(const QColor &a, const QColor &b, int k, int n);

    // Counters for tests and benchmarks: how often the pattern was built, how often painted.
    int patternBuilds() const { return m_patternBuilds; }
    int paints() const { return m_paints; }

    QSize sizeHint() const override { return QSize(200, 20); }

signals:
    void positionChanged(int position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void lookChanged(); // a property other than the position changed
    void buildPattern();

    QColor m_backgroundColor;
    QImage m_barBitmap;
    QColor m_barColor1;
    QColor m_barColor2;
    QColor m_barColor3;
    BarColorStyle m_style = cs3Colors;
    QColor m_borderColor1;
    QColor m_borderColor2;
    Direction m_direction = pdLeftToRight;
    int m_max = 100;
    int m_min = 0;
    bool m_percentage = false;
    int m_position = 0;
    QString m_prefix;
    QString m_suffix;
    bool m_showBorder = true;
    bool m_showPosText = true;

    QImage m_pattern;           // gradient or tiled bitmap at the control's size
    bool m_patternDirty = true; // the pattern must be built again before the next paint
    int m_patternBuilds = 0;
    int m_paints = 0;
};
