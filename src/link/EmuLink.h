#pragma once
// The EMU command protocol: every command byte, its wait and its reply limit, and the link that
// carries the commands: a queue of requests with one exchange at a time, each exchange a send, a
// fixed wait (a timer) and one take of what is queued.
#include <QByteArray>
#include <QObject>
#include <QtGlobal>
#include <array>
#include <deque>
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
// Before a request whose input must be free of an earlier reply's rest: the line counts as quiet
// when no byte has come for this long (an adapter hands bytes over every 16 to 32 ms, and the
// rest of a reply then needs a few byte times more).
constexpr int SettleQuietMs = 36;
// The most such a wait lasts while bytes keep coming; the request then goes out all the same.
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

// The link to the EMU on the GUI thread. Requests wait in a queue and go out one at a time, in
// the order they were made: a request's bytes go out once the line has carried the bytes before
// them; an answered request first waits (if asked) for the rest of earlier replies and drops
// the input (bytes that came outside an exchange), counting what it drops, then waits its time
// on a timer and takes what has arrived; an unanswered one may hold the next request
// for a pause. Nothing written is ever dropped.
//
// A sequence (Connect, Read, Write, a search) holds the link: while it is open only the
// requests it makes (from its own steps and the completions of its requests) go out; others
// (a user's edit, the live poll) wait and follow it in order.
class EmuLink : public QObject {
    Q_OBJECT
public:
    // How the wait for an earlier reply's rest (Request::owed) ended.
    enum class Settle {
        None,      // nothing was owed: no wait
        Owed,      // exactly the bytes owed came
        Quiet,     // the line was quiet for SettleQuietMs (the owed bytes did not all come, or
                   // more came than were owed)
        Streaming, // bytes still came after SettleMaxMs
    };
    // Request::owed's answer when it is not known how many bytes may still come: the wait ends
    // only on a quiet line.
    static constexpr int OwedUnknown = -1;

    struct Reply {
        QByteArray bytes;  // what had arrived after the wait (answered requests)
        bool sent = false; // the port took every byte
        qint64 sentAt = 0; // clock time the bytes were handed to the driver
        // Answered requests: what the input held before the bytes went out. The settle's end
        // and the bytes it dropped, then the bytes dropped right before the send (stale: they
        // came after the settle, or with no settle asked for).
        Settle settle = Settle::None;
        int settled = 0;
        int stale = 0;
    };
    using Done = std::function<void(const Reply &)>;
    struct Request {
        QByteArray bytes;      // none: a pause or a mark in the queue
        int waitMs = 0;        // after the bytes: before the reply is taken or the next request
        bool answered = false; // input dropped before the bytes, reply taken after the wait
        Done done;
        // Answered requests: asked when the request's turn comes; bytes of earlier replies that
        // may still arrive. They are waited for and dropped before the bytes go out (the wait
        // ends when exactly that many came, or on a quiet line); OwedUnknown: until the line
        // is quiet.
        std::function<int()> owed = {};
        int sequence = 0;
    };

    EmuLink(TQCCom32 &port, Clock &clock, QObject *parent = nullptr);
    ~EmuLink() override;

    void submit(Request request);

    // 0xFF, wait, reply (at most 7 bytes count; the caller copies them).
    void identify(int waitMs, Done done);
    // 0xFD, 500 ms, reply (uncopied; the caller copies 101 or 457 bytes).
    void readImage(Done done);
    // 0xF3, 100 ms pause, then the 458-byte stream as a second write; done(true) when the port
    // took every byte of both (nothing is confirmed by the EMU).
    void writeTables(const QByteArray &stream, std::function<void(bool sent)> done = {});
    // 0xFC, 20 ms, reply; owed as in Request.
    void liveData(Done done, std::function<int()> owed = {});
    // 0xF2, code, value.
    void parameterWrite(quint8 code, quint8 value);
    // section, offset, value.
    void pointWrite(quint8 section, quint8 offset, quint8 value);
    // The next request waits ms more (two parameter writes of one action stand 200 ms apart).
    void pause(int ms);
    // fn runs when every request made before it is done.
    void whenDone(std::function<void()> fn);

    // Sequences (see above). begin returns its number; requests made inside a Scope of it, or
    // by the completions of its requests, belong to it.
    int beginSequence();
    void endSequence(int sequence);
    class Scope {
    public:
        Scope(EmuLink &link, int sequence) : m_link(link), m_was(link.m_current) {
            link.m_current = sequence;
        }
        ~Scope() { m_link.m_current = m_was; }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        EmuLink &m_link;
        int m_was;
    };
    int openSequence() const { return m_open; }

    // A request is out or waiting.
    bool busy() const { return m_inFlight || !m_queue.empty(); }
    // Runs a local event loop until no request is left (emutool's one-step-at-a-time use).
    void waitIdle();

    // Answered requests sent so far (each dropped the input before its bytes went out).
    quint64 answeredSent() const { return m_answeredSent; }

    // Time the line needs for n bytes: 10 bits a byte at 19200 baud, in whole ms rounded up.
    static int lineMs(int bytes);
    // When the bytes sent so far have left the line (clock time).
    qint64 lineFreeAt() const { return m_lineFreeAt; }

    TQCCom32 &port() { return m_port; }
    Clock &clock() { return m_clock; }

signals:
    // The last request is done and none waits.
    void idle();

private:
    void pump();
    void start();
    void goOut();
    void send();
    void settleStep(qint64 started, qint64 lastByte, int owed);
    void finish();

    TQCCom32 &m_port;
    Clock &m_clock;
    std::deque<Request> m_queue;
    Request m_active;
    Reply m_reply;
    bool m_inFlight = false;
    bool m_pumping = false;
    int m_open = 0;    // the sequence holding the link
    int m_current = 0; // the sequence whose step is running
    int m_lastSequence = 0;
    qint64 m_lineFreeAt = 0;
    quint64 m_answeredSent = 0;
};
