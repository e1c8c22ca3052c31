#include "model/EmuImage.h"

#include "link/EmuLink.h"

#include <QByteArray>

using emu::link::FillByte;

void EmuImage::fillSetup() {
    std::fill(bytes.begin(), bytes.begin() + SetupSize, FillByte);
}

void EmuImage::fillIdentity() {
    identity.fill(FillByte);
}

void EmuImage::fillIdentityFrom(const QByteArray &reply) {
    emu::link::fillAndCopy(reply, identity.data(), IdentitySize, IdentitySize, true);
}

void EmuImage::fillSetupFrom(const QByteArray &reply) {
    const int n = emu::link::fillAndCopy(reply, bytes.data(), SetupSize, SetupSize, false);
    bytes[n] = 0; // behind the last copied byte; offset 101 when the block is complete
}

void EmuImage::fillFileTableFrom(const QByteArray &reply) {
    emu::link::fillAndCopy(reply, fileTable(), FileTableSize, emu::link::ImageStreamMax, false);
}

void EmuImage::copySetupFromFileTable() {
    // Every one of the 101 bytes is copied, zero bytes included: a file stores the main or idle
    // jet 255 and a coil combination byte 0 as 0, and stopping there would replace the rest of
    // the setup block with fill bytes.
    std::copy(fileTable(), fileTable() + SetupSize, bytes.begin());
    bytes[TerminatorOffset] = 0;
}

QString EmuImage::signature() const {
    return QString::number(identity[5]) + QString::number(identity[6]);
}

QString EmuImage::serialText() const {
    auto letter = [this](int offset) {
        const quint8 code = quint8(value(offset) & 0xFF);
        return code == 0 ? QString() : QString(QChar(code));
    };
    auto digits = [this](int offset) {
        return QStringLiteral("%1").arg(value(offset), 2, 10, QLatin1Char('0'));
    };
    return letter(emu::model::OffSerialLetter1) + letter(emu::model::OffSerialLetter2) +
           QLatin1Char('-') + digits(emu::model::OffSerialNumber1) +
           digits(emu::model::OffSerialNumber2) + digits(emu::model::OffSerialNumber3) +
           QLatin1Char('-') + digits(emu::model::OffSerialHardware);
}

namespace emu::model {
bool modelInfo(int modelCode, QString *moduleTypeName, Capabilities *caps) {
    QString name;
    Capabilities c;
    switch (modelCode) {
    case 1:
        name = QStringLiteral("Timing and Vacuum");
        c.timing = c.vacuum = true;
        break;
    case 2:
        name = QStringLiteral("Fuel");
        c.fuel = true;
        break;
    case 3:
        name = QStringLiteral("Fuel and Timing");
        c.timing = c.vacuum = c.fuel = true;
        break;
    case 5:
    case 6:
        name = QStringLiteral("Advanced Fuel and Timing");
        c.timing = c.vacuum = c.fuel = true;
        break;
    default:
        return false;
    }
    if (moduleTypeName) *moduleTypeName = name;
    if (caps) *caps = c;
    return true;
}
} // namespace emu::model
