#include "link/SerialDevice.h"

#include "link/PortMap.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <limits>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {
// Upper bound on reads per queued() call, so a line that never stops talking cannot hold us.
constexpr int MaxPullsPerQuery = 64;

#ifdef Q_OS_UNIX
// True when the descriptor reports a hang-up or error: the device is gone (adapter unplugged,
// other end of a pseudo-terminal closed).
bool hungUp(qintptr fd) {
    if (fd < 0) return true;
    pollfd p{};
    p.fd = int(fd);
    p.events = POLLIN | POLLOUT;
    if (::poll(&p, 1, 0) < 0) return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
#endif
} // namespace

SerialDevice::SerialDevice(const QString &deviceName) : m_name(deviceName) {
    m_port.setPortName(deviceName);
    QObject::connect(&m_port, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { onError(e); });
}

SerialDevice::~SerialDevice() {
    QObject::disconnect(&m_port, nullptr, nullptr, nullptr);
    if (m_port.isOpen()) m_port.close();
}

ByteDevice::OpenError SerialDevice::mapOpenError(QSerialPort::SerialPortError error,
                                                 const QString &device) {
    switch (error) {
    case QSerialPort::NoError:
        return OpenError::None;
    case QSerialPort::DeviceNotFoundError:
        return OpenError::NotFound;
    case QSerialPort::OpenError:
        return OpenError::Busy;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // The port reports a device that is locked or held exclusively by another program as a
        // permission error too; only a device we may not read and write is a real permission
        // problem.
        const QByteArray path = QFileInfo(device).absoluteFilePath().toLocal8Bit();
        if (::access(path.constData(), R_OK | W_OK) == 0) return OpenError::Busy;
        return OpenError::PermissionDenied;
#else
        // Windows refuses a COM port that another program holds with "access denied".
        Q_UNUSED(device);
        return OpenError::Busy;
#endif
    }
    default:
        return OpenError::Other;
    }
}

bool SerialDevice::open(int baud, bool hardwareHandshake) {
    if (m_port.isOpen()) close();
    m_lost = false;
    m_error = OpenError::None;
    m_errorString.clear();

#ifdef Q_OS_UNIX
    // The serial port library would take a bare name as one under /dev.
    QString why;
    const QString path = PortMap::devicePath(m_name, &why);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        m_error = OpenError::NotFound;
        m_errorString = QStringLiteral("%1: %2").arg(
            m_name, why.isEmpty() ? QStringLiteral("no such device") : why);
        return false;
    }
    m_port.setPortName(path);
#endif

    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(hardwareHandshake ? QSerialPort::HardwareControl
                                            : QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(0);

    m_opening = true;
    const bool ok = m_port.open(QIODevice::ReadWrite);
    if (ok && !hardwareHandshake) {
        // No modem-control lines driven. Pseudo-terminals and some adapters have no modem
        // lines at all; that is not an error.
        m_port.setDataTerminalReady(false);
        m_port.setRequestToSend(false);
    }
    m_opening = false;

    if (!ok) {
        m_error = mapOpenError(m_port.error(), m_name);
        if (m_error == OpenError::None) m_error = OpenError::Other;
        m_errorString = QStringLiteral("%1: %2").arg(m_name, m_port.errorString());
        m_port.clearError();
        return false;
    }
    m_port.clearError();
    return true;
}

void SerialDevice::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
}

bool SerialDevice::isOpen() const {
    return m_port.isOpen();
}

void SerialDevice::onError(QSerialPort::SerialPortError error) {
    if (m_opening || m_lost || !m_port.isOpen()) return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
#ifdef Q_OS_UNIX
        // A full output queue or a spurious wake-up is not a lost device; a hang-up is.
        if (!hungUp(m_port.handle())) return;
#else
        if (error != QSerialPort::ResourceError) return;
#endif
        m_lost = true;
        m_error = OpenError::NotFound;
        m_errorString = QStringLiteral("%1: %2").arg(m_name, m_port.errorString());
        break;
    default:
        break;
    }
}

void SerialDevice::pullFromDriver() {
    // QSerialPort only learns about bytes the driver holds when it reads them (normally from
    // the event loop). After a blocking wait nothing has been read yet, so ask now.
    for (int i = 0; i < MaxPullsPerQuery && m_port.isOpen() && !m_lost; ++i) {
        if (!m_port.waitForReadyRead(0)) break;
    }
#ifdef Q_OS_UNIX
    if (!m_lost && m_port.isOpen() && hungUp(m_port.handle())) {
        m_lost = true;
        m_error = OpenError::NotFound;
        m_errorString = QStringLiteral("%1: the device has gone away").arg(m_name);
    }
#endif
    if (m_port.error() == QSerialPort::TimeoutError) m_port.clearError();
}

qint64 SerialDevice::write(const QByteArray &bytes) {
    if (!m_port.isOpen() || m_lost) return -1;
    if (bytes.isEmpty()) return 0;
    if (m_port.write(bytes) != bytes.size()) return -1;
    // Hand every byte to the driver before the protocol starts its wait.
    QDeadlineTimer deadline(m_writeTimeoutMs);
    while (m_port.isOpen() && !m_lost && m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())))) break;
    }
    if (m_port.error() == QSerialPort::TimeoutError) m_port.clearError();
    if (m_lost || !m_port.isOpen()) return -1;
    // Stuck (e.g. no clear-to-send): the caller hears that the write did not go through. What
    // is still queued stays queued; a command is never cut short on purpose.
    return bytes.size() - m_port.bytesToWrite();
}

int SerialDevice::queued() {
    if (!m_port.isOpen() || m_lost) return 0;
    pullFromDriver();
    if (m_lost) return 0;
    return int(qMin<qint64>(m_port.bytesAvailable(), std::numeric_limits<int>::max()));
}

QByteArray SerialDevice::read(int maxBytes) {
    if (!m_port.isOpen() || m_lost || maxBytes <= 0) return {};
    if (m_port.bytesAvailable() < maxBytes) pullFromDriver();
    return m_port.read(maxBytes);
}

void SerialDevice::clearInput() {
    if (!m_port.isOpen() || m_lost) return;
    // Take in what the driver holds first, so the clear below drops it too.
    pullFromDriver();
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
}

int SerialDevice::outputPending() {
    if (!m_port.isOpen() || m_lost) return -1;
    int pending = int(m_port.bytesToWrite());
#ifdef Q_OS_LINUX
    // What the driver still holds (a real UART; a pseudo-terminal reports what the other side
    // has not read).
    int driver = 0;
    if (::ioctl(int(m_port.handle()), TIOCOUTQ, &driver) == 0) pending += driver;
#endif
    return pending;
}
