// emutool: the setup file on the command line.
//
//   emutool info FILE.emu              identity, module type, vehicle, serial, setup, maps
//   emutool export FILE.emu --json     one JSON object
//   emutool export FILE.emu --csv      the maps as CSV: map,point,position,value
//   emutool diff A B                   every differing field and point; exit 1 when they differ.
//                                      A and B are setup files or ports (the EMU's image)
//   emutool read PORT OUT.emu [--make TEXT] [--model TEXT] [--engine TEXT]
//                                      save the EMU's setup and maps to a setup file
//   emutool write PORT IN.emu [--verify]
//                                      send a setup file's setup and maps to the EMU; --verify
//                                      reads the image back and compares it (exit 3 if it differs)
//   emutool log PORT OUT.csv [--interval MS] [--duration S] [--channels LIST]
//                                      live data to a CSV file until Ctrl+C or the duration
//   emutool suggest LOG.csv TUNE.emu --out NEW.emu [--map NAME] [filter options]
//                                      fuel corrections from a logged narrowband sensor
//   emutool hits LOG.csv TUNE.emu [--map NAME] [--csv] [filters]
//                                      where a log spent its time on the maps: per point the
//                                      samples, seconds, mean lambda volts and rich share
//
// PORT is "ComN" (any case, or a plain number) or a device path such as /dev/ttyUSB0.
// "--port ComN=DEVICE" (repeatable, anywhere on the command line) maps a port number to a device.
//
// Exit codes: 0 success (diff: equal), 1 diff found differences, 2 error, 3 the EMU's image
// read back after a write differs from what was written. Errors go to stderr and nothing is
// written to stdout on error. Each command is one entry of kCommands.
#include "connection/ConnectionController.h"
#include "connection/FileCheck.h"
#include "connection/Session.h"
#include "connection/SetupFile.h"
#include "link/Clock.h"
#include "link/EmuLink.h"
#include "link/PortMap.h"
#include "live/FuelSuggest.h"
#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "live/MapHits.h"
#include "model/EmuImage.h"
#include "model/Maps.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"
#include "model/TableStream.h"
#include "model/TuneCompare.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#include <unistd.h>

namespace {

enum Exit { ExitOk = 0, ExitDiffer = 1, ExitError = 2, ExitNotVerified = 3 };

// The shortest interval of emutool log, ms: one live data exchange with its 20 ms wait and room
// for the reply.
constexpr int MinLogInterval = 25;

// What a command hands back: the text for stdout (written only on success) or an error. A
// write that did not verify has both.
struct Result {
    int code = ExitOk;
    QByteArray out;
    QString error;
};

Result fail(const QString &message) {
    return Result{ExitError, {}, message};
}

// A setup file decoded the way the program decodes it in file mode.
using Setup = emu::model::Tune;

void decodeSetup(const SetupFileData &data, Setup *setup) {
    SetupFile::apply(data, setup->image);
    // Every timing slot is decoded, those beyond N too (a file saved from an EMU carries all
    // 100), so writing back what was read leaves the EMU as it was and diff compares them.
    setup->decodeFileTable();
}

bool loadSetup(const QString &path, Setup *setup, QString *error) {
    SetupFileData data;
    if (!SetupFile::read(path, &data, error)) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    decodeSetup(data, setup);
    return true;
}

QString number(double v) {
    return QString::number(v, 'g', 15);
}

QString identityText(const EmuImage &image) {
    QStringList parts;
    for (quint8 b : image.identity)
        parts << QString::number(b);
    return parts.join(QLatin1Char(' '));
}

QString fieldLabel(const SetupField &f) {
    return QString::fromLatin1(f.name);
}

QJsonValue fieldJson(const EmuImage &image, const SetupField &f) {
    const std::optional<double> v = emu::model::displayValue(image, f);
    if (!v) return QJsonValue(QJsonValue::Null);
    switch (f.kind) {
    case FieldKind::Check:
        return QJsonValue(*v != 0);
    case FieldKind::SerialLetter:
        return QJsonValue(emu::model::displayText(image, f));
    default:
        return QJsonValue(*v);
    }
}

// ---- info ----------------------------------------------------------------------------------

Result runInfo(const QStringList &args) {
    if (args.size() != 1) return fail(QStringLiteral("usage: emutool info FILE.emu"));
    Setup s;
    QString error;
    if (!loadSetup(args.at(0), &s, &error)) return fail(error);

    QString text;
    QTextStream out(&text);
    const EmuImage &img = s.image;
    out << "Identity: " << identityText(img) << "\n";
    out << "Module type: "
        << (s.moduleType.isEmpty() ? QStringLiteral("(unknown model code %1)").arg(img.modelCode())
                                   : s.moduleType)
        << "\n";
    out << "Vehicle make: " << SetupFile::printable(img.vehicleMake) << "\n";
    out << "Vehicle model: " << SetupFile::printable(img.vehicleModel) << "\n";
    out << "Engine type: " << SetupFile::printable(img.engineType) << "\n";
    out << "Serial number: " << img.serialText() << "\n";
    out << "\nSetup\n";
    for (const SetupField &f : emu::model::setupFields()) {
        const QString value = emu::model::displayValue(img, f) ? emu::model::displayText(img, f)
                                                               : QStringLiteral("(unset)");
        QString unit = QString::fromUtf8(f.unit);
        if (f.kind == FieldKind::OutputLimit)
            unit = emu::model::outputSourceUnit(img.value(emu::model::sourceOffsetOf(f.offset)));
        out << "  " << fieldLabel(f).leftJustified(24) << value;
        if (!unit.isEmpty() && emu::model::displayValue(img, f)) out << " " << unit;
        out << "\n";
    }
    out << "\nMaps\n";
    bool any = false;
    for (MapId id : emu::model::allMaps()) {
        if (!emu::model::hasCapability(s.caps, id)) continue;
        any = true;
        const MapInfo &info = emu::model::mapInfo(id);
        const int n = s.maps.pointCount(id, s.axes);
        out << "  " << info.key << " (" << info.title << "), " << n << " points:\n";
        for (int p = 1; p <= n; ++p) {
            out << (p % 16 == 1 ? "    " : " ") << number(s.maps.value(id, p));
            if (p % 16 == 0 || p == n) out << "\n";
        }
    }
    if (!any) out << "  (none for this model code)\n";
    out.flush();
    return Result{ExitOk, text.toUtf8(), {}};
}

// ---- export --------------------------------------------------------------------------------

QByteArray exportJson(const Setup &s) {
    const EmuImage &img = s.image;
    QJsonObject root;
    QJsonArray identity;
    for (quint8 b : img.identity)
        identity.append(int(b));
    root[QStringLiteral("identity")] = identity;
    root[QStringLiteral("moduleType")] =
        s.moduleType.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s.moduleType);
    root[QStringLiteral("serial")] = img.serialText();
    root[QStringLiteral("vehicle")] = QJsonObject{{QStringLiteral("make"), img.vehicleMake},
                                                  {QStringLiteral("model"), img.vehicleModel},
                                                  {QStringLiteral("engine"), img.engineType}};
    QJsonObject setup;
    for (const SetupField &f : emu::model::setupFields())
        setup[fieldLabel(f)] = fieldJson(img, f);
    root[QStringLiteral("setup")] = setup;
    QJsonObject maps;
    for (MapId id : emu::model::allMaps()) {
        if (!emu::model::hasCapability(s.caps, id)) continue;
        QJsonArray values;
        for (int p = 1; p <= s.maps.pointCount(id, s.axes); ++p)
            values.append(s.maps.value(id, p));
        maps[QLatin1String(emu::model::mapInfo(id).key)] = values;
    }
    root[QStringLiteral("maps")] = maps;
    root[QStringLiteral("jets")] = QJsonObject{
        {QStringLiteral("main"), fieldJson(img, *emu::model::setupFieldAt(emu::model::OffMainJet))},
        {QStringLiteral("idle"),
         fieldJson(img, *emu::model::setupFieldAt(emu::model::OffIdleJet))}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray exportCsv(const Setup &s) {
    QByteArray text = "map,point,position,value\n";
    for (MapId id : emu::model::allMaps()) {
        if (!emu::model::hasCapability(s.caps, id)) continue;
        const char *key = emu::model::mapInfo(id).key;
        for (int p = 1; p <= s.maps.pointCount(id, s.axes); ++p)
            text += QByteArray(key) + ',' + QByteArray::number(p) + ',' +
                    number(s.maps.position(id, p, s.axes)).toLatin1() + ',' +
                    number(s.maps.value(id, p)).toLatin1() + '\n';
    }
    return text;
}

Result runExport(const QStringList &args) {
    QString path, format;
    for (const QString &a : args) {
        if (a == QLatin1String("--json") || a == QLatin1String("--csv")) {
            if (!format.isEmpty())
                return fail(QStringLiteral("export: give either --json or --csv"));
            format = a;
        } else if (a.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            return fail(QStringLiteral("export: unexpected argument '%1'").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty() || format.isEmpty())
        return fail(QStringLiteral("usage: emutool export FILE.emu --json|--csv"));
    Setup s;
    QString error;
    if (!loadSetup(path, &s, &error)) return fail(error);
    return Result{ExitOk, format == QLatin1String("--json") ? exportJson(s) : exportCsv(s), {}};
}

// ---- read and write: the EMU on a port --------------------------------------------------------

// The port a command talks through: a number of the port map, or a device path that is given a
// free number of its own for this run.
struct PortChoice {
    int number = 0;
    QString device;      // what the number maps to ("" when nothing)
    bool byPath = false; // given as a device path: the number is only this run's
    QString comLabel() const { return byPath ? QString() : QStringLiteral("Com%1").arg(number); }
    QString label() const {
        return byPath             ? device
               : device.isEmpty() ? comLabel()
                                  : QStringLiteral("%1 (%2)").arg(comLabel(), device);
    }
};

bool choosePort(const QString &text, PortChoice *choice, QString *error) {
    PortMap &map = PortMap::instance();
    const int n = PortMap::portNumber(text);
    if (n != 0) {
        if (n < 1 || n > PortMap::MaxPorts) {
            *error = QStringLiteral("%1: the port must be Com1 to Com%2 or a device path")
                         .arg(text)
                         .arg(PortMap::MaxPorts);
            return false;
        }
        choice->number = n;
        choice->device = map.device(n);
        return true;
    }
    if (text.isEmpty() || text.startsWith(QLatin1Char('-'))) {
        *error = QStringLiteral("'%1' is not a port (ComN or a device path)").arg(text);
        return false;
    }
    // A device path: the number that already names it, else the first free one, else the last.
    int chosen = 0;
    for (int i = 1; i <= PortMap::MaxPorts && !chosen; ++i)
        if (map.device(i) == text) chosen = i;
    for (int i = 1; i <= PortMap::MaxPorts && !chosen; ++i)
        if (map.device(i).isEmpty()) chosen = i;
    if (!chosen) chosen = PortMap::MaxPorts;
    map.setOverride(chosen, text);
    choice->number = chosen;
    choice->device = text;
    choice->byPath = true;
    return true;
}

// An open port with an EMU that answered the identify command, through the program's own
// connection steps.
struct Connection {
    Session session{Clock::system()};
    ConnectionController controller{session};
    PortChoice where;
    bool knownModel = false;

    const std::array<quint8, 7> &identity() const { return session.image().identity; }
    QString describe() const {
        const std::array<quint8, 7> &id = identity();
        return QStringLiteral("EMU %1 v%2.%3%4 on %5")
            .arg(id[1])
            .arg(id[0])
            .arg(id[2])
            .arg(knownModel ? QStringLiteral(" (%1)").arg(session.moduleTypeName())
                            : QStringLiteral(" (unknown model code)"),
                 where.label());
    }
};

// Opens the port and identifies the EMU (0xFF, 300 ms). Refuses when nothing answers with the
// signature of an EMU on the line.
bool connectEmu(const QString &portText, Connection *c, QString *error) {
    if (!choosePort(portText, &c->where, error)) return false;
    if (!c->controller.openPort(c->where.number)) {
        const TQCCom32 &port = c->session.port();
        *error = QStringLiteral("cannot open ") +
                 PortMap::openFailure(c->where.comLabel(), c->where.device, port.lastOpenError(),
                                      port.lastOpenErrorString());
        return false;
    }
    if (c->controller.identify() == 0) {
        *error = QStringLiteral("no EMU answers on %1: nothing was received within %2 ms of the "
                                "identify command; nothing was done")
                     .arg(c->where.label())
                     .arg(emu::link::WaitIdentifyConnect);
        return false;
    }
    if (!c->controller.liveEmuAnswered()) {
        *error = QStringLiteral("no EMU answers on %1 (identity signature \"%2\", expected "
                                "\"%3\"); nothing was done")
                     .arg(c->where.label(), c->session.image().signature(),
                          QLatin1String(emu::link::LiveSignature));
        return false;
    }
    c->knownModel = c->controller.adoptModel();
    return true;
}

// Takes "--name VALUE" or "--name=VALUE" out of args.
bool takeOption(QStringList &args, const QString &name, QString *value, QString *error) {
    const QString eq = name + QLatin1Char('=');
    for (int i = 0; i < args.size();) {
        if (args.at(i) == name) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            *value = args.at(i + 1);
            args.erase(args.begin() + i, args.begin() + i + 2);
        } else if (args.at(i).startsWith(eq)) {
            *value = args.at(i).mid(eq.size());
            args.removeAt(i);
        } else {
            ++i;
        }
    }
    return true;
}

// ---- diff ----------------------------------------------------------------------------------

// A port rather than a setup file: ComN, a plain number, or a character device.
bool isPort(const QString &text) {
    if (PortMap::portNumber(text) != 0) return true;
#ifdef Q_OS_UNIX
    // A name that is no file here is a port only when it names a serial device of the system.
    const QString path = PortMap::devicePath(text);
    struct stat st {};
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0)
        return S_ISCHR(st.st_mode);
    return path.startsWith(QLatin1String("/dev/"));
#else
    return false;
#endif
}

// The EMU's image read into what a setup file saved from it would give (identity with the file
// signature, no vehicle information).
bool loadFromEmu(const QString &portText, Setup *setup, QString *error) {
    Connection c;
    if (!connectEmu(portText, &c, error)) return false;
    int dumped = 0;
    const QByteArray reply = c.controller.readImage(&dumped);
    if (dumped < emu::link::ImageStreamMax) {
        *error = QStringLiteral("the %1 sent %2 of %3 bytes of its image")
                     .arg(c.describe())
                     .arg(dumped)
                     .arg(emu::link::ImageStreamMax);
        return false;
    }
    SetupFileData data;
    data.identity = c.identity();
    data.identity[5] = data.identity[6] = quint8(emu::link::FileSignature[0] - '0');
    data.table = SetupFile::tableFromReply(reply);
    decodeSetup(data, setup);
    return true;
}

// The timing slots beyond the points in use: not on any chart, but a write sends them.
void diffTimingSlots(const Setup &a, const Setup &b, QStringList *lines) {
    const int used = std::max(a.maps.pointCount(MapId::Timing, a.axes),
                              b.maps.pointCount(MapId::Timing, b.axes));
    const QLatin1String key(emu::model::mapInfo(MapId::Timing).key);
    for (int p = used + 1; p <= emu::model::mapInfo(MapId::Timing).points; ++p) {
        const double x = a.maps.value(MapId::Timing, p), y = b.maps.value(MapId::Timing, p);
        if (x != y)
            *lines << QStringLiteral("%1 slot %2 (beyond the points in use; a write sends it): "
                                     "%3 -> %4")
                          .arg(key)
                          .arg(p)
                          .arg(number(x), number(y));
    }
}

Result runDiff(const QStringList &args) {
    if (args.size() != 2)
        return fail(QStringLiteral("usage: emutool diff A B (setup files or ports)"));
    Setup a, b;
    QString error;
    const bool portA = isPort(args.at(0)), portB = isPort(args.at(1));
    auto load = [&error](const QString &text, bool port, Setup *s) {
        return port ? loadFromEmu(text, s, &error) : loadSetup(text, s, &error);
    };
    if (!load(args.at(0), portA, &a) || !load(args.at(1), portB, &b)) return fail(error);

    QStringList lines;
    auto differ = [&lines](const QString &what, const QString &x, const QString &y) {
        if (x != y) lines << SetupFile::printable(QStringLiteral("%1: %2 -> %3").arg(what, x, y));
    };
    differ(QStringLiteral("identity"), identityText(a.image), identityText(b.image));
    // An EMU holds no vehicle information.
    if (!portA && !portB) {
        differ(QStringLiteral("vehicle make"), a.image.vehicleMake, b.image.vehicleMake);
        differ(QStringLiteral("vehicle model"), a.image.vehicleModel, b.image.vehicleModel);
        differ(QStringLiteral("engine type"), a.image.engineType, b.image.engineType);
    }
    const emu::model::TuneDifferences d = emu::model::compareTunes(a.view(), b.view());
    for (const emu::model::FieldDifference &f : d.fields)
        differ(f.field ? QStringLiteral("setup %1").arg(fieldLabel(*f.field))
                       : QStringLiteral("setup byte %1").arg(f.offset),
               f.thisText, f.otherText);
    auto contains = [](const std::vector<MapId> &v, MapId id) {
        return std::find(v.cbegin(), v.cend(), id) != v.cend();
    };
    for (MapId id : emu::model::allMaps()) {
        const QLatin1String key(emu::model::mapInfo(id).key);
        if (contains(d.onlyThis, id) || contains(d.onlyOther, id)) {
            lines << SetupFile::printable(
                QStringLiteral("map %1: only in %2")
                    .arg(key, contains(d.onlyThis, id) ? args.at(0) : args.at(1)));
            continue;
        }
        for (const emu::model::PointDifference &p : d.points) {
            if (p.map != id) continue;
            auto shown = [](const std::optional<double> &v) {
                return v ? number(*v) : QStringLiteral("(none)");
            };
            differ(QStringLiteral("%1 point %2").arg(key).arg(p.point), shown(p.thisValue),
                   shown(p.otherValue));
        }
        if (id == MapId::Timing && a.caps.timing && b.caps.timing) diffTimingSlots(a, b, &lines);
    }
    if (lines.isEmpty()) return Result{ExitOk, {}, {}};
    return Result{ExitDiffer, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), {}};
}

Result runRead(const QStringList &argsIn) {
    QStringList args = argsIn;
    QString make, model, engine, error;
    if (!takeOption(args, QStringLiteral("--make"), &make, &error) ||
        !takeOption(args, QStringLiteral("--model"), &model, &error) ||
        !takeOption(args, QStringLiteral("--engine"), &engine, &error))
        return fail(QStringLiteral("read: %1").arg(error));
    if (args.size() != 2 || args.at(1).startsWith(QLatin1String("--")))
        return fail(QStringLiteral(
            "usage: emutool read PORT OUT.emu [--make TEXT] [--model TEXT] [--engine TEXT]"));
    for (const QString *t : {&make, &model, &engine}) {
        if (SetupFile::cleanVehicleText(*t) != *t)
            return fail(QStringLiteral("read: '%1' cannot be stored in a setup file (no \"~\" or "
                                       "control characters)")
                            .arg(SetupFile::printable(*t)));
        if (t->size() > SetupFile::VehicleTextMax)
            return fail(QStringLiteral("read: '%1' is longer than %2 characters")
                            .arg(*t)
                            .arg(SetupFile::VehicleTextMax));
    }

    Connection c;
    if (!connectEmu(args.at(0), &c, &error)) return fail(error);
    int dumped = 0;
    const QByteArray reply = c.controller.readImage(&dumped);
    // A short image would save maps the EMU does not hold (their bytes read as 0).
    if (dumped < emu::link::ImageStreamMax)
        return fail(QStringLiteral("the %1 sent %2 of %3 bytes of its image; nothing was written")
                        .arg(c.describe())
                        .arg(dumped)
                        .arg(emu::link::ImageStreamMax));
    c.session.setVehicleText(&EmuImage::vehicleMake, make);
    c.session.setVehicleText(&EmuImage::vehicleModel, model);
    c.session.setVehicleText(&EmuImage::engineType, engine);
    const QByteArray content = c.controller.setupFileContent(SetupFile::tableFromReply(reply));
    if (!SetupFile::write(args.at(1), content, &error)) return fail(error);
    const QByteArray out = QStringLiteral("Read %1: %2 bytes saved to %3\n")
                               .arg(c.describe())
                               .arg(dumped)
                               .arg(args.at(1))
                               .toUtf8();
    return Result{ExitOk, out, {}};
}

QString capabilityNames(const Capabilities &caps) {
    QStringList names;
    if (caps.timing) names << QStringLiteral("timing");
    if (caps.vacuum) names << QStringLiteral("vacuum timing");
    if (caps.fuel) names << QStringLiteral("fuel");
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

Result runWrite(const QStringList &argsIn) {
    QStringList args = argsIn;
    const bool verify = args.removeAll(QStringLiteral("--verify")) > 0;
    if (args.size() != 2 || args.at(1).startsWith(QLatin1String("--")))
        return fail(QStringLiteral("usage: emutool write PORT IN.emu [--verify]"));
    // The file first: a file that does not read sends nothing.
    SetupFileData data;
    QString error;
    if (!SetupFile::read(args.at(1), &data, &error))
        return fail(QStringLiteral("%1: %2\nNothing was sent.").arg(args.at(1), error));
    EmuImage image;
    SetupFile::apply(data, image);
    image.copySetupFromFileTable();
    const MapAxes axes = emu::model::axesFromSetup(image);
    // The maps the file holds: those of its model code; the table line has room for all of them
    // whatever the model, so an unknown code takes every section.
    Capabilities fileCaps{true, true, true};
    QString fileType;
    emu::model::modelInfo(image.modelCode(), &fileType, &fileCaps);
    EmuMaps maps;
    maps.decode(image, fileCaps, axes); // every timing slot, those beyond N too

    Connection c;
    if (!connectEmu(args.at(0), &c, &error)) return fail(error);
    if (!c.knownModel)
        return fail(QStringLiteral("the %1 has a model code this program does not know; its "
                                   "tables are unknown, nothing was sent")
                        .arg(c.describe()));
    // A map the EMU has but the file lacks would go out as zeros over the EMU's own.
    const Capabilities &emuCaps = c.session.caps();
    if ((emuCaps.timing && !fileCaps.timing) || (emuCaps.vacuum && !fileCaps.vacuum) ||
        (emuCaps.fuel && !fileCaps.fuel))
        return fail(QStringLiteral("%1 holds the maps of model %2 (%3) but the %4 has %5; "
                                   "nothing was sent")
                        .arg(args.at(1))
                        .arg(image.modelCode())
                        .arg(capabilityNames(fileCaps), c.describe(), capabilityNames(emuCaps)));

    // The file's setup and maps go out with the sections of the EMU's model.
    EmuImage onEmu = c.session.image();
    onEmu.bytes = image.bytes;
    c.session.loadImage(onEmu);
    c.session.adoptMaps(maps);
    TableStream stream;
    if (!c.controller.sendTables(&stream))
        return fail(QStringLiteral("writing to %1 failed: %2")
                        .arg(c.where.label(), c.controller.linkLost()
                                                  ? QStringLiteral("the device went away")
                                                  : QStringLiteral("the port did not take the "
                                                                   "bytes")));

    QStringList sections{QStringLiteral("setup block")};
    for (MapId id : emu::model::allMaps())
        if (emu::model::hasCapability(emuCaps, id))
            sections << QLatin1String(emu::model::mapInfo(id).key);
    QString text;
    QTextStream out(&text);
    out << "Wrote " << args.at(1) << " to the " << c.describe() << "\n";
    out << "Sections: " << sections.join(QStringLiteral(", ")) << "\n";
    out << "Bytes: 1 + " << stream.raw.size() << " (" << stream.used << " of data, "
        << stream.raw.size() - stream.used << " filler)\n";
    if (data.identity[1] != c.identity()[1])
        out << "Note: the file was saved from a model " << data.identity[1] << " EMU\n";
    if (!verify) {
        out.flush();
        return Result{ExitOk, text.toUtf8(), {}};
    }
    const VerifyResult check = c.controller.verifyTables(stream);
    if (check.verified()) {
        out << "Verified: the image read back holds what was written\n";
        out.flush();
        return Result{ExitOk, text.toUtf8(), {}};
    }
    out.flush();
    // The first few positions name the trouble; the count says how far it goes.
    constexpr int Shown = 10;
    QString problem = QStringLiteral("verify failed: %1 position(s) differ after the write to %2")
                          .arg(check.mismatches.size())
                          .arg(c.where.label());
    if (check.received == 0) problem += QStringLiteral(" (%1)").arg(check.firstProblem());
    for (size_t i = 0; i < check.mismatches.size() && i < size_t(Shown); ++i)
        problem += QStringLiteral("\n  ") + emu::model::describeMismatch(check.mismatches[i]);
    if (check.mismatches.size() > size_t(Shown)) problem += QStringLiteral("\n  ...");
    return Result{ExitNotVerified, text.toUtf8(), problem};
}

// ---- log: live data to a CSV file -------------------------------------------------------------

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int) {
    g_interrupted = 1;
}

const char *const LogUsage =
    "usage: emutool log PORT OUT.csv [--interval MS] [--duration S] [--channels LIST]";

// The channels named in LIST (CSV column titles, comma-separated), in series order.
bool logColumns(const QString &list, QVector<int> *columns, QString *error) {
    QStringList known;
    for (const LogChannels::Channel &ch : LogChannels::all())
        known << QLatin1String(ch.column);
    if (list.isEmpty()) {
        for (int i = 0; i < LogChannels::Count; ++i)
            columns->append(i);
        return true;
    }
    for (const QString &name : list.split(QLatin1Char(','))) {
        const int s = LogChannels::indexOfColumn(name.trimmed());
        if (s < 0) {
            *error = QStringLiteral("log: unknown channel '%1' (channels: %2)")
                         .arg(name, known.join(QLatin1Char(',')));
            return false;
        }
        if (!columns->contains(s)) columns->append(s);
    }
    std::sort(columns->begin(), columns->end());
    return true;
}

Result runLog(const QStringList &argsIn) {
    QStringList args = argsIn;
    QString intervalText, durationText, channelList, error;
    if (!takeOption(args, QStringLiteral("--interval"), &intervalText, &error) ||
        !takeOption(args, QStringLiteral("--duration"), &durationText, &error) ||
        !takeOption(args, QStringLiteral("--channels"), &channelList, &error))
        return fail(QStringLiteral("log: %1").arg(error));
    if (args.size() != 2 || args.at(1).startsWith(QLatin1String("--")))
        return fail(QLatin1String(LogUsage));
    int interval = 100;
    if (!intervalText.isEmpty()) {
        bool ok = false;
        interval = intervalText.toInt(&ok);
        if (!ok || interval <= 0)
            return fail(QStringLiteral("log: --interval '%1' is not a number of milliseconds")
                            .arg(intervalText));
    }
    // Each live data exchange holds the line for its 20 ms wait; faster would only mean
    // overlapping requests.
    if (interval < MinLogInterval)
        return fail(QStringLiteral("log: --interval %1 ms is too short: the EMU needs at least "
                                   "%2 ms for each live data frame")
                        .arg(interval)
                        .arg(MinLogInterval));
    double duration = 0; // until Ctrl+C
    if (!durationText.isEmpty()) {
        bool ok = false;
        duration = QLocale::c().toDouble(durationText, &ok);
        if (!ok || !(duration > 0) || duration > 1e7)
            return fail(QStringLiteral("log: --duration '%1' is not a number of seconds")
                            .arg(durationText));
    }
    QVector<int> columns;
    if (!logColumns(channelList, &columns, &error)) return fail(error);
    const QString path = args.at(1);
    if (!emu::files::checkTarget(path, &error)) return fail(error);

    // Ctrl+C ends the log cleanly, also while the EMU is still being asked for its setup.
    g_interrupted = 0;
    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    // The EMU's setup and maps: the vacuum scale and the timing come from them.
    Connection c;
    if (!connectEmu(args.at(0), &c, &error)) return fail(error);
    Session &s = c.session;
    int got = 0;
    const QByteArray image = c.controller.readImage(&got);
    if (got < emu::link::ImageStreamMax)
        return fail(QStringLiteral("the %1 sent %2 of %3 bytes of its image; its setup is needed "
                                   "to decode live data; nothing was logged")
                        .arg(c.describe())
                        .arg(got)
                        .arg(emu::link::ImageStreamMax));
    c.controller.takeImage(image);
    s.markConnected();

    // The file is created (or an existing one replaced) only when the first row is there to
    // write: an interrupt or a failure before that leaves whatever is at the path untouched.
    LogWriter writer;
    LivePoll poll(s);
    qint64 rows = 0, missed = 0;
    qint64 firstSent = -1; // each row carries the time its request went out
    QString lost, writeError;
    QObject::connect(&poll, &LiveFeed::liveValues, [&](const LiveValues &v) {
        if (!writeError.isEmpty()) return;
        if (!writer.isOpen() && !writer.open(path, columns, &writeError)) return;
        double values[LogChannels::Count];
        bool present[LogChannels::Count] = {};
        for (int i = 0; i < LogChannels::Count; ++i) {
            values[i] = LogChannels::fileValue(i, v);
            present[i] = v.complete && LogChannels::available(i, s.caps().timing);
        }
        if (firstSent < 0) firstSent = v.sentMs;
        const double t = (v.sentMs - firstSent) / 1000.0;
        if (!writer.writeRow(t, values, present, &writeError)) return;
        if (!v.complete) ++missed;
        ++rows;
    });
    // Named as the user gave the port: a device path has only a number of this run's.
    QObject::connect(&poll, &LivePoll::linkLost,
                     [&] { lost = QStringLiteral("link lost on %1").arg(c.where.label()); });

    const bool progress = isatty(STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    // The n-th frame is asked for at n x interval; every wait is a timer of the event loop. The
    // interrupt handler can only set a flag, so a slow timer looks at it between rows; a request
    // that is out is always answered (or timed out) before the log ends.
    QEventLoop loop;
    QTimer pace;
    pace.setSingleShot(true);
    pace.setTimerType(Qt::PreciseTimer);
    qint64 n = 0;
    auto step = [&] {
        if (g_interrupted || !lost.isEmpty() || !writeError.isEmpty()) return loop.quit();
        const qint64 due = n * interval;
        if (duration > 0 && due >= duration * 1000) return loop.quit();
        const qint64 wait = due - clock.elapsed();
        if (wait > 0) return pace.start(int(wait));
        ++n;
        poll.tick();
        s.link().whenDone([&] {
            if (progress)
                std::fprintf(stderr, "\r%.1f s, %lld rows, %lld missed ", clock.elapsed() / 1000.0,
                             rows, missed);
            pace.start(0);
        });
    };
    QObject::connect(&pace, &QTimer::timeout, &loop, step);
    QTimer interruptCheck;
    QObject::connect(&interruptCheck, &QTimer::timeout, &loop, [&] {
        if (g_interrupted && !s.link().busy()) loop.quit();
    });
    interruptCheck.start(20);
    pace.start(0);
    loop.exec();
    if (progress) std::fputs("\n", stderr);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    const bool created = writer.isOpen();
    QString closeError;
    const bool closed = writer.close(&closeError);
    const QString summary = QStringLiteral("%1 rows, %2 missed").arg(rows).arg(missed);
    const QString kept = created ? QStringLiteral("%1 kept in %2").arg(summary, path)
                                 : QStringLiteral("nothing was written to %1").arg(path);
    auto failWith = [&kept](const QString &error) { // error: a sentence of its own
        return fail(
            QStringLiteral("log: %1 %2%3.").arg(error, kept.left(1).toUpper(), kept.mid(1)));
    };
    if (!writeError.isEmpty()) return failWith(writeError);
    if (!lost.isEmpty())
        return fail(QStringLiteral("log: %1: the device went away; %2").arg(lost, kept));
    if (!closed) return failWith(closeError);
    if (!created)
        return Result{ExitOk,
                      QStringLiteral("Logged 0 rows from the %1: stopped before the first row; "
                                     "%2 was left as it was\n")
                          .arg(c.describe(), path)
                          .toUtf8(),
                      {}};
    return Result{
        ExitOk,
        QStringLiteral("Logged %1 from the %2 to %3\n").arg(summary, c.describe(), path).toUtf8(),
        {}};
}

// ---- hits -----------------------------------------------------------------------------------

bool takeNumber(QStringList &args, const QString &name, double *value, QString *error) {
    QString text;
    if (!takeOption(args, name, &text, error)) return false;
    if (text.isEmpty()) return true;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        *error = QStringLiteral("%1: '%2' is not a number").arg(name, text);
        return false;
    }
    *value = v;
    return true;
}

Result runHits(const QStringList &arguments) {
    QStringList args = arguments;
    QString error, mapName;
    MapHits::Filter filter;
    if (!takeOption(args, QStringLiteral("--map"), &mapName, &error) ||
        !takeNumber(args, QStringLiteral("--from"), &filter.from, &error) ||
        !takeNumber(args, QStringLiteral("--to"), &filter.to, &error) ||
        !takeNumber(args, QStringLiteral("--min-water"), &filter.minWater, &error) ||
        !takeNumber(args, QStringLiteral("--min-rpm"), &filter.minRpm, &error) ||
        !takeNumber(args, QStringLiteral("--max-throttle-rate"), &filter.maxThrottleRate, &error))
        return fail(QStringLiteral("hits: ") + error);
    bool csv = false;
    QStringList paths;
    for (const QString &a : args) {
        if (a == QLatin1String("--csv"))
            csv = true;
        else if (a == QLatin1String("--keep-missed"))
            filter.excludeMissed = false;
        else if (a.startsWith(QLatin1String("--")))
            return fail(QStringLiteral("hits: unexpected argument '%1'").arg(a));
        else
            paths << a;
    }
    if (paths.size() != 2)
        return fail(QStringLiteral("usage: emutool hits LOG.csv TUNE.emu [--map NAME] [--csv] "
                                   "[--from S] [--to S] [--min-water C] [--min-rpm RPM] "
                                   "[--max-throttle-rate PCT_PER_S] [--keep-missed]"));
    std::vector<MapId> maps;
    for (MapId m : emu::model::allMaps())
        if (mapName.isEmpty() ||
            mapName.compare(QLatin1String(emu::model::mapInfo(m).key), Qt::CaseInsensitive) == 0)
            maps.push_back(m);
    if (maps.empty()) {
        QStringList keys;
        for (MapId m : emu::model::allMaps())
            keys << QLatin1String(emu::model::mapInfo(m).key);
        return fail(QStringLiteral("hits: no map '%1' (one of %2)").arg(mapName, keys.join(", ")));
    }

    Setup tune;
    if (!loadSetup(paths[1], &tune, &error)) return fail(error);
    LogRecord log;
    if (!emu::files::checkSource(paths[0], &error) || !LogReader::read(paths[0], &log, &error))
        return fail(error);
    const MapHits::Context ctx = MapHits::contextOf(tune.image, tune.axes);
    const MapHits::Hits hits = MapHits::compute(log, ctx, filter);

    const auto num = [](double v, int decimals) {
        return std::isnan(v) ? QString() : QString::number(v, 'f', decimals);
    };
    QString out;
    const MapHits::Counts &c = hits.counts;
    if (csv) {
        out += QStringLiteral("map,point,position,samples,seconds,mean_lambda_v,rich_share\n");
    } else {
        out += QStringLiteral("%1 of %2 samples kept (dropped: time range %3, missed %4, "
                              "water %5, rpm %6, throttle change %7)\n")
                   .arg(c.kept)
                   .arg(c.rows)
                   .arg(c.outsideTime)
                   .arg(c.missed)
                   .arg(c.coldWater)
                   .arg(c.lowRpm)
                   .arg(c.throttleChange);
    }
    for (MapId m : maps) {
        if (!emu::model::hasCapability(tune.caps, m)) continue;
        const MapInfo &info = emu::model::mapInfo(m);
        const bool fuel = MapHits::isFuelMap(m);
        if (!csv)
            out += QStringLiteral("\n%1 (%2)\npoint  position  samples   seconds%3\n")
                       .arg(QLatin1String(info.title), QLatin1String(info.key),
                            fuel ? QStringLiteral("  lambda_v  rich_%") : QString());
        for (int p = 1; p <= hits.pointCount(m); ++p) {
            const MapHits::Point &pt = hits.at(m, p);
            const double x = tune.maps.position(m, p, tune.axes);
            if (csv) {
                out += QStringLiteral("%1,%2,%3,%4,%5,%6,%7\n")
                           .arg(QLatin1String(info.key))
                           .arg(p)
                           .arg(number(emu::num::roundTo(x, 4)))
                           .arg(pt.samples)
                           .arg(num(pt.seconds, 3), fuel ? num(pt.meanLambda(), 3) : QString(),
                                fuel ? num(pt.richShare(), 3) : QString());
            } else {
                QString line = QStringLiteral("%1  %2  %3  %4")
                                   .arg(p, 5)
                                   .arg(QString::number(x, 'f', 2), 8)
                                   .arg(pt.samples, 7)
                                   .arg(QString::number(pt.seconds, 'f', 1), 8);
                if (fuel && pt.lambdaSamples > 0)
                    line += QStringLiteral("  %1  %2")
                                .arg(QString::number(pt.meanLambda(), 'f', 3), 8)
                                .arg(QString::number(pt.richShare() * 100, 'f', 1), 6);
                out += line + QLatin1Char('\n');
            }
        }
    }
    Result r{ExitOk, out.toUtf8(), {}};
    // Said beside the table, not instead of it: the rows before the cut line are all there.
    r.error = LogReader::droppedText(log, paths[0]);
    return r;
}

// ---- suggest -------------------------------------------------------------------------------

const char *const SuggestUsage =
    "suggest LOG.csv TUNE.emu --out NEW.emu [--map cruise|low|high|vacuum] [--min-water C] "
    "[--throttle-rate PCT_S] [--vacuum-rate BAR_S] [--tip-in S] [--tolerance SHARE] "
    "[--delay MS] [--min-samples N] [--max-step PCT]";

Result runSuggest(const QStringList &argsIn) {
    QStringList args = argsIn;
    QString error, out, map;
    FuelSuggest::Options o;
    struct NumberOption {
        const char *name;
        double *value;
        double lo, hi;
    };
    double minSamples = o.minSamples;
    const NumberOption numbers[] = {{"--min-water", &o.minWater, -40, 150},
                                    {"--throttle-rate", &o.maxThrottleRate, 0, 1e6},
                                    {"--vacuum-rate", &o.maxVacuumRate, 0, 1e6},
                                    {"--tip-in", &o.tipInWindow, 0, 60},
                                    {"--tolerance", &o.tolerance, 0, 0.5},
                                    {"--delay", &o.delayMs, 0, 5000},
                                    {"--min-samples", &minSamples, 1, 1e9},
                                    {"--max-step", &o.maxStep, 0, 50}};
    if (!takeOption(args, QStringLiteral("--out"), &out, &error) ||
        !takeOption(args, QStringLiteral("--map"), &map, &error))
        return fail(QStringLiteral("suggest: %1").arg(error));
    for (const NumberOption &n : numbers) {
        QString text;
        if (!takeOption(args, QLatin1String(n.name), &text, &error))
            return fail(QStringLiteral("suggest: %1").arg(error));
        if (text.isEmpty()) continue;
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (!ok || !(v >= n.lo && v <= n.hi))
            return fail(QStringLiteral("suggest: %1 takes a number from %2 to %3, not '%4'")
                            .arg(QLatin1String(n.name))
                            .arg(n.lo)
                            .arg(n.hi)
                            .arg(text));
        *n.value = v;
    }
    o.minSamples = int(minSamples);
    if (args.size() != 2 || out.isEmpty() || args.at(0).startsWith(QLatin1String("--")) ||
        args.at(1).startsWith(QLatin1String("--")))
        return fail(QStringLiteral("usage: emutool %1").arg(QLatin1String(SuggestUsage)));
    if (!map.isEmpty()) {
        MapId id;
        if (!FuelSuggest::mapFromName(map, &id))
            return fail(QStringLiteral("suggest: '%1' is no fuel map (cruise, low, high or vacuum)")
                            .arg(map));
        if (id == MapId::FuelVacuum)
            o.vacuumMap = true;
        else
            o.onlyMap = int(id);
    }

    LogRecord log;
    if (!LogReader::read(args.at(0), &log, &error)) return fail(error);
    SetupFileData data;
    if (!SetupFile::read(args.at(1), &data, &error))
        return fail(QStringLiteral("%1: %2").arg(args.at(1), error));
    Setup setup;
    decodeSetup(data, &setup);
    if (!setup.caps.fuel) return fail(QStringLiteral("%1 holds no fuel maps").arg(args.at(1)));
    FuelSuggest::Result r;
    if (!FuelSuggest::analyse(log, FuelSuggest::Tune{&setup.image, &setup.maps, setup.axes}, o, &r,
                              &error))
        return fail(QStringLiteral("%1: %2").arg(args.at(0), error));
    if (r.lambdaSensorOff)
        return fail(QStringLiteral("%1 has the lambda sensor off; its readings say nothing about "
                                   "the fuel. Nothing was written.")
                        .arg(args.at(1)));

    QString text = QStringLiteral("map,point,axis,samples,rich_share,change\n");
    for (const FuelSuggest::PointResult &p : r.points) {
        if (p.samples == 0) continue;
        text += QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                    .arg(QLatin1String(emu::model::mapInfo(p.map).key))
                    .arg(p.point)
                    .arg(number(emu::num::roundTo(p.axis, p.map == MapId::FuelVacuum ? 3 : 0)))
                    .arg(p.samples)
                    .arg(number(emu::num::roundTo(p.richShare, 2)))
                    .arg(number(p.change));
        // The corrected tune: the point's byte in the file's table line.
        if (p.change != 0) {
            const MapInfo &info = emu::model::mapInfo(p.map);
            data.table[size_t(info.streamOffset + p.point - 1)] =
                emu::model::tableByte(p.map, p.suggested());
        }
    }
    const FuelSuggest::Counts &c = r.counts;
    text += QStringLiteral("%1 points changed; %2\n").arg(r.changed()).arg(c.describe());
    if (r.controlPercent > 0)
        text += QStringLiteral("note: lambda control was on (Control Percentage %1 %%); the EMU's "
                               "own trim hides errors up to that size from the sensor\n")
                    .arg(r.controlPercent);
    const QByteArray content = SetupFile::format(data.identity, data.vehicleMake, data.vehicleModel,
                                                 data.engineType, data.table);
    if (!SetupFile::write(out, content, &error)) return fail(error);
    text += QStringLiteral("Wrote %1\n").arg(out);
    return Result{ExitOk, text.toUtf8(), {}};
}

// ---- dispatch ------------------------------------------------------------------------------

struct Command {
    const char *name;
    const char *usage;
    Result (*run)(const QStringList &args);
};

const Command kCommands[] = {
    {"info", "info FILE.emu", runInfo},
    {"export", "export FILE.emu --json|--csv", runExport},
    {"diff", "diff A B (each a setup file or a PORT)", runDiff},
    {"read", "read PORT OUT.emu [--make TEXT] [--model TEXT] [--engine TEXT]", runRead},
    {"write", "write PORT IN.emu [--verify]", runWrite},
    {"log", "log PORT OUT.csv [--interval MS] [--duration S] [--channels LIST]", runLog},
    {"hits",
     "hits LOG.csv TUNE.emu [--map NAME] [--csv] [--from S] [--to S] [--min-water C] "
     "[--min-rpm RPM] [--max-throttle-rate PCT_PER_S] [--keep-missed]",
     runHits},
    {"suggest", SuggestUsage, runSuggest},
};

QString usage() {
    QString text = QStringLiteral("usage:\n");
    for (const Command &c : kCommands)
        text += QStringLiteral("  emutool %1\n").arg(QLatin1String(c.usage));
    text += QStringLiteral("  emutool --help | --version\n");
    text += QStringLiteral("PORT is ComN or a device path; --port ComN=DEVICE maps a number.\n");
    return text;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("emutool"));
    QStringList args = QCoreApplication::arguments().mid(1);

    Result result;
    QString portError;
    const bool portOptions = std::any_of(args.cbegin(), args.cend(), [](const QString &a) {
        return a == QLatin1String("--port") || a.startsWith(QLatin1String("--port="));
    });
    if (portOptions && !PortMap::instance().takeArguments(args, &portError)) {
        result = fail(portError);
    } else if (!args.isEmpty() &&
               (args.at(0) == QLatin1String("--help") || args.at(0) == QLatin1String("-h"))) {
        result.out = usage().toUtf8();
    } else if (!args.isEmpty() && args.at(0) == QLatin1String("--version")) {
        result.out = QByteArray("emutool " EMU_VERSION "\n");
    } else {
        const Command *command = nullptr;
        if (!args.isEmpty())
            for (const Command &c : kCommands)
                if (args.at(0) == QLatin1String(c.name)) command = &c;
        if (!command)
            result =
                fail(args.isEmpty()
                         ? usage()
                         : QStringLiteral("unknown command '%1'\n%2").arg(args.at(0), usage()));
        else
            result = command->run(args.mid(1));
    }

    if (!result.error.isEmpty()) {
        QByteArray message = result.error.toLocal8Bit();
        if (!message.endsWith('\n')) message += '\n';
        std::fputs(("emutool: " + message).constData(), stderr);
    }
    if (result.code == ExitError) return ExitError;
    // A full disk or a closed pipe must not pass for success.
    errno = 0;
    const bool written = std::fwrite(result.out.constData(), 1, size_t(result.out.size()),
                                     stdout) == size_t(result.out.size()) &&
                         std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!written) {
        const int why = errno;
        std::fprintf(stderr, "emutool: cannot write output: %s\n",
                     why ? std::strerror(why) : "write error");
        return ExitError;
    }
    return result.code;
}
