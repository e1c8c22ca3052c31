// emu-sim: the virtual EMU on a pseudo-terminal. Prints the terminal's path and answers the EMU
// command protocol on it until it is stopped with SIGTERM or SIGINT.
#include "link/Clock.h"
#include "sim/VirtualEmu.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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
                     "  Serves a virtual EMU on a pseudo-terminal and prints its path.\n"
                     "  --model N    model code in the identity block (1, 2, 3, 5, 6; default 3)\n"
                     "  --link PATH  also make PATH a symbolic link to the terminal\n"
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

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int model = 3;
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
        } else if (a == QLatin1String("--log")) {
            if (!next(&logPath)) return 2;
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

    QFile logFile;
    if (!logPath.isEmpty()) {
        logFile.setFileName(logPath);
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            std::fprintf(stderr, "emu-sim: cannot write the log %s: %s\n", qPrintable(logPath),
                         qPrintable(logFile.errorString()));
            return 1;
        }
    }
    if (!linkPath.isEmpty()) {
        ::unlink(QFile::encodeName(linkPath).constData()); // an old link of an earlier run
        if (::symlink(slavePath.constData(), QFile::encodeName(linkPath).constData()) != 0) {
            std::fprintf(stderr, "emu-sim: cannot make the link %s: %s\n", qPrintable(linkPath),
                         std::strerror(errno));
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SystemClock clock;
    VirtualEmu emu(clock, model);
    emu.setRecordWritten(false);
    emu.fuel().setErrors(fuelErrors);
    if (drive) {
        const double low = emu.setupValue(40) / 100.0, high = emu.setupValue(41) / 100.0;
        emu.setDrive(ScriptedDrive::standard(emu.rpmRange(), low > 0 ? low : 0.1,
                                             high > 0 ? high : 0.9, emu.mapSensorRange() / 10.0));
    }
    for (const FaultSpec &f : faults)
        if (f.kind != VirtualEmu::ReplyFault::None) emu.setReplyFault(f.kind, f.param, f.command);
    if (logFile.isOpen()) {
        QObject::connect(&emu, &VirtualEmu::commandReceived, [&logFile](const QString &line) {
            logFile.write(line.toUtf8() + '\n');
            logFile.flush();
        });
    }
    auto device = emu.makeDevice();
    device->open(VirtualEmu::Baud, false);

    std::printf("%s\n", slavePath.constData());
    std::fflush(stdout);

    QByteArray pendingOut; // reply bytes the terminal has not taken yet
    char buf[4096];
    while (!g_stop) {
        pollfd pfd{master, POLLIN, 0};
        if (!pendingOut.isEmpty()) pfd.events |= POLLOUT;
        // Wake when the simulated line delivers the next reply byte; a signal ends the wait.
        int timeout = emu.msUntilNextByte();
        if (timeout < 0 || timeout > 200) timeout = 200;
        if (!pendingOut.isEmpty()) timeout = std::min(timeout, 10);
        const int r = ::poll(&pfd, 1, timeout);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (pfd.revents & POLLIN)) {
            for (;;) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) {
                    device->write(QByteArray(buf, int(n)));
                    continue;
                }
                break; // EAGAIN, or EIO while nobody holds the terminal
            }
        }
        if (device->queued() > 0) pendingOut.append(device->read(device->queued()));
        if (!pendingOut.isEmpty()) {
            const ssize_t n = ::write(master, pendingOut.constData(), size_t(pendingOut.size()));
            if (n > 0) pendingOut.remove(0, int(n));
            // A program that never reads must not make us hold its replies forever.
            if (pendingOut.size() > 65536) pendingOut.clear();
        }
    }

    if (!linkPath.isEmpty()) ::unlink(QFile::encodeName(linkPath).constData());
    ::close(slave);
    ::close(master);
    return 0;
}
