#pragma once
// The "Setup" tab: every setup editor, each sending its parameter write at once. Codes, captions,
// ranges, scales and the rule for an entry out of range come from the setup field table.
//
// Every editor runs its handler on every change of its value, whether the user or the program made
// it (a programmatic change that leaves the value as it was runs nothing). Text, check-box and
// track-bar handlers act only while the session's editing enabled flag is set; the radio groups and
// the output source buttons always act.
#include "model/SetupFields.h"

#include <QHash>
#include <QWidget>

class Session;
class QFormLayout;
class QFrame;
class QLineEdit;
class QCheckBox;
class QStackedWidget;
class QMenu;

class SetupPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupPage(Session &session, QWidget *parent = nullptr);

    // Decode the setup block into the editors (Connect): each editor whose value changes runs its
    // handler, exactly as a change by the user does. Enables the sensor boxes. (The connection
    // controller derives the session's working values after it.)
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
    // The editors (everything but the real-time frame), for holding edits back while the EMU's
    // tables are being read.
    QWidget *editorArea() const { return m_editorArea; }

    // Edit6, Edit7, Edit8: identity bytes 0, 1 and 2 in decimal.
    void showIdentity();
    // Edit18 ("EMU Type").
    void setEmuType(const QString &moduleTypeName);
    // Edit9, Edit10, Edit11 from the session's vehicle strings (after a setup file was read).
    void showVehicleInfo();

    // Edit9, Edit10, Edit11 as they stand.
    QString vehicleMake() const;
    QString vehicleModel() const;
    QString engineType() const;

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
    // The page's context menu: "Undo: ...", "Redo: ...", "Compare with File...". The caller
    // owns it.
    QMenu *contextMenu();

signals:
    // A setup text editor accepted a value: the main window disables spRead, enables spWrite.
    void setupEdited();
    // CalBtn was clicked: the throttle position sensor calibration dialog should open.
    void calibrateTpsRequested();
    // TrackBar7 gained (true) or lost (false) the focus: the real-time frame of this tab shows
    // "Set Target" while it has it; on leaving every frame places its target marker again.
    void lambdaTargetFocusChanged(bool focused);
    // "Compare with File..." was chosen in the page's context menu.
    void compareRequested();

public slots:
    // Text boxes; the field table gives each its rule for an entry out of range.
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
    void Edit35Change();
    void Edit36Change();
    void Edit37Change();
    void Edit38Change();
    void Edit57Change();
    void Edit53Change();
    void Edit39Change();
    void Edit41Change();
    void Edit56Change();
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
    QWidget *m_editorArea = nullptr;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildUi();
    // The control of an editor name (a text box, slider, check box, radio group or button).
    template <class T> T *control(const QString &name) const {
        return qobject_cast<T *>(m_controls.value(name));
    }
    QLineEdit *edit(const QString &name) const;
    // Creates the editor of a table field and adds it as a row of `form`.
    void addField(QWidget *owner, QFormLayout *form, const char *editor);
    // Runs the named handler (e.g. "Edit12Change") of a control, as its change event does.
    // The handler of a control's event ("Edit12", "Change" -> Edit12Change), looked up once when
    // the control is made; a control without one stops the program there.
    using Handler = void (SetupPage::*)();
    static Handler handler(const QString &control, const char *event);

    // Handlers by entry rule.
    void change(const QString &editor);
    void click(const QString &editor);
    void textEntry(const SetupField &f);
    void sliderMoved(const SetupField &f);
    void sourceClicked(const SetupField &f, int code);
    void revealCalibration(const QString &button);
    void hideCalibration(const QString &editor);
    // The modified flag and the Read/Write buttons after a text editor or the lambda target.
    void markEdited();
    // Undo or redo put a field back: its editor shows the stored value.
    void showRestored(int code);

    // Fills the editors (and the working values) of the fields a decode covers.
    void decode(Decode which);
    void fill(const SetupField &f, Decode which);
    void showNumber(QLineEdit *box, int offset, double shown);
    void checkOutputSource(const SetupField &f, int source);

    Session &m_s;
    QHash<QString, QWidget *> m_controls;         // by objectName
    QHash<QString, const SetupField *> m_fieldOf; // editor or source button name -> field
    QList<QCheckBox *> m_sensorBoxes;             // enabled on every load
    QHash<QString, QStackedWidget *> m_calStack;  // by Calibrate button name
    QWidget *m_panel2 = nullptr, *m_panel22 = nullptr, *m_panel19 = nullptr;
    // Working values by offset: last accepted entries (display units) and source codes.
    double m_work[EmuImage::SetupSize] = {};
};
