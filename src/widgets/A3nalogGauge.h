#pragma once
// TA3nalogGauge: a dial instrument with a circular scale, main and sub ticks, numbered main ticks,
// coloured zone arcs, a caption and a needle.
//
// The face is drawn once into an off-screen image and reused; a paint puts the face on the screen
// and draws the needle straight over it, so a new position costs no copy of the face. With
// anti-aliasing the face is drawn k times the control's size and box-filtered down once; the
// needle is drawn k times larger over a copy of the face's pixels around it only, and that patch
// is box-filtered down and painted over the small face (the result equals filtering the whole
// face with the needle on it). Drawing happens when the control is painted, so a hidden gauge
// only stores what it is given.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;

class TA3nalogGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor MinColor READ minColor WRITE setMinColor)
    Q_PROPERTY(QColor MidColor READ midColor WRITE setMidColor)
    Q_PROPERTY(QColor MaxColor READ maxColor WRITE setMaxColor)
    Q_PROPERTY(QColor FaceColor READ faceColor WRITE setFaceColor)
    Q_PROPERTY(QColor TicksColor READ ticksColor WRITE setTicksColor)
    Q_PROPERTY(QColor ValueColor READ valueColor WRITE setValueColor)
    Q_PROPERTY(QColor CaptionColor READ captionColor WRITE setCaptionColor)
    Q_PROPERTY(QColor ArrowColor READ arrowColor WRITE setArrowColor)
    Q_PROPERTY(QColor MarginColor READ marginColor WRITE setMarginColor)
    Q_PROPERTY(QColor CenterColor READ centerColor WRITE setCenterColor)
    Q_PROPERTY(QColor CircleColor READ circleColor WRITE setCircleColor)
    Q_PROPERTY(int CenterRadius READ centerRadius WRITE setCenterRadius)
    Q_PROPERTY(int CircleRadius READ circleRadius WRITE setCircleRadius)
    Q_PROPERTY(int Angle READ angle WRITE setAngle)
    Q_PROPERTY(int Margin READ margin WRITE setMargin)
    Q_PROPERTY(Style Style READ style WRITE setStyle)
    Q_PROPERTY(int ArrowWidth READ arrowWidth WRITE setArrowWidth)
    Q_PROPERTY(int NumberMainTicks READ numberMainTicks WRITE setNumberMainTicks)
    Q_PROPERTY(int LengthMainTicks READ lengthMainTicks WRITE setLengthMainTicks)
    Q_PROPERTY(int LengthSubTicks READ lengthSubTicks WRITE setLengthSubTicks)
    Q_PROPERTY(FaceOptions FaceOptions READ faceOptions WRITE setFaceOptions)
    Q_PROPERTY(float Position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(int Scale READ scale WRITE setScale)
    Q_PROPERTY(int IndMinimum READ indMinimum WRITE setIndMinimum)
    Q_PROPERTY(int IndMaximum READ indMaximum WRITE setIndMaximum)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(AntiAliased AntiAliased READ antiAliased WRITE setAntiAliased)
    Q_PROPERTY(int Frames READ frames NOTIFY framesChanged)

public:
    enum Style { LeftStyle, RightStyle, CenterStyle };
    Q_ENUM(Style)
    enum AntiAliased { aaNone, aaBiline, aaTriline, aaQuadral };
    Q_ENUM(AntiAliased)
    enum FaceOption {
        ShowMargin = 0x001,
        ShowCircles = 0x002,
        ShowMainTicks = 0x004,
        ShowSubTicks = 0x008,
        ShowIndicatorMin = 0x010,
        ShowIndicatorMid = 0x020,
        ShowIndicatorMax = 0x040,
        ShowValues = 0x080,
        ShowCenter = 0x100,
        ShowFrame = 0x200,
        Show3D = 0x400,
        ShowCaption = 0x800,
    };
    Q_DECLARE_FLAGS(FaceOptions, FaceOption)
    Q_FLAG(FaceOptions)

    static FaceOptions defaultFaceOptions() {
        return FaceOptions(ShowMargin | ShowMainTicks | ShowSubTicks | ShowIndicatorMax |
                           ShowValues | ShowCenter | ShowFrame | Show3D | ShowCaption);
    }

    // The dial's placement in an image of w x h pixels drawn k times the control's size.
    struct Geometry {
        QPointF centre;
        double radius = 0;
        double startAngle = 0; // degrees; 0 points left, 90 up, 180 right
        int sweep = 0;         // the effective Angle
    };

    explicit TA3nalogGauge(QWidget *parent = nullptr);
    ~TA3nalogGauge() override;

    QColor minColor() const { return m_minColor; }
    QColor midColor() const { return m_midColor; }
    QColor maxColor() const { return m_maxColor; }
    QColor faceColor() const { return m_faceColor; }
    QColor ticksColor() const { return m_ticksColor; }
    QColor valueColor() const { return m_valueColor; }
    QColor captionColor() const { return m_captionColor; }
    QColor arrowColor() const { return m_arrowColor; }
    QColor marginColor() const { return m_marginColor; }
    QColor centerColor() const { return m_centerColor; }
    QColor circleColor() const { return m_circleColor; }
    int centerRadius() const { return m_centerRadius; }
    int circleRadius() const { return m_circleRadius; }
    int angle() const { return m_angle; }
    int margin() const { return m_margin; }
    Style style() const { return m_style; }
    int arrowWidth() const { return m_arrowWidth; }
    int numberMainTicks() const { return m_numberMainTicks; }
    int lengthMainTicks() const { return m_lengthMainTicks; }
    int lengthSubTicks() const { return m_lengthSubTicks; }
    FaceOptions faceOptions() const { return m_faceOptions; }
    float position() const { return m_position; }
    int scale() const { return m_scale; }
    int indMinimum() const { return m_indMinimum; }
    int indMaximum() const { return m_indMaximum; }
    QString caption() const { return m_caption; }
    AntiAliased antiAliased() const { return m_antiAliased; }
    int frames() const { return m_frames; }

    void setMinColor(const QColor &c);
    void setMidColor(const QColor &c);
    void setMaxColor(const QColor &c);
    void setFaceColor(const QColor &c);
    void setTicksColor(const QColor &c);
    void setValueColor(const QColor &c);
    void setCaptionColor(const QColor &c);
    void setArrowColor(const QColor &c); // needle only
    void setMarginColor(const QColor &c);
    void setCenterColor(const QColor &c); // needle only
    void setCircleColor(const QColor &c);
    void setCenterRadius(int r); // needle only
    void setCircleRadius(int r);
    void setAngle(int degrees); // taken only within 11..360; at most 90 for Left/RightStyle
    void setMargin(int pixels);
    void setStyle(Style s);         // Left/RightStyle reduce an Angle above 90 to 90
    void setArrowWidth(int width);  // kept within 1..5
    void setNumberMainTicks(int n); // below 1 is ignored
    void setLengthMainTicks(int length);
    void setLengthSubTicks(int length);
    void setFaceOptions(FaceOptions options);
    void setPosition(float value); // not limited to the scale
    void setScale(int scale);      // above 1; pulls IndMaximum and IndMinimum into the scale
    void setIndMinimum(int v);     // taken only within 1..Scale-1
    void setIndMaximum(int v);     // taken only within 1..Scale-1
    void setCaption(const QString &text);
    void setAntiAliased(AntiAliased aa);

    int supersampling() const { return int(m_antiAliased) + 1; } // k
    Geometry geometryFor(int w, int h, int k) const;
    // Geometry in control pixels (k = 1).
    Geometry geometry() const { return geometryFor(width(), height(), 1); }
    QPointF centre() const { return geometry().centre; }
    double radius() const { return geometry().radius; }
    double startAngle() const { return geometry().startAngle; }
    double angleOf(double value) const;    // scale value -> degrees
    QPointF needleEnd(double value) const; // tip of the needle for a value, control pixels
    QPointF needleEnd() const { return needleEnd(m_position); }
    QStringList tickLabels() const; // texts of the main tick numbers, first to last

    // The image shown on screen: the face with the needle, at the control's size (downsampled
    // when anti-aliased). Brings the face up to date first.
    QImage shownImage();

    // Counters for tests and benchmarks.
    int faceRenders() const { return m_faceRenders; }
    int needleRenders() const { return m_needleRenders; }
    // Marks the face for drawing again at the next paint.
    void invalidateFace();

    QSize sizeHint() const override { return QSize(225, 180); }
    QSize minimumSizeHint() const override { return QSize(60, 50); }

signals:
    void positionChanged(float position);
    void overMax(); // a new position lies above IndMaximum
    void overMin(); // a new position lies below IndMinimum
    void framesChanged(int frames);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void faceChanged();
    void needleChanged();
    void sizeImages();
    void renderFace();
    void renderNeedle(); // the needle state changed: counts it and, anti-aliased, builds the patch
    void drawNeedle(QPainter &p, int k) const;
    void bringUpToDate();
    // Paints the shown picture (face, then needle or patch) with p, at the control's size.
    void paintGauge(QPainter &p) const;

    QColor m_minColor;
    QColor m_midColor;
    QColor m_maxColor;
    QColor m_faceColor;
    QColor m_ticksColor;
    QColor m_valueColor;
    QColor m_captionColor;
    QColor m_arrowColor;
    QColor m_marginColor;
    QColor m_centerColor;
    QColor m_circleColor;
    int m_centerRadius = 8;
    int m_circleRadius = 3;
    int m_angle = 120;
    int m_margin = 10;
    Style m_style = CenterStyle;
    int m_arrowWidth = 1;
    int m_numberMainTicks = 7;
    int m_lengthMainTicks = 15;
    int m_lengthSubTicks = 8;
    FaceOptions m_faceOptions = defaultFaceOptions();
    float m_position = 0;
    int m_scale = 140;
    int m_indMinimum = 30;
    int m_indMaximum = 80;
    QString m_caption = QStringLiteral("mV");
    AntiAliased m_antiAliased = aaNone;
    int m_frames = 0;

    QImage m_face;      // k times the control's size
    QImage m_faceSmall; // the face filtered down to the control's size, only while anti-aliased
    QImage m_patchBig;  // anti-aliased: the face around the needle with the needle, k times
    QImage m_patch;     // ... and filtered down; painted at m_patchAt over m_faceSmall
    QPoint m_patchAt;
    bool m_faceDirty = true;
    bool m_needleDirty = true;
    int m_faceRenders = 0;
    int m_needleRenders = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TA3nalogGauge::FaceOptions)
