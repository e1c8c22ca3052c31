#pragma once
// TForm2: "About the EMU Interface". Shows the program and the identity of the EMU last
// connected. With an EMU connected, a click on a hidden spot at the lower left while Alt and
// Ctrl are held reveals an access-code field; the right code opens the serial-number form.
#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Session;
class TSerialFrm;

// Image4: the hidden spot, a small area without a picture that reports clicks.
class HiddenSpot : public QWidget {
    Q_OBJECT
public:
    explicit HiddenSpot(QWidget *parent = nullptr);
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // The access code of the serial-number service, compared exactly.
    static const QString AccessCode;

    // A window of its own (not a child of the main window, so that disabling the main window
    // leaves it usable); it is kept above the main window and centred on it. The about box makes
    // and owns the serial-number form.
    TForm2(Session &session, QWidget *mainWindow);
    ~TForm2() override;

    // spAboutClick's work: disable the main window and show the box (not modal).
    void showAbout();

    TSerialFrm *serialForm() const { return m_serialFrm.get(); }
    QWidget *mainWindow() const { return m_mainWindow; }
    bool altHeld() const { return m_altHeld; }
    bool ctrlHeld() const { return m_ctrlHeld; }

    // Handlers.
    void FormShow();
    void FormKeyDown(int key);
    void FormKeyUp(int key);
    void Image4Click();
    void Button1Click(); // "OK"
    void Button2Click(); // "OK" of the access code

    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *Button1 = nullptr;
    HiddenSpot *Image4 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button2 = nullptr;
    QLabel *Image1 = nullptr; // the program's icon
    QLabel *Image2 = nullptr; // a small timing chart picture
    QLabel *ContactLabel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void leave(); // every way out: main window enabled, access field hidden
    void placeSpot();

    Session &m_session;
    QWidget *m_mainWindow = nullptr;
    std::unique_ptr<TSerialFrm> m_serialFrm;
    bool m_altHeld = false;
    bool m_ctrlHeld = false;
};

namespace emu::ui {
// Centres window on owner's window, keeping its size.
void centreOver(QWidget *window, QWidget *owner);
// Keeps window above owner (transient for it), sizes it to its contents and centres it on owner.
void placeOver(QWidget *window, QWidget *owner);
} // namespace emu::ui
