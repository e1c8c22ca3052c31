#include "sim/VirtualEmu.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace {

// The virtual EMU keeps its own copy of the device's memory layout and command bytes on purpose:
// it stands in for the hardware, so the tests check the program's map table, section offsets and
// commands against an independent description instead of against themselves. Do not replace
// these with the program's tables.
struct MapPlace {
    MapId id;
    const char *name;
    int stream; // image stream position of point 1
    int points;
    int bias;
    int capability; // 0 timing, 1 vacuum, 2 fuel
};

// The nine maps in image stream order.
constexpr MapPlace Places[] = {
    {MapId::Timing, "timing", 101, 100, 0, 0},
    {MapId::VacuumTiming, "vacuum timing", 201, 32, 10, 1},
    {MapId::FuelVacuum, "fuel vacuum", 233, 64, 100, 2},
    {MapId::FuelCruise, "fuel cruise", 297, 32, 100, 2},
    {MapId::WaterTemp, "water correction", 329, 24, 100, 2},
    {MapId::AirTemp, "air correction", 353, 24, 100, 2},
    {MapId::Voltage, "voltage correction", 377, 16, 100, 2},
    {MapId::FuelLow, "fuel low", 393, 32, 100, 2},
    {MapId::FuelHigh, "fuel high", 425, 32, 100, 2},
};

const MapPlace &place(MapId id) {
    for (const MapPlace &m : Places)
        if (m.id == id) return m;
    return Places[0];
}

const MapPlace *placeAt(int streamPos) {
    for (const MapPlace &m : Places)
        if (streamPos >= m.stream && streamPos < m.stream + m.points) return &m;
    return nullptr;
}

// Point-write sections: first image stream position and length.
struct Section {
    quint8 byte;
    int start;
    int length;
};
constexpr Section Sections[] = {
    {0xE8, 101, 132},
    {0xDE, 233, 96},
    {0xD4, 329, 64},
    {0xCA, 393, 64},
};

constexpr quint8 CmdIdentify = 0xFF;
constexpr quint8 CmdReadImage = 0xFD;
constexpr quint8 CmdLiveData = 0xFC;
constexpr quint8 CmdWriteTables = 0xF3;
constexpr quint8 CmdParameter = 0xF2;
constexpr int CoilCombination = 86;

bool isSection(quint8 b) {
    return std::any_of(std::begin(Sections), std::end(Sections),
                       [b](const Section &s) { return s.byte == b; });
}

quint8 lowByte(int v) {
    return quint8(v & 0xFF);
}

double lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The program's side of the line.

class VirtualEmuDevice : public ByteDevice {
public:
    explicit VirtualEmuDevice(VirtualEmu *emu) : m_emu(emu) {}
    ~VirtualEmuDevice() override = default;

    QString name() const override { return QStringLiteral("virtual EMU"); }

    bool open(int baud, bool /*hardwareHandshake*/) override {
        if (m_open) return true;
        if (!m_emu) {
            m_error = OpenError::NotFound;
            return false;
        }
        m_error = m_emu->tryOpen(baud);
        if (m_error != OpenError::None) return false;
        m_open = true;
        m_baud = baud;
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }

    qint64 write(const QByteArray &bytes) override {
        if (!m_open || lost()) return -1;
        m_emu->receive(bytes, m_baud);
        return bytes.size();
    }
    int queued() override { return usable() ? m_emu->available() : 0; }
    QByteArray read(int maxBytes) override {
        return usable() ? m_emu->take(maxBytes) : QByteArray();
    }
    void clearInput() override {
        if (usable()) m_emu->purgeInput();
    }
    OpenError lastError() const override { return lost() ? OpenError::NotFound : m_error; }
    QString errorString() const override {
        if (lost()) return QStringLiteral("The device has been removed");
        switch (m_error) {
        case OpenError::None:
            return QString();
        case OpenError::NotFound:
            return QStringLiteral("No such device");
        case OpenError::PermissionDenied:
            return QStringLiteral("Permission denied");
        case OpenError::Busy:
            return QStringLiteral("Device or resource busy");
        case OpenError::Other:
            break;
        }
        return QStringLiteral("Unknown error");
    }
    bool lost() const override { return m_open && (!m_emu || m_emu->vanished()); }

private:
    bool usable() const { return m_open && !lost(); }

    QPointer<VirtualEmu> m_emu;
    bool m_open = false;
    int m_baud = VirtualEmu::Baud;
    OpenError m_error = OpenError::None;
};

// ---------------------------------------------------------------------------------------------

VirtualEmu::VirtualEmu(Clock &clock, int modelCode, QObject *parent)
    : QObject(parent), m_clock(clock), m_model(modelCode) {
    reset(modelCode);
}

VirtualEmu::~VirtualEmu() = default;

std::unique_ptr<ByteDevice> VirtualEmu::makeDevice() {
    return std::make_unique<VirtualEmuDevice>(this);
}

void VirtualEmu::reset(int modelCode) {
    m_model = modelCode;
    m_identity = QByteArray();
    m_identity.append(char(1)); // version
    m_identity.append(char(lowByte(modelCode)));
    m_identity.append(char(12)); // firmware release
    // Bytes 3 and 4 hold nothing; they travel as value 0 + 1, since a 0 would end the reply.
    m_identity.append(char(1));
    m_identity.append(char(1));
    m_identity.append(char(5)); // signature
    m_identity.append(char(6));
    loadDefaults();
    m_engineStartMs = double(m_clock.tickMs());
    m_engine = EngineModel(rpmRange(), mapSensorRange() / 10.0);
    // The engine fits the defaults; its fuel errors stay what they were.
    const std::vector<FuelError> errors = m_fuel.errors();
    m_fuel = EngineFuel();
    m_fuel.setErrors(errors);
    m_fuel.setReference(m_image);
    m_engine.setFuelHook([this](double t, double dt, EngineState &s, bool overrun, double rate) {
        m_fuel.step(*this, t, dt, s, overrun, rate);
    });
    if (!m_drive.empty()) m_engine.setDrive(m_drive);
    m_command.clear();
    m_expect = 0;
}

void VirtualEmu::setIdentity(const QByteArray &seven) {
    m_identity = seven.left(IdentitySize);
    if (m_identity.size() > 1) m_model = quint8(m_identity.at(1));
}

bool VirtualEmu::hasTiming() const {
    return m_model == 1 || m_model == 3 || m_model == 5 || m_model == 6;
}
bool VirtualEmu::hasVacuum() const {
    return hasTiming();
}
bool VirtualEmu::hasFuel() const {
    return m_model == 2 || m_model == 3 || m_model == 5 || m_model == 6;
}

void VirtualEmu::loadDefaults() {
    m_image = QByteArray(ImageSize, char(1)); // uninterpreted bytes hold the value 0
    const bool timing = hasTiming();
    const bool fuel = hasFuel();
    auto set = [this](int off, int value) { m_image[off] = char(lowByte(value + 1)); };
    auto unset = [this](int off) { m_image[off] = char(255); };
    auto fuelOnly = [&](int off, int value) { fuel ? set(off, value) : unset(off); };
    auto timingOnly = [&](int off, int value) { timing ? set(off, value) : unset(off); };

    timingOnly(0, 60);     // timing sensor °BTDC
    set(1, 36);            // gear teeth
    fuelOnly(2, 100);      // idle jet
    fuelOnly(3, 128);      // main jet
    fuelOnly(4, 20);       // start prime pulse
    set(5, 2);             // TPS sensor active
    set(6, 2);             // water temperature sensor active
    set(7, 2);             // air temperature sensor active
    set(8, fuel ? 2 : 1);  // lambda sensor
    set(9, 2);             // map sensor active
    fuelOnly(10, 45);      // lambda target 0.45 V
    fuelOnly(11, 20);      // lambda control percentage
    fuelOnly(12, 10);      // lambda control delay
    fuelOnly(13, 10);      // lambda control variable
    set(14, fuel ? 1 : 2); // tuning pot: injector, or timing without fuel maps
    fuelOnly(15, 70);      // fuel cut-off 7000 RPM
    fuelOnly(16, 25);      // fuel cut-off vacuum 0.25 bar
    fuelOnly(17, 5);       // fuel cut-off TPS 5 %
    fuelOnly(23, 5);       // map pump sensitivity
    fuelOnly(24, 3);       // map pump enrichment 30 %
    fuelOnly(25, 30);      // map pump max 3000 RPM
    fuelOnly(26, 5);       // TPS pump sensitivity
    fuelOnly(27, 4);       // TPS pump enrichment 40 %
    fuelOnly(28, 35);      // TPS pump max 3500 RPM
    set(29, 1);            // output 1: RPM (shift light)
    set(30, 30);           //   on from 3000 RPM
    set(31, 65);           //   to 6500 RPM
    set(32, 5);            // output 2: water temperature (fan)
    set(33, 95);           //   95 °C
    set(34, 105);          //   105 °C
    set(35, 9);            // idle 900 RPM
    set(36, 40);           // idle start 40 %
    fuelOnly(37, 3);       // accelerator pump: both
    set(38, 20);           // TPS minimum
    set(39, 180);          // TPS span
    set(40, 25);           // low throttle vacuum 0.25 bar
    set(41, 85);           // high throttle vacuum 0.85 bar
    fuelOnly(42, 150);     // max fueling 15.0
    fuelOnly(43, 30);      // start enrichment 3.0
    set(44, 128);          // water temperature calibration
    set(45, 1);            // TDC sensor off
    set(46, 40);           // launch limiter 4000 RPM
    timingOnly(47, 5);     // launch timing 5°
    fuelOnly(48, 110);     // launch fuel 110 %
    set(49, 1);            // four-stroke
    set(50, 128);          // air temperature calibration
    timingOnly(51, 15);    // trailing degrees
    set(52, 128);          // map sensor calibration
    set(80, 4);            // cylinders
    set(81, 70);           // RPM range 7000
    timingOnly(82, 6);     // coil time 3 ms
    set(83, 10);           // map sensor 100 kPa (1 bar)
    set(84, 68);           // RPM limiter 6800
    if (timing)
        m_image[CoilCombination] = char(2); // wasted spark
    else
        unset(CoilCombination);
    set(94, 12); // serial number EM-123456-01
    set(95, 34);
    set(96, 56);
    set(97, 1);
    set(98, 'E');
    set(99, 'M');

    // Timing: 10° at idle rising to 32° at 4000 RPM, held above.
    for (int p = 1; p <= 100; ++p) {
        const double f = std::clamp((p - 9) / 31.0, 0.0, 1.0);
        setMapValue(MapId::Timing, p, int(std::lround(lerp(10, 32, f))));
    }
    // Vacuum timing: +8° at high vacuum (low manifold pressure), nothing near full load.
    for (int p = 1; p <= 32; ++p)
        setMapValue(MapId::VacuumTiming, p,
                    int(std::lround(std::clamp(10.0 * (22 - p) / 14, 0.0, 8.0))));
    // Fuel vacuum: flat, a little richer towards full load.
    for (int p = 1; p <= 64; ++p)
        setMapValue(MapId::FuelVacuum, p, p < 40 ? 0 : int(std::lround((p - 40) / 3.0)));
    for (int p = 1; p <= 32; ++p) {
        setMapValue(MapId::FuelCruise, p, 0);
        setMapValue(MapId::FuelLow, p, p < 8 ? 0 : -3);
        setMapValue(MapId::FuelHigh, p, p < 8 ? 2 : 5);
    }
    // Cold water enriches: +40 % at 5 °C down to nothing from 70 °C.
    for (int p = 1; p <= 24; ++p)
        setMapValue(MapId::WaterTemp, p, int(std::lround(std::max(0.0, 40.0 * (14 - p) / 13))));
    // Cold air is denser: +8 % at -20 °C, 0 at 25 °C, -6 % at 100 °C.
    for (int p = 1; p <= 24; ++p) {
        const double t = (p - 1) * 120.0 / 23 - 20;
        const double v = t < 25 ? 8 * (25 - t) / 45 : -6 * (t - 25) / 75;
        setMapValue(MapId::AirTemp, p, int(std::lround(v)));
    }
    // Low battery opens the injectors late: +20 % at 8 V, 0 at 13.8 V, -3 % at 16 V.
    for (int p = 1; p <= 16; ++p) {
        const double u = (p + 14) / 15.0 * 8;
        const double v = u < 13.8 ? 20 * (13.8 - u) / 5.8 : -3 * (u - 13.8) / 2.2;
        setMapValue(MapId::Voltage, p, int(std::lround(v)));
    }
}

quint8 VirtualEmu::setupByte(int offset) const {
    return offset >= 0 && offset < SetupSize ? quint8(m_image.at(offset)) : 0;
}

void VirtualEmu::setSetupByte(int offset, quint8 stored) {
    if (offset >= 0 && offset < SetupSize) m_image[offset] = char(stored);
}

int VirtualEmu::setupValue(int offset) const {
    const int b = setupByte(offset);
    return offset == CoilCombination ? b : b - 1;
}

void VirtualEmu::setImageStream(const QByteArray &stream457) {
    for (int i = 0; i < ImageSize && i < stream457.size(); ++i)
        m_image[i] = stream457.at(i);
}

int VirtualEmu::streamOffset(MapId id) {
    return place(id).stream;
}
int VirtualEmu::pointCount(MapId id) {
    return place(id).points;
}
int VirtualEmu::bias(MapId id) {
    return place(id).bias;
}

int VirtualEmu::mapValue(MapId id, int p) const {
    const MapPlace &m = place(id);
    if (p < 1 || p > m.points) return 0;
    return quint8(m_image.at(m.stream + p - 1)) - 1 - m.bias;
}

void VirtualEmu::setMapValue(MapId id, int p, int value) {
    const MapPlace &m = place(id);
    if (p < 1 || p > m.points) return;
    m_image[m.stream + p - 1] = char(lowByte(value + m.bias + 1));
}

double VirtualEmu::rpmRange() const {
    const int b = setupByte(81);
    if (b == 255 || b <= 1) return 7000;
    return (b - 1) * 100.0;
}

int VirtualEmu::mapSensorRange() const {
    const int b = setupByte(83);
    if (b == 255 || b <= 1) return 10;
    return b - 1;
}

EngineState VirtualEmu::engineState() {
    if (m_pinnedState) return *m_pinnedState;
    m_engine.setRpmRange(rpmRange());
    m_engine.setMapFullScale(mapSensorRange() / 10.0);
    m_engine.advanceTo(std::max(0.0, (double(m_clock.tickMs()) - m_engineStartMs) / 1000.0));
    return m_engine.state();
}

QByteArray VirtualEmu::liveFrame() {
    if (m_pinnedFrame) return *m_pinnedFrame;
    return EngineModel::frame(engineState(), mapSensorRange() / 10.0);
}

void VirtualEmu::setDrive(const ScriptedDrive &drive) {
    m_drive = drive;
    engineState(); // the engine is at the present time before the script starts
    m_engine.setDrive(drive);
}

void VirtualEmu::unpinLive() {
    m_pinnedState.reset();
    m_pinnedFrame.reset();
}

void VirtualEmu::setReplyFault(ReplyFault fault, int param, int command, int times) {
    if (fault == ReplyFault::None) {
        m_faults.remove(command);
        return;
    }
    m_faults.insert(command, Fault{fault, param, times});
}

void VirtualEmu::setVanished(bool gone) {
    m_vanished = gone;
    if (gone) {
        m_out.clear();
        m_outFreeAt = 0;
        m_command.clear();
        m_expect = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// The line.

ByteDevice::OpenError VirtualEmu::tryOpen(int /*baud*/) {
    if (m_vanished) return ByteDevice::OpenError::NotFound;
    return m_openFault;
}

void VirtualEmu::receive(const QByteArray &bytes, int baud) {
    if (m_vanished) return;
    if (m_recordWritten) m_written.append(bytes);
    // At another speed the EMU's receiver sees only framing errors.
    if (baud != Baud) {
        log(QStringLiteral("%1 not understood at %2 baud").arg(hex(bytes)).arg(baud));
        return;
    }
    const double now = double(m_clock.tickMs());
    for (char c : bytes)
        handleByte(quint8(c), now);
}

void VirtualEmu::handleByte(quint8 b, double at) {
    if (m_expect > 0 && m_commandTimeoutMs > 0 && at - m_lastByteAt > m_commandTimeoutMs) {
        log(QStringLiteral("%1 incomplete, dropped")
                .arg(m_command.size() > 8 ? hex(m_command.left(1)) +
                                                QStringLiteral(" [%1 bytes]").arg(m_command.size())
                                          : hex(m_command)));
        m_command.clear();
        m_expect = 0;
    }
    m_lastByteAt = at;
    m_command.append(char(b));
    if (m_command.size() == 1) {
        if (b == CmdWriteTables)
            m_expect = TableStreamSize;
        else if (b == CmdParameter || isSection(b))
            m_expect = 2;
        else
            m_expect = 0;
    } else {
        --m_expect;
    }
    if (m_expect == 0) {
        execute(at);
        m_command.clear();
    }
}

void VirtualEmu::execute(double at) {
    const quint8 cmd = quint8(m_command.at(0));
    if (cmd == CmdIdentify) {
        log(QStringLiteral("FF identify"));
        reply(cmd, m_identity, at);
    } else if (cmd == CmdReadImage) {
        log(QStringLiteral("FD read image"));
        reply(cmd, m_image, at);
    } else if (cmd == CmdLiveData) {
        const QByteArray frame = liveFrame();
        log(QStringLiteral("FC live data -> %1").arg(hex(frame)));
        reply(cmd, frame, at);
    } else if (cmd == CmdWriteTables) {
        log(QStringLiteral("F3 [%1 bytes] write tables").arg(TableStreamSize));
        applyTableStream(m_command.mid(1));
        emit tablesWritten();
    } else if (cmd == CmdParameter) {
        const int code = quint8(m_command.at(1));
        const int value = quint8(m_command.at(2));
        if (code >= SetupSize) {
            log(QStringLiteral("%1 parameter %2 ignored (no such parameter)")
                    .arg(hex(m_command))
                    .arg(code));
            return;
        }
        m_image[code] = char(code == CoilCombination ? value : lowByte(value + 1));
        log(QStringLiteral("%1 parameter %2 = %3").arg(hex(m_command)).arg(code).arg(value));
        emit parameterWritten(code, value);
    } else if (isSection(cmd)) {
        const int offset = quint8(m_command.at(1));
        const int value = quint8(m_command.at(2));
        const Section *sec = std::find_if(std::begin(Sections), std::end(Sections),
                                          [cmd](const Section &s) { return s.byte == cmd; });
        const MapPlace *m = offset < sec->length ? placeAt(sec->start + offset) : nullptr;
        const bool present =
            m && ((m->capability == 0 && hasTiming()) || (m->capability == 1 && hasVacuum()) ||
                  (m->capability == 2 && hasFuel()));
        if (!present) {
            log(QStringLiteral("%1 point ignored (%2)")
                    .arg(hex(m_command))
                    .arg(m ? QStringLiteral("no such map on this model")
                           : QStringLiteral("no such point")));
            return;
        }
        const int pos = sec->start + offset;
        m_image[pos] = char(lowByte(value + 1));
        log(QStringLiteral("%1 point %2 %3 = %4")
                .arg(hex(m_command))
                .arg(QLatin1String(m->name))
                .arg(pos - m->stream + 1)
                .arg(value - m->bias));
        emit pointWritten(cmd, offset, value);
    } else {
        log(QStringLiteral("%1 unknown command").arg(hex(m_command)));
    }
}

void VirtualEmu::applyTableStream(const QByteArray &raw) {
    int pos = 0;
    auto copy = [&](int streamStart, int count) {
        for (int i = 0; i < count && pos < raw.size(); ++i, ++pos)
            m_image[streamStart + i] = char(lowByte(quint8(raw.at(pos)) + 1));
    };
    copy(0, SetupSize);
    if (hasTiming()) copy(place(MapId::Timing).stream, 100);
    if (hasVacuum()) copy(place(MapId::VacuumTiming).stream, 32);
    if (hasFuel())
        copy(place(MapId::FuelVacuum).stream, ImageSize - place(MapId::FuelVacuum).stream);
    // The rest is filler.
}

void VirtualEmu::reply(quint8 command, QByteArray bytes, double at) {
    double extra = 0;
    auto it = m_faults.find(command);
    if (it == m_faults.end()) it = m_faults.find(AnyCommand);
    if (it != m_faults.end()) {
        const Fault f = it.value();
        if (it->times > 0 && --it->times == 0) m_faults.erase(it);
        switch (f.kind) {
        case ReplyFault::None:
            break;
        case ReplyFault::NoAnswer:
            bytes.clear();
            break;
        case ReplyFault::ShortReply:
            bytes = bytes.left(std::max(0, f.param));
            break;
        case ReplyFault::LateReply:
            extra = std::max(0, f.param);
            break;
        case ReplyFault::Garbage:
            for (char &c : bytes)
                c = char(m_rng.bounded(256));
            break;
        case ReplyFault::ZeroByte:
            if (f.param >= 0 && f.param < bytes.size()) bytes[f.param] = 0;
            break;
        }
    }
    const double byteMs = transmitMs(1);
    const double start = std::max(at, m_outFreeAt) + extra;
    for (int i = 0; i < bytes.size(); ++i)
        m_out.push_back(LineByte{start + (i + 1) * byteMs, bytes.at(i)});
    if (!bytes.isEmpty()) m_outFreeAt = start + bytes.size() * byteMs;
}

int VirtualEmu::available() {
    const double now = double(m_clock.tickMs());
    int n = 0;
    for (const LineByte &b : m_out) {
        if (b.at > now) break;
        ++n;
    }
    return n;
}

QByteArray VirtualEmu::take(int maxBytes) {
    const int n = std::min(available(), std::max(0, maxBytes));
    QByteArray out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        out.append(m_out.front().byte);
        m_out.pop_front();
    }
    return out;
}

int VirtualEmu::msUntilNextByte() {
    const int n = available();
    if (n >= int(m_out.size())) return -1;
    const double wait = m_out[size_t(n)].at - double(m_clock.tickMs());
    return std::max(0, int(std::ceil(wait)));
}

void VirtualEmu::purgeInput() {
    // Bytes still on their way arrive after the purge.
    const int n = available();
    for (int i = 0; i < n; ++i)
        m_out.pop_front();
}

void VirtualEmu::log(const QString &line) {
    m_log.append(line);
    if (m_log.size() > 10000) m_log.erase(m_log.begin(), m_log.begin() + 1000);
    emit commandReceived(line);
}

QString VirtualEmu::hex(const QByteArray &bytes) const {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
