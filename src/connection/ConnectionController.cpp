#include "connection/ConnectionController.h"

#include "connection/Session.h"
#include "connection/SetupFile.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "model/TableStream.h"

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
    TQCCom32 &efi = m_s.EFI;
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
    SetupFile::apply(data, m_s.image);
    m_s.fileMode = true;
    m_s.editingEnabled = true;
    // A newly opened file brings its own setup block: Connect must load it rather than keep
    // the one of an earlier file.
    m_s.fileConnectPending = false;
    return true;
}

void ConnectionController::leaveFileMode() {
    m_s.fileMode = false;
}

// ---- Port search -----------------------------------------------------------------------------

bool ConnectionController::probe(int n, int waitMs, quint8 *identity) {
    TQCCom32 &efi = m_s.EFI;
    std::fill(identity, identity + emu::link::IdentitySize, emu::link::FillByte);
    efi.setPort(n);
    if (!efi.Open()) {
        if (efi.lastOpenError() == ByteDevice::OpenError::PermissionDenied) {
            const QString dev = PortMap::instance().device(n);
            m_deniedDevices << QStringLiteral("Com%1 (%2)").arg(n).arg(dev);
        } else if (PortMap::instance().isExplicit(n)) { // asked for: say why it failed
            m_portFailures << PortMap::openFailure(QStringLiteral("Com%1").arg(n),
                                                   PortMap::instance().device(n),
                                                   efi.lastOpenError(), efi.lastOpenErrorString());
        }
        return false;
    }
    m_s.link.identify(waitMs, identity);
    return true;
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
    const QScopedValueRollback<bool> searching(m_searching, true);
    m_deniedDevices.clear();
    m_portFailures.clear();
    quint8 id[emu::link::IdentitySize];
    bool found = false;
    for (int n = 1; n <= PortMap::MaxPorts; ++n) {
        const bool opened = probe(n, emu::link::WaitIdentifyProbe, id);
        if (opened) emit portListed(n);
        // A port that did not open has an empty probe buffer: it never counts as an EMU.
        if (opened && emu::link::signature(id) == LiveSignature) {
            searchModuleType(id[1], &m_s.moduleTypeName);
            emit status(0, m_s.moduleTypeName + QStringLiteral(" Module found on Com%1").arg(n));
            emit emuFound(n);
            found = true;
            emit actionEnabled(Action::Retry, false);
            emit actionEnabled(Action::Connect, true);
        } else if (!found) {
            emit status(0, QStringLiteral("No EMU present"));
        }
        m_s.EFI.Close();
    }
    if (!found) {
        emit status(0, QStringLiteral("No EMU present"));
        notePermissionProblem();
    }
}

void ConnectionController::repeatSearch() {
    const QScopedValueRollback<bool> searching(m_searching, true);
    // An adapter plugged in again may come back under another device name: look at the
    // system's serial devices anew so that it gets a port number.
    PortMap::instance().scanSystem();
    m_s.EFI.Close();
    m_deniedDevices.clear();
    m_portFailures.clear();
    quint8 id[emu::link::IdentitySize];
    bool found = false;
    for (int n = 1; n <= PortMap::MaxPorts; ++n) {
        if (probe(n, emu::link::WaitIdentifyRefresh, id)) {
            emit portListed(n);
            if (!found && emu::link::signature(id) == LiveSignature) {
                emit status(0, QStringLiteral("EFI version %1.%2.%3 found on Com%4")
                                   .arg(int(id[0]))
                                   .arg(int(id[1]))
                                   .arg(int(id[2]) - 1)
                                   .arg(n));
                emit emuFound(n);
                emit actionEnabled(Action::Retry, false);
                emit actionEnabled(Action::Connect, true);
                found = true;
            } else if (!found) {
                emit status(0, QStringLiteral("No EMU present"));
            }
        }
        m_s.EFI.Close();
    }
    if (!found) notePermissionProblem();
}

void ConnectionController::selectPort(int n) {
    TQCCom32 &efi = m_s.EFI;
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
    m_s.EFI.setPort(n);
    return m_s.EFI.Open();
}

int ConnectionController::identify() {
    return m_s.link.identify(emu::link::WaitIdentifyConnect, m_s.image.identity.data());
}

bool ConnectionController::liveEmuAnswered() const {
    return m_s.image.signature() == QLatin1String(LiveSignature);
}

void ConnectionController::setIdentityTexts() {
    const auto &id = m_s.image.identity;
    m_s.modelText = dec(id[0]);
    m_s.versionText = dec(id[1]) + QLatin1Char('.') + dec(id[2]);
}

bool ConnectionController::adoptModel() {
    setIdentityTexts();
    QString name;
    Capabilities caps;
    if (!emu::model::modelInfo(m_s.image.modelCode(), &name, &caps)) return false;
    m_s.moduleTypeName = name;
    // Capabilities are never cleared.
    m_s.caps.timing = m_s.caps.timing || caps.timing;
    m_s.caps.vacuum = m_s.caps.vacuum || caps.vacuum;
    m_s.caps.fuel = m_s.caps.fuel || caps.fuel;
    return true;
}

QByteArray ConnectionController::readImage(int *usable) {
    const QByteArray reply = m_s.link.readImage();
    TableValues counted;
    *usable = emu::link::copyReply(reply, counted.data(), emu::link::ImageStreamMax);
    return reply;
}

bool ConnectionController::sendTables(TableStream *sent) {
    const TableStream stream = emu::model::buildTableStream(m_s.image, m_s.maps, m_s.caps);
    const bool ok = m_s.link.writeTables(stream.raw);
    if (sent) *sent = stream;
    return ok;
}

// ---- Connect ---------------------------------------------------------------------------------

void ConnectionController::connectEmu() {
    Session &s = m_s;
    EmuImage &img = s.image;

    // The EMU's device went away after a good Connect: find it again, but leave the setup and
    // maps in memory alone (they may hold edits the EMU never received); the tuner then reads
    // the EMU or writes the memory to it.
    if (m_linkLost && m_dataLoaded && s.connected && !s.fileMode && !s.fileConnectPending) {
        reconnectKeepingMemory();
        return;
    }
    m_linkLost = false;
    bool setupWhole = true;

    if (!s.fileConnectPending) {
        // 1. Identify (not in file mode; a file brings its own identity).
        if (!s.fileMode) {
            emit status(0, QStringLiteral("Searching ComPorts..."));
            const int n = m_portSource ? m_portSource() : -1;
            if (n < 0) return;
            openPort(n);
            identify();
        }
        // 2.-4. The signature decides.
        const QString sig = img.signature();
        const bool live = sig == QLatin1String(LiveSignature);
        const bool file = sig == QLatin1String(FileSignature);
        if (file) emit status(0, QStringLiteral("EMU file opened successfully"));
        if (live) s.connected = true;
        if (!file && !live) emit status(0, QStringLiteral("EMU not connected"));
        if (live || file) {
            if (live) emit status(0, QStringLiteral("EMU Connected"));
            adoptModel();
            emit status(2, s.moduleTypeName);
        }
        // 5.
        if (s.connected || s.fileMode) emit moduleTypeShown(s.moduleTypeName);
        // 6.
        if (s.fileMode) s.modified = true;
        // 7.
        img.fillSetup();
        if (!s.fileMode) {
            // 8. The setup block from the EMU.
            emit status(0, QStringLiteral("Reading EMU Setup Data..."));
            const QByteArray reply = s.link.readImage();
            // Copied up to the first zero byte; a 0 goes behind the last copied byte. With no
            // answer at all the block keeps its fill bytes.
            const int n = emu::link::copyReply(reply, img.setup(), emu::link::SetupSize);
            if (n > 0) img.bytes[n] = 0;
            setupWhole = n == emu::link::SetupSize;
        } else {
            // 9. The setup block from the file's image stream.
            img.copySetupFromFileTable();
        }
    }

    // 10.-17. Decode into the editors, derive R, N, S; gauges, charts, panels.
    s.deriveFromSetup();
    emit setupLoaded();
    m_serialText = img.serialText();
    // 11.
    emit status(1, QStringLiteral("EMU %1 v%2.%3 :: %4")
                       .arg(dec(img.identity[1]), dec(img.identity[0]), dec(img.identity[2]),
                            m_serialText));
    // 16.
    emit actionEnabled(Action::Read, true);
    // 18.
    if (s.connected && !m_linkLost) {
        emit actionEnabled(Action::Connect, false);
        emit actionEnabled(Action::PortChoice, false);
        emit status(0, QStringLiteral("Ready"));
    }
    // 19.
    s.editingEnabled = true;
    // 20.
    if (s.fileConnectPending) emit actionEnabled(Action::Connect, true);

    // 22. Reconnect probe: is there an EMU to write the file's setup to?
    if (s.fileConnectPending) {
        emit status(0, QStringLiteral("Searching ComPorts..."));
        const int n = m_portSource ? m_portSource() : -1;
        if (n >= 0) {
            openPort(n);
            identify();
        } else {
            img.fillIdentity();
        }
        if (!liveEmuAnswered()) {
            emit status(0, QStringLiteral("EMU not connected"));
        } else {
            emit status(0, QStringLiteral("EMU Connected"));
            emit status(1,
                        QStringLiteral("EMU %1 v%2.%3")
                            .arg(dec(img.identity[0]), dec(img.identity[1]), dec(img.identity[2])));
            setIdentityTexts();
            emit actionEnabled(Action::Connect, false);
            s.connected = true;
            emit actionEnabled(Action::PortChoice, false);
            emit actionEnabled(Action::Read, false);
        }
    }

    // 23.
    if (s.connected && !m_linkLost) {
        // Only a whole setup block and a whole image make the memory worth keeping later.
        m_dataLoaded = false;
        readTables();
        if (!setupWhole) m_dataLoaded = false;
    }
    if (m_linkLost) reportLinkLost();
    emit connectFinished();
}

void ConnectionController::reconnectKeepingMemory() {
    Session &s = m_s;
    emit status(0, QStringLiteral("Searching ComPorts..."));
    const int n = m_portSource ? m_portSource() : -1;
    if (n < 0) return;
    m_linkLost = false;
    openPort(n);
    quint8 id[emu::link::IdentitySize];
    s.link.identify(emu::link::WaitIdentifyConnect, id);
    if (m_linkLost) { // gone again during the probe
        reportLinkLost();
        emit connectFinished();
        return;
    }
    if (emu::link::signature(id) != LiveSignature) {
        m_linkLost = true; // still without an EMU: the next Connect tries the same way
        m_lostPort = n;
        m_lostDevice = s.EFI.deviceName();
        emit status(
            0, QStringLiteral("EMU not connected on Com%1: setup and maps in memory kept").arg(n));
        emit connectFinished();
        return;
    }
    std::copy(id, id + emu::link::IdentitySize, s.image.identity.begin());
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
}

// ---- Table read and write --------------------------------------------------------------------

void ConnectionController::readTables() {
    Session &s = m_s;
    // 1.
    emit readStarting();
    // 2. The image stream into the file table area (a file's copy is already there).
    bool whole = true;
    if (!s.fileMode) {
        int got = 0;
        const QByteArray reply = readImage(&got);
        whole = got == emu::link::ImageStreamMax;
        if (!whole && m_dataLoaded) {
            // No answer, a short one or a zero byte inside: decoding it would put the fill
            // byte's 47 degrees and -53 % over the maps in memory. They stay as they are.
            if (!m_linkLost)
                emit status(0, QStringLiteral("Read from EMU failed: the EMU sent %1 of %2 "
                                              "bytes; the maps in memory are kept")
                                   .arg(got)
                                   .arg(emu::link::ImageStreamMax));
            if (s.connected) emit actionEnabled(Action::Write, true);
            emit actionEnabled(Action::Read, true); // try again
            if (m_linkLost) reportLinkLost();
            return;
        }
        emu::link::fillAndCopy(reply, s.image.fileTable(), EmuImage::FileTableSize,
                               emu::link::ImageStreamMax, false);
        if (!whole && !m_linkLost)
            emit status(0, QStringLiteral("The EMU sent %1 of %2 bytes of its tables")
                               .arg(got)
                               .arg(emu::link::ImageStreamMax));
    }
    // 3.-6.
    emit tablesRead();
    s.clearHistory();
    m_dataLoaded = whole;
    // 7.-9.
    if (s.connected) emit actionEnabled(Action::Write, true);
    emit actionEnabled(Action::Read, false);
    if (s.fileMode) s.fileConnectPending = true;
    if (m_linkLost) {
        // The device went away during the read: no poll to start.
        emit actionEnabled(Action::Read, true);
        reportLinkLost();
        return;
    }
    // 10. Live signals on.
    if (!s.fileMode) {
        s.editingEnabled = true;
        emit liveRequested(true);
    }
}

QString VerifyResult::firstProblem() const {
    if (received == 0) return QStringLiteral("the EMU sent nothing back");
    if (mismatches.empty()) return QString();
    return emu::model::describeMismatch(mismatches.front());
}

VerifyResult ConnectionController::verifyTables(const TableStream &written) {
    VerifyResult r;
    // The link sends the read image command once the tables have left the line.
    const QByteArray reply = m_s.link.readImage();
    r.received = int(reply.size());
    r.mismatches = emu::model::compareImage(written.fileTable, reply, m_s.caps);
    return r;
}

void ConnectionController::writeTables(bool verify) {
    Session &s = m_s;
    TableStream stream;
    if (!sendTables(&stream)) {
        // Nothing may claim that the tables reached the EMU.
        emit actionEnabled(Action::Write, true);
        if (m_linkLost) {
            reportLinkLost(QStringLiteral("; the tables were not written"));
            return;
        }
        const QString device = s.EFI.deviceName();
        emit status(0, QStringLiteral("Write to EMU failed: Com%1 (%2) did not take the tables; "
                                      "the setup and maps in memory are kept")
                           .arg(s.EFI.Port())
                           .arg(device.isEmpty() ? QStringLiteral("no device") : device));
        return;
    }
    // Read back at once, before the editors' refresh sends anything.
    std::optional<VerifyResult> check;
    if (verify) check = verifyTables(stream);
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
}

std::optional<TableValues> ConnectionController::tableForSave(bool fromMemory, QString *message) {
    Session &s = m_s;
    if (fromMemory) {
        const TableStream stream = emu::model::buildTableStream(s.image, s.maps, s.caps);
        return SetupFile::tableFromEncoded(stream.encoded);
    }
    if (!s.connected) {
        emit status(0, QStringLiteral("EMU not connected, nothing saved"));
        return std::nullopt;
    }
    int got = 0;
    const QByteArray reply = readImage(&got);
    if (got < emu::link::ImageStreamMax) {
        // A file of a partial image would hold zeros for maps the EMU does have.
        const QString text = QStringLiteral("Save From EMU: the EMU sent %1 of %2 bytes of its "
                                            "image; nothing was saved")
                                 .arg(got)
                                 .arg(emu::link::ImageStreamMax);
        if (m_linkLost)
            reportLinkLost();
        else
            emit status(0, text);
        if (message) *message = text;
        return std::nullopt;
    }
    return SetupFile::tableFromReply(reply);
}
