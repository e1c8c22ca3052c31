#pragma once
// The EMU command protocol: every command byte, its wait and its reply limit. One exchange is a
// single send, a fixed blocking wait and one take of what is queued.
#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <functional>

class TQCCom32;
class Clock;

namespace emu::link {
constexpr quint8 CmdIdentify = 0xFF;
constexpr quint8 CmdReadImage = 0xFD;
constexpr quint8 CmdWriteTables = 0xF3;
constexpr quint8 CmdLiveData = 0xFC;
constexpr quint8 CmdParameter = 0xF2;

constexpr quint8 SectionTiming = 0xE8;
constexpr quint8 SectionFuel = 0xDE;
constexpr quint8 SectionCorrection = 0xD4;
constexpr quint8 SectionFuelVariant = 0xCA;

// What a buffer holds before a reply is copied into it: a byte that did not come reads as "0".
constexpr quint8 FillByte = 0x30;

// The line: 19200 baud, 8 data bits, no parity, one stop bit, no flow control.
constexpr int Baud = 19200;

// The identity signature, bytes 5 and 6 as decimal text: an EMU on the line answers "56"; an
// identity taken from a setup file carries "44".
constexpr char LiveSignature[] = "56";
constexpr char FileSignature[] = "44";

constexpr int IdentitySize = 7;
constexpr int SetupSize = 101;
constexpr int ImageStreamMax = 457;
constexpr int TableStreamSize = 458;
constexpr int LiveFrameMax = 10;

// Waits in milliseconds.
constexpr int WaitIdentifyProbe = 100;   // start-up search
constexpr int WaitIdentifyRefresh = 200; // repeated search
constexpr int WaitIdentifyConnect = 300; // Connect and reconnect probe
constexpr int WaitReadImage = 500;
constexpr int WaitWriteTables = 100; // pause between 0xF3 and the stream
constexpr int WaitLiveData = 20;
constexpr int WaitBetweenParameters = 200;
// After a live reply that was cut short or ran into the next one: how long the line must stay
// quiet before the next request, and the most that is waited for it.
constexpr int SettleQuietMs = 20;
constexpr int SettleMaxMs = 200;

// Copies reply bytes into dest: at most maxCopy bytes, stopping at the first zero byte.
// Returns the number of bytes copied. The caller fills dest first where the protocol says so.
int copyReply(const QByteArray &reply, quint8 *dest, int maxCopy);
// Fill destLen bytes with FillByte, then copyReply. With terminate, a 0 is written behind the
// last copied byte when that position lies inside dest (destLen) .
int fillAndCopy(const QByteArray &reply, quint8 *dest, int destLen, int maxCopy, bool terminate);
// The identity signature: decimal text of byte 5 followed by that of byte 6.
QByteArray signature(const quint8 *identity7);
} // namespace emu::link

class EmuLink {
public:
    EmuLink(TQCCom32 &port, Clock &clock);

    // Send the command, wait, take what is queued. Before an answered command the input queue is
    // cleared (a late reply of an earlier exchange would shift this one); bytes on their way out
    // are never touched. Every command goes out on a free line: after the bytes of the one before
    // it have been carried.
    // Work given is done during the wait: it is part of the wait, never added to it.
    QByteArray exchange(const QByteArray &command, int waitMs,
                        const std::function<void()> &duringWait = {});

    // 0xFF, wait, reply; fills the 7 bytes with 0x30 and copies at most 7. Returns the number
    // of bytes received (0: nothing answered).
    int identify(int waitMs, quint8 *identity7);
    // 0xFD, 500 ms, reply (uncopied; the caller copies 101 or 457 bytes).
    QByteArray readImage();
    // 0xF3, 100 ms pause, then the 458-byte stream as a second write. Returns whether the port
    // took every byte of both writes (nothing is confirmed by the EMU).
    bool writeTables(const QByteArray &stream);
    // 0xFC, 20 ms, reply.
    QByteArray liveData(const std::function<void()> &duringWait = {});
    // 0xF2, code, value.
    void parameterWrite(quint8 code, quint8 value);
    // section, offset, value.
    void pointWrite(quint8 section, quint8 offset, quint8 value);

    // Lets the rest of a reply that came late arrive and drops it: input is cleared until
    // nothing has come for quietMs, or maxMs have passed.
    void settleInput(int quietMs, int maxMs);

    // Time the line needs for n bytes: 10 bits a byte at 19200 baud, in whole ms rounded up.
    static int lineMs(int bytes);
    // When the bytes sent so far have left the line (clock time).
    qint64 lineFreeAt() const { return m_lineFreeAt; }
    // When the last command was handed to the driver (clock time).
    qint64 lastSentAt() const { return m_lastSentAt; }

    TQCCom32 &port() { return m_port; }
    Clock &clock() { return m_clock; }

private:
    // Waits until the line is free, writes, and notes when these bytes will have left it.
    bool send(const QByteArray &bytes);

    TQCCom32 &m_port;
    Clock &m_clock;
    qint64 m_lineFreeAt = 0;
    qint64 m_lastSentAt = 0;
};
