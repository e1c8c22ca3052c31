// emu-sim: the virtual EMU on a pseudo-terminal. Prints the terminal's path and answers the EMU
// command protocol on it until it is stopped with SIGTERM or SIGINT.
//
// The terminal keeps the line's time in both directions. Bytes the program writes reach the EMU
// no faster than 19200 baud carries them (10 bits a byte); until then they count as still in the
// program's output queue, so a flush of that queue on the program's side discards them as it
// would on a serial port. (A pseudo-terminal by itself never drops what the program wrote; the
// terminal runs in packet mode, which reports the program's flushes.) Replies leave at line speed
// too, and with --latency they are handed over in bursts, as a USB adapter does; --late holds
// some of them back, as an adapter (or a machine too busy to serve it) now and then does.
#include "link/Clock.h"
#include "sim/VirtualEmu.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

void usage(std::FILE *to) {
    std::fprintf(to, "usage: emu-sim [--model N] [--link PATH] [--log FILE] [--fault F]\n"
                     "               [--fuel-error E] [--drive]\n"
                     "               [--latency MS] [--late N:MS[:K]] [--frame HEX]\n"
                     "  Serves a virtual EMU on a pseudo-terminal and prints its path.\n"
                     "  --model N    model code in the identity block (1, 2, 3, 5, 6; default 3)\n"
                     "  --link PATH  also make PATH a symbolic link to the terminal (an existing\n"
                     "               symbolic link is replaced, anything else is refused)\n"
                     "  --log FILE   write one line per command received to FILE\n"
                     "  --fault F    answer with a fault, F = KIND[:N][@CMD] (repeatable):\n"
                     "               noanswer, short:N (first N bytes), late:N (N ms late),\n"
                     "               garbage, zero:N (a 0 at position N); CMD the command byte in\n"
                     "               hex (FF, FD, FC), all answered commands when left out\n"
                     "  --fuel-error E  the engine needs E more fuel than the default tune gives\n"
                     "               (repeatable), E = PERCENT[@RPM-RPM][:low|cruise|high],\n"
                     "               e.g. +8@3000-4000:cruise\n"
                     "  --drive      run the scripted tuning drive (idle, steady steps across\n"
                     "               the fuel maps, tip-ins, overrun, full-throttle pulls)\n"
                     "  --latency MS hand replies over in bursts every MS ms, as a USB adapter\n"
                     "               does (e.g. 16; default 0: each byte as the line delivers it)\n"
                     "  --late N:MS[:K]  hand every Nth live data reply over MS ms after its\n"
                     "               request; with K, its last K bytes only once the next\n"
                     "               request has come, in front of that reply, whose own last\n"
                     "               K bytes then come 25 ms after it\n"
                     "  --frame HEX  answer every live data request with these bytes (e.g.\n"
                     "               1F2E3D4C5B6A798897) instead of the simulated engine's\n"
                     "  -h, --help   print this and exit\n"
                     "  --version    print the program version and exit\n");
}

// Ends a --help or --version answer: 0, or 2 when standard output took not all of it.
int finishAnswer() {
    if (std::ferror(stdout) || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "emu-sim: cannot write output: %s\n", std::strerror(errno));
        return 2;
    }
    return 0;
}

struct FaultSpec {
    VirtualEmu::ReplyFault kind = VirtualEmu::ReplyFault::None;
    int param = 0;
    int command = VirtualEmu::AnyCommand;
};

bool parseFault(const QString &text, FaultSpec *out) {
    QString t = text.trimmed().toLower();
    const int at = t.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        bool ok = false;
        out->command = t.mid(at + 1).toInt(&ok, 16);
        if (!ok || out->command < 0 || out->command > 255) return false;
        t = t.left(at);
    }
    const int colon = t.indexOf(QLatin1Char(':'));
    const QString kind = colon >= 0 ? t.left(colon) : t;
    if (colon >= 0) {
        bool ok = false;
        out->param = t.mid(colon + 1).toInt(&ok);
        if (!ok || out->param < 0) return false;
    }
    if (kind == QLatin1String("noanswer"))
        out->kind = VirtualEmu::ReplyFault::NoAnswer;
    else if (kind == QLatin1String("short"))
        out->kind = VirtualEmu::ReplyFault::ShortReply;
    else if (kind == QLatin1String("late"))
        out->kind = VirtualEmu::ReplyFault::LateReply;
    else if (kind == QLatin1String("garbage"))
        out->kind = VirtualEmu::ReplyFault::Garbage;
    else if (kind == QLatin1String("zero"))
        out->kind = VirtualEmu::ReplyFault::ZeroByte;
    else if (kind != QLatin1String("none"))
        return false;
    return true;
}

// Milliseconds on the monotonic clock, with the fraction (a byte takes 0.52 ms).
double nowMs() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

// What the program has written and the line has not carried to the EMU yet. Each byte reaches
// the EMU one byte time after the one before it (or after it was written, on an idle line).
class OutputQueue {
public:
    void add(const char *bytes, int n, double now) {
        for (int i = 0; i < n; ++i) {
            m_freeAt = std::max(m_freeAt, now) + VirtualEmu::transmitMs(1);
            m_bytes.push_back({m_freeAt, bytes[i]});
        }
    }
    // The bytes that have reached the EMU by now.
    QByteArray arrived(double now) {
        QByteArray out;
        while (!m_bytes.empty() && m_bytes.front().at <= now) {
            out.append(m_bytes.front().byte);
            m_bytes.pop_front();
        }
        return out;
    }
    // The program flushed its output queue: everything not on the wire yet is gone; the byte
    // being sent right now still completes. Returns the number of bytes discarded.
    int flush(double now) {
        const bool sending =
            !m_bytes.empty() && m_bytes.front().at - VirtualEmu::transmitMs(1) < now;
        const int keep = sending ? 1 : 0;
        const int gone = int(m_bytes.size()) - keep;
        m_bytes.resize(size_t(keep));
        m_freeAt = sending ? m_bytes.front().at : std::min(m_freeAt, now);
        return gone;
    }
    // Milliseconds until the next byte arrives, -1 when none is on its way.
    double msToNext(double now) const {
        return m_bytes.empty() ? -1 : std::max(0.0, m_bytes.front().at - now);
    }

private:
    struct Byte {
        double at;
        char byte;
    };
    std::deque<Byte> m_bytes;
    double m_freeAt = 0;
};

// --late N:MS[:K]: the adapter between the EMU and the terminal holds back every Nth live data
// reply: it hands the reply over MS ms after the request reached the EMU. With K, its last K bytes
// stay in the adapter until the next request has reached the EMU; they then come at once, in
// front of that request's reply, and that reply's own last K bytes follow SlipMs after its
// request. Seen from the program: a reply that came late and cut (or not at all within its read),
// then a reply of the right length that holds the tail of the one before.
class LateAdapter {
public:
    static constexpr double SlipMs = 25; // past the read of the reply the tail slipped into

    bool configure(const QString &text) {
        const QStringList parts = text.split(QLatin1Char(':'));
        if (parts.size() < 2 || parts.size() > 3) return false;
        bool ok1 = false, ok2 = false, ok3 = true;
        m_every = parts.at(0).toInt(&ok1);
        m_ms = parts.at(1).toInt(&ok2);
        if (parts.size() == 3) m_split = parts.at(2).toInt(&ok3);
        return ok1 && ok2 && ok3 && m_every >= 1 && m_ms >= 0 && m_ms <= 1000 && m_split >= 0 &&
               m_split < 64;
    }
    bool active() const { return m_every > 0; }
    int split() const { return m_split; }

    // A command has reached the EMU, before its reply is queued (`line` as the EMU logs it);
    // idle: nothing of an earlier reply is still on its way.
    void command(const QString &line, bool idle, double now) {
        if (!active()) return;
        bool slip = false;
        if (m_holding) {
            // The held tail goes now, ahead of this command's reply.
            for (Byte &b : m_bytes)
                if (b.held) b = Byte{now, b.byte, false};
            m_holding = false;
            m_releasedAt = now;
            slip = true;
        }
        if (!line.startsWith(QLatin1String("FC live data"))) return;
        ++m_live;
        const int arrow = line.indexOf(QLatin1String("-> "));
        const int len = arrow < 0 ? 0 : (int(line.size()) - arrow - 3 + 1) / 3;
        if (slip && m_split > 0) {
            start(Mode::Slip, len, now);
        } else if (m_live % m_every == 0 && idle && m_left == 0 && m_bytes.empty()) {
            start(Mode::Late, len, now);
            m_holding = m_split > 0;
            m_releasedAt = -1;
        }
    }
    // Bytes the EMU sent, in order.
    void add(const QByteArray &bytes, double now) {
        for (char c : bytes) {
            Byte b{now, c, false};
            if (m_left > 0) {
                const bool tail = m_len - m_left >= m_len - m_split;
                if (m_mode == Mode::Late && !tail)
                    b.at = m_start + m_ms;
                else if (m_mode == Mode::Late && m_releasedAt >= 0)
                    b.at = m_releasedAt;
                else if (m_mode == Mode::Late)
                    b.held = true;
                else if (tail) // the reply the tail slipped into
                    b.at = m_start + SlipMs;
                --m_left;
            }
            m_bytes.push_back(b);
        }
    }
    // What the adapter hands over by now, in order.
    QByteArray due(double now) {
        QByteArray out;
        while (!m_bytes.empty() && !m_bytes.front().held && m_bytes.front().at <= now) {
            out.append(m_bytes.front().byte);
            m_bytes.pop_front();
        }
        return out;
    }
    // Milliseconds until the adapter hands over its next byte; -1 when none is due (or held).
    double msToNext(double now) const {
        if (m_bytes.empty() || m_bytes.front().held) return -1;
        return std::max(0.0, m_bytes.front().at - now);
    }

private:
    enum class Mode { Late, Slip };
    struct Byte {
        double at;
        char byte;
        bool held;
    };
    void start(Mode mode, int len, double now) {
        m_mode = mode;
        m_len = m_left = len;
        m_start = now;
    }

    int m_every = 0, m_ms = 0, m_split = 0;
    int m_live = 0; // live data requests so far
    std::deque<Byte> m_bytes;
    Mode m_mode = Mode::Late;
    int m_len = 0, m_left = 0; // the reply handled: its length and the bytes still to come
    double m_start = 0;        // when its request reached the EMU
    bool m_holding = false;    // a tail waits for the next request
    double m_releasedAt = -1;  // when it was let go (for tail bytes that come later still)
};

// --link PATH: a symbolic link to the terminal. Only a symbolic link is ever replaced (a link
// left by an earlier run, or any other); a file, folder or device at PATH is refused. At exit the
// link is removed if it is still the one made here.
class TerminalLink {
public:
    ~TerminalLink() { remove(); }
    bool make(const QString &path, const QByteArray &target, QString *error) {
        const QByteArray p = QFile::encodeName(path);
        struct stat st {};
        if (::lstat(p.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                *error = QStringLiteral("%1 is not a symbolic link; it is left alone").arg(path);
                return false;
            }
            if (::unlink(p.constData()) != 0 && errno != ENOENT) {
                *error = QStringLiteral("cannot replace the link %1: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
        }
        // Fails with EEXIST if anything appeared there meanwhile: that is not replaced either.
        if (::symlink(target.constData(), p.constData()) != 0) {
            *error = QStringLiteral("cannot make the link %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_path = p;
        m_target = target;
        return true;
    }
    void remove() {
        if (m_path.isEmpty()) return;
        char buf[4096];
        const ssize_t n = ::readlink(m_path.constData(), buf, sizeof buf);
        if (n >= 0 && QByteArray(buf, int(n)) == m_target) ::unlink(m_path.constData());
        m_path.clear();
    }

private:
    QByteArray m_path;
    QByteArray m_target;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int model = 3;
    int latencyMs = 0;
    LateAdapter late;
    QByteArray frame;
    QString linkPath;
    QString logPath;
    QList<FaultSpec> faults;
    std::vector<FuelError> fuelErrors;
    bool drive = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto next = [&](QString *out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "emu-sim: %s needs a value\n", qPrintable(a));
                return false;
            }
            *out = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("--model")) {
            if (!next(&v)) return 2;
            bool ok = false;
            model = v.toInt(&ok);
            if (!ok || model < 0 || model > 255) {
                std::fprintf(stderr, "emu-sim: '%s' is not a model code (0 to 255)\n",
                             qPrintable(v));
                return 2;
            }
        } else if (a == QLatin1String("--link")) {
            if (!next(&linkPath)) return 2;
            if (linkPath.isEmpty()) {
                std::fprintf(stderr, "emu-sim: --link needs a path\n");
                return 2;
            }
        } else if (a == QLatin1String("--log")) {
            if (!next(&logPath)) return 2;
        } else if (a == QLatin1String("--latency")) {
            if (!next(&v)) return 2;
            bool ok = false;
            latencyMs = v.toInt(&ok);
            if (!ok || latencyMs < 0 || latencyMs > 1000) {
                std::fprintf(stderr, "emu-sim: '%s' is not a latency (0 to 1000 ms)\n",
                             qPrintable(v));
                return 2;
            }
        } else if (a == QLatin1String("--late")) {
            if (!next(&v)) return 2;
            if (!late.configure(v)) {
                std::fprintf(stderr, "emu-sim: '%s' is not a late reply (N:MS[:K], e.g. 10:10:4)\n",
                             qPrintable(v));
                return 2;
            }
        } else if (a == QLatin1String("--frame")) {
            if (!next(&v)) return 2;
            frame = QByteArray::fromHex(v.toLatin1());
            if (frame.isEmpty() || frame.size() > 64 || frame.toHex() != v.toLatin1().toLower()) {
                std::fprintf(stderr, "emu-sim: '%s' is not a frame in hex (e.g. 1F2E3D)\n",
                             qPrintable(v));
                return 2;
            }
        } else if (a == QLatin1String("--fault")) {
            if (!next(&v)) return 2;
            FaultSpec f;
            if (!parseFault(v, &f)) {
                std::fprintf(stderr, "emu-sim: '%s' is not a fault (e.g. short:50@FD)\n",
                             qPrintable(v));
                return 2;
            }
            faults << f;
        } else if (a == QLatin1String("--fuel-error")) {
            if (!next(&v)) return 2;
            FuelError e;
            QString why;
            if (!EngineFuelText::parse(v, &e, &why)) {
                std::fprintf(stderr, "emu-sim: %s\n", qPrintable(why));
                return 2;
            }
            fuelErrors.push_back(e);
        } else if (a == QLatin1String("--drive")) {
            drive = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            usage(stdout);
            return finishAnswer();
        } else if (a == QLatin1String("--version")) {
            std::printf("emu-sim %s\n", EMU_VERSION);
            return finishAnswer();
        } else {
            std::fprintf(stderr, "emu-sim: unknown argument '%s'\n", qPrintable(a));
            usage(stderr);
            return 2;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "emu-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    const char *slaveName = ptsname(master);
    if (!slaveName) {
        std::fprintf(stderr, "emu-sim: no terminal name: %s\n", std::strerror(errno));
        return 1;
    }
    const QByteArray slavePath(slaveName);
    // Packet mode: a read tells us when the program flushes its queues.
    int packet = 1;
    if (::ioctl(master, TIOCPKT, &packet) != 0) {
        std::fprintf(stderr, "emu-sim: no packet mode on the terminal: %s\n", std::strerror(errno));
        return 1;
    }
    // Holding the terminal side open keeps the master readable while no program has it open,
    // and raw mode passes every byte unchanged (no echo, no line editing, no CR/LF mapping).
    const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::fprintf(stderr, "emu-sim: cannot open %s: %s\n", slavePath.constData(),
                     std::strerror(errno));
        return 1;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B19200);
        cfsetospeed(&tio, B19200);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // Signals first, so that no signal can end the program between making the link and the
    // loop that removes it.
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TerminalLink link;
    if (!linkPath.isEmpty()) {
        QString error;
        if (!link.make(linkPath, slavePath, &error)) {
            std::fprintf(stderr, "emu-sim: %s\n", qPrintable(error));
            return 2;
        }
    }

    QFile logFile;
    if (!logPath.isEmpty()) {
        logFile.setFileName(logPath);
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            std::fprintf(stderr, "emu-sim: cannot write the log %s: %s\n", qPrintable(logPath),
                         qPrintable(logFile.errorString()));
            return 1;
        }
    }
    auto logLine = [&logFile](const QString &line) {
        if (!logFile.isOpen()) return;
        logFile.write(line.toUtf8() + '\n');
        logFile.flush();
    };

    SystemClock clock;
    VirtualEmu emu(clock, model);
    emu.setRecordWritten(false);
    emu.fuel().setErrors(fuelErrors);
    if (drive) {
        const double low = emu.setupValue(40) / 100.0, high = emu.setupValue(41) / 100.0;
        emu.setDrive(ScriptedDrive::standard(emu.rpmRange(), low > 0 ? low : 0.1,
                                             high > 0 ? high : 0.9, emu.mapSensorRange() / 10.0));
    }
    for (const FaultSpec &f : faults) {
        // The adapter tells a live reply by the length the EMU logs for it.
        if (late.active() && (f.command == 0xFC || f.command == VirtualEmu::AnyCommand)) {
            std::fprintf(stderr, "emu-sim: --late does not go with a --fault on live data\n");
            return 2;
        }
    }
    for (const FaultSpec &f : faults)
        if (f.kind != VirtualEmu::ReplyFault::None) emu.setReplyFault(f.kind, f.param, f.command);
    if (!frame.isEmpty()) emu.pinLiveFrame(frame);
    QObject::connect(&emu, &VirtualEmu::commandReceived, logLine);
    auto device = emu.makeDevice();
    OutputQueue toEmu;     // written by the program, not carried by the line yet
    QByteArray pendingOut; // reply bytes the terminal has not taken yet
    QObject::connect(&emu, &VirtualEmu::commandReceived, [&](const QString &line) {
        const bool idle =
            emu.msUntilNextByte() < 0 && device->queued() == 0 && pendingOut.isEmpty();
        late.command(line, idle, nowMs());
    });
    device->open(VirtualEmu::Baud, false);

    std::printf("%s\n", slavePath.constData());
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "emu-sim: cannot write output: %s\n", std::strerror(errno));
        return 2;
    }

    double nextBurst = 0; // with a latency: when the adapter hands over what it holds
    char buf[4096];
    while (!g_stop) {
        double now = nowMs();
        // Wake when the next byte reaches the EMU or the next reply byte is due; a signal ends
        // the wait.
        double wait = 200;
        const double in = toEmu.msToNext(now);
        if (in >= 0) wait = std::min(wait, in);
        const int out = emu.msUntilNextByte();
        const double held = late.msToNext(now);
        const bool replying = out >= 0 || device->queued() > 0 || held >= 0;
        if (latencyMs > 0) {
            if (replying) wait = std::min(wait, std::max({0.0, nextBurst - now, held}));
        } else {
            // Bytes that reached the EMU's end of the line since the last read (out then tells
            // only of later ones) are taken at once.
            if (device->queued() > 0) wait = 0;
            if (out >= 0) wait = std::min(wait, double(out));
            if (held >= 0) wait = std::min(wait, held);
        }
        if (!pendingOut.isEmpty()) wait = std::min(wait, 10.0);
        pollfd pfd{master, POLLIN, 0};
        if (!pendingOut.isEmpty()) pfd.events |= POLLOUT;
        const int r = ::poll(&pfd, 1, int(std::ceil(wait)));
        if (r < 0 && errno != EINTR) break;
        now = nowMs();
        if (r > 0 && (pfd.revents & POLLIN)) {
            for (;;) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n <= 0) break; // EAGAIN, or EIO while nobody holds the terminal
                if (buf[0] == TIOCPKT_DATA) {
                    toEmu.add(buf + 1, int(n) - 1, now);
                    continue;
                }
                // A status byte. The program flushed its output queue: what the line has
                // carried so far reaches the EMU, the rest never does. (A flush of its input
                // queue drops replies on its side only.)
                if (buf[0] & TIOCPKT_FLUSHWRITE) {
                    const QByteArray arrived = toEmu.arrived(now);
                    if (!arrived.isEmpty()) device->write(arrived);
                    const int gone = toEmu.flush(now);
                    if (gone > 0)
                        logLine(QStringLiteral("output flushed: %1 bytes never sent").arg(gone));
                }
            }
        }
        const QByteArray arrived = toEmu.arrived(now);
        if (!arrived.isEmpty()) device->write(arrived);

        // Every reply byte passes the adapter, which hands it over at its time.
        if (device->queued() > 0) late.add(device->read(device->queued()), now);
        if (latencyMs <= 0 || now >= nextBurst) {
            pendingOut.append(late.due(now));
            if (latencyMs > 0) nextBurst = (std::floor(now / latencyMs) + 1) * latencyMs;
        }
        if (!pendingOut.isEmpty()) {
            const ssize_t n = ::write(master, pendingOut.constData(), size_t(pendingOut.size()));
            if (n > 0) pendingOut.remove(0, int(n));
            // A program that never reads must not make us hold its replies forever.
            if (pendingOut.size() > 65536) pendingOut.clear();
        }
    }

    link.remove();
    ::close(slave);
    ::close(master);
    return 0;
}
