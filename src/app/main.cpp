// emutune: the EMU tuning and monitoring program.
//   --port ComN=DEVICE   map a port number to a serial device (repeatable)
//   --demo               attach the in-process virtual EMU as Com1
//   --reset-settings     forget the remembered window, folders, ports and choices
//   --help, --version    answered before any window system is needed
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "sim/VirtualEmu.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
void usage(QTextStream &out) {
    out << "usage: emutune [--port ComN=DEVICE]... [--demo] [--reset-settings] [FILE.emu]\n"
           "  FILE.emu            open this setup file after the port search\n"
           "  --port ComN=DEVICE  use DEVICE as serial port N (1 to 20)\n"
           "  --demo              attach the built-in virtual EMU as Com1\n"
           "  --reset-settings    forget the remembered window, folders, ports and choices\n"
           "  -h, --help          print this and exit\n"
           "  --version           print the program version and exit\n";
}

// --help and --version, answered without a display. Returns the exit code, or -1 to go on.
int answerInfoOptions(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        QString text;
        QTextStream out(&text);
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            usage(out);
        else if (!std::strcmp(argv[i], "--version"))
            out << "emutune " << EMU_VERSION << "\n";
        else
            continue;
        out.flush();
        const QByteArray bytes = text.toLocal8Bit();
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) !=
                size_t(bytes.size()) ||
            std::fflush(stdout) != 0) {
            std::fprintf(stderr, "emutune: cannot write output: %s\n", std::strerror(errno));
            return 2;
        }
        return 0;
    }
    return -1;
}
} // namespace

int main(int argc, char *argv[]) {
    if (const int rc = answerInfoOptions(argc, argv); rc >= 0) return rc;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harkwell - Engine Management System"));
    QApplication::setApplicationVersion(QStringLiteral(EMU_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("emutune"));

    QTextStream err(stderr);
    QStringList args = QApplication::arguments().mid(1);
    PortMap &ports = PortMap::instance();
    ports.scanSystem();
    QString error;
    if (!ports.takeArguments(args, &error)) {
        err << "emutune: " << error << "\n";
        usage(err);
        return 2;
    }
    bool demo = false;
    QString file;
    for (const QString &a : args) {
        if (a == QLatin1String("--demo")) {
            demo = true;
        } else if (a == QLatin1String("--reset-settings")) {
            AppSettings::reset();
        } else if (!a.startsWith(QLatin1Char('-')) && file.isEmpty()) {
            file = a; // a setup file, as a file manager passes it: opened as Open does
        } else {
            err << "emutune: unknown option '" << a << "'\n";
            usage(err);
            return 2;
        }
    }

    std::unique_ptr<VirtualEmu> virtualEmu;
    if (demo) {
        virtualEmu = std::make_unique<VirtualEmu>(Clock::system(), 3);
        VirtualEmu *emu = virtualEmu.get();
        ports.setVirtual(1, [emu] { return emu->makeDevice(); });
    }

    TForm1 form(Clock::system());
    form.restoreSettings();
    form.show();
    // After the port search that showing the window starts.
    if (!file.isEmpty()) QTimer::singleShot(0, &form, [&form, file] { form.openSetupFile(file); });
    const int rc = app.exec();
    return rc;
}
