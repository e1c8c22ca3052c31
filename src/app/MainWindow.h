#pragma once
// TForm1: the main window. Tool bar, port box, the six pages and the status bar, and the file
// commands; the port search, Connect and the table read and write run in the connection
// controller, whose reports the window shows.
#include "dialogs/SvForm.h"

#include <QHash>
#include <QMainWindow>
#include <functional>
#include <memory>

class Clock;
class QProgressBar;
class ConnectionController;
class Session;
class SetupPage;
class MapPages;
class FuelSuggestWindow;
class TSaveFrm;
class LivePoll;
class TRT;
class EngineMonitorPage;
class DataLoggerPage;
class TTPSCalForm;
class TTimingAnalysis;
class TForm2;
class CompareWindow;
class QAction;
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
    ConnectionController &connection() { return *m_conn; }
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
    CompareWindow *compareWindow() const { return m_compare.get(); }
    FuelSuggestWindow *fuelSuggestWindow() const { return m_fuelSuggest.get(); }

    // Text of status bar panel 0, 1 or 2.
    QString statusText(int panel) const;
    void setStatus(int panel, const QString &text);

    void setOpenFileChooser(FileChooser chooser) { m_openChooser = std::move(chooser); }
    void setSaveFileChooser(FileChooser chooser) { m_saveChooser = std::move(chooser); }
    // Reads what the last run remembered (window, folders, logger choices, ports for the port box
    // tooltip) and remembers them again on close. Off unless called: tests leave the user's
    // settings alone.
    void restoreSettings();
    void saveSettings();
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
    QCheckBox *VerifyAfterWrite = nullptr; // Write reads the tables back and compares them
    QAction *CompareAction = nullptr;      // "Compare with File..." (Ctrl+D)
    QAction *FuelSuggestAction = nullptr;  // "Fuel Suggestions..." (Ctrl+Shift+F)
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
    // A setup file chosen with the open chooser, compared with memory in its own window; the
    // charts draw its curves while the window is open.
    void compareWithFile();
    // The fuel suggestions window (a log's suggestion drawn on the fuel charts).
    void showFuelSuggestions();

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
    QString serialText() const;

signals:
    // Emitted after each step that changed the program-wide state (tests, other windows).
    void connectFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Starts (or goes on with) the wait for the link before closing; false: nothing to wait for.
    bool finishLinkFirst();
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
    static QString folderOr(const QString &dir);
    // Checks the logger interval button a run remembered, else the default one.
    // The port number in the port box ("Com7" -> 7, "Com12" -> 12); shows the conversion error
    // and returns -1 when the fourth (and fifth) characters are no number.
    int portFromBox();
    void addPortItem(int n);
    // What the connection reports: the controls that follow it and the pages it fills.
    void connectConnection();
    void showSetupLoaded();
    void startLiveSignals(bool afterRead);
    void saveChosen(bool fromMemory);
    void saveCancelled();
    void openFile();
    void askUnsaved(Pending then);
    void unsavedAnswered(TsvForm::Answer answer);
    void runPending(Pending p);
    // While a sequence with the EMU runs (search, Connect, Read, Write, Save From EMU) the
    // controls that would start another are disabled and a progress bar shows; what the
    // sequence asks for meanwhile takes effect when it ends.
    void showBusy(bool busy);
    // Editors disabled (true) or enabled again while the EMU's tables are read.
    void holdEditors(bool hold);
    void setControlEnabled(QWidget *control, bool on);

    Clock &m_clock;
    std::unique_ptr<Session> m_session;
    ConnectionController *m_conn = nullptr;
    SetupPage *m_setupPage = nullptr;
    MapPages *m_mapPages = nullptr;
    QLabel *m_panel[3] = {nullptr, nullptr, nullptr};
    QString m_statusText[3]; // whole texts; a panel may show one shortened
    QProgressBar *m_progress = nullptr;
    QLabel *m_liveState = nullptr;        // shown while the EMU sends no live data
    bool m_editorsHeld = false;           // the editors wait for a table read to end
    QHash<QWidget *, bool> m_heldEnabled; // controls disabled while busy, with their later state
    std::unique_ptr<TsvForm> m_svForm;
    std::unique_ptr<TSaveFrm> m_saveFrm;
    // Windows of their own (no Qt parent: disabling the main window leaves them usable).
    std::unique_ptr<TTimingAnalysis> m_analysis;
    std::unique_ptr<TForm2> m_about;
    std::unique_ptr<TTPSCalForm> m_calForm;
    std::unique_ptr<CompareWindow> m_compare;
    std::unique_ptr<FuelSuggestWindow> m_fuelSuggest;
    LivePoll *m_poll = nullptr;
    EngineMonitorPage *m_monitorPage = nullptr;
    DataLoggerPage *m_loggerPage = nullptr;
    FileChooser m_openChooser;
    FileChooser m_saveChooser;
    QString m_lastPortText;
    QStringList m_lastRun; // the port and --port mappings of the last run (port box tooltip)
    QString m_openDir, m_saveDir, m_logDir;
    bool m_settingsOn = false;
    bool m_autoSearch = true;
    bool m_shown = false;
    bool m_exiting = false; // spExit / Esc: close without asking
    // Closing waits for what is queued for the EMU to go out; past this it closes regardless.
    static constexpr int CloseWaitMs = 5000;
    bool m_closing = false;     // waiting for the link before the window closes
    bool m_closeWaited = false; // the wait ran out
    bool m_closeArmed = false;  // the link's next idle closes the window
    Pending m_pending = Pending::None;
};
