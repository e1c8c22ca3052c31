#include "link/EmuLink.h"

#include "link/Clock.h"
#include "link/QCCom32.h"

#include <cstring>

EmuLink::EmuLink(TQCCom32 &port, Clock &clock) : m_port(port), m_clock(clock) {}

QByteArray EmuLink::exchange(const QByteArray &command, int waitMs,
                             const std::function<void()> &duringWait) {
    // An answer that arrived after its read would otherwise become the start of this reply.
    if (m_purge && m_port.Opened()) m_port.Purge();
    m_port.Send(command);
    if (duringWait)
        m_clock.sleepMsWith(waitMs, duringWait);
    else
        m_clock.sleepMs(waitMs);
    return m_port.Receive();
}

int EmuLink::identify(int waitMs, quint8 *identity7) {
    const QByteArray reply = exchange(QByteArray(1, char(emu::link::CmdIdentify)), waitMs);
    emu::link::fillAndCopy(reply, identity7, emu::link::IdentitySize, emu::link::IdentitySize,
                           false);
    return int(reply.size());
}

QByteArray EmuLink::readImage() {
    return exchange(QByteArray(1, char(emu::link::CmdReadImage)), emu::link::WaitReadImage);
}

bool EmuLink::writeTables(const QByteArray &stream) {
    const bool command = m_port.Send(QByteArray(1, char(emu::link::CmdWriteTables)));
    m_clock.sleepMs(emu::link::WaitWriteTables);
    // The stream goes out even when the command byte did not: the protocol has no retry, and
    // an EMU that missed 0xF3 ignores it.
    const bool tables = m_port.Send(stream);
    return command && tables;
}

QByteArray EmuLink::liveData(const std::function<void()> &duringWait) {
    return exchange(QByteArray(1, char(emu::link::CmdLiveData)), emu::link::WaitLiveData,
                    duringWait);
}

void EmuLink::parameterWrite(quint8 code, quint8 value) {
    const char bytes[3] = {char(emu::link::CmdParameter), char(code), char(value)};
    m_port.Send(QByteArray(bytes, 3));
}

void EmuLink::pointWrite(quint8 section, quint8 offset, quint8 value) {
    const char bytes[3] = {char(section), char(offset), char(value)};
    m_port.Send(QByteArray(bytes, 3));
}
