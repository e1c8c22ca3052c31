#include "connection/ConnectionController.h"

#include "connection/Session.h"
#include "connection/SetupFile.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "model/TableStream.h"

#include <QDir>
#include <QScopedValueRollback>

using emu::link::FileSignature;
using emu::link::LiveSignature;
using Action = ConnectionController::Action;

namespace {
QString dec(quint8 b) {
    return QString::number(int(b));
}

// Module type names of the start-up search, which knows fewer models than Connect.
void searchModuleType(int modelCode, QString *name) {
    switch (modelCode) {
    case 1:
        *name = QStringLiteral("Timing");
        break;
    case 2:
        *name = QStringLiteral("Fuel");
        break;
    case 3:
        *name = QStringLiteral("Fuel and Timing");
        break;
    default:
        break;
    }
}
} // namespace

ConnectionController::ConnectionController(Session &session, QObject *parent)
    : QObject(parent), m_s(session) {
    TQCCom32 &efi = m_s.port();
    efi.setAllowEvents(false);
    efi.setBaud(emu::link::Baud);
    efi.setHandshaking(hsNone);
    efi.setResponseTime(100);
    efi.setPort(1);
    efi.setShowErrors(false);
    efi.setEndOfResponse(QString());
    connect(&efi, &TQCCom32::lostDevice, this, &ConnectionController::deviceLost);
    // Undo never reaches across a Connect or a table read; it sends nothing while the link is
    // lost.
    m_s.setLinkDownQuery([this] { return m_linkLost; });
    connect(this, &ConnectionController::connectFinished, &m_s, &Session::clearHistory);
}

// ---- Setup files -----------------------------------------------------------------------------

bool ConnectionController::openFile(const QString &name, QString *error) {
    leaveFileMode();
    SetupFileData data;
    if (!SetupFile::read(name, &data, error)) return false;
    EmuImage image = m_s.image();
    SetupFile::apply(data, image);
    m_s.loadImage(image);
    m_s.setFileMode(true);
    m_s.enableEditing();
    // A newly opened file brings its own setup block: Connect must load it rather than keep
    // the one of an earlier file.
    m_s.setFileConnectPending(false);
    return true;
}

void ConnectionController::leaveFileMode() {
    m_s.setFileMode(false);
}

bool ConnectionController::openSetupFile(const QString &name, QString *error) {
    if (!openFile(name, error)) return false;
    connectEmu();
    readTables();
    return true;
}

QByteArray ConnectionController::setupFileContent(const TableValues &table) const {
    const EmuImage &img = m_s.image();
    std::array<quint8, 7> identity;
    std::copy(img.identity.begin(), img.identity.end(), identity.begin());
    return SetupFile::format(identity, img.vehicleMake, img.vehicleModel, img.engineType, table);
}

bool ConnectionController::saveSetupFile(const QString &name, const TableValues &table,
                                         bool fromMemory, QString *error) {
    if (!SetupFile::write(name, setupFileContent(table), error)) {
        emit status(0, QStringLiteral("Setup NOT saved to %1").arg(QDir::toNativeSeparators(name)));
        return false;
    }
    emit status(0, QStringLiteral("Setup saved from %1 to %2")
                       .arg(fromMemory ? QStringLiteral("memory") : QStringLiteral("EMU"),
                            QDir::toNativeSeparators(name)));
    return true;
}

// ---- Unsaved changes -------------------------------------------------------------------------

void ConnectionController::connectAndWrite(bool verify, std::function<void()> writing) {
    connectEmu();
    whenIdle([this, verify, writing] {
        if (!m_s.isConnected()) {
            emit status(0, QStringLiteral("EMU not connected, data NOT written to EMU"));
            return;
        }
        emit actionEnabled(Action::Read, false);
        writeTables(verify);
        if (writing) writing();
    });
}

void ConnectionController::discardChanges() {
    m_s.setModified(false);
    emit changesDiscarded();
    if (m_s.isConnected()) emit actionEnabled(Action::Read, true);
}

void ConnectionController::keepChanges() {
    if (!m_s.isConnected())
        emit actionEnabled(Action::Write, false);
    else
        emit actionEnabled(Action::Read, true);
}

// ---- Decoding --------------------------------------------------------------------------------

void ConnectionController::decodeTables(Session &s) {
    const Capabilities caps = s.caps();
    for (MapId id : emu::model::allMaps())
        if (emu::model::hasCapability(caps, id)) s.decodeMap(id);
    if (caps.fuel) s.setFuelVariant(FuelVariant::Cruise);
}

void ConnectionController::deriveFromSetup(Session &s) {
    s.deriveWorkingValues();
    s.deriveFromSetup();
}

// ---- Port search -----------------------------------------------------------------------------

bool ConnectionController::openForProbe(int n) {
    TQCCom32 &efi = m_s.port();
    efi.setPort(n);
    if (efi.Open()) return true;
    if (efi.lastOpenError() == ByteDevice::OpenError::PermissionDenied) {
        const QString dev = PortMap::instance().device(n);
        m_deniedDevices << QStringLiteral("Com%1 (%2)").arg(n).arg(dev);
    } else if (PortMap::instance().isExplicit(n)) { // asked for: say why it failed
        m_portFailures << PortMap::openFailure(QStringLiteral("Com%1").arg(n),
                                               PortMap::instance().device(n), efi.lastOpenError(),
                                               efi.lastOpenErrorString());
    }
    return false;
}

void ConnectionController::probe(int n, int waitMs,
                                 std::function<void(bool, const Identity &)> then) {
    Identity id;
    id.fill(emu::link::FillByte);
    if (!openForProbe(n)) {
        then(false, id);
        return;
    }
    m_s.link().identify(waitMs, [then](const EmuLink::Reply &r) {
        Identity got;
        emu::link::fillAndCopy(r.bytes, got.data(), emu::link::IdentitySize,
                               emu::link::IdentitySize, false);
        then(true, got);
    });
}

void ConnectionController::notePermissionProblem() {
    if (!m_portFailures.isEmpty())
        emit status(0, QStringLiteral("No EMU present - %1").arg(m_portFailures.join("; ")));
    if (m_deniedDevices.isEmpty() || m_permissionReported) return;
    m_permissionReported = true;
    QString text = QStringLiteral("No permission to open %1").arg(m_deniedDevices.join(", "));
#ifdef Q_OS_LINUX
    text += QStringLiteral(" - add the user to the dialout group");
#endif
    emit status(0, text);
}

void ConnectionController::startupSearch() {
    runJob([this] {
        m_searching = true;
        m_deniedDevices.clear();
        m_portFailures.clear();
        searchStep(1, true, std::make_shared<bool>(false));
    });
}

void ConnectionController::repeatSearch() {
    runJob([this] {
        m_searching = true;
        // An adapter plugged in again may come back under another device name: look at the
        // system's serial devices anew so that it gets a port number.
        PortMap::instance().scanSystem();
        m_s.port().Close();
        m_deniedDevices.clear();
        m_portFailures.clear();
        searchStep(1, false, std::make_shared<bool>(false));
    });
}

void ConnectionController::searchStep(int n, bool startup, std::shared_ptr<bool> found) {
    if (n > PortMap::MaxPorts) {
        m_searching = false;
        if (!*found) {
            if (startup) emit status(0, QStringLiteral("No EMU present"));
            notePermissionProblem();
        }
        endJob();
        return;
    }
    const int wait = startup ? emu::link::WaitIdentifyProbe : emu::link::WaitIdentifyRefresh;
    probe(n, wait, [this, n, startup, found](bool opened, const Identity &id) {
        if (opened) emit portListed(n);
        // A port that did not open has an empty probe buffer: it never counts as an EMU.
        const bool emu = opened && emu::link::signature(id.data()) == LiveSignature;
        if (startup && emu) {
            QString name = m_s.moduleTypeName();
            searchModuleType(id[1], &name);
            m_s.setModuleTypeName(name);
            emit status(0, m_s.moduleTypeName() + QStringLiteral(" Module found on Com%1").arg(n));
            emit emuFound(n);
            *found = true;
            emit actionEnabled(Action::Retry, false);
            emit actionEnabled(Action::Connect, true);
        } else if (!startup && opened && emu && !*found) {
            emit status(0, QStringLiteral("EFI version %1.%2.%3 found on Com%4")
                               .arg(int(id[0]))
                               .arg(int(id[1]))
                               .arg(int(id[2]) - 1)
                               .arg(n));
            emit emuFound(n);
            emit actionEnabled(Action::Retry, false);
            emit actionEnabled(Action::Connect, true);
            *found = true;
        } else if (!*found && (startup || opened)) {
            emit status(0, QStringLiteral("No EMU present"));
        }
        m_s.port().Close();
        searchStep(n + 1, startup, found);
    });
}

void ConnectionController::selectPort(int n) {
    TQCCom32 &efi = m_s.port();
    efi.Close();
    efi.setPort(n);
    if (!efi.Open() && efi.lastOpenError() == ByteDevice::OpenError::PermissionDenied) {
        m_deniedDevices = {QStringLiteral("Com%1 (%2)").arg(n).arg(PortMap::instance().device(n))};
        m_permissionReported = false;
        notePermissionProblem();
    }
}

// ---- Lost link -------------------------------------------------------------------------------

void ConnectionController::deviceLost(int port, const QString &device) {
    if (m_searching) return; // a probed port that went away is simply not listed
    m_linkLost = true;
    m_lostPort = port;
    m_lostDevice = device;
    emit linkDropped();
    reportLinkLost();
}

void ConnectionController::reportLinkLost(const QString &more) {
    emit status(
        0,
        QStringLiteral("Connection lost: Com%1 (%2) has gone").arg(m_lostPort).arg(m_lostDevice) +
            more);
    // The poll has stopped itself.
    emit liveLost();
    // Setup and maps stay in memory; once the adapter is back, Connect can find the EMU again.
    emit actionEnabled(Action::Retry, true);
    emit actionEnabled(Action::Connect, true);
    emit actionEnabled(Action::PortChoice, true);
}

// ---- Single steps ----------------------------------------------------------------------------

bool ConnectionController::openPort(int n) {
    m_s.port().setPort(n);
    return m_s.port().Open();
}

int ConnectionController::identify() {
    int received = 0;
    m_s.link().identify(emu::link::WaitIdentifyConnect,
                        [this, &received](const EmuLink::Reply &r) { received = takeIdentity(r); });
    m_s.link().waitIdle();
    return received;
}

int ConnectionController::takeIdentity(const EmuLink::Reply &r) {
    Identity id;
    emu::link::fillAndCopy(r.bytes, id.data(), emu::link::IdentitySize, emu::link::IdentitySize,
                           false);
    m_s.setIdentity(id);
    return int(r.bytes.size());
}

bool ConnectionController::liveEmuAnswered() const {
    return m_s.image().signature() == QLatin1String(LiveSignature);
}

void ConnectionController::setIdentityTexts() {
    const auto &id = m_s.image().identity;
    m_s.setIdentityTexts(dec(id[0]), dec(id[1]) + QLatin1Char('.') + dec(id[2]));
}

bool ConnectionController::adoptModel() {
    setIdentityTexts();
    QString name;
    Capabilities caps;
    if (!emu::model::modelInfo(m_s.image().modelCode(), &name, &caps)) return false;
    m_s.setModuleTypeName(name);
    // Capabilities are never cleared.
    m_s.addCapabilities(caps);
    return true;
}

int ConnectionController::usableImage(const QByteArray &reply) {
    TableValues counted;
    return emu::link::copyReply(reply, counted.data(), emu::link::ImageStreamMax);
}

QByteArray ConnectionController::readImage(int *usable) {
    QByteArray reply;
    m_s.link().readImage([&reply](const EmuLink::Reply &r) { reply = r.bytes; });
    m_s.link().waitIdle();
    *usable = usableImage(reply);
    return reply;
}

bool ConnectionController::sendTables(TableStream *sent) {
    const TableStream stream = m_s.buildTableStream();
    bool ok = false;
    m_s.link().writeTables(stream.raw, [&ok](bool took) { ok = took; });
    m_s.link().waitIdle();
    if (sent) *sent = stream;
    return ok;
}

void ConnectionController::takeImage(const QByteArray &reply) {
    EmuImage image = m_s.image();
    emu::link::fillAndCopy(reply, image.fileTable(), EmuImage::FileTableSize,
                           emu::link::ImageStreamMax, false);
    image.copySetupFromFileTable();
    m_s.loadImage(image);
    m_s.deriveFromSetup();
    m_s.deriveWorkingValues();
    decodeTables(m_s);
}

// ---- Jobs ------------------------------------------------------------------------------------

void ConnectionController::runJob(std::function<void()> body) {
    m_jobs.push_back(std::move(body));
    if (!m_inJob) nextJob();
}

void ConnectionController::nextJob() {
    if (m_jobs.empty()) {
        if (m_busy) {
            m_busy = false;
            emit busyChanged(false);
        }
        return;
    }
    const std::function<void()> body = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_inJob = true;
    m_sequence = m_s.link().beginSequence();
    if (!m_busy) {
        m_busy = true;
        emit busyChanged(true);
    }
    const EmuLink::Scope scope(m_s.link(), m_sequence);
    body();
}

void ConnectionController::endJob() {
    // What the job's own steps sent (the editors' writes after a decode) goes out first.
    const EmuLink::Scope scope(m_s.link(), m_sequence);
    m_s.link().whenDone([this] {
        m_s.link().endSequence(m_sequence);
        m_sequence = 0;
        m_inJob = false;
        nextJob();
    });
}

void ConnectionController::whenIdle(std::function<void()> fn) {
    runJob([this, fn] {
        fn();
        endJob();
    });
}

// ---- Connect ---------------------------------------------------------------------------------

void ConnectionController::connectEmu() {
    runJob([this] { connectSteps(); });
}

void ConnectionController::connectSteps() {
    Session &s = m_s;
    // The EMU's device went away after a good Connect: find it again, but leave the setup and
    // maps in memory alone (they may hold edits the EMU never received); the tuner then reads
    // the EMU or writes the memory to it.
    if (m_linkLost && m_dataLoaded && s.isConnected() && !s.inFileMode() &&
        !s.fileConnectPending()) {
        reconnectKeepingMemory();
        return;
    }
    m_linkLost = false;
    if (s.fileConnectPending()) {
        connectDecode(true);
        return;
    }
    // 1. Identify (not in file mode; a file brings its own identity).
    if (!s.inFileMode()) {
        emit status(0, QStringLiteral("Searching ComPorts..."));
        const int n = m_portSource ? m_portSource() : -1;
        if (n < 0) {
            endJob();
            return;
        }
        openPort(n);
        s.link().identify(emu::link::WaitIdentifyConnect, [this](const EmuLink::Reply &r) {
            takeIdentity(r);
            connectSetup();
        });
        return;
    }
    connectSetup();
}

void ConnectionController::connectSetup() {
    Session &s = m_s;
    const EmuImage &img = s.image();
    // 2.-4. The signature decides.
    const QString sig = img.signature();
    const bool live = sig == QLatin1String(LiveSignature);
    const bool file = sig == QLatin1String(FileSignature);
    if (file) emit status(0, QStringLiteral("EMU file opened successfully"));
    if (live) s.markConnected();
    if (!file && !live) emit status(0, QStringLiteral("EMU not connected"));
    if (live || file) {
        if (live) emit status(0, QStringLiteral("EMU Connected"));
        adoptModel();
        emit status(2, s.moduleTypeName());
    }
    // 5.
    if (s.isConnected() || s.inFileMode()) emit moduleTypeShown(s.moduleTypeName());
    // 6.
    if (s.inFileMode()) s.setModified(true);
    // 7.
    EmuImage filled = img;
    filled.fillSetup();
    if (s.inFileMode()) {
        // 9. The setup block from the file's image stream.
        filled.copySetupFromFileTable();
        s.loadImage(filled);
        connectDecode(true);
        return;
    }
    s.loadImage(filled);
    // 8. The setup block from the EMU.
    emit status(0, QStringLiteral("Reading EMU Setup Data..."));
    s.link().readImage([this](const EmuLink::Reply &r) {
        EmuImage img = m_s.image();
        // Copied up to the first zero byte; a 0 goes behind the last copied byte. With no
        // answer at all the block keeps its fill bytes.
        const int n = emu::link::copyReply(r.bytes, img.setup(), emu::link::SetupSize);
        if (n > 0) img.bytes[n] = 0;
        m_s.loadImage(img);
        connectDecode(n == emu::link::SetupSize);
    });
}

void ConnectionController::connectDecode(bool setupWhole) {
    Session &s = m_s;
    const EmuImage &img = s.image();
    // 10.-17. Decode into the editors, derive R, N, S; gauges, charts, panels.
    s.deriveFromSetup();
    emit setupDecoding();
    deriveFromSetup(s);
    emit setupLoaded();
    m_serialText = img.serialText();
    // 11.
    emit status(1, QStringLiteral("EMU %1 v%2.%3 :: %4")
                       .arg(dec(img.identity[1]), dec(img.identity[0]), dec(img.identity[2]),
                            m_serialText));
    // 16.
    emit actionEnabled(Action::Read, true);
    // 18.
    if (s.isConnected() && !m_linkLost) {
        emit actionEnabled(Action::Connect, false);
        emit actionEnabled(Action::PortChoice, false);
        emit status(0, QStringLiteral("Ready"));
    }
    // 19.
    s.enableEditing();
    // 20.
    if (s.fileConnectPending()) emit actionEnabled(Action::Connect, true);

    if (!s.fileConnectPending()) {
        connectEnd(setupWhole);
        return;
    }
    // 22. Reconnect probe: is there an EMU to write the file's setup to?
    emit status(0, QStringLiteral("Searching ComPorts..."));
    const int n = m_portSource ? m_portSource() : -1;
    if (n < 0) {
        Identity none;
        none.fill(emu::link::FillByte);
        s.setIdentity(none);
        reconnectProbed(setupWhole);
        return;
    }
    openPort(n);
    s.link().identify(emu::link::WaitIdentifyConnect, [this, setupWhole](const EmuLink::Reply &r) {
        takeIdentity(r);
        reconnectProbed(setupWhole);
    });
}

void ConnectionController::reconnectProbed(bool setupWhole) {
    Session &s = m_s;
    const EmuImage &img = s.image();
    if (!liveEmuAnswered()) {
        emit status(0, QStringLiteral("EMU not connected"));
    } else {
        emit status(0, QStringLiteral("EMU Connected"));
        emit status(1, QStringLiteral("EMU %1 v%2.%3")
                           .arg(dec(img.identity[0]), dec(img.identity[1]), dec(img.identity[2])));
        setIdentityTexts();
        emit actionEnabled(Action::Connect, false);
        s.markConnected();
        emit actionEnabled(Action::PortChoice, false);
        emit actionEnabled(Action::Read, false);
    }
    connectEnd(setupWhole);
}

void ConnectionController::connectEnd(bool setupWhole) {
    auto finish = [this] {
        if (m_linkLost) reportLinkLost();
        emit connectFinished();
        endJob();
    };
    // 23.
    if (m_s.isConnected() && !m_linkLost) {
        // Only a whole setup block and a whole image make the memory worth keeping later.
        m_dataLoaded = false;
        readSteps([this, setupWhole, finish] {
            if (!setupWhole) m_dataLoaded = false;
            finish();
        });
        return;
    }
    finish();
}

void ConnectionController::reconnectKeepingMemory() {
    Session &s = m_s;
    emit status(0, QStringLiteral("Searching ComPorts..."));
    const int n = m_portSource ? m_portSource() : -1;
    if (n < 0) {
        endJob();
        return;
    }
    m_linkLost = false;
    openPort(n);
    s.link().identify(emu::link::WaitIdentifyConnect, [this, n](const EmuLink::Reply &r) {
        Session &s = m_s;
        Identity id;
        emu::link::fillAndCopy(r.bytes, id.data(), emu::link::IdentitySize, emu::link::IdentitySize,
                               false);
        if (m_linkLost) { // gone again during the probe
            reportLinkLost();
            emit connectFinished();
            endJob();
            return;
        }
        if (emu::link::signature(id.data()) != LiveSignature) {
            m_linkLost = true; // still without an EMU: the next Connect tries the same way
            m_lostPort = n;
            m_lostDevice = s.port().deviceName();
            emit status(
                0,
                QStringLiteral("EMU not connected on Com%1: setup and maps in memory kept").arg(n));
            emit connectFinished();
            endJob();
            return;
        }
        s.setIdentity(id);
        setIdentityTexts();
        emit status(1, QStringLiteral("EMU %1 v%2.%3 :: %4")
                           .arg(dec(id[1]), dec(id[0]), dec(id[2]), m_serialText));
        emit actionEnabled(Action::Connect, false);
        emit actionEnabled(Action::PortChoice, false);
        // Both ways are open: Read takes the EMU's tables, Write sends the memory's.
        emit actionEnabled(Action::Read, true);
        emit actionEnabled(Action::Write, true);
        emit liveRequested(false);
        emit status(0, QStringLiteral("Ready"));
        emit connectFinished();
        endJob();
    });
}

// ---- Table read and write --------------------------------------------------------------------

void ConnectionController::readTables() {
    runJob([this] { readSteps([this] { endJob(); }); });
}

void ConnectionController::readSteps(std::function<void()> then) {
    // 1.
    emit readStarting();
    // 2. The image stream into the file table area (a file's copy is already there).
    if (m_s.inFileMode()) {
        readDecode(true, then);
        return;
    }
    m_s.link().readImage([this, then](const EmuLink::Reply &r) {
        Session &s = m_s;
        const int got = usableImage(r.bytes);
        const bool whole = got == emu::link::ImageStreamMax;
        if (!whole && m_dataLoaded) {
            // No answer, a short one or a zero byte inside: decoding it would put the fill
            // byte's 47 degrees and -53 % over the maps in memory. They stay as they are.
            if (!m_linkLost)
                emit status(0, QStringLiteral("Read from EMU failed: the EMU sent %1 of %2 "
                                              "bytes; the maps in memory are kept")
                                   .arg(got)
                                   .arg(emu::link::ImageStreamMax));
            if (s.isConnected()) emit actionEnabled(Action::Write, true);
            emit actionEnabled(Action::Read, true); // try again
            if (m_linkLost) reportLinkLost();
            then();
            return;
        }
        EmuImage image = s.image();
        emu::link::fillAndCopy(r.bytes, image.fileTable(), EmuImage::FileTableSize,
                               emu::link::ImageStreamMax, false);
        s.loadImage(image);
        if (!whole && !m_linkLost)
            emit status(0, QStringLiteral("The EMU sent %1 of %2 bytes of its tables")
                               .arg(got)
                               .arg(emu::link::ImageStreamMax));
        readDecode(whole, then);
    });
}

void ConnectionController::readDecode(bool whole, const std::function<void()> &then) {
    Session &s = m_s;
    // 3.-6.
    decodeTables(s);
    emit tablesRead();
    s.clearHistory();
    m_dataLoaded = whole;
    // 7.-9.
    if (s.isConnected()) emit actionEnabled(Action::Write, true);
    emit actionEnabled(Action::Read, false);
    if (s.inFileMode()) s.setFileConnectPending(true);
    if (m_linkLost) {
        // The device went away during the read: no poll to start.
        emit actionEnabled(Action::Read, true);
        reportLinkLost();
        then();
        return;
    }
    // 10. Live signals on.
    if (!s.inFileMode()) {
        s.enableEditing();
        emit liveRequested(true);
    }
    then();
}

QString VerifyResult::firstProblem() const {
    if (received == 0) return QStringLiteral("the EMU sent nothing back");
    if (mismatches.empty()) return QString();
    return emu::model::describeMismatch(mismatches.front());
}

VerifyResult ConnectionController::compareTables(const TableStream &written,
                                                 const QByteArray &reply) const {
    VerifyResult r;
    r.received = int(reply.size());
    r.mismatches = emu::model::compareImage(written.fileTable, reply, m_s.caps());
    return r;
}

VerifyResult ConnectionController::verifyTables(const TableStream &written) {
    // The link sends the read image command once the tables have left the line.
    QByteArray reply;
    m_s.link().readImage([&reply](const EmuLink::Reply &r) { reply = r.bytes; });
    m_s.link().waitIdle();
    return compareTables(written, reply);
}

void ConnectionController::writeTables(bool verify) {
    runJob([this, verify] {
        auto stream = std::make_shared<TableStream>(m_s.buildTableStream());
        m_s.link().writeTables(stream->raw, [this, verify, stream](bool sent) {
            if (!sent) {
                writeFailed();
                return;
            }
            if (!verify) {
                writeDone(std::nullopt);
                return;
            }
            // Read back at once, before the editors' refresh sends anything.
            m_s.link().readImage([this, stream](const EmuLink::Reply &r) {
                writeDone(compareTables(*stream, r.bytes));
            });
        });
    });
}

void ConnectionController::writeFailed() {
    Session &s = m_s;
    // Nothing may claim that the tables reached the EMU.
    emit actionEnabled(Action::Write, true);
    if (m_linkLost) {
        reportLinkLost(QStringLiteral("; the tables were not written"));
    } else {
        const QString device = s.port().deviceName();
        emit status(0, QStringLiteral("Write to EMU failed: Com%1 (%2) did not take the tables; "
                                      "the setup and maps in memory are kept")
                           .arg(s.port().Port())
                           .arg(device.isEmpty() ? QStringLiteral("no device") : device));
    }
    endJob();
}

void ConnectionController::writeDone(const std::optional<VerifyResult> &check) {
    emit tablesWritten();
    if (!check)
        emit status(0, QStringLiteral("Data table written to EMU"));
    else if (check->verified())
        emit status(0, QStringLiteral("Data table written to EMU and verified"));
    else
        emit status(0, QStringLiteral("Data table written to EMU, but the read-back differs: %1")
                           .arg(check->firstProblem()));
    emit actionEnabled(Action::Read, false);
    emit actionEnabled(Action::Write, true);
    // The device went away during the read-back: that is the news, not the missing reply.
    if (check && m_linkLost) reportLinkLost(QStringLiteral("; the write was not verified"));
    emit tablesWriteFinished();
    endJob();
}

void ConnectionController::tableForSave(bool fromMemory, TableDone done) {
    Session &s = m_s;
    if (fromMemory) {
        const TableStream stream = s.buildTableStream();
        done(SetupFile::tableFromEncoded(stream.encoded), QString());
        return;
    }
    if (!s.isConnected()) {
        emit status(0, QStringLiteral("EMU not connected, nothing saved"));
        done(std::nullopt, QString());
        return;
    }
    runJob([this, done] {
        m_s.link().readImage([this, done](const EmuLink::Reply &r) {
            const int got = usableImage(r.bytes);
            if (got < emu::link::ImageStreamMax) {
                // A file of a partial image would hold zeros for maps the EMU does have.
                const QString text = QStringLiteral("Save From EMU: the EMU sent %1 of %2 bytes "
                                                    "of its image; nothing was saved")
                                         .arg(got)
                                         .arg(emu::link::ImageStreamMax);
                if (m_linkLost)
                    reportLinkLost();
                else
                    emit status(0, text);
                done(std::nullopt, text);
            } else {
                done(SetupFile::tableFromReply(r.bytes), QString());
            }
            endJob();
        });
    });
}
