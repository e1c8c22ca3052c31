#pragma once
// The main and idle jets on the "Fuel Maps" tab: a vertical track bar each (top = 255), a box
// with the value, and the eight letter keys that move the bars.
#include <QObject>

class Session;
class QLineEdit;
class QSlider;
class QWidget;

class JetControls : public QObject {
    Q_OBJECT
public:
    // Builds both jets (bars disabled until Connect); their columns are children of parent.
    JetControls(Session &session, QWidget *parent);

    // The columns (caption, bar, box) of the main and the idle jet, for the tab's layout.
    QWidget *mainColumn() const { return m_mainColumn; }
    QWidget *idleColumn() const { return m_idleColumn; }
    QSlider *mainJetAdjust() const { return m_mainJet; }
    QSlider *idleJetAdjust() const { return m_idleJet; }

    void setEnabled(bool on);
    // The bars from the setup block (a change of position sends while editing is enabled).
    void setBars();
    // Close all: the main jet box is cleared, nothing is sent.
    void clearMainJetBox();
    // A jet key (Q, A, W, S main jet; D, C, F, V idle jet) moves its bar; other keys do nothing.
    void keyDown(int key);

public slots:
    void MainJetAdjustChange(int position);
    void IdleJetAdjustChange(int position);
    void Edit28Change();
    void Edit32Change();

private:
    void textChanged(QLineEdit *box, int code, QSlider *bar);
    void showSetupRestored(int code);

    Session &m_s;
    QSlider *m_mainJet = nullptr;
    QSlider *m_idleJet = nullptr;
    QLineEdit *m_edit28 = nullptr;
    QLineEdit *m_edit32 = nullptr;
    QWidget *m_mainColumn = nullptr;
    QWidget *m_idleColumn = nullptr;
};
