#pragma once
// "Stop": the unsaved-changes prompt. Three answers: Yes (write the setup to the EMU), Later
// and Discard. Shown without being modal, kept on top, while the main window is disabled.
#include <QDialog>

class QLabel;
class QPushButton;

class TsvForm : public QDialog {
    Q_OBJECT
public:
    enum class Answer { Yes, Later, Discard };

    explicit TsvForm(QWidget *parent = nullptr);

    // Show centred on the given window; yesAllowed enables Button1.
    void showOver(QWidget *owner, bool yesAllowed);

    QLabel *Label1 = nullptr;       // "You have changed the EMU setup."
    QLabel *Label2 = nullptr;       // "Would you like to save ..."
    QPushButton *Button1 = nullptr; // "Yes"
    QPushButton *Button3 = nullptr; // "Later"
    QPushButton *Button2 = nullptr; // "Discard"

    void reject() override; // Escape or the window manager's close: "Later"

signals:
    void answered(TsvForm::Answer answer);

private:
    void answer(Answer a);
};
