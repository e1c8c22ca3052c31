#pragma once
// TAutoSizeLabel: a label that stretches its text over its whole box, either horizontally or turned
// by 90, 180 or 270 degrees counter-clockwise. The run of the text spans the box's length and the
// character cell spans its thickness, whatever font size was set: only the box decides the size.
#include <QLabel>
#include <QString>

class TAutoSizeLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(TextAngle Angle READ angle WRITE setAngle)
    Q_PROPERTY(QString Text READ labelText WRITE setLabelText)

public:
    enum TextAngle { ta0, ta90, ta180, ta270 };
    Q_ENUM(TextAngle)

    explicit TAutoSizeLabel(QWidget *parent = nullptr);

    TextAngle angle() const { return m_angle; }
    // A different value is stored and the label repainted; an equal value does nothing.
    void setAngle(TextAngle angle);
    QString labelText() const { return m_text; }
    void setLabelText(const QString &text);

    // Degrees counter-clockwise for an angle value.
    static int degrees(TextAngle angle) { return int(angle) * 90; }

    // The font that paints `text` into a box of this size: cell height = the box's thickness,
    // characters narrowed or widened so the run fills the box's length. *stretch receives the
    // horizontal scale applied to the base font (1 = unchanged); false for an empty text.
    static bool fitFont(const QFont &base, const QString &text, TextAngle angle, QSize box,
                        QFont *font, double *stretch);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TextAngle m_angle = ta0;
    QString m_text = QStringLiteral("Merhaba");
};
