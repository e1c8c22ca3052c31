#include "link/EmuLink.h"

#include "link/Clock.h"
#include "link/QCCom32.h"

#include <cstring>

namespace Emu {

int copyReply(const QByteArray &reply, quint8 *dest, int maxCopy) {
    if (!dest) return 0;
    const int limit = qMin(maxCopy, int(reply.size()));
    int n = 0;
    while (n < limit && reply.at(n) != '\0') {
        dest[n] = quint8(reply.at(n));
        ++n;
    }
    return n;
}

int fillAndCopy(const QByteArray &reply, quint8 *dest, int destLen, int maxCopy, bool terminate) {
    if (!dest || destLen <= 0) return 0;
    std::memset(dest, FillByte, size_t(destLen));
    const int n = copyReply(reply, dest, qMin(maxCopy, destLen));
    if (terminate && n < destLen) dest[n] = 0;
    return n;
}

QByteArray signature(const quint8 *identity7) {
    if (!identity7) return {};
    return QByteArray::number(identity7[5]) + QByteArray::number(identity7[6]);
}

} // namespace Emu

EmuLink::EmuLink(TQCCom32 &port, Clock &clock) : m_port(port), m_clock(clock) {}

QByteArray EmuLink::exchange(const QByteArray &command, int waitMs) {
    // An answer that arrived after its read would otherwise become the start of this reply.
    if (m_purge && m_port.Opened()) m_port.Purge();
    m_port.Send(command);
    m_clock.sleepMs(waitMs);
    return m_port.Receive();
}

void EmuLink::identify(int waitMs, quint8 *identity7) {
    const QByteArray reply = exchange(QByteArray(1, char(Emu::CmdIdentify)), waitMs);
    Emu::fillAndCopy(reply, identity7, Emu::IdentitySize, Emu::IdentitySize, false);
}

QByteArray EmuLink::readImage() {
    return exchange(QByteArray(1, char(Emu::CmdReadImage)), Emu::WaitReadImage);
}

bool EmuLink::writeTables(const QByteArray &stream) {
    const bool command = m_port.Send(QByteArray(1, char(Emu::CmdWriteTables)));
    m_clock.sleepMs(Emu::WaitWriteTables);
    // The stream goes out even when the command byte did not: the protocol has no retry, and
    // an EMU that missed 0xF3 ignores it.
    const bool tables = m_port.Send(stream);
    return command && tables;
}

QByteArray EmuLink::liveData() {
    return exchange(QByteArray(1, char(Emu::CmdLiveData)), Emu::WaitLiveData);
}

void EmuLink::parameterWrite(quint8 code, quint8 value) {
    const char bytes[3] = {char(Emu::CmdParameter), char(code), char(value)};
    m_port.Send(QByteArray(bytes, 3));
}

void EmuLink::pointWrite(quint8 section, quint8 offset, quint8 value) {
    const char bytes[3] = {char(section), char(offset), char(value)};
    m_port.Send(QByteArray(bytes, 3));
}
