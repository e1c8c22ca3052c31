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
    std::array<quint8, 458> table{}; // the image stream values, each + 1
};

namespace SetupFile {
// Parse file content. On failure returns false and *error names the line and the offending
// text in the runtime's words ("'x' is not a valid integer value").
bool parse(const QByteArray &content, SetupFileData *out, QString *error);
bool read(const QString &path, SetupFileData *out, QString *error);
// Identity block, vehicle information and file table area (image 104..561) from the data.
void apply(const SetupFileData &data, EmuImage &image);

// The 458 table values from an image stream reply (at most 457 bytes, up to the first zero).
std::array<quint8, 458> tableFromReply(const QByteArray &reply);
// The 458 table values from the encoded copy of the table write stream.
std::array<quint8, 458> tableFromEncoded(const QByteArray &encoded);

// The whole file text for an identity, vehicle and table.
QByteArray format(const std::array<quint8, 7> &identity, const QString &make, const QString &model,
                  const QString &engine, const std::array<quint8, 458> &table);
// Write atomically; on failure *error says why and any existing file is untouched.
bool write(const QString &path, const QByteArray &content, QString *error);
} // namespace SetupFile
