#pragma once
// TForm1: the main window. Tool bar, port box, the six pages and the status bar; start-up and
// port discovery, Connect, the table read and write, and the file commands.
#include "dialogs/SvForm.h"

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

class Clock;
class Session;
class SetupPage;
class MapPages;
class TSaveFrm;
class LivePoll;
class TRT;
class EngineMonitorPage;
class DataLoggerPage;
class TTPSCalForm;
class TTimingAnalysis;
class TForm2;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QToolBar;
class QToolButton;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // The file dialogs: return the chosen file name, "" when cancelled. Tests install their own.
    using FileChooser = std::function<QString(QWidget *parent)>;

    explicit TForm1(Clock &clock, QWidget *parent = nullptr);
    ~TForm1() override;

    Session &session() { return *m_session; }
    SetupPage *setupPage() const { return m_setupPage; }
    MapPages *mapPages() const { return m_mapPages; }
    TSaveFrm *saveForm() const { return m_saveFrm.get(); }
    TsvForm *svForm() const { return m_svForm.get(); }
    LivePoll *livePoll() const { return m_poll; }
    EngineMonitorPage *monitorPage() const { return m_monitorPage; }
    DataLoggerPage *loggerPage() const { return m_loggerPage; }
    TTPSCalForm *calForm() const { return m_calForm.get(); }
    TTimingAnalysis *timingAnalysis() const { return m_analysis.get(); }
    TForm2 *aboutBox() const { return m_about.get(); }

    // Text of status bar panel 0, 1 or 2.
    QString statusText(int panel) const;
    void setStatus(int panel, const QString &text);

    void setOpenFileChooser(FileChooser chooser) { m_openChooser = std::move(chooser); }
    void setSaveFileChooser(FileChooser chooser) { m_saveChooser = std::move(chooser); }
    // Whether the first show runs the start-up search by itself (tests call FormShow).
    void setAutoSearch(bool on) { m_autoSearch = on; }

    // Controls, under their form names.
    QToolBar *ToolBar1 = nullptr;
    QToolButton *spOpen = nullptr;
    QToolButton *spClose = nullptr;
    QToolButton *spSave = nullptr;
    QToolButton *spPrint = nullptr;
    QToolButton *SpSetup = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QToolButton *spRetry = nullptr;
    QToolButton *spConnect = nullptr;
    QToolButton *spRead = nullptr;
    QToolButton *spWrite = nullptr;
    QToolButton *sp3D = nullptr;
    QCheckBox *RT_Track = nullptr;
    QCheckBox *AnalogEn = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QToolButton *spAbout = nullptr;
    QToolButton *spExit = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TimingSheet = nullptr;     // "Timing Map"
    QWidget *FuelSheet = nullptr;       // "Fuel Maps"
    QWidget *CorrectionSheet = nullptr; // "Correction Maps"
    QWidget *LoggerSheet = nullptr;     // "Data Logger"
    QWidget *MonitorSheet = nullptr;    // "Engine Monitor"
    TRT *RT1 = nullptr; // real-time frames: "Timing Map", "Setup", "Fuel Maps", "Correction Maps"
    TRT *RT2 = nullptr;
    TRT *RT3 = nullptr;
    TRT *RT4 = nullptr;

    // Handlers.
    void FormShow();
    void spRetryClick();
    void ComboBox1Change();
    void spConnectClick();
    void spReadClick();
    void spWriteClick();
    void spOpenClick();
    // Open a setup file by name, as Open does with the chosen file (file mode).
    void openSetupFile(const QString &name);
    void spSaveClick();
    void spCloseClick();
    void spExitClick();
    void SpeedButton3Click();
    void FormKeyDown(int key);
    void FormKeyUp(int key);
    void setupEdited();

    // Monitoring, analysis and service.
    void AnalogEnClick();
    void startLivePoll();
    void stopLivePoll();
    void stopCalibrationPoll();   // Timer2 of the throttle calibration
    void scaleGauges();           // RPM and vacuum gauges from R and S
    void selectLoggerInterval();  // DataInterval: "100 ms"
    void positionLambdaMarkers(); // target lambda markers of the real-time frames
    void CalBtnClick();           // throttle position sensor calibration
    void spPrintClick();
    void spAboutClick();
    void sp3DClick();

    // Serial number text set at Connect ("AB-010203-04").
    QString serialText() const { return m_serialText; }

signals:
    // Emitted after each step that changed the program-wide state (tests, other windows).
    void connectFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Pending { None, Close, Open };

    void buildToolBar();
    void buildPages();
    void buildStatusBar();
    void buildMonitoring();
    void createWindows();
    void lambdaTargetMoved();
    void lambdaTargetFocus(bool focused);
    void updateAnalyseButton();
    void updatePortHint();
    // The port number in the port box ("Com7" -> 7, "Com12" -> 12); shows the conversion error
    // and returns -1 when the fourth (and fifth) characters are no number.
    int portFromBox();
    void addPortItem(int n);
    // One probe: open Com n, send the identify command, wait, copy at most 7 bytes. Returns
    // whether the port opened; *identity is the probe buffer.
    bool probe(int n, int waitMs, quint8 *identity);
    void notePermissionProblem();
    void saveChosen(bool fromMemory);
    void saveCancelled();
    void openFile();
    void askUnsaved(Pending then);
    void unsavedAnswered(TsvForm::Answer answer);
    void runPending(Pending p);
    void setEdit(const char *name, const QString &text);
    QString editText(const char *name) const;
    void linkLost(int port, const QString &device);
    // Shows the lost link again after a handler that ran into it (status, buttons).
    void showLinkLost(const QString &more = QString());
    // Connect after the link was lost: identify only; the setup and maps in memory stay.
    void reconnectKeepingMemory();

    Clock &m_clock;
    std::unique_ptr<Session> m_session;
    SetupPage *m_setupPage = nullptr;
    MapPages *m_mapPages = nullptr;
    QLabel *m_panel[3] = {nullptr, nullptr, nullptr};
    std::unique_ptr<TsvForm> m_svForm;
    std::unique_ptr<TSaveFrm> m_saveFrm;
    // Windows of their own (no Qt parent: disabling the main window leaves them usable).
    std::unique_ptr<TTimingAnalysis> m_analysis;
    std::unique_ptr<TForm2> m_about;
    std::unique_ptr<TTPSCalForm> m_calForm;
    LivePoll *m_poll = nullptr;
    EngineMonitorPage *m_monitorPage = nullptr;
    DataLoggerPage *m_loggerPage = nullptr;
    FileChooser m_openChooser;
    FileChooser m_saveChooser;
    QString m_serialText;
    QString m_lastPortText;
    QStringList m_deniedDevices; // ports refused for lack of permission during a search
    QStringList m_portFailures;  // other ports that did not open, with the reason
    bool m_permissionReported = false;
    bool m_autoSearch = true;
    bool m_shown = false;
    bool m_exiting = false;   // spExit / Esc: close without asking
    bool m_searching = false; // a port search runs (probes are no connection that can be lost)
    bool m_linkLost = false;  // the EMU's device went away since the last good Connect
    int m_lostPort = 0;
    QString m_lostDevice;
    // The setup and the maps in memory came whole from an EMU or a file: a failed exchange
    // must not replace them.
    bool m_dataLoaded = false;
    Pending m_pending = Pending::None;
};
