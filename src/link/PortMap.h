#pragma once
// "Com" n to a device. On Windows Com n is the device "COM" n. Elsewhere Com1, Com2, ... are the
// system's serial devices in a stable order (USB and ACM adapters first, then the rest, each
// sorted by name); `--port ComN=DEVICE` adds or overrides an entry, and the in-process virtual
// EMU can be registered on a number. A number mapped to nothing fails to open.
#include "link/ByteDevice.h"

#include <QMap>
#include <QString>
#include <QStringList>

class PortMap {
public:
    static constexpr int MaxPorts = 20;
    static constexpr const char *VirtualDevice = "virtual EMU";

    // The program-wide map, used by every TQCCom32 without a factory of its own; filled from
    // the system's serial devices on first use.
    static PortMap &instance();

    // Rebuild the automatic part from the system's serial devices (overrides stay).
    void scanSystem();
    // The same from a given list of device paths (what a scan found).
    void setSystemDevices(const QStringList &devices);
    // What scanSystem asks for the system's serial devices; empty: the serial port library's
    // list. (A test or a platform without the usual names can supply its own.)
    void setSystemLister(std::function<QStringList()> lister) { m_lister = std::move(lister); }
    // The automatic order: USB and ACM adapters first, then the rest, each by name (numbers
    // inside names compare as numbers: ttyS2 before ttyS10).
    static QStringList orderDevices(QStringList devices);
    // Explicit entries (from --port), kept across scans.
    void setOverride(int n, const QString &device);
    // Map n to a device made in-process (the virtual EMU of --demo).
    void setVirtual(int n, std::function<std::unique_ptr<ByteDevice>()> make,
                    const QString &name = QString::fromLatin1(VirtualDevice));
    void clear();

    // True when Com n was mapped explicitly (--port), not by the scan.
    bool isExplicit(int n) const { return m_override.contains(n); }
    // Device behind Com n, "" when unmapped.
    QString device(int n) const;
    // "Com3 = /dev/ttyUSB0" lines for every mapped number, in order.
    QStringList describe() const;
    std::unique_ptr<ByteDevice> create(int n) const;

    // Takes every "--port ComN=DEVICE" (or "--port=ComN=DEVICE") out of args and records it as
    // an override. Returns false with a message for a malformed one.
    bool takeArguments(QStringList &args, QString *error);
    // Why a port did not open, for the user: "Com1 (/dev/ttyUSB0): no such device". An empty
    // label names the device alone (a device given by its path).
    static QString openFailure(const QString &label, const QString &device,
                               ByteDevice::OpenError error, const QString &errorString);
    // The file a device name opens. A path, or a bare name that exists in the current folder
    // (a link made there included), is that file. Only a bare name that exists nowhere here may
    // stand for a serial device of the system ("ttyUSB0" for /dev/ttyUSB0), and only one the
    // program's port map found: a name is never looked up elsewhere and written to by chance.
    // Empty, with *why, when refused.
    static QString devicePath(const QString &name, QString *why = nullptr);
    // Parses "Com3" (any case) or a plain number; 0 when it is neither.
    static int portNumber(const QString &text);

private:
    void rebuild();

    std::function<QStringList()> m_lister;
    QStringList m_system; // what the last scan found, in the automatic order
    QMap<int, QString> m_auto;
    QMap<int, QString> m_override;
    QMap<int, std::function<std::unique_ptr<ByteDevice>()>> m_virtual;
    QMap<int, QString> m_virtualName;
};
