#include "model/EmuImage.h"

#include <QByteArray>

namespace {
constexpr quint8 FillByte = 0x30; // the character "0"
} // namespace

void EmuImage::fillSetup() {
    std::fill(bytes.begin(), bytes.begin() + SetupSize, FillByte);
}

void EmuImage::fillIdentity() {
    identity.fill(FillByte);
}

void EmuImage::fillIdentityFrom(const QByteArray &reply) {
    fillIdentity();
    int n = 0;
    while (n < IdentitySize && n < reply.size() && reply.at(n) != '\0') {
        identity[n] = quint8(reply.at(n));
        ++n;
    }
    if (n < IdentitySize) identity[n] = 0;
}

void EmuImage::fillSetupFrom(const QByteArray &reply) {
    fillSetup();
    int n = 0;
    while (n < SetupSize && n < reply.size() && reply.at(n) != '\0') {
        bytes[n] = quint8(reply.at(n));
        ++n;
    }
    bytes[n] = 0; // behind the last copied byte; offset 101 when the block is complete
}

void EmuImage::fillFileTableFrom(const QByteArray &reply) {
    quint8 *table = fileTable();
    std::fill(table, table + FileTableSize, FillByte);
    for (int n = 0; n < FileTableSize - 1 && n < reply.size() && reply.at(n) != '\0'; ++n)
        table[n] = quint8(reply.at(n));
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
    return letter(Emu::OffSerialLetter1) + letter(Emu::OffSerialLetter2) + QLatin1Char('-') +
           digits(Emu::OffSerialNumber1) + digits(Emu::OffSerialNumber2) +
           digits(Emu::OffSerialNumber3) + QLatin1Char('-') + digits(Emu::OffSerialHardware);
}

namespace Emu {
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
} // namespace Emu
