#pragma once
// The "Setup" tab: every setup editor, each sending its parameter write at once.
//
// Every editor runs its handler on every change of its value, whether the user or the program made
// it (a programmatic change that leaves the value as it was runs nothing). Text, check-box and
// track-bar handlers act only while the session's editing enabled flag is set; the radio groups and
// the output source buttons always act.
#include <QHash>
#include <QWidget>

class Session;
class QFrame;
class QLineEdit;
class QCheckBox;
class QSlider;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class SetupRadioGroup;

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
    // Edit17 and Edit20 from the setup block. (The caller clears the modified flag first.)
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

    // Edit6, Edit7, Edit8: identity bytes 0, 1 and 2 in decimal.
    void showIdentity();
    // Edit18 ("EMU Type").
    void setEmuType(const QString &moduleTypeName);
    // Edit9, Edit10, Edit11 from the session's vehicle strings (after a setup file was read).
    void showVehicleInfo();

    // Working values, in the units the boxes show.
    int cylinders() const;
    double rpmRange() const;    // upper bound of the RPM limiter box
    double coilTime() const;    // ms
    int mapSensorRange() const; // kPa x 10
    double rpmLimiter() const;
    int outputSource(int output) const; // output 1 or 2
    double outputMin(int output) const; // display units of the source
    double outputMax(int output) const;

    // The largest raw value an editor accepts: value + 1 must still fit a byte.
    static constexpr int MaxRawValue = 254;

signals:
    // A setup text editor accepted a value: the main window disables spRead, enables spWrite.
    void setupEdited();
    // CalBtn was clicked: the throttle position sensor calibration dialog should open.
    void calibrateTpsRequested();
    // TrackBar7 gained (true) or lost (false) the focus: the real-time frame of this tab shows
    // "Set Target" while it has it; on leaving every frame places its target marker again.
    void lambdaTargetFocusChanged(bool focused);

public slots:
    // Family A: an out-of-range entry puts back the last accepted value.
    void Edit12Change();
    void Edit13Change();
    void Edit14Change();
    void Edit15Change();
    void Edit20Change();
    void Edit16Change();
    void Edit17Change();
    void Edit1Change();
    void Edit24Change();
    void Edit100Change();
    void Edit34Change();
    void Edit59Change();
    void Edit54Change();
    // Family B: an out-of-range entry sets "0".
    void Edit35Change();
    void Edit36Change();
    void Edit37Change();
    void Edit38Change();
    void Edit57Change();
    void Edit53Change();
    void Edit39Change();
    void Edit41Change();
    void Edit56Change();
    // Family C: quiet integer fields, and the calibration edits.
    void Edit33Change();
    void Edit40Change();
    void Edit49Change();
    void Edit50Change();
    void Edit51Change();
    void Edit55Change();
    void Edit52Change();
    void Edit58Change();
    void Edit60Change();
    // Accelerator pump and lambda target track bars.
    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void TrackBar4Change();
    void TrackBar5Change();
    void TrackBar6Change();
    void TrackBar7Change();
    void TrackBar7Enter();
    void TrackBar7Exit();
    // Sensor check boxes and "Two Stroke".
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox20Click();
    // Radio groups.
    void RadioGroup2Click();
    void RadioGroup3Click();
    void RadioGroup4Click();
    // Output source buttons (1..7 output 1, 8..14 output 2).
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void RadioButton7Click();
    void RadioButton8Click();
    void RadioButton9Click();
    void RadioButton10Click();
    void RadioButton11Click();
    void RadioButton12Click();
    void RadioButton13Click();
    void RadioButton14Click();
    // Calibrate buttons: CalBtn asks for the throttle dialog, the others reveal their
    // calibration edit, which hides again when it loses the focus.
    void CalBtnClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Edit52Exit();
    void Edit58Exit();
    void Edit60Exit();

protected:
    QFrame *m_rtHost = nullptr;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Family A fields, in the order of their working values.
    enum AField { A12, A13, A14, A15, A20, A16, A17, A1, A24, A100, A34, A59, A54, ACount };
    enum BField { B35, B36, B37, B38, B57, B53, B39, B41, B56, BCount };
    enum CField { C33, C40, C49, C50, C51, C55, C52, C58, C60, CCount };
    enum Sensor { S1, S2, S3, S4, S5, S6, S20, SCount };

    void buildUi();
    QLineEdit *edit(const QString &name) const { return m_edits.value(name); }

    void familyA(AField f);
    void familyB(BField f);
    void familyC(CField f);
    void pumpTrackBar(int index);
    void sensorClick(Sensor s);
    void outputButtonClick(int button);
    void revealCalibration(int which);
    // The modified flag and the Read/Write buttons after a text editor or the lambda target.
    void markEdited();
    // Raw value of a family A entry in display units, or -1 when it cannot be encoded.
    int rawForA(AField f, double display) const;

    // Decoding helpers (block to working values and boxes).
    void decodeEngine(bool rpmDefault);
    void showEngineBoxes(); // Edit12, Edit13, Edit14, Edit15, Edit20
    void decodeOutputs(int output, bool showBoxes);
    void showNumber(QLineEdit *box, int offset, double shown);
    void showPumpTrackBar(int index);
    void showRadioGroup(SetupRadioGroup *g, int offset);
    void checkOutputSource(int output, int source);

    Session &m_s;
    QHash<QString, QLineEdit *> m_edits;
    QSlider *m_pump[6] = {};     // TrackBar1..TrackBar6
    QSlider *m_lambda = nullptr; // TrackBar7
    QCheckBox *m_sensor[SCount] = {};
    QPushButton *m_cal[4] = {}; // CalBtn, Button1, Button2, Button3
    QStackedWidget *m_calStack[3] = {};
    SetupRadioGroup *m_group2 = nullptr, *m_group3 = nullptr, *m_group4 = nullptr;
    QRadioButton *m_source[14] = {}; // RadioButton1..RadioButton14
    QWidget *m_panel2 = nullptr, *m_panel22 = nullptr, *m_panel19 = nullptr;

    double m_workA[ACount] = {};
    int m_outSource[2] = {0, 0};
};
