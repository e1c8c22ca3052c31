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

void usage() {
    std::fprintf(stderr,
                 "usage: emu-sim [--model N] [--link PATH] [--log FILE]\n"
                 "  Serves a virtual EMU on a pseudo-terminal and prints its path.\n"
                 "  --model N    model code in the identity block (1, 2, 3, 5, 6; default 3)\n"
                 "  --link PATH  also make PATH a symbolic link to the terminal\n"
                 "  --log FILE   write one line per command received to FILE\n");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int model = 3;
    QString linkPath;
    QString logPath;
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
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "emu-sim: unknown argument '%s'\n", qPrintable(a));
            usage();
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
