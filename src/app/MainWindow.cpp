#include "app/MainWindow.h"
#include "app/Settings.h"

#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "dialogs/AboutBox.h"
#include "dialogs/CompareWindow.h"
#include "dialogs/Printing.h"
#include "dialogs/ProgramIcon.h"
#include "dialogs/SaveFrm.h"
#include "dialogs/TimingAnalysis.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "live/LivePoll.h"
#include "live/LogChannels.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"
#include "tuning/FuelSuggestWindow.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "tuning/SetupPage.h"
#include "widgets/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const char *const PortHint = "Sellect COM port";

// Icons drawn here where the style has none that fits.
enum class Drawn { Printer, Analyse, Mouse };

QIcon drawnIcon(Drawn kind) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.4));
    switch (kind) {
    case Drawn::Printer:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 3, 10, 7));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(3, 9, 18, 9), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 15, 10, 6));
        break;
    case Drawn::Analyse: {
        p.setPen(QPen(QColor(20, 90, 170), 1.2));
        for (int i = 0; i < 4; ++i) {
            p.drawLine(QPointF(3 + i * 3, 20 - i * 3), QPointF(13 + i * 3, 20 - i * 3 - 6));
            p.drawLine(QPointF(3 + i * 3.3, 20), QPointF(12 + i * 3.3, 5));
        }
        break;
    }
    case Drawn::Mouse: {
        p.setBrush(QColor(235, 235, 240));
        p.drawRoundedRect(QRectF(6, 3, 12, 18), 6, 6);
        p.drawLine(QPointF(12, 3), QPointF(12, 10));
        p.drawLine(QPointF(6, 10), QPointF(18, 10));
        break;
    }
    }
    return QIcon(pm);
}
} // namespace

TForm1::TForm1(Clock &clock, QWidget *parent)
    : QMainWindow(parent), m_clock(clock), m_session(std::make_unique<Session>(clock)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8("Harkwell - EMU Interface - \xc3\x9f"
                                     "1.3"));
    setAccessibleName(windowTitle());
    setWindowIcon(emu::ui::programIcon());

    m_conn = new ConnectionController(*m_session, this);

    buildToolBar();
    buildPages();
    buildStatusBar();
    createWindows();
    buildMonitoring();
    connectConnection();

    m_openChooser = [this](QWidget *p) {
        return QFileDialog::getOpenFileName(p, QStringLiteral("Open"), folderOr(m_openDir),
                                            QStringLiteral("*.emu (*.emu)"));
    };
    m_saveChooser = [this](QWidget *p) {
        QFileDialog dlg(p, QStringLiteral("Save As"), folderOr(m_saveDir),
                        QStringLiteral("*.emu (*.emu)"));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(QStringLiteral("emu"));
        dlg.setOption(QFileDialog::ReadOnly, false);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
        return dlg.selectedFiles().constFirst();
    };

    qApp->installEventFilter(this); // key preview

    // Wide enough for every setup column beside the real-time frame, where the screen allows.
    resize(1290, 800);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        resize(size().boundedTo(avail.size()));
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
    if (m_poll) {
        m_poll->setAnalogEnabled(false);
        m_poll->stopCalibration();
    }
    m_session->port().Close();
    // The windows of their own go before the pages and the session they refer to.
    m_calForm.reset();
    m_about.reset();
    m_analysis.reset();
}

// The further windows, hidden, in the order the program has always made them: timing analysis,
// about box (which makes its serial-number form), unsaved-changes prompt, throttle calibration,
// "Save From?".
void TForm1::createWindows() {
    m_analysis = std::make_unique<TTimingAnalysis>(this);
    m_about = std::make_unique<TForm2>(*m_session, this);
    m_svForm = std::make_unique<TsvForm>();
    connect(m_svForm.get(), &TsvForm::answered, this, &TForm1::unsavedAnswered);
    m_calForm = std::make_unique<TTPSCalForm>(*m_session, this);
    m_saveFrm = std::make_unique<TSaveFrm>();
    connect(m_saveFrm.get(), &TSaveFrm::saveRequested, this, &TForm1::saveChosen);
    connect(m_saveFrm.get(), &TSaveFrm::cancelled, this, &TForm1::saveCancelled);
}

void TForm1::buildMonitoring() {
    Session &s = *m_session;
    // One real-time frame on each editing tab.
    auto frame = [](const char *name, QWidget *host) {
        if (!host->layout()) {
            auto *l = new QVBoxLayout(host);
            l->setContentsMargins(0, 0, 0, 0);
        }
        auto *f = new TRT(host);
        f->setObjectName(QString::fromLatin1(name));
        host->layout()->addWidget(f);
        static_cast<QVBoxLayout *>(host->layout())->addStretch(1);
        return f;
    };
    RT1 = frame("RT1", m_mapPages->rtHost(0));
    RT2 = frame("RT2", m_setupPage->rtHost());
    RT3 = frame("RT3", m_mapPages->rtHost(1));
    RT4 = frame("RT4", m_mapPages->rtHost(2));

    auto fill = [](QWidget *sheet, QWidget *page) {
        auto *l = new QVBoxLayout(sheet);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(page);
    };
    m_loggerPage = new DataLoggerPage(s, LoggerSheet);
    m_loggerPage->setObjectName(QStringLiteral("DataLoggerPage"));
    fill(LoggerSheet, m_loggerPage);
    m_monitorPage = new EngineMonitorPage(MonitorSheet);
    m_monitorPage->setObjectName(QStringLiteral("EngineMonitorPage"));
    fill(MonitorSheet, m_monitorPage);

    m_poll = new LivePoll(s, this);
    m_poll->setTrackingQuery([this] { return RT_Track->isChecked(); });
    connect(m_poll, &LivePoll::trackingAvailable, RT_Track, &QWidget::setEnabled);
    connect(m_poll, &LivePoll::silentChanged, m_liveState, &QWidget::setVisible);
    // The session keeps the latest values (the logger samples them on its own timer).
    connect(m_poll, &LiveFeed::liveValues, &s, &Session::takeLive);
    const LiveDisplays displays{{RT1, RT2, RT3, RT4},
                                [this](const LiveValues &v) { m_mapPages->updateLiveMarkers(v); },
                                m_monitorPage};
    subscribeLiveDisplays(*m_poll, displays);
    // A log played back drives the same displays; the poll sends nothing meanwhile.
    subscribeLiveDisplays(m_loggerPage->player(), displays);
    connect(&m_loggerPage->player(), &LogPlayer::engagedChanged, m_poll, &LivePoll::setPaused);
    // The logger's hit tables shade the map charts.
    connect(m_loggerPage, &DataLoggerPage::hitsChanged, m_mapPages,
            [this] { m_mapPages->setHits(m_loggerPage->hits()); });
    subscribeCalibration(*m_poll, *m_calForm);
    connect(m_poll, &LivePoll::regionChanged, m_mapPages, &MapPages::showRegion);
    connect(m_poll, &LivePoll::operatingPoint, m_mapPages, &MapPages::trackOperatingPoint);

    connect(m_setupPage, &SetupPage::calibrateTpsRequested, this, &TForm1::CalBtnClick);
    connect(m_calForm.get(), &TTPSCalForm::finished, this, [this] { setEnabled(true); });
    connect(&s, &Session::lambdaTargetChanged, this, &TForm1::lambdaTargetMoved);
    connect(m_setupPage, &SetupPage::lambdaTargetFocusChanged, this, &TForm1::lambdaTargetFocus);
}

void TForm1::buildToolBar() {
    ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"), this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setAccessibleName(QStringLiteral("Tool bar"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    QStyle *st = style();
    auto button = [this, st](const char *name, const char *hint, const QIcon &icon) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromLatin1(hint));
        b->setAccessibleName(QString::fromLatin1(hint));
        b->setIcon(icon);
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        Q_UNUSED(st);
        return b;
    };

    spOpen = button("spOpen", "Open file", st->standardIcon(QStyle::SP_DialogOpenButton));
    spClose = button("spClose", "Close all", st->standardIcon(QStyle::SP_DialogCloseButton));
    spSave = button("spSave", "Save settings", st->standardIcon(QStyle::SP_DialogSaveButton));
    ToolBar1->addSeparator();
    spPrint = button("spPrint", "Print", drawnIcon(Drawn::Printer));
    SpSetup = button("SpSetup", "Setup", st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ToolBar1->addSeparator();

    ComboBox1 = new QComboBox(ToolBar1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setEditText(QStringLiteral("Com1"));
    ComboBox1->setMinimumContentsLength(6);
    ComboBox1->setAccessibleName(QString::fromLatin1(PortHint));
    ToolBar1->addWidget(ComboBox1);
    updatePortHint();

    spRetry = button("spRetry", "Refresh Com Port", st->standardIcon(QStyle::SP_BrowserReload));
    spConnect = button("spConnect", "Connect", st->standardIcon(QStyle::SP_DriveNetIcon));
    spConnect->setEnabled(false);
    ToolBar1->addSeparator();
    spRead = button("spRead", "Read from EMU", st->standardIcon(QStyle::SP_ArrowDown));
    spRead->setEnabled(false);
    spWrite = button("spWrite", "Write to EMU", st->standardIcon(QStyle::SP_ArrowUp));
    spWrite->setEnabled(false);
    ToolBar1->addSeparator();
    sp3D = button("sp3D", "Analyse Maps", drawnIcon(Drawn::Analyse));
    sp3D->setEnabled(false);
    ToolBar1->addSeparator();

    auto *panel = new QWidget(ToolBar1);
    panel->setObjectName(QStringLiteral("Panel1"));
    auto *pl = new QGridLayout(panel);
    pl->setContentsMargins(6, 0, 6, 0);
    pl->setSpacing(0);
    pl->setHorizontalSpacing(12);
    RT_Track = new QCheckBox(QStringLiteral("Realtime Tracking"), panel);
    RT_Track->setObjectName(QStringLiteral("RT_Track"));
    RT_Track->setAccessibleName(RT_Track->text());
    RT_Track->setEnabled(false);
    AnalogEn = new QCheckBox(QStringLiteral("Analog Signals"), panel);
    AnalogEn->setObjectName(QStringLiteral("AnalogEn"));
    AnalogEn->setAccessibleName(AnalogEn->text());
    AnalogEn->setEnabled(false);
    pl->addWidget(RT_Track, 0, 0);
    pl->addWidget(AnalogEn, 1, 0);
    VerifyAfterWrite = new QCheckBox(QStringLiteral("Verify after Write"), panel);
    VerifyAfterWrite->setObjectName(QStringLiteral("VerifyAfterWrite"));
    VerifyAfterWrite->setAccessibleName(VerifyAfterWrite->text());
    VerifyAfterWrite->setToolTip(
        QStringLiteral("Read the tables back after Write and compare them with memory"));
    pl->addWidget(VerifyAfterWrite, 0, 1);
    ToolBar1->addWidget(panel);
    ToolBar1->addSeparator();

    SpeedButton3 = button("SpeedButton3", "Enable/Disable mouse tuning", drawnIcon(Drawn::Mouse));
    SpeedButton3->setCheckable(true);
    spAbout = button("spAbout", "About", st->standardIcon(QStyle::SP_MessageBoxInformation));
    ToolBar1->addSeparator();
    spExit = button("spExit", "Exit", st->standardIcon(QStyle::SP_BrowserStop));

    connect(spOpen, &QToolButton::clicked, this, &TForm1::spOpenClick);
    connect(spClose, &QToolButton::clicked, this, &TForm1::spCloseClick);
    connect(spSave, &QToolButton::clicked, this, &TForm1::spSaveClick);
    connect(spPrint, &QToolButton::clicked, this, [this] { spPrintClick(); });
    connect(spRetry, &QToolButton::clicked, this, &TForm1::spRetryClick);
    connect(spConnect, &QToolButton::clicked, this, &TForm1::spConnectClick);
    connect(spRead, &QToolButton::clicked, this, &TForm1::spReadClick);
    connect(spWrite, &QToolButton::clicked, this, &TForm1::spWriteClick);
    CompareAction = new QAction(QStringLiteral("Compare with File..."), this);
    CompareAction->setObjectName(QStringLiteral("CompareAction"));
    CompareAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    addAction(CompareAction);
    connect(CompareAction, &QAction::triggered, this, &TForm1::compareWithFile);
    FuelSuggestAction = new QAction(QStringLiteral("Fuel Suggestions..."), this);
    FuelSuggestAction->setObjectName(QStringLiteral("FuelSuggestAction"));
    FuelSuggestAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    addAction(FuelSuggestAction);
    connect(FuelSuggestAction, &QAction::triggered, this, &TForm1::showFuelSuggestions);
    connect(sp3D, &QToolButton::clicked, this, [this] { sp3DClick(); });
    // Switches act on their state, whoever changed it: a click, a key, an assistive tool.
    connect(SpeedButton3, &QToolButton::toggled, this, &TForm1::SpeedButton3Click);
    connect(spAbout, &QToolButton::clicked, this, [this] { spAboutClick(); });
    connect(spExit, &QToolButton::clicked, this, &TForm1::spExitClick);
    connect(AnalogEn, &QCheckBox::toggled, this, [this] { AnalogEnClick(); });
    // A port picked from the list, or a typed one once the typing is finished.
    connect(ComboBox1, &QComboBox::textActivated, this, [this] { ComboBox1Change(); });
    connect(ComboBox1->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (ComboBox1->currentText() != m_lastPortText) ComboBox1Change();
    });
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { updatePortHint(); });
}

void TForm1::buildPages() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(QStringLiteral("Pages"));
    setCentralWidget(PageControl1);

    m_setupPage = new SetupPage(*m_session, PageControl1);
    m_setupPage->setObjectName(QStringLiteral("SetupSheet"));
    auto sheet = [this](const char *name) {
        auto *w = new QWidget(PageControl1);
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    TimingSheet = sheet("TimingSheet");
    FuelSheet = sheet("FuelSheet");
    CorrectionSheet = sheet("CorrectionSheet");
    LoggerSheet = sheet("DataLoggerSheet");
    MonitorSheet = sheet("EngineMonitorSheet");

    PageControl1->addTab(m_setupPage, QStringLiteral("Setup"));
    PageControl1->addTab(TimingSheet, QStringLiteral("Timing Map"));
    PageControl1->addTab(FuelSheet, QStringLiteral("Fuel Maps"));
    PageControl1->addTab(CorrectionSheet, QStringLiteral("Correction Maps"));
    PageControl1->addTab(LoggerSheet, QStringLiteral("Data Logger"));
    PageControl1->addTab(MonitorSheet, QStringLiteral("Engine Monitor"));
    for (int i = 0; i < PageControl1->count(); ++i)
        PageControl1->widget(i)->setAccessibleName(PageControl1->tabText(i));

    m_mapPages = new MapPages(*m_session, TimingSheet, FuelSheet, CorrectionSheet, this);
    connect(m_setupPage, &SetupPage::setupEdited, this, &TForm1::setupEdited);
    connect(m_session.get(), &Session::status, this, &TForm1::setStatus);
    // "Compare with File..." from a chart's or the Setup page's context menu, as Ctrl+D.
    connect(m_mapPages, &MapPages::compareRequested, this, &TForm1::compareWithFile);
    connect(m_mapPages, &MapPages::fuelSuggestionsRequested, this, &TForm1::showFuelSuggestions);
    connect(m_setupPage, &SetupPage::compareRequested, this, &TForm1::compareWithFile);

    // Undo and redo of the edit history, from any tab.
    QAction *undo = m_session->history().createUndoAction(this);
    undo->setObjectName(QStringLiteral("UndoAction"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction *redo = m_session->history().createRedoAction(this);
    redo->setObjectName(QStringLiteral("RedoAction"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    addActions({undo, redo});
}

void TForm1::buildStatusBar() {
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setAccessibleName(QStringLiteral("Status bar"));
    bar->setSizeGripEnabled(false);
    const int widths[3] = {270, 300, 270};
    const Qt::Alignment align[3] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter,
                                    Qt::AlignRight | Qt::AlignVCenter};
    for (int i = 0; i < 3; ++i) {
        auto *l = new QLabel(bar);
        l->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        l->setFixedWidth(widths[i]);
        l->setAlignment(align[i]);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setTextFormat(Qt::PlainText);
        bar->addWidget(l);
        m_panel[i] = l;
    }
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("LinkProgress"));
    m_progress->setAccessibleName(QStringLiteral("Working with the EMU"));
    m_progress->setRange(0, 0); // busy: how long a sequence takes depends on the EMU
    m_progress->setMaximumWidth(120);
    m_progress->setTextVisible(false);
    m_progress->hide();
    bar->addPermanentWidget(m_progress);
    // The displays keep the last whole frame; this says that it is old.
    m_liveState = new QLabel(QStringLiteral("No live data from the EMU"), bar);
    m_liveState->setObjectName(QStringLiteral("LiveDataState"));
    m_liveState->setAccessibleName(m_liveState->text());
    m_liveState->setToolTip(QStringLiteral("The displays show the last values received"));
    m_liveState->setStyleSheet(QStringLiteral("QLabel { color: white; background: #b00000; "
                                              "padding: 0 6px; font-weight: bold; }"));
    m_liveState->hide();
    bar->addPermanentWidget(m_liveState);
}

void TForm1::showBusy(bool busy) {
    QWidget *const controls[] = {spRetry, spConnect, ComboBox1, spRead,
                                 spWrite, spOpen,    spClose,   spSave};
    for (QWidget *w : controls) {
        if (busy) {
            m_heldEnabled.insert(w, w->isEnabled());
            w->setEnabled(false);
        } else {
            w->setEnabled(m_heldEnabled.value(w, w->isEnabled()));
        }
    }
    if (!busy) m_heldEnabled.clear();
    m_progress->setVisible(busy);
}

void TForm1::holdEditors(bool hold) {
    if (hold == m_editorsHeld) return;
    m_editorsHeld = hold;
    QWidget *const areas[] = {m_setupPage->editorArea(), m_mapPages->editorPanel(0),
                              m_mapPages->editorPanel(1), m_mapPages->editorPanel(2)};
    for (QWidget *w : areas)
        w->setEnabled(!hold);
}

void TForm1::setControlEnabled(QWidget *control, bool on) {
    const auto held = m_heldEnabled.find(control);
    if (held != m_heldEnabled.end())
        *held = on;
    else
        control->setEnabled(on);
}

QString TForm1::statusText(int panel) const {
    if (panel < 0 || panel > 2) return QString();
    return m_statusText[panel];
}

void TForm1::setStatus(int panel, const QString &text) {
    if (panel < 0 || panel > 2) return;
    QLabel *l = m_panel[panel];
    m_statusText[panel] = text;
    // A text longer than its panel shows its start and its end (a file name's end tells most);
    // the whole text is in the tooltip and read by a screen reader.
    // The panel's fixed width: its geometry is not laid out before the window first shows.
    const int room = l->maximumWidth() - 2 * (l->frameWidth() + l->margin()) -
                     l->fontMetrics().horizontalAdvance(QLatin1Char('x'));
    l->setText(l->fontMetrics().horizontalAdvance(text) <= room
                   ? text
                   : l->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    l->setAccessibleName(text);
    l->setAccessibleDescription(text);
    l->setToolTip(text);
}

void TForm1::updatePortHint() {
    QString tip = QString::fromLatin1(PortHint);
    const int n = PortMap::portNumber(ComboBox1->currentText());
    if (n > 0) {
        const QString dev = PortMap::instance().device(n);
        tip += QStringLiteral("\nCom%1: %2")
                   .arg(n)
                   .arg(dev.isEmpty() ? QStringLiteral("no device") : dev);
    }
    if (!m_conn->portFailures().isEmpty())
        tip += QLatin1Char('\n') + m_conn->portFailures().join('\n');
    // What the last run used, for the user to pick again (never reused by itself).
    if (!m_lastRun.isEmpty()) tip += QLatin1Char('\n') + m_lastRun.join('\n');
    ComboBox1->setToolTip(tip);
}

// ---- Start-up and port discovery -------------------------------------------------------------

void TForm1::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // Let the window paint before the search blocks for the probes.
        if (m_autoSearch) QTimer::singleShot(0, this, &TForm1::FormShow);
    }
}

void TForm1::connectConnection() {
    using Action = ConnectionController::Action;
    ConnectionController &c = *m_conn;
    c.setPortSource([this] { return portFromBox(); });
    connect(&c, &ConnectionController::status, this, &TForm1::setStatus);
    // In the order of ConnectionController::Action.
    connect(&c, &ConnectionController::actionEnabled, this, [this](Action a, bool on) {
        QWidget *const controls[] = {spRetry, spConnect, ComboBox1, spRead, spWrite};
        setControlEnabled(controls[int(a)], on);
    });
    connect(&c, &ConnectionController::busyChanged, this, &TForm1::showBusy);
    connect(&c, &ConnectionController::portListed, this, &TForm1::addPortItem);
    connect(&c, &ConnectionController::emuFound, this,
            [this](int n) { ComboBox1->setEditText(QStringLiteral("Com%1").arg(n)); });
    connect(&c, &ConnectionController::moduleTypeShown, this,
            [this](const QString &name) { m_setupPage->setEmuType(name); });
    connect(&c, &ConnectionController::setupDecoding, m_setupPage, &SetupPage::decodeSetup);
    connect(&c, &ConnectionController::setupLoaded, this, &TForm1::showSetupLoaded);
    connect(&c, &ConnectionController::changesDiscarded, m_setupPage,
            &SetupPage::refillAfterDiscard);
    connect(&c, &ConnectionController::readStarting, this, &TForm1::stopCalibrationPoll);
    // An edit made while the tables are read would reach the EMU after the read, and the read's
    // decode would put the old value back in memory: the editors wait until the read is over.
    connect(&c, &ConnectionController::readStarting, this, [this] { holdEditors(true); });
    connect(&c, &ConnectionController::tablesRead, this, [this] { holdEditors(false); });
    connect(&c, &ConnectionController::busyChanged, this, [this](bool busy) {
        if (!busy) holdEditors(false);
    });
    connect(&c, &ConnectionController::tablesRead, this, [this] {
        m_mapPages->readTables();
        updateAnalyseButton();
    });
    connect(&c, &ConnectionController::liveRequested, this, &TForm1::startLiveSignals);
    connect(&c, &ConnectionController::tablesWritten, this, [this] {
        m_mapPages->afterWrite();
        m_setupPage->refreshAfterWrite();
    });
    // A record of frozen values would look like a running engine: the log ends here, with
    // every sample taken so far in its file.
    connect(&c, &ConnectionController::linkDropped, this, [this] {
        if (m_loggerPage->running()) m_loggerPage->SpeedButton2Click();
    });
    // The poll has stopped itself; the box follows without running its handler again.
    connect(&c, &ConnectionController::liveLost, this, [this] {
        const QSignalBlocker quiet(AnalogEn);
        AnalogEn->setChecked(false);
        RT_Track->setEnabled(false);
    });
    connect(&c, &ConnectionController::connectFinished, this, &TForm1::connectFinished);
}

void TForm1::FormShow() {
    move(x(), 0);
    m_conn->startupSearch();
    m_lastPortText = ComboBox1->currentText();
    updatePortHint();
    PageControl1->setCurrentIndex(0);
}

void TForm1::spRetryClick() {
    const QString text = ComboBox1->currentText();
    ComboBox1->clear();
    ComboBox1->setEditText(text);
    m_conn->repeatSearch();
    m_conn->whenIdle([this] {
        m_lastPortText = ComboBox1->currentText();
        updatePortHint();
    });
}

void TForm1::addPortItem(int n) {
    // Listing a port does not change the text of the box.
    const QString text = ComboBox1->currentText();
    ComboBox1->addItem(QStringLiteral("Com%1").arg(n));
    ComboBox1->setEditText(text);
}

int TForm1::portFromBox() {
    const QString text = ComboBox1->currentText();
    const QString digits = text.mid(3, 2);
    bool ok = false;
    const int n = digits.toInt(&ok);
    if (!ok || digits.trimmed() != digits) {
        Messages::error(this, QStringLiteral("'%1' is not a valid integer value").arg(digits));
        return -1;
    }
    return n;
}

void TForm1::ComboBox1Change() {
    m_lastPortText = ComboBox1->currentText();
    if (ComboBox1->currentText().isEmpty()) return;
    const int n = portFromBox();
    if (n < 0) return;
    m_conn->selectPort(n);
}

// ---- Connect ---------------------------------------------------------------------------------

void TForm1::spConnectClick() {
    m_conn->connectEmu();
}

QString TForm1::serialText() const {
    return m_conn->serialText();
}

// Connect has the setup block: the editors, the identity boxes, gauges, charts and panels.
void TForm1::showSetupLoaded() {
    Session &s = *m_session;
    // 10. (The editors have shown the setup block.)
    positionLambdaMarkers();
    // 11.
    m_setupPage->showIdentity();
    // 12. Gauges.
    scaleGauges();
    // 13.-15. Charts, axes and keyboard steps of the present capabilities.
    m_mapPages->configureAtConnect();
    if (s.caps().fuel) m_setupPage->setPumpPanelEnabled(true);
    // 16.
    m_setupPage->setSetupPanelsEnabled(true);
    // 17.
    m_setupPage->updateCalibrateButtons();
    // 21.
    selectLoggerInterval();
}

// ---- Table read and write --------------------------------------------------------------------

void TForm1::spReadClick() {
    m_conn->readTables();
}

void TForm1::startLiveSignals(bool afterRead) {
    AnalogEn->setEnabled(true);
    if (afterRead) {
        AnalogEn->setChecked(true); // starts the poll if it was off
        RT_Track->setChecked(false);
    } else if (AnalogEn->isChecked()) {
        AnalogEnClick();
    } else {
        AnalogEn->setChecked(true);
    }
    RT_Track->setEnabled(true);
}

void TForm1::AnalogEnClick() {
    if (AnalogEn->isChecked())
        startLivePoll();
    else
        stopLivePoll();
}

// ---- Monitoring ------------------------------------------------------------------------------

void TForm1::startLivePoll() {
    if (m_closing) return;          // a Connect that ends while the window waits to close
    m_poll->setAnalogEnabled(true); // Timer1 on, "Realtime Tracking" enabled
}

void TForm1::stopLivePoll() {
    m_poll->setAnalogEnabled(false);
}

void TForm1::stopCalibrationPoll() {
    m_poll->stopCalibration();
}

void TForm1::scaleGauges() {
    m_monitorPage->rescale(m_session->rpmRange(), m_session->mapSensorRange());
}

void TForm1::selectLoggerInterval() {
    m_loggerPage->selectConnectInterval();
}

void TForm1::positionLambdaMarkers() {
    for (TRT *f : {RT1, RT2, RT3, RT4})
        f->placeLambdaTarget(m_session->lambdaTarget());
}

void TForm1::lambdaTargetMoved() {
    // While the target track bar is moved only the frame beside it follows; a target set
    // otherwise (the decode, the target box) moves every marker.
    if (RT2->targetEditing())
        RT2->placeLambdaTarget(m_session->lambdaTarget(), true);
    else
        positionLambdaMarkers();
}

void TForm1::lambdaTargetFocus(bool focused) {
    RT2->setTargetEditing(focused);
    if (!focused) positionLambdaMarkers();
}

void TForm1::CalBtnClick() {
    setEnabled(false);
    m_calForm->open();
    m_poll->startCalibration();
}

// ---- Analysis and service --------------------------------------------------------------------

void TForm1::updateAnalyseButton() {
    // Both timing maps are in memory once a table read has filled them.
    sp3D->setEnabled(TTimingAnalysis::analysisAvailable(*m_session));
}

void TForm1::sp3DClick() {
    m_analysis->analyse(*m_session);
}

void TForm1::spAboutClick() {
    m_about->showAbout();
}

void TForm1::spPrintClick() {
    auto *chart = qobject_cast<QCustomPlot *>(m_mapPages->chart(QStringLiteral("TimingChart")));
    if (chart) Printing::printWithDialog(chart, this);
}

void TForm1::spWriteClick() {
    m_conn->writeTables(VerifyAfterWrite->isChecked());
}

void TForm1::compareWithFile() {
    const QString name = m_openChooser ? m_openChooser(this) : QString();
    if (name.isEmpty()) return;
    if (!m_compare) {
        m_compare = std::make_unique<CompareWindow>(*m_session, this);
        CompareWindow *w = m_compare.get();
        connect(w, &CompareWindow::closed, this, [this] { m_mapPages->setOtherTune(nullptr); });
        connect(w, &CompareWindow::pointChosen, this, [this](MapId id, int p) {
            QWidget *const sheets[] = {TimingSheet, FuelSheet, CorrectionSheet};
            const int tab = m_mapPages->selectPoint(id, p);
            if (tab < 0) return;
            PageControl1->setCurrentWidget(sheets[tab]);
            activateWindow();
        });
        // The list follows memory while it is open.
        auto follow = [w] {
            if (w->isVisible()) w->scheduleRefresh();
        };
        connect(m_session.get(), &Session::mapChanged, w, follow);
        connect(m_session.get(), &Session::setupChanged, w, follow);
        connect(m_conn, &ConnectionController::tablesRead, w, follow);
    }
    QString error;
    if (!m_compare->openFile(name, &error)) {
        Messages::error(this, error);
        return;
    }
    const emu::model::Tune &other = m_compare->otherTune();
    m_mapPages->setOtherTune(&other.maps, other.axes, other.caps);
    m_compare->show();
    m_compare->raise();
}

void TForm1::showFuelSuggestions() {
    if (!m_fuelSuggest) {
        m_fuelSuggest = std::make_unique<FuelSuggestWindow>(*m_session, *m_mapPages, this);
        m_fuelSuggest->setLiveFeed(m_poll);
        m_fuelSuggest->setLoggerLog({[this] { return m_loggerPage->shownRecord(); },
                                     [this] { return m_loggerPage->shownLogName(); }});
    }
    m_fuelSuggest->show();
    m_fuelSuggest->raise();
}

void TForm1::setupEdited() {
    setControlEnabled(spRead, false);
    setControlEnabled(spWrite, true);
}

void TForm1::SpeedButton3Click() {
    m_mapPages->setMouseTuning(SpeedButton3->isChecked());
}

// ---- Files -----------------------------------------------------------------------------------

void TForm1::spOpenClick() {
    if (m_session->isModified()) {
        askUnsaved(Pending::Open);
        return;
    }
    openFile();
}

void TForm1::openFile() {
    m_conn->leaveFileMode();
    const QString name = m_openChooser ? m_openChooser(this) : QString();
    if (name.isEmpty()) return;
    m_openDir = QFileInfo(name).absolutePath();
    openSetupFile(name);
}

void TForm1::openSetupFile(const QString &name) {
    QString error;
    if (!m_conn->openSetupFile(name, &error)) Messages::error(this, error);
}

void TForm1::spSaveClick() {
    setEnabled(false);
    m_saveFrm->showOver(this);
}

void TForm1::saveChosen(bool fromMemory) {
    m_conn->tableForSave(
        fromMemory, [this, fromMemory](std::optional<TableValues> table, const QString &problem) {
            if (!problem.isEmpty()) Messages::error(this, problem);
            if (table) {
                const QString name = m_saveChooser ? m_saveChooser(m_saveFrm.get()) : QString();
                if (!name.isEmpty()) {
                    QString error;
                    if (m_conn->saveSetupFile(name, *table, fromMemory, &error))
                        m_saveDir = QFileInfo(name).absolutePath();
                    else
                        Messages::error(this, error);
                }
            }
            m_saveFrm->finish();
            setEnabled(true);
        });
}

void TForm1::saveCancelled() {
    setEnabled(true);
}

void TForm1::spCloseClick() {
    m_mapPages->closeAll();
    m_conn->leaveFileMode();
    setStatus(0, QStringLiteral("Tables closed: the timing and fuel charts are cleared; the setup "
                                "is kept"));
}

void TForm1::spExitClick() {
    m_exiting = true;
    close();
}

bool TForm1::finishLinkFirst() {
    // An edit, a Write or a sequence still queued for the EMU goes out whole before the port
    // closes: closing now would leave the EMU with part of what the maps in memory say.
    EmuLink &link = m_session->link();
    if (m_closeWaited || !link.busy()) return false;
    if (!m_closing) {
        m_closing = true;
        m_exiting = true; // the unsaved changes were dealt with
        m_poll->setAnalogEnabled(false);
        m_poll->stopCalibration();
        setEnabled(false); // no new edits meanwhile
        setStatus(0, QStringLiteral("Sending the last changes to the EMU..."));
        QTimer::singleShot(CloseWaitMs, this, [this] {
            m_closeWaited = true;
            close();
        });
    }
    if (!m_closeArmed) {
        m_closeArmed = true;
        connect(
            &link, &EmuLink::idle, this,
            [this] {
                m_closeArmed = false;
                close();
            },
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    }
    return true;
}

// ---- Unsaved changes -------------------------------------------------------------------------

void TForm1::askUnsaved(Pending then) {
    m_pending = then;
    setEnabled(false);
    // "Yes" can only write when an EMU is connected or Connect can reach one.
    m_svForm->showOver(this, m_session->isConnected() || spConnect->isEnabled());
}

void TForm1::unsavedAnswered(TsvForm::Answer answer) {
    const Pending then = m_pending;
    m_pending = Pending::None;
    setEnabled(true);
    switch (answer) {
    case TsvForm::Answer::Yes:
        m_conn->connectAndWrite(VerifyAfterWrite->isChecked(), [this, then] {
            PageControl1->setCurrentWidget(TimingSheet);
            // Closing or opening goes on once the tables are out.
            m_conn->whenIdle([this, then] { runPending(then); });
        });
        break;
    case TsvForm::Answer::Discard:
        m_conn->discardChanges();
        runPending(then);
        break;
    case TsvForm::Answer::Later:
        // Nothing is thrown away: the pending close or open does not happen.
        m_conn->keepChanges();
        break;
    }
}

void TForm1::runPending(Pending p) {
    switch (p) {
    case Pending::None:
        break;
    case Pending::Close:
        m_exiting = true;
        close();
        break;
    case Pending::Open:
        openFile();
        break;
    }
}

void TForm1::closeEvent(QCloseEvent *event) {
    if (!m_exiting && m_session->isModified()) {
        event->ignore();
        if (!m_svForm->isVisible()) askUnsaved(Pending::Close);
        return;
    }
    if (finishLinkFirst()) {
        event->ignore();
        return;
    }
    m_session->port().Close();
    m_saveFrm->hide();
    m_svForm->hide();
    saveSettings();
    event->accept();
}

// ---- Settings --------------------------------------------------------------------------------

QString TForm1::folderOr(const QString &dir) {
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}

void TForm1::restoreSettings() {
    AppSettings settings;
    QSettings &s = settings.store();
    m_settingsOn = true;
    if (!settings.problem().isEmpty()) statusBar()->showMessage(settings.problem(), 10000);
    restoreGeometry(s.value(QLatin1String(AppSettings::Geometry)).toByteArray());
    m_lastRun.clear();
    const QString port = s.value(QLatin1String(AppSettings::LastPort)).toString();
    if (!port.isEmpty()) m_lastRun << QStringLiteral("Last used: ") + port;
    for (const QString &m : s.value(QLatin1String(AppSettings::PortMappings)).toStringList())
        m_lastRun << QStringLiteral("Given last time: --port ") + m;
    updatePortHint();
    m_openDir = s.value(QLatin1String(AppSettings::OpenDir)).toString();
    m_saveDir = s.value(QLatin1String(AppSettings::SaveDir)).toString();
    m_logDir = s.value(QLatin1String(AppSettings::LogDir)).toString();
    m_loggerPage->setSaveFileDialog([this](QWidget *p, const QString &suggested) {
        const QString name = QFileDialog::getSaveFileName(
            p, QStringLiteral("Record to File"),
            m_logDir.isEmpty() ? suggested
                               : QDir(m_logDir).filePath(QFileInfo(suggested).fileName()),
            QStringLiteral("Data logs (*.csv)"));
        if (!name.isEmpty()) m_logDir = QFileInfo(name).absolutePath();
        return name;
    });
    const QVariant channels = s.value(QLatin1String(AppSettings::LogChannels));
    if (channels.isValid()) {
        const QStringList on = channels.toStringList();
        for (int i = 0; i < LogChannels::Count; ++i) {
            QCheckBox *box = m_loggerPage->channelBox(i);
            box->setChecked(on.contains(box->objectName()));
        }
    }
    m_loggerPage->setPaneLayout(s.value(QLatin1String(AppSettings::LogPanes)).toString());
    m_loggerPage->setIntervalName(s.value(QLatin1String(AppSettings::LogInterval)).toString());
    VerifyAfterWrite->setChecked(s.value(QLatin1String(AppSettings::VerifyWrite), false).toBool());
}

void TForm1::saveSettings() {
    if (!m_settingsOn) return;
    AppSettings settings;
    QSettings &s = settings.store();
    s.setValue(QLatin1String(AppSettings::Geometry), saveGeometry());
    s.setValue(QLatin1String(AppSettings::LastPort), ComboBox1->currentText());
    QStringList mappings;
    const PortMap &ports = PortMap::instance();
    for (int n = 1; n <= PortMap::MaxPorts; ++n)
        if (ports.isExplicit(n)) mappings << QStringLiteral("Com%1=%2").arg(n).arg(ports.device(n));
    s.setValue(QLatin1String(AppSettings::PortMappings), mappings);
    s.setValue(QLatin1String(AppSettings::OpenDir), m_openDir);
    s.setValue(QLatin1String(AppSettings::SaveDir), m_saveDir);
    s.setValue(QLatin1String(AppSettings::LogDir), m_logDir);
    QStringList on;
    for (int i = 0; i < LogChannels::Count; ++i)
        if (m_loggerPage->channelBox(i)->isChecked())
            on << m_loggerPage->channelBox(i)->objectName();
    // An empty list would be stored as no value at all and come back as every channel.
    s.setValue(QLatin1String(AppSettings::LogChannels),
               on.isEmpty() ? QVariant(QString()) : QVariant(on));
    const QString interval = m_loggerPage->intervalName();
    if (!interval.isEmpty()) s.setValue(QLatin1String(AppSettings::LogInterval), interval);
    s.setValue(QLatin1String(AppSettings::VerifyWrite), VerifyAfterWrite->isChecked());
    s.setValue(QLatin1String(AppSettings::LogPanes), m_loggerPage->paneLayout());
    s.sync();
    if (s.status() != QSettings::NoError)
        statusBar()->showMessage(
            QStringLiteral("Settings could not be saved to %1.").arg(s.fileName()));
}

// ---- Keys ------------------------------------------------------------------------------------

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type t = event->type();
    if ((t == QEvent::KeyPress || t == QEvent::KeyRelease) && isEnabled()) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->window() == this) {
            // Every key reaches the focused control first (or the window when nothing has the
            // focus); seeing it there once is the key preview.
            QWidget *focus = QApplication::focusWidget();
            QWidget *target = (focus && focus->window() == this) ? focus : this;
            if (w == target) {
                const int key = static_cast<QKeyEvent *>(event)->key();
                if (t == QEvent::KeyPress) {
                    FormKeyDown(key);
                    if (key == Qt::Key_Escape) return true;
                } else {
                    FormKeyUp(key);
                }
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormKeyDown(int key) {
    if (key == Qt::Key_Escape) {
        spExitClick();
        return;
    }
    m_mapPages->formKeyDown(key, PageControl1->currentWidget() == FuelSheet);
}

void TForm1::FormKeyUp(int key) {
    if (key == Qt::Key_Escape) return;
    m_mapPages->formKeyUp(key);
}
