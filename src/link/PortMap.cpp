#include "link/PortMap.h"

#include "link/SerialDevice.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace {
bool isAdapter(const QString &device) {
    const QString base = device.section(QLatin1Char('/'), -1).toLower();
    return base.contains(QLatin1String("usb")) || base.contains(QLatin1String("acm"));
}

// Name order in which runs of digits compare by value.
bool naturalLess(const QString &a, const QString &b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare without leading zeros: longer is larger, then digit by digit.
            QStringView da = QStringView(a).mid(i, ei - i), db = QStringView(b).mid(j, ej - j);
            while (da.size() > 1 && da.front() == QLatin1Char('0'))
                da = da.mid(1);
            while (db.size() > 1 && db.front() == QLatin1Char('0'))
                db = db.mid(1);
            if (da.size() != db.size()) return da.size() < db.size();
            const int c = da.compare(db);
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;
}
} // namespace

PortMap &PortMap::instance() {
    // The system's devices are known from the first use on; a later scan refreshes them.
    static PortMap map = [] {
        PortMap m;
        m.scanSystem();
        return m;
    }();
    return map;
}

QStringList PortMap::orderDevices(QStringList devices) {
    devices.removeDuplicates();
    devices.removeAll(QString());
    std::stable_sort(devices.begin(), devices.end(), [](const QString &a, const QString &b) {
        const bool aa = isAdapter(a), ab = isAdapter(b);
        if (aa != ab) return aa;
        return naturalLess(a, b);
    });
    return devices;
}

void PortMap::scanSystem() {
    if (m_lister) {
        setSystemDevices(m_lister());
        return;
    }
#ifdef Q_OS_WIN
    // Com n is the device "COM" n; nothing to discover.
    setSystemDevices({});
#else
    QStringList devices;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        devices << info.systemLocation();
    setSystemDevices(devices);
#endif
}

void PortMap::setSystemDevices(const QStringList &devices) {
    m_system = orderDevices(devices);
    rebuild();
}

void PortMap::setOverride(int n, const QString &device) {
    if (n < 1 || n > MaxPorts) return;
    m_virtual.remove(n);
    m_virtualName.remove(n);
    if (device.isEmpty())
        m_override.remove(n);
    else
        m_override.insert(n, device);
    rebuild();
}

void PortMap::setVirtual(int n, std::function<std::unique_ptr<ByteDevice>()> make,
                         const QString &name) {
    if (n < 1 || n > MaxPorts) return;
    if (make) {
        m_virtual.insert(n, std::move(make));
        m_virtualName.insert(n, name);
    } else {
        m_virtual.remove(n);
        m_virtualName.remove(n);
    }
    rebuild();
}

void PortMap::clear() {
    m_system.clear();
    m_auto.clear();
    m_override.clear();
    m_virtual.clear();
    m_virtualName.clear();
}

void PortMap::rebuild() {
    // Devices of the scan fill the numbers that no explicit entry holds, in order; a device
    // that an explicit entry names keeps only that number.
    m_auto.clear();
    QStringList named;
    for (const QString &d : std::as_const(m_override))
        named << d;
    int n = 1;
    for (const QString &device : std::as_const(m_system)) {
        if (named.contains(device)) continue;
        while (n <= MaxPorts && (m_override.contains(n) || m_virtual.contains(n)))
            ++n;
        if (n > MaxPorts) break;
        m_auto.insert(n++, device);
    }
}

QString PortMap::device(int n) const {
    if (n < 1 || n > MaxPorts) return {};
    if (m_virtual.contains(n)) return m_virtualName.value(n);
    if (m_override.contains(n)) return m_override.value(n);
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(n);
#else
    return m_auto.value(n);
#endif
}

QStringList PortMap::describe() const {
    QStringList lines;
    for (int n = 1; n <= MaxPorts; ++n) {
        const QString d = device(n);
        if (!d.isEmpty()) lines << QStringLiteral("Com%1 = %2").arg(n).arg(d);
    }
    return lines;
}

std::unique_ptr<ByteDevice> PortMap::create(int n) const {
    if (n < 1 || n > MaxPorts) return nullptr;
    const auto v = m_virtual.constFind(n);
    if (v != m_virtual.constEnd()) return (*v) ? (*v)() : nullptr;
    const QString d = device(n);
    if (d.isEmpty()) return nullptr;
    return std::make_unique<SerialDevice>(d);
}

QString PortMap::openFailure(const QString &label, const QString &device,
                             ByteDevice::OpenError error, const QString &errorString) {
    QString why;
    switch (error) {
    case ByteDevice::OpenError::NotFound:
        why = device.isEmpty() ? QStringLiteral("no device is mapped to it")
                               : QStringLiteral("no such device");
        if (!device.isEmpty()) devicePath(device, &why); // a bare name refused says why
        break;
    case ByteDevice::OpenError::PermissionDenied:
        why = QStringLiteral("permission denied");
        break;
    case ByteDevice::OpenError::Busy:
        why = QStringLiteral("in use by another program");
        break;
    default: {
        QString detail = errorString;
        if (!device.isEmpty() && detail.startsWith(device + QLatin1String(": ")))
            detail = detail.mid(device.size() + 2);
        why = detail.isEmpty()
                  ? QStringLiteral("cannot be opened")
                  : QStringLiteral("cannot be opened as a serial port (%1)").arg(detail);
        break;
    }
    }
    const QString who = label.isEmpty()    ? device
                        : device.isEmpty() ? label
                                           : QStringLiteral("%1 (%2)").arg(label, device);
    return QStringLiteral("%1: %2").arg(who, why);
}

QString PortMap::devicePath(const QString &name, QString *why) {
#ifdef Q_OS_UNIX
    const QFileInfo here(name);
    if (here.isAbsolute() || name.contains(QLatin1Char('/')) || here.exists() || here.isSymLink())
        return here.absoluteFilePath();
    const QString system = QStringLiteral("/dev/") + name;
    if (!name.isEmpty() && instance().m_system.contains(system) && QFileInfo::exists(system))
        return system;
    if (why)
        *why = QStringLiteral("no file of that name here, and no serial device of that name "
                              "was found");
    return QString();
#else
    Q_UNUSED(why);
    return name;
#endif
}

int PortMap::portNumber(const QString &text) {
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("com"), Qt::CaseInsensitive)) t = t.mid(3);
    if (t.isEmpty()) return 0;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    bool ok = false;
    const int n = t.toInt(&ok);
    return ok ? n : 0;
}

bool PortMap::takeArguments(QStringList &args, QString *error) {
    const QString option = QStringLiteral("--port");
    const QString optionEq = QStringLiteral("--port=");
    auto fail = [error](const QString &message) {
        if (error) *error = message;
        return false;
    };
    for (int i = 0; i < args.size();) {
        QString value;
        int taken = 0;
        if (args.at(i) == option) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--port needs a value such as Com1=/dev/ttyUSB0"));
            value = args.at(i + 1);
            taken = 2;
        } else if (args.at(i).startsWith(optionEq)) {
            value = args.at(i).mid(optionEq.size());
            taken = 1;
        } else {
            ++i;
            continue;
        }
        const int eq = value.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(QStringLiteral("--port %1: expected ComN=DEVICE, e.g. Com1=/dev/ttyUSB0")
                            .arg(value));
        const int n = portNumber(value.left(eq));
        if (n < 1 || n > MaxPorts)
            return fail(QStringLiteral("--port %1: the port must be Com1 to Com%2")
                            .arg(value)
                            .arg(MaxPorts));
        const QString device = value.mid(eq + 1).trimmed();
        if (device.isEmpty()) return fail(QStringLiteral("--port %1: no device given").arg(value));
        setOverride(n, device);
        args.erase(args.begin() + i, args.begin() + i + taken);
    }
    return true;
}
