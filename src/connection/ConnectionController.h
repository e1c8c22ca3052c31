#pragma once
// The connection to the EMU: the port search, Connect, the table read and write and the image
// that Save From EMU stores. It runs the exchanges in their order, keeps what a failed exchange
// must not destroy (the setup and maps in memory, the news of a lost link) and reports through
// signals; the main window shows the reports, and emutool's read and write use the same steps.
#include "link/EmuLink.h"
#include "model/EmuImage.h"
#include "model/TuneCompare.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Session;
struct TableStream;

// What reading the image back after a table write found.
struct VerifyResult {
    int received = 0; // bytes of the reply
    // Positions of the setup block and of the EMU's map sections that do not hold what was
    // written, in stream order.
    std::vector<emu::model::StreamMismatch> mismatches;
    bool verified() const { return mismatches.empty(); }
    // "the EMU sent nothing back" or the first mismatch, for a status line.
    QString firstProblem() const;
};

class ConnectionController : public QObject {
    Q_OBJECT
public:
    // The controls that follow the connection: the repeated search, Connect, the port choice,
    // Read and Write.
    enum class Action { Retry, Connect, PortChoice, Read, Write };
    Q_ENUM(Action)
    // The port number Connect uses, asked for each time it is needed; a negative answer stops the
    // step (the asker has already said why).
    using PortSource = std::function<int()>;

    // Sets the session's port up for the EMU: 19200 baud 8N1, no flow control, no boxes, no
    // waiting inside Receive (the protocol waits itself).
    explicit ConnectionController(Session &session, QObject *parent = nullptr);

    void setPortSource(PortSource source) { m_portSource = std::move(source); }

    // Every sequence below (search, Connect, Read, Write, Save From EMU) runs on the link's
    // timers and reports through the signals as it goes; they run one after another, and while
    // one runs the link holds back everything else (the live poll, a user's edit), which then
    // follows in order. busyChanged tells when the first starts and the last has ended.
    bool busy() const { return m_busy; }
    // fn runs once every sequence asked for before it has ended.
    void whenIdle(std::function<void()> fn);

    // ---- Port search
    // Every port probed for 100 ms; the last one where an EMU answers is preselected.
    void startupSearch();
    // Every port probed for 200 ms; the first one where an EMU answers wins.
    void repeatSearch();
    // A port chosen by hand: Com n is opened and stays open.
    void selectPort(int n);

    // ---- Connect, Read, Write, Save From EMU
    void connectEmu();
    void readTables();
    // verify: read the image back after the write and compare it (the status says how it went).
    void writeTables(bool verify = false);
    // The table values a setup file stores, from the table write stream in memory (at once) or
    // from a fresh image of the EMU. None when there is no source (the status bar says why);
    // the message is set when the failure deserves a box.
    using TableDone = std::function<void(std::optional<TableValues>, const QString &message)>;
    void tableForSave(bool fromMemory, TableDone done);

    // ---- Setup files
    // Reads a setup file into the image and enters file mode, armed for Connect and the table
    // read (which the caller runs). A file that cannot be read changes nothing but file mode,
    // which is left, and gives the message in *error.
    bool openFile(const QString &name, QString *error);
    // Open and Close all leave file mode first.
    void leaveFileMode();
    // Open: reads the file (openFile), then Connect and the table read run on its data. False
    // with the message in *error when the file cannot be read (nothing else runs).
    bool openSetupFile(const QString &name, QString *error);
    // The text of a setup file: the session's identity and vehicle strings with `table`.
    QByteArray setupFileContent(const TableValues &table) const;
    // Save: writes the file with a checked write (a temporary file, never a partial one) and
    // says in the status bar what it wrote ("Setup saved from memory to ..."), or that it did
    // not; false with the system's reason in *error.
    bool saveSetupFile(const QString &name, const TableValues &table, bool fromMemory,
                       QString *error);

    // ---- The unsaved-changes prompt
    // "Yes": Connect, then, with an EMU connected, Write; `writing` runs once the write is
    // queued (whatever is queued after it runs once the tables are out). Without an EMU the
    // status bar says nothing was written and `writing` does not run.
    void connectAndWrite(bool verify, std::function<void()> writing);
    // "Discard": the setup counts as the EMU's again; changesDiscarded lets the editors show
    // the setup block again, then Read is offered while connected.
    void discardChanges();
    // "Later": keep the changes; Write only while connected, Read offered while connected.
    void keepChanges();

    // ---- Decoding into memory (Connect, Read, Open; rigs without a controller use these too)
    // The maps of the session's capabilities from the file table area, and "Cruise" as the
    // edited fuel RPM map.
    static void decodeTables(Session &s);
    // The working values and R, N and S from the setup block as the editors left it.
    static void deriveFromSetup(Session &s);

    // ---- Single steps (emutool runs them on its own; each waits for its exchange in a local
    // event loop, so the window never uses them)
    // Opens Com n; false when it did not open.
    bool openPort(int n);
    // 0xFF, 300 ms, into the session's identity block (fill bytes where nothing came). Returns
    // the number of bytes received.
    int identify();
    // The identity block carries the signature of an EMU on the line.
    bool liveEmuAnswered() const;
    // Model and version texts, module type name and capabilities from the identity block; the
    // capabilities are only ever added. False for a model code this program does not know,
    // which leaves the name and the capabilities as they were.
    bool adoptModel();
    // 0xFD, 500 ms; the reply and in *usable the number of its bytes that count (up to the first
    // zero byte, at most 457). Anything short of 457 is no whole image.
    QByteArray readImage(int *usable);
    // The table write from the session's setup block, maps and capabilities: 0xF3, the pause,
    // the 458-byte stream. Returns whether the port took every byte.
    bool sendTables(TableStream *sent = nullptr);
    // 0xFD, 500 ms, compared with what `written` put on the EMU: the setup block and the map
    // sections of the session's capabilities.
    VerifyResult verifyTables(const TableStream &written);
    // An image from readImage into memory: the file table area, the setup block from it, R, N,
    // S and the working values, the maps of the session's capabilities. Nothing is sent.
    void takeImage(const QByteArray &reply);

    bool linkLost() const { return m_linkLost; }
    // "AB-010203-04", set at Connect.
    QString serialText() const { return m_serialText; }
    // Ports given on the command line that did not open at the last search, with the reason.
    const QStringList &portFailures() const { return m_portFailures; }

signals:
    // Status bar panel 0, 1 or 2.
    void status(int panel, const QString &text);
    void actionEnabled(ConnectionController::Action action, bool on);
    // A search listed Com n (it opened) / preselects Com n (an EMU answered there).
    void portListed(int n);
    void emuFound(int n);
    // Connect shows the module type name ("EMU Type").
    void moduleTypeShown(const QString &name);
    // Connect has the setup block: the editors show it (each changed editor runs its handler,
    // as a change by the user does). The working values are derived after it.
    void setupDecoding();
    // Connect has the setup block and the values derived from it: the gauges, charts and panels
    // follow. Sent before the reconnect probe and the table read.
    void setupLoaded();
    // Read is about to take the EMU's image (the calibration poll stops).
    void readStarting();
    // The map tables are in the image and decoded into the maps: the pages show them.
    void tablesRead();
    // "Discard" of the unsaved-changes prompt: the editors show the setup block again.
    void changesDiscarded();
    // The live signals go on: after a read (the tracking box unchecked) or after finding the EMU
    // again with the memory kept.
    void liveRequested(bool afterRead);
    // The tables went to the port: curves and editors are refreshed from memory.
    void tablesWritten();
    // The device of the open port went away (first notice; the data logger stops).
    void linkDropped();
    // The live signals are off because of a lost link.
    void liveLost();
    // Connect ran to its end.
    void connectFinished();
    // Write ran to its end (written, verified or failed).
    void tablesWriteFinished();
    // A sequence started (true) / the last one queued has ended (false).
    void busyChanged(bool busy);

private:
    using Identity = std::array<quint8, emu::link::IdentitySize>;
    void runJob(std::function<void()> body);
    void nextJob();
    void endJob();
    void searchStep(int n, bool startup, std::shared_ptr<bool> found);
    void connectSteps();
    void connectSetup();
    void connectDecode(bool setupWhole);
    void reconnectProbed(bool setupWhole);
    void connectEnd(bool setupWhole);
    void readSteps(std::function<void()> then);
    void readDecode(bool whole, const std::function<void()> &then);
    void writeFailed();
    void writeDone(const std::optional<VerifyResult> &check);
    VerifyResult compareTables(const TableStream &written, const QByteArray &reply) const;
    int takeIdentity(const EmuLink::Reply &reply);
    static int usableImage(const QByteArray &reply);

    void deviceLost(int port, const QString &device);
    void reportLinkLost(const QString &more = QString());
    bool openForProbe(int n);
    void probe(int n, int waitMs, std::function<void(bool opened, const Identity &)> then);
    void notePermissionProblem();
    void setIdentityTexts();
    void reconnectKeepingMemory();

    Session &m_s;
    PortSource m_portSource;
    QString m_serialText;
    QStringList m_deniedDevices; // ports refused for lack of permission during a search
    QStringList m_portFailures;  // other ports that did not open, with the reason
    bool m_permissionReported = false;
    bool m_searching = false; // a port search runs (probes are no connection that can be lost)
    bool m_linkLost = false;  // the EMU's device went away since the last good Connect
    int m_lostPort = 0;
    QString m_lostDevice;
    // The setup and the maps in memory came whole from an EMU or a file: a failed exchange
    // must not replace them.
    bool m_dataLoaded = false;
    std::deque<std::function<void()>> m_jobs;
    bool m_inJob = false;
    bool m_busy = false;
    int m_sequence = 0;
};
