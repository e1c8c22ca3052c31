#pragma once
// `.emu` setup files: seven CR LF lines with the markers "#EMU Version", "#VehicleInfo",
// "#Table", "#EOF". Reading parses the whole file first and changes nothing unless it is valid;
// writing goes through a temporary file, so a failed save never leaves a truncated file.
#include "model/EmuImage.h"

#include <QByteArray>
#include <QString>
#include <array>

struct SetupFileData {
    std::array<quint8, 7> identity{};
    QString vehicleMake, vehicleModel, engineType;
    TableValues table{}; // the image stream values, each + 1
};

namespace SetupFile {
// Parse file content. On failure returns false, leaves *out untouched, and *error names the
// line and the offending text in the runtime's words ("'x' is not a valid integer value").
// The bytes are read as UTF-8 when they are valid UTF-8, else as Windows-1252.
// Refused: a control character anywhere but in the line ends (LF or CR LF), no "#EMU Version" or
// "#Table" section, an identity line that is not 8 digits (or the widened form, see SetupFile.cpp),
// a table line without ";", with more or fewer than 458 values, or with a value outside 0 to 255. A
// missing "#VehicleInfo" gives empty strings; the vehicle line is split at its first three "~"
// however long it is.
bool parse(const QByteArray &content, SetupFileData *out, QString *error);
bool read(const QString &path, SetupFileData *out, QString *error);
// Identity block, vehicle information and file table area (image 104..561) from the data.
void apply(const SetupFileData &data, EmuImage &image);

// The 458 table values from an image stream reply (at most 457 bytes, up to the first zero).
TableValues tableFromReply(const QByteArray &reply);
// The 458 table values from the first 457 bytes of a stream copy, zero bytes included (a raw
// 255 encodes as 0 and must not end the dump); the last value is 0. For "Save From Memory" pass
// TableStream::fileTable, which has the image stream layout whatever the capabilities.
TableValues tableFromEncoded(const QByteArray &encoded);

// The vehicle boxes take at most this many characters each.
constexpr int VehicleTextMax = 18;

// Vehicle text as the file can hold it: "~" becomes "-", control characters a space, and the
// invisible characters that change how text around them shows (direction overrides and
// isolates, zero-width characters, direction marks, U+FEFF) are dropped. format() applies it, so
// a written file reads back to what it holds; parse() refuses a file holding any of them.
QString cleanVehicleText(const QString &text);
// Text for a terminal or a message: control characters shown as "\x1b", the invisible ones as
// "\u202e".
QString printable(const QString &text);

// The whole file text for an identity, vehicle and table (seven CR LF lines).
QByteArray format(const std::array<quint8, 7> &identity, const QString &make, const QString &model,
                  const QString &engine, const TableValues &table);
// The vehicle line is written in Windows-1252 when every character fits, else in UTF-8.
// Write atomically; on failure *error says why and any existing file is untouched. A target
// that is not a regular file (a device, FIFO, folder) is refused and left as it is.
bool write(const QString &path, const QByteArray &content, QString *error);
} // namespace SetupFile
