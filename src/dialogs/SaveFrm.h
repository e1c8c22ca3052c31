#pragma once
// "Save From?": asks whether a setup file takes its tables from the EMU or from memory. Shown
// without being modal while the main window is disabled; every way out says so through a signal.
#include <QDialog>

class QRadioButton;
class QPushButton;

class TSaveFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSaveFrm(QWidget *parent = nullptr);

    // Show centred on the given window (not modal).
    void showOver(QWidget *owner);
    bool fromMemory() const;

    QRadioButton *RadioButton1 = nullptr; // "Save From Memory"
    QRadioButton *RadioButton2 = nullptr; // "Save From EMU"
    QPushButton *Button1 = nullptr;       // "OK"
    QPushButton *Button2 = nullptr;       // "Cancel"

    void Button1Click();
    void Button2Click();
    void reject() override; // Escape and the window manager's close

signals:
    // OK pressed; the receiver saves, then calls finish().
    void saveRequested(bool fromMemory);
    // The chooser was left without saving (Cancel, Escape, closed).
    void cancelled();

public:
    // Hide after a save (no cancelled signal).
    void finish();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
};
