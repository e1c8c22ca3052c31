#pragma once
// TTPSCalForm: the throttle position sensor calibration. The tuner opens the throttle fully and
// presses F1, releases it and presses F1 again; "OK" sends the closed-throttle reading (TPS
// minimum) and the difference of the two (TPS span) to the EMU.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class Session;
class TALProgressBar;

class TTPSCalForm : public QWidget {
    Q_OBJECT
public:
    static const QString TextOpen;       // waiting for full throttle
    static const QString TextRelease;    // waiting for closed throttle
    static const QString TextError;      // closed reading not below the full one
    static const QString TextCalibrated; // both captured
    static constexpr int ErrorShowMs = 1500;

    explicit TTPSCalForm(Session &session, QWidget *mainWindow = nullptr);

    // Centre on the main window and show (FormShow runs on showing).
    void open();

    // Handlers.
    void FormShow();
    void FormKeyDown(int key);
    void Button1Click(); // OK
    void Button2Click(); // Reset
    void Button3Click(); // Cancel

    // One reading of the calibration poll (TPS, percent).
    void showReading(double tps);

    bool maxCaptured() const { return m_maxCaptured; }
    bool minCaptured() const { return m_minCaptured; }

    TALProgressBar *TPSCalBar = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit1 = nullptr; // minimum
    QLineEdit *Edit2 = nullptr; // maximum
    QLabel *Panel1 = nullptr;   // instruction
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;

signals:
    // The dialog was left ("OK", "Cancel" or closed otherwise): the calibration poll stops and the
    // main window is enabled again.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setInstruction(const QString &text);
    int editValue(const QLineEdit *edit) const;
    void leave();

    Session &m_session;
    QWidget *m_mainWindow;
    bool m_maxCaptured = false;
    bool m_minCaptured = false;
    bool m_leaving = false;
    bool m_showingError = false; // the error text stands for a moment before the capture restarts
};
