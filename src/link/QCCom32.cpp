#include "link/QCCom32.h"

#include "link/Clock.h"
#include "link/PortMap.h"

#include <QCoreApplication>

namespace {
// Decodes an end-of-response text: plain characters up to the first '#', then "#nn" decimal
// escapes. Returns false when an escape is not a plain decimal number of one byte.
bool decodeEscapes(const QString &text, QByteArray *marker) {
    const int first = text.indexOf(QLatin1Char('#'));
    if (first < 0) {
        *marker = text.toLatin1();
        return true;
    }
    QByteArray out = text.left(first).toLatin1();
    const QStringList numbers = text.mid(first + 1).split(QLatin1Char('#'));
    for (int i = 0; i < numbers.size(); ++i) {
        const QString &number = numbers.at(i);
        if (number.isEmpty()) {
            if (i == numbers.size() - 1) break; // a trailing '#' adds nothing
            return false;
        }
        int code = 0;
        for (const QChar c : number) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
            code = code * 10 + (c.unicode() - '0');
            if (code > 255) return false; // not one character of the byte stream
        }
        out.append(char(code));
    }
    *marker = out;
    return true;
}
} // namespace

TQCCom32::TQCCom32(QObject *parent, Clock *clock)
    : QObject(parent), m_clock(clock ? clock : &Clock::system()) {
    m_factory = [](int port) { return PortMap::instance().create(port); };
    m_prompt = [](const QString &, bool) { return PromptAnswer::Abort; };
}

TQCCom32::~TQCCom32() {
    Close();
}

void TQCCom32::setBaud(int baud) {
    if (baud == m_baud) return;
    m_baud = baud;
    reopenIfOpen();
}

void TQCCom32::setEndOfResponse(const QString &text) {
    m_endOfResponse = text;
    if (!decodeEscapes(text, &m_endMarker)) m_endMarker = text.toLatin1();
}

void TQCCom32::setHandshaking(THandshake h) {
    if (h == m_handshaking) return;
    m_handshaking = h;
    reopenIfOpen();
}

void TQCCom32::setPort(int port) {
    if (port == m_port) return;
    m_port = port;
    reopenIfOpen();
}

int TQCCom32::InCount() {
    if (checkLost() || !Opened()) return 0;
    const int n = m_device->queued();
    if (checkLost()) return 0;
    return qMax(0, n);
}

bool TQCCom32::Opened() const {
    return m_device && m_device->isOpen() && !m_device->lost();
}

bool TQCCom32::deviceLost() const {
    return m_device && m_device->lost();
}

void TQCCom32::setDeviceFactory(DeviceFactory factory) {
    m_defaultFactory = !factory;
    if (factory)
        m_factory = std::move(factory);
    else
        m_factory = [](int port) { return PortMap::instance().create(port); };
}

void TQCCom32::setClock(Clock *clock) {
    m_clock = clock ? clock : &Clock::system();
}

QString TQCCom32::deviceName() const {
    if (m_device) return m_device->name();
    if (m_defaultFactory) return PortMap::instance().device(m_port);
    const std::unique_ptr<ByteDevice> probe = m_factory(m_port);
    return probe ? probe->name() : QString();
}

TQCCom32::PromptAnswer TQCCom32::ask(const QString &text, bool abortRetry) {
    if (!m_prompt) return PromptAnswer::Abort;
    return m_prompt(text, abortRetry);
}

bool TQCCom32::Open() {
    if (m_device) Close();
    for (;;) {
        std::unique_ptr<ByteDevice> device = m_factory ? m_factory(m_port) : nullptr;
        if (!device) {
            m_lastOpenError = ByteDevice::OpenError::NotFound;
            m_lastOpenErrorString = tr("No serial device is mapped to Com%1").arg(m_port);
        } else if (device->open(m_baud, m_handshaking == hsHardware)) {
            m_device = std::move(device);
            // A freshly opened port starts with an empty input queue: nothing left from an
            // earlier user of the line may pose as a reply.
            m_device->clearInput();
            m_lastOpenError = ByteDevice::OpenError::None;
            m_lastOpenErrorString.clear();
            return true;
        } else {
            m_lastOpenError = device->lastError();
            if (m_lastOpenError == ByteDevice::OpenError::None)
                m_lastOpenError = ByteDevice::OpenError::Other;
            m_lastOpenErrorString = device->errorString();
        }
        if (!m_showErrors) return false;
        if (ask(QStringLiteral("Error opening COM") + QString::number(m_port) +
                    QStringLiteral(": "),
                true) != PromptAnswer::Retry)
            return false;
    }
}

void TQCCom32::Close() {
    if (!m_device) return;
    std::unique_ptr<ByteDevice> device = std::move(m_device);
    device->close();
}

void TQCCom32::ClearInput() {
    if (checkLost() || !Opened()) return;
    m_device->clearInput();
    checkLost();
}

int TQCCom32::DropInput() {
    const int n = InCount();
    if (n <= 0 || !Opened()) return 0;
    const int dropped = int(m_device->read(n).size());
    checkLost();
    return dropped;
}

int TQCCom32::OutputPending() {
    if (checkLost() || !Opened()) return -1;
    return m_device->outputPending();
}

bool TQCCom32::Send(const QByteArray &bytes) {
    checkLost();
    if (!Opened()) Open();
    if (!Opened()) return false;
    const qint64 written = m_device->write(bytes);
    if (checkLost()) return false;
    return written == bytes.size();
}

QByteArray TQCCom32::Receive() {
    QByteArray result;
    if (m_inUse) {
        if (m_showErrors) ask(QStringLiteral("Port is in use -- operation aborted"), false);
        return result;
    }
    checkLost();
    if (!Opened()) Open();
    if (!Opened()) return result;

    m_inUse = true;
    if (m_endMarker.isEmpty()) {
        const int n = InCount();
        if (n > 0 && Opened()) result = m_device->read(n);
        m_inUse = false;
        return result;
    }

    qint64 deadline = m_clock->tickMs() + m_responseTime;
    m_timedOut = false;
    for (;;) {
        bool found = false;
        while (!found && !m_timedOut) {
            const int n = InCount();
            if (!Opened()) break; // the device went away: nothing more will come
            if (n > 0) result.append(m_device->read(n));
            found = result.contains(m_endMarker);
            if (found) break;
            if (m_clock->tickMs() > deadline) m_timedOut = true;
            if (m_allowEvents) QCoreApplication::processEvents();
            // Give the line a moment instead of spinning at full speed.
            if (!m_timedOut && n == 0) m_clock->sleepMs(1);
        }
        if (found || !m_timedOut) break;
        if (OnTimeout) OnTimeout(this);
        if (!m_showErrors ||
            ask(QStringLiteral("Timeout waiting for response."), true) != PromptAnswer::Retry)
            break;
        m_timedOut = false;
        deadline = m_clock->tickMs() + m_responseTime;
    }
    m_inUse = false;
    return result;
}

bool TQCCom32::reopenIfOpen() {
    if (!m_device) return false;
    Close();
    return Open();
}

bool TQCCom32::checkLost() {
    if (!m_device || !m_device->lost()) return false;
    const QString name = m_device->name();
    m_lastOpenError = m_device->lastError();
    if (m_lastOpenError == ByteDevice::OpenError::None)
        m_lastOpenError = ByteDevice::OpenError::NotFound;
    m_lastOpenErrorString = m_device->errorString();
    Close();
    emit lostDevice(m_port, name);
    return true;
}
