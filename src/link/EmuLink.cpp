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
    if (m_active.settle) {
        settleStep(m_clock.tickMs(), m_active.waitMs);
        return;
    }
    if (m_active.bytes.isEmpty()) {
        if (m_active.waitMs > 0)
            m_clock.schedule(m_active.waitMs, this, [this] { finish(); });
        else
            finish();
        return;
    }
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
    if (m_active.answered && m_port.Opened()) m_port.ClearInput();
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

void EmuLink::settleStep(qint64 started, int owed) {
    // The rest comes with the adapter's next hand-over; the next request goes right after it,
    // so its own reply is not cut at the same place again.
    if (m_port.Opened()) {
        const int n = m_port.InCount();
        if (n > 0) {
            m_port.ClearInput();
            owed -= n;
        }
    }
    if (!m_port.Opened() || owed <= 0 || m_clock.tickMs() - started >= emu::link::SettleMaxMs) {
        finish();
        return;
    }
    m_clock.schedule(1, this, [this, started, owed] { settleStep(started, owed); });
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
    submit({QByteArray(1, char(emu::link::CmdIdentify)), waitMs, true, false, std::move(done)});
}

void EmuLink::readImage(Done done) {
    submit({QByteArray(1, char(emu::link::CmdReadImage)), emu::link::WaitReadImage, true, false,
            std::move(done)});
}

void EmuLink::writeTables(const QByteArray &stream, std::function<void(bool sent)> done) {
    // The stream goes out even when the command byte did not: the protocol has no retry, and
    // an EMU that missed 0xF3 ignores it.
    auto command = std::make_shared<bool>(false);
    submit({QByteArray(1, char(emu::link::CmdWriteTables)), emu::link::WaitWriteTables, false,
            false, [command](const Reply &r) { *command = r.sent; }});
    submit({stream, 0, false, false, [command, done](const Reply &r) {
                if (done) done(*command && r.sent);
            }});
}

void EmuLink::liveData(Done done) {
    submit({QByteArray(1, char(emu::link::CmdLiveData)), emu::link::WaitLiveData, true, false,
            std::move(done)});
}

void EmuLink::parameterWrite(quint8 code, quint8 value) {
    const char bytes[3] = {char(emu::link::CmdParameter), char(code), char(value)};
    submit({QByteArray(bytes, 3), 0, false, false, {}});
}

void EmuLink::pointWrite(quint8 section, quint8 offset, quint8 value) {
    const char bytes[3] = {char(section), char(offset), char(value)};
    submit({QByteArray(bytes, 3), 0, false, false, {}});
}

void EmuLink::pause(int ms) {
    submit({QByteArray(), ms, false, false, {}});
}

void EmuLink::settleInput(int owed) {
    submit({QByteArray(), owed, false, true, {}});
}

void EmuLink::whenDone(std::function<void()> fn) {
    submit({QByteArray(), 0, false, false, [fn](const Reply &) {
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
