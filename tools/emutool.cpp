// emutool: the setup file on the command line.
//
//   emutool info FILE.emu              identity, module type, vehicle, serial, setup, maps
//   emutool export FILE.emu --json     one JSON object
//   emutool export FILE.emu --csv      the maps as CSV: map,point,position,value
//   emutool diff A.emu B.emu           every differing field and point; exit 1 when they differ
//
// Exit codes: 0 success (diff: equal), 1 diff found differences, 2 error. Errors go to stderr
// and nothing is written to stdout on error. Each command is one entry of kCommands; commands
// that talk to an EMU on a port (read PORT OUT.emu, write PORT IN.emu) are added there.
#include "connection/SetupFile.h"
#include "model/EmuImage.h"
#include "model/Maps.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

enum Exit { ExitOk = 0, ExitDiffer = 1, ExitError = 2 };

// What a command hands back: the text for stdout (written only on success) or an error.
struct Result {
    int code = ExitOk;
    QByteArray out;
    QString error;
};

Result fail(const QString &message) {
    return Result{ExitError, {}, message};
}

// A setup file decoded the way the program decodes it in file mode.
struct Setup {
    EmuImage image;
    EmuMaps maps;
    Capabilities caps;
    QString moduleType;
    MapAxes axes;
};

bool loadSetup(const QString &path, Setup *setup, QString *error) {
    SetupFileData data;
    if (!SetupFile::read(path, &data, error)) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    SetupFile::apply(data, setup->image);
    setup->image.copySetupFromFileTable();
    Emu::modelInfo(setup->image.modelCode(), &setup->moduleType, &setup->caps);
    setup->axes = Emu::axesFromSetup(setup->image);
    setup->maps.decode(setup->image, setup->caps, setup->axes);
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
    const std::optional<double> v = Emu::displayValue(image, f);
    if (!v) return QJsonValue(QJsonValue::Null);
    switch (f.kind) {
    case FieldKind::Check:
        return QJsonValue(*v != 0);
    case FieldKind::SerialLetter:
        return QJsonValue(Emu::displayText(image, f));
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
    out << "Vehicle make: " << img.vehicleMake << "\n";
    out << "Vehicle model: " << img.vehicleModel << "\n";
    out << "Engine type: " << img.engineType << "\n";
    out << "Serial number: " << img.serialText() << "\n";
    out << "\nSetup\n";
    for (const SetupField &f : Emu::setupFields()) {
        const QString value =
            Emu::displayValue(img, f) ? Emu::displayText(img, f) : QStringLiteral("(unset)");
        QString unit = QString::fromUtf8(f.unit);
        if (f.kind == FieldKind::OutputLimit) {
            const int source = img.value(f.offset <= Emu::OffOutput1Max ? Emu::OffOutput1Source
                                                                        : Emu::OffOutput2Source);
            static const char *const units[] = {"", "RPM", "bar", "%", "V", "°C", "°C"};
            unit = source >= 0 && source <= 6 ? QString::fromUtf8(units[source]) : QString();
        }
        out << "  " << fieldLabel(f).leftJustified(24) << value;
        if (!unit.isEmpty() && Emu::displayValue(img, f)) out << " " << unit;
        out << "\n";
    }
    out << "\nMaps\n";
    bool any = false;
    for (MapId id : Emu::allMaps()) {
        if (!Emu::hasCapability(s.caps, id)) continue;
        any = true;
        const MapInfo &info = Emu::mapInfo(id);
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
    for (const SetupField &f : Emu::setupFields())
        setup[fieldLabel(f)] = fieldJson(img, f);
    root[QStringLiteral("setup")] = setup;
    QJsonObject maps;
    for (MapId id : Emu::allMaps()) {
        if (!Emu::hasCapability(s.caps, id)) continue;
        QJsonArray values;
        for (int p = 1; p <= s.maps.pointCount(id, s.axes); ++p)
            values.append(s.maps.value(id, p));
        maps[QLatin1String(Emu::mapInfo(id).key)] = values;
    }
    root[QStringLiteral("maps")] = maps;
    root[QStringLiteral("jets")] =
        QJsonObject{{QStringLiteral("main"), fieldJson(img, *Emu::setupFieldAt(Emu::OffMainJet))},
                    {QStringLiteral("idle"), fieldJson(img, *Emu::setupFieldAt(Emu::OffIdleJet))}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray exportCsv(const Setup &s) {
    QByteArray text = "map,point,position,value\n";
    for (MapId id : Emu::allMaps()) {
        if (!Emu::hasCapability(s.caps, id)) continue;
        const char *key = Emu::mapInfo(id).key;
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

// ---- diff ----------------------------------------------------------------------------------

Result runDiff(const QStringList &args) {
    if (args.size() != 2) return fail(QStringLiteral("usage: emutool diff A.emu B.emu"));
    Setup a, b;
    QString error;
    if (!loadSetup(args.at(0), &a, &error) || !loadSetup(args.at(1), &b, &error))
        return fail(error);

    QStringList lines;
    auto differ = [&lines](const QString &what, const QString &x, const QString &y) {
        if (x != y) lines << QStringLiteral("%1: %2 -> %3").arg(what, x, y);
    };
    auto shown = [](const EmuImage &img, const SetupField &f) {
        return Emu::displayValue(img, f) ? Emu::displayText(img, f) : QStringLiteral("(unset)");
    };
    differ(QStringLiteral("identity"), identityText(a.image), identityText(b.image));
    differ(QStringLiteral("vehicle make"), a.image.vehicleMake, b.image.vehicleMake);
    differ(QStringLiteral("vehicle model"), a.image.vehicleModel, b.image.vehicleModel);
    differ(QStringLiteral("engine type"), a.image.engineType, b.image.engineType);
    for (int off = 0; off < EmuImage::SetupSize; ++off) {
        const quint8 x = a.image.setupByte(off), y = b.image.setupByte(off);
        if (x == y) continue;
        if (const SetupField *f = Emu::setupFieldAt(off)) {
            QString sx = shown(a.image, *f), sy = shown(b.image, *f);
            if (sx == sy) { // the same display (e.g. a limit under source None): show the bytes
                sx += QStringLiteral(" (byte %1)").arg(x);
                sy += QStringLiteral(" (byte %1)").arg(y);
            }
            differ(QStringLiteral("setup %1").arg(fieldLabel(*f)), sx, sy);
        } else {
            differ(QStringLiteral("setup byte %1").arg(off), QString::number(x),
                   QString::number(y));
        }
    }
    for (MapId id : Emu::allMaps()) {
        const bool inA = Emu::hasCapability(a.caps, id), inB = Emu::hasCapability(b.caps, id);
        const char *key = Emu::mapInfo(id).key;
        if (!inA && !inB) continue;
        if (inA != inB) {
            lines << QStringLiteral("map %1: only in %2")
                         .arg(QLatin1String(key), inA ? args.at(0) : args.at(1));
            continue;
        }
        const int na = a.maps.pointCount(id, a.axes), nb = b.maps.pointCount(id, b.axes);
        for (int p = 1; p <= std::max(na, nb); ++p) {
            const QString x = p <= na ? number(a.maps.value(id, p)) : QStringLiteral("(none)");
            const QString y = p <= nb ? number(b.maps.value(id, p)) : QStringLiteral("(none)");
            differ(QStringLiteral("%1 point %2").arg(QLatin1String(key)).arg(p), x, y);
        }
    }
    if (lines.isEmpty()) return Result{ExitOk, {}, {}};
    return Result{ExitDiffer, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), {}};
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
    {"diff", "diff A.emu B.emu", runDiff},
};

QString usage() {
    QString text = QStringLiteral("usage:\n");
    for (const Command &c : kCommands)
        text += QStringLiteral("  emutool %1\n").arg(QLatin1String(c.usage));
    return text;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("emutool"));
    const QStringList args = QCoreApplication::arguments().mid(1);

    Result result;
    const Command *command = nullptr;
    if (!args.isEmpty())
        for (const Command &c : kCommands)
            if (args.at(0) == QLatin1String(c.name)) command = &c;
    if (!command) {
        result = fail(args.isEmpty()
                          ? usage()
                          : QStringLiteral("unknown command '%1'\n%2").arg(args.at(0), usage()));
    } else {
        result = command->run(args.mid(1));
    }

    if (result.code == ExitError) {
        QByteArray message = result.error.toLocal8Bit();
        if (!message.endsWith('\n')) message += '\n';
        std::fputs(("emutool: " + message).constData(), stderr);
        return ExitError;
    }
    std::fwrite(result.out.constData(), 1, size_t(result.out.size()), stdout);
    return std::fflush(stdout) == 0 ? result.code : ExitError;
}
