#include "link/EmuLink.h"

#include "link/Clock.h"
#include "link/QCCom32.h"

#include <QEventLoop>

#include <cstring>

EmuLink::EmuLink(TQCCom32 &port, Clock &clock, QObject *parent)
    : QObject(parent), m_port(port), m_clock(clock) {}

EmuLink::~EmuLink() = default;

int EmuLink::lineMs(int bytes) {
    return int((qint64(bytes) * 10 * 1000 + emu::link::Baud - 1) / emu::link::Baud);
}

void EmuLink::submit(Request request) {
    request.sequence = m_current;
    m_queue.push_back(std::move(request));
    pump();
}

void EmuLink::pump() {
    // Requests that complete at once are taken in this loop, not by recursion.
    if (m_pumping) return;
    m_pumping = true;
    while (!m_inFlight) {
        auto next = m_queue.begin();
        if (m_open) // the sequence holding the link goes first; the rest waits for its end
            next = std::find_if(m_queue.begin(), m_queue.end(),
                                [this](const Request &r) { return r.sequence == m_open; });
        if (next == m_queue.end()) break;
        m_active = std::move(*next);
        m_queue.erase(next);
        m_inFlight = true;
        m_reply = Reply();
        start();
    }
    m_pumping = false;
    if (!busy()) emit idle();
}

void EmuLink::start() {
    if (m_active.bytes.isEmpty()) {
        if (m_active.waitMs > 0)
            m_clock.schedule(m_active.waitMs, this, [this] { finish(); });
        else
            finish();
        return;
    }
    // The rest of earlier replies that may still come is waited for first: it must not lead
    // this request's reply.
    const int owed = m_active.answered && m_active.owed ? m_active.owed() : 0;
    if (owed != 0 && m_port.Opened()) {
        const qint64 now = m_clock.tickMs();
        settleStep(now, now, owed);
        return;
    }
    goOut();
}

void EmuLink::goOut() {
    // The bytes go out once the line has carried those before them. A real UART tells what it
    // still holds; that is never less than the estimate.
    const qint64 now = m_clock.tickMs();
    const int pending = m_port.Opened() ? m_port.OutputPending() : -1;
    if (pending > 0) m_lineFreeAt = qMax(m_lineFreeAt, now + lineMs(pending));
    if (m_lineFreeAt > now)
        m_clock.schedule(int(m_lineFreeAt - now), this, [this] { send(); });
    else
        send();
}

void EmuLink::send() {
    // An answer that arrived after its read would otherwise become the start of this reply.
    // The bytes are counted as they are dropped: the caller learns that the input was not quiet.
    if (m_active.answered) {
        if (m_port.Opened()) m_reply.stale = m_port.DropInput();
        ++m_answeredSent;
    }
    m_reply.sentAt = m_clock.tickMs();
    m_reply.sent = m_port.Send(m_active.bytes);
    if (m_port.Opened()) m_lineFreeAt = m_clock.tickMs() + lineMs(int(m_active.bytes.size()));
    if (!m_active.answered && m_active.waitMs <= 0) {
        finish();
        return;
    }
    m_clock.schedule(m_active.waitMs, this, [this] {
        if (m_active.answered) m_reply.bytes = m_port.Receive();
        finish();
    });
}

void EmuLink::settleStep(qint64 started, qint64 lastByte, int owed) {
    // Every byte that comes is dropped and counted. The wait ends when exactly the bytes owed
    // have come: the next reply then starts on a reply's boundary. More than that means the count
    // was wrong, so then (and with an unknown count) only a quiet line ends it.
    const qint64 now = m_clock.tickMs();
    const int n = m_port.Opened() ? m_port.DropInput() : 0;
    if (n > 0) {
        m_reply.settled += n;
        lastByte = now;
    }
    Settle end = Settle::None;
    if (owed > 0 && m_reply.settled == owed)
        end = Settle::Owed;
    else if (!m_port.Opened() || now - lastByte >= emu::link::SettleQuietMs)
        end = Settle::Quiet;
    else if (now - started >= emu::link::SettleMaxMs)
        end = Settle::Streaming;
    if (end != Settle::None) {
        m_reply.settle = end;
        goOut();
        return;
    }
    m_clock.schedule(1, this,
                     [this, started, lastByte, owed] { settleStep(started, lastByte, owed); });
}

void EmuLink::finish() {
    Request done = std::move(m_active);
    m_active = Request();
    const Reply reply = m_reply;
    m_inFlight = false;
    if (done.done) {
        // What the completion asks for belongs to the same sequence, if that still holds.
        const Scope scope(*this, done.sequence == m_open ? done.sequence : m_current);
        done.done(reply);
    }
    pump();
}

void EmuLink::identify(int waitMs, Done done) {
    submit({QByteArray(1, char(emu::link::CmdIdentify)), waitMs, true, std::move(done)});
}

void EmuLink::readImage(Done done) {
    submit({QByteArray(1, char(emu::link::CmdReadImage)), emu::link::WaitReadImage, true,
            std::move(done)});
}

void EmuLink::writeTables(const QByteArray &stream, std::function<void(bool sent)> done) {
    // The stream goes out even when the command byte did not: the protocol has no retry, and
    // an EMU that missed 0xF3 ignores it.
    auto command = std::make_shared<bool>(false);
    submit({QByteArray(1, char(emu::link::CmdWriteTables)), emu::link::WaitWriteTables, false,
            [command](const Reply &r) { *command = r.sent; }});
    submit({stream, 0, false, [command, done](const Reply &r) {
                if (done) done(*command && r.sent);
            }});
}

void EmuLink::liveData(Done done, std::function<int()> owed) {
    submit({QByteArray(1, char(emu::link::CmdLiveData)), emu::link::WaitLiveData, true,
            std::move(done), std::move(owed)});
}

void EmuLink::parameterWrite(quint8 code, quint8 value) {
    const char bytes[3] = {char(emu::link::CmdParameter), char(code), char(value)};
    submit({QByteArray(bytes, 3), 0, false, {}});
}

void EmuLink::pointWrite(quint8 section, quint8 offset, quint8 value) {
    const char bytes[3] = {char(section), char(offset), char(value)};
    submit({QByteArray(bytes, 3), 0, false, {}});
}

void EmuLink::pause(int ms) {
    submit({QByteArray(), ms, false, {}});
}

void EmuLink::whenDone(std::function<void()> fn) {
    submit({QByteArray(), 0, false, [fn](const Reply &) {
                if (fn) fn();
            }});
}

int EmuLink::beginSequence() {
    m_open = ++m_lastSequence;
    return m_open;
}

void EmuLink::endSequence(int sequence) {
    if (sequence != m_open) return;
    m_open = 0;
    pump(); // what waited goes out now
}

void EmuLink::waitIdle() {
    if (!busy()) return;
    QEventLoop loop;
    connect(this, &EmuLink::idle, &loop, &QEventLoop::quit);
    loop.exec();
}
