#include "connection/SetupFile.h"

#include "connection/FileCheck.h"
#include "model/Numbers.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

// The identity line. The classic line holds identity bytes 0, 1, 3 and 4 as one digit each and
// byte 2 as two digits, then "44": "13120044". Identities that do not fit that layout (a byte 2
// below 10 or above 99, another byte above 9) are written in a widened form that still starts
// with 8 digits, so that a reader which only takes the first 8 characters gets a well-formed
// identity with the "44" file mark:
//     <8 classic characters, each byte cut to its digits>:<b0>,<b1>,<b2>,<b3>,<b4>
// e.g. "13050044:1,3,5,0,0" or "93990044:12,3,250,0,0". Our reader takes bytes 0 to 4 from the
// part after ":" and bytes 5 and 6 from characters 7 and 8 as usual.
//
// Text encoding. Older files hold the vehicle line in the Windows-1252 character set, which Qt
// has no built-in converter for (only through ICU, which not every build has); its 32 characters
// that differ from Latin-1 are in the table below. A file is read as UTF-8 when it is valid
// UTF-8 and as Windows-1252 otherwise; the writer uses Windows-1252 when every vehicle character
// fits and the bytes cannot be taken for UTF-8, and UTF-8 otherwise, so that what was typed is
// what reads back.

namespace {
constexpr int TableCount = emu::link::TableStreamSize;
constexpr qint64 MaxFileSize = 1 << 20; // a setup file is about 2 KB

// Windows-1252 bytes 0x80 to 0x9F; the five bytes it leaves undefined read as the C1 control
// character of the same value (and are then refused like any control character).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isUtf8(const QByteArray &bytes, QString *text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString decoded = utf8(bytes);
    if (utf8.hasError()) return false;
    if (text) *text = std::move(decoded);
    return true;
}

QString fromCp1252(const QByteArray &bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i) {
        const auto b = quint8(bytes.at(i));
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

// Windows-1252 bytes of text, or false when a character has none.
bool toCp1252(const QString &text, QByteArray *bytes) {
    QByteArray out(text.size(), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        int b = -1;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            b = c;
        } else if (c > 0xFF) { // 0x80 to 0x9F are control characters, not in the character set
            for (int k = 0; k < 32 && b < 0; ++k)
                if (kCp1252High[k] == c) b = 0x80 + k;
        }
        if (b < 0) return false;
        out[i] = char(b);
    }
    *bytes = out;
    return true;
}

QString decodeFile(const QByteArray &content) {
    QString text;
    return isUtf8(content, &text) ? text : fromCp1252(content);
}

QByteArray encodeLine(const QString &text) {
    QByteArray cp;
    // Windows-1252 bytes that also form valid UTF-8 ("Ã©") would read back as other characters.
    if (toCp1252(text, &cp)) {
        bool ascii = true;
        for (char b : std::as_const(cp))
            ascii = ascii && quint8(b) < 0x80;
        if (ascii || !isUtf8(cp, nullptr)) return cp;
    }
    return text.toUtf8();
}

bool isControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

// Characters that show nothing themselves but change what is shown around them: the direction
// embeddings, overrides and isolates, zero-width spaces and joiners, the direction marks and the
// byte order mark. In a vehicle text they would make a file, a list or a terminal show
// something other than what it holds.
bool isHiddenFormat(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x200B && u <= 0x200F) || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || u == 0xFEFF;
}

QString codePoint(QChar c) {
    return QStringLiteral("U+") +
           QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

const QString kVersionMarker = QStringLiteral("#EMU Version");
const QString kVehicleMarker = QStringLiteral("#VehicleInfo");
const QString kTableMarker = QStringLiteral("#Table");
const QString kEofMarker = QStringLiteral("#EOF");

QString lineError(int line, const QString &what) {
    return QStringLiteral("Line %1: %2").arg(line).arg(what);
}

QString notSetupFile() {
    return QStringLiteral("This is not a setup file: it has no \"%1\" section.")
        .arg(kVersionMarker);
}

QString notInteger(const QString &text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

bool classicFits(const std::array<quint8, 7> &id) {
    return id[0] <= 9 && id[1] <= 9 && id[2] >= 10 && id[2] <= 99 && id[3] <= 9 && id[4] <= 9;
}

QByteArray identityLine(const std::array<quint8, 7> &id) {
    if (classicFits(id))
        return QByteArray::number(id[0]) + QByteArray::number(id[1]) + QByteArray::number(id[2]) +
               QByteArray::number(id[3]) + QByteArray::number(id[4]) + emu::link::FileSignature;
    auto digit = [](quint8 b) { return QByteArray::number(std::min<int>(b, 9)); };
    QByteArray line = digit(id[0]) + digit(id[1]) +
                      QByteArray::number(std::min<int>(id[2], 99)).rightJustified(2, '0') +
                      digit(id[3]) + digit(id[4]) + emu::link::FileSignature + ':';
    for (int i = 0; i < 5; ++i) {
        if (i) line += ',';
        line += QByteArray::number(id[i]);
    }
    return line;
}

bool parseIdentity(const QString &text, int lineNo, std::array<quint8, 7> *id, QString *error) {
    const QString classic = text.left(8);
    int digits[8] = {};
    for (int i = 0; i < 8; ++i) {
        const QString ch = classic.mid(i, 1);
        if (ch.size() != 1 || !ch.at(0).isDigit() || ch.at(0).unicode() > '9') {
            *error =
                lineError(lineNo, QStringLiteral("identity '%1': %2").arg(classic, notInteger(ch)));
            return false;
        }
        digits[i] = ch.at(0).unicode() - '0';
    }
    std::array<quint8, 7> result = {
        quint8(digits[0]), quint8(digits[1]), quint8(digits[2] * 10 + digits[3]),
        quint8(digits[4]), quint8(digits[5]), quint8(digits[6]),
        quint8(digits[7])};
    const QString rest = text.mid(8);
    if (rest.startsWith(QLatin1Char(':'))) {
        const QStringList parts = rest.mid(1).split(QLatin1Char(','));
        if (parts.size() != 5) {
            *error = lineError(
                lineNo,
                QStringLiteral("identity '%1' does not hold five bytes after ':'").arg(text));
            return false;
        }
        for (int i = 0; i < 5; ++i) {
            int v = 0;
            QString convError;
            if (!emu::num::parseInteger(parts.at(i), &v, &convError) || v < 0 || v > 255) {
                *error = lineError(
                    lineNo, QStringLiteral("identity byte %1: %2")
                                .arg(i)
                                .arg(convError.isEmpty()
                                         ? QStringLiteral("'%1' is not a byte value (0 to 255)")
                                               .arg(parts.at(i))
                                         : convError));
                return false;
            }
            result[i] = quint8(v);
        }
    }
    *id = result;
    return true;
}

void parseVehicle(const QString &text, SetupFileData *out) {
    // The whole line is split at its first three "~" (three full 18-character strings need 57
    // characters, more than the 54 a classic reader looks at); text after the third is ignored.
    QString fields[3];
    int start = 0;
    for (int i = 0; i < 3; ++i) {
        const int tilde = text.indexOf(QLatin1Char('~'), start);
        if (tilde < 0) {
            fields[i] = text.mid(start);
            break;
        }
        fields[i] = text.mid(start, tilde - start);
        start = tilde + 1;
    }
    out->vehicleMake = fields[0];
    out->vehicleModel = fields[1];
    out->engineType = fields[2];
}

bool parseTable(const QString &text, int lineNo, TableValues *table, QString *error) {
    const int semicolon = text.indexOf(QLatin1Char(';'));
    if (semicolon < 0) {
        *error = lineError(lineNo, QStringLiteral("the table line does not end with ';' (the file "
                                                  "is incomplete)"));
        return false;
    }
    const QStringList parts = text.left(semicolon).split(QLatin1Char(','));
    // Every value is closed by ","; the piece after the last "," must be empty.
    const int values = int(parts.size()) - 1;
    const bool trailing = !parts.last().trimmed().isEmpty();
    if (values > TableCount || (values == TableCount && trailing)) {
        *error = lineError(lineNo,
                           QStringLiteral("the table holds more than %1 values").arg(TableCount));
        return false;
    }
    if (values < TableCount) {
        QString what =
            QStringLiteral("the table holds %1 values, expected %2").arg(values).arg(TableCount);
        if (trailing)
            what += QStringLiteral(" (the last, '%1', has no \",\" after it)")
                        .arg(parts.last().trimmed());
        *error = lineError(lineNo, what);
        return false;
    }
    TableValues result{};
    for (int k = 0; k < TableCount; ++k) {
        const QString value = parts.at(k);
        int v = 0;
        QString convError;
        if (!emu::num::parseInteger(value, &v, &convError)) {
            *error = lineError(lineNo, QStringLiteral("table value %1: %2").arg(k).arg(convError));
            return false;
        }
        if (v < 0 || v > 255) {
            *error = lineError(lineNo, QStringLiteral("table value %1: '%2' is not a byte value (0 "
                                                      "to 255)")
                                           .arg(k)
                                           .arg(value));
            return false;
        }
        result[k] = quint8(v);
    }
    *table = result;
    return true;
}
} // namespace

namespace SetupFile {

QString cleanVehicleText(const QString &text) {
    QString clean;
    clean.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('~'))
            clean += QLatin1Char('-');
        else if (isControl(c))
            clean += QLatin1Char(' ');
        else if (!isHiddenFormat(c))
            clean += c;
    }
    return clean;
}

QString printable(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (isHiddenFormat(c))
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

bool parse(const QByteArray &content, SetupFileData *out, QString *error) {
    QString dummy;
    QString &err = error ? *error : dummy;
    QStringList lines = decodeFile(content).split(QLatin1Char('\n'));
    for (QString &l : lines)
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    if (!lines.contains(kVersionMarker)) {
        err = notSetupFile();
        return false;
    }
    // A NUL would end a number early ("1<NUL>2" read as 1), an escape sequence would reach the
    // terminal of whoever prints the vehicle text: no control character but the line ends (LF
    // or CR LF).
    for (int i = 0; i < lines.size(); ++i) {
        const QString &l = lines.at(i);
        for (int pos = 0; pos < l.size(); ++pos) {
            if (isControl(l.at(pos))) { // a CR is only taken as part of a line end
                err = lineError(i + 1, QStringLiteral("control character %1 at position %2; a "
                                                      "setup file holds none")
                                           .arg(printable(l.mid(pos, 1)))
                                           .arg(pos + 1));
                return false;
            }
            if (isHiddenFormat(l.at(pos))) {
                err = lineError(i + 1, QStringLiteral("invisible character %1 at position %2 "
                                                      "(it changes how the text around it is "
                                                      "shown); a setup file holds none")
                                           .arg(codePoint(l.at(pos)))
                                           .arg(pos + 1));
                return false;
            }
        }
    }

    SetupFileData data;
    bool haveIdentity = false, haveTable = false;
    const int n = int(lines.size());
    // Like the classic reader: a marker consumes the next line, and that line is then checked
    // for the next marker in turn.
    auto takeNext = [&](int &i, const QString &marker) {
        ++i;
        if (i >= n) {
            err = lineError(i, QStringLiteral("the line after \"%1\" is missing").arg(marker));
            return false;
        }
        return true;
    };
    for (int i = 0; i < n; ++i) {
        if (lines.at(i) == kVersionMarker) {
            if (!takeNext(i, kVersionMarker) ||
                !parseIdentity(lines.at(i), i + 1, &data.identity, &err))
                return false;
            haveIdentity = true;
        }
        if (lines.at(i) == kVehicleMarker) {
            if (!takeNext(i, kVehicleMarker)) return false;
            parseVehicle(lines.at(i), &data);
        }
        if (lines.at(i) == kTableMarker) {
            if (!takeNext(i, kTableMarker) || !parseTable(lines.at(i), i + 1, &data.table, &err))
                return false;
            haveTable = true;
        }
    }
    if (!haveIdentity) {
        err = notSetupFile();
        return false;
    }
    if (!haveTable) {
        err = QStringLiteral("The setup file has no \"%1\" section.").arg(kTableMarker);
        return false;
    }
    if (out) *out = data;
    return true;
}

bool read(const QString &path, SetupFileData *out, QString *error) {
    if (!emu::files::checkSource(path, error)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > MaxFileSize) {
        if (error) *error = QStringLiteral("\"%1\" is too large to be a setup file.").arg(path);
        return false;
    }
    const QByteArray content = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return parse(content, out, error);
}

void apply(const SetupFileData &data, EmuImage &image) {
    image.identity = data.identity;
    image.vehicleMake = data.vehicleMake;
    image.vehicleModel = data.vehicleModel;
    image.engineType = data.engineType;
    std::copy(data.table.begin(), data.table.end(), image.fileTable());
}

TableValues tableFromReply(const QByteArray &reply) {
    TableValues table{};
    emu::link::copyReply(reply, table.data(), emu::link::ImageStreamMax);
    return table;
}

TableValues tableFromEncoded(const QByteArray &encoded) {
    // All 457 bytes are copied, zero bytes included: a raw value of 255 (a jet of 255, a coil
    // combination byte 0, an out-of-range map value) encodes as 0, and stopping there would
    // drop every later map byte. The reader takes all 458 values anyway.
    TableValues table{};
    for (int i = 0; i < TableCount - 1 && i < encoded.size(); ++i)
        table[i] = quint8(encoded.at(i));
    return table;
}

QByteArray format(const std::array<quint8, 7> &identity, const QString &make, const QString &model,
                  const QString &engine, const TableValues &table) {
    QByteArray text;
    text.reserve(2200);
    const char *eol = "\r\n";
    text += kVersionMarker.toLatin1() + eol;
    text += identityLine(identity) + eol;
    text += kVehicleMarker.toLatin1() + eol;
    text += encodeLine(cleanVehicleText(make) + QLatin1Char('~') + cleanVehicleText(model) +
                       QLatin1Char('~') + cleanVehicleText(engine) + QLatin1Char('~')) +
            eol;
    text += kTableMarker.toLatin1() + eol;
    for (quint8 b : table)
        text += QByteArray::number(b) + ',';
    text += QByteArray(";") + eol;
    text += kEofMarker.toLatin1() + eol;
    return text;
}

bool write(const QString &path, const QByteArray &content, QString *error) {
    return emu::files::save(path, content, error);
}

} // namespace SetupFile
