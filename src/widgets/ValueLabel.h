#pragma once
// A label that shows a changing value. Assistive technology reads its caption as the name and
// the value shown, with its unit, as the value and the description; a change is announced only
// while an assistive client is listening, so a live display pays nothing otherwise.
#include <QLabel>

class ValueLabel : public QLabel {
    Q_OBJECT
public:
    ValueLabel(const QString &caption, const QString &unit, QWidget *parent = nullptr);

    // Shows `text` if it differs from what is shown; returns whether it changed.
    bool setValueText(const QString &text);
    // The value as read aloud: the text with its unit.
    QString spokenValue() const;
    QString unit() const { return m_unit; }
    void setUnit(const QString &unit) { m_unit = unit; }

private:
    QString m_unit;
};
