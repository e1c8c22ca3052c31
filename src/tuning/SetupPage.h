#pragma once
// The "Setup" tab: every setup editor, each sending its parameter write at once.
#include <QWidget>

class Session;
class QFrame;

class SetupPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupPage(Session &session, QWidget *parent = nullptr);

    // Decode the setup block into the editors (Connect): each editor whose value changes runs its
    // handler, exactly as a change by the user does. Also refreshes the session's working values
    // (thresholds, lambda target, two-stroke, TPS minimum/span) and enables the sensor boxes.
    void decodeSetup();
    // After a table write: refresh cylinders, RPM range (without the 7000 default), coil time,
    // map sensor range, RPM limiter, outputs, timing sensor, gear teeth, trailing degrees and the
    // accelerator pump values 23..25 from the setup block.
    void refreshAfterWrite();
    // "Discard" of the unsaved-changes prompt: refill Edit12, Edit13, Edit14, Edit15, Edit16,
    // Edit17 and Edit20 from the setup block.
    void refillAfterDiscard();
    // Panel2 and Panel22 (the setup editors and the general purpose outputs).
    void setSetupPanelsEnabled(bool on);
    // Panel19 (accelerator pump), enabled with the fuel capability.
    void setPumpPanelEnabled(bool on);
    // The Calibrate buttons (CalBtn, Button1, Button2, Button3) for the active sensors when an EMU
    // is connected.
    void updateCalibrateButtons();
    // Where the real-time frame of this tab goes (right-hand side).
    QFrame *rtHost() const { return m_rtHost; }

signals:
    // A setup text editor accepted a value: the main window disables spRead, enables spWrite.
    void setupEdited();

protected:
    QFrame *m_rtHost = nullptr;
};
