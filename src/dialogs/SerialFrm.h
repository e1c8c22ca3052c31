#pragma once
// TSerialFrm: the serial-number service form. Shows the six serial bytes of the setup block and
// writes new ones to the EMU with six parameter writes.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class Session;
class TForm2;

class TSerialFrm : public QWidget {
    Q_OBJECT
public:
    // A borderless window of its own, kept above the about box and centred on the main window.
    TSerialFrm(Session &session, TForm2 *aboutBox, QWidget *mainWindow);

    // Shows the form (not modal).
    void showForm();

    // Handlers.
    void FormShow();
    void Button1Click(); // "Update"
    void Button2Click(); // "Exit"
    void EditChange();

    QLineEdit *Edit1 = nullptr; // "Cust", first letter (offset 98)
    QLineEdit *Edit6 = nullptr; // "Cust", second letter (offset 99)
    QLineEdit *Edit2 = nullptr; // "1" (offset 94)
    QLineEdit *Edit3 = nullptr; // "2" (offset 95)
    QLineEdit *Edit4 = nullptr; // "3" (offset 96)
    QLineEdit *Edit5 = nullptr; // "H/W" (offset 97)
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    Session &m_session;
    TForm2 *m_aboutBox = nullptr;
    QWidget *m_mainWindow = nullptr;
};
