// emutune: the EMU tuning and monitoring program.
//   --port ComN=DEVICE   map a port number to a serial device (repeatable)
//   --demo               attach the in-process virtual EMU as Com1
#include "app/MainWindow.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "sim/VirtualEmu.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <memory>

namespace {
void usage(QTextStream &out) {
    out << "usage: emutune [--port ComN=DEVICE]... [--demo]\n"
           "  --port ComN=DEVICE  use DEVICE as serial port N (1 to 20)\n"
           "  --demo              attach the built-in virtual EMU as Com1\n";
}
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harkwell - Engine Management System"));

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
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream out(stdout);
            usage(out);
            return 0;
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
    form.show();
    // After the port search that showing the window starts.
    if (!file.isEmpty()) QTimer::singleShot(0, &form, [&form, file] { form.openSetupFile(file); });
    const int rc = app.exec();
    return rc;
}
