#pragma once
// The program's copy of what the EMU holds: identity block, setup block, file table area and the
// buffers of the table write stream, at the fixed offsets the rest of the program relies on.
#include "link/EmuLink.h"

#include <QString>
#include <algorithm>
#include <array>

class QByteArray;

namespace emu::model {
// Offsets of the setup block (value + 1 in every byte, 255 = the EMU lacks the field).
enum SetupOffset : int {
    OffTimingSensorBtdc = 0,
    OffGearTeeth = 1,
    OffIdleJet = 2,
    OffMainJet = 3,
    OffStartPrimePulse = 4,
    OffTpsSensor = 5,
    OffWaterTempSensor = 6,
    OffAirTempSensor = 7,
    OffLambdaSensor = 8,
    OffMapSensor = 9,
    OffLambdaTarget = 10,
    OffLambdaControlPercent = 11,
    OffLambdaControlDelay = 12,
    OffLambdaControlVariable = 13,
    OffTuningPotInput = 14,
    OffFuelCutRpm = 15,
    OffFuelCutVacuum = 16,
    OffFuelCutTps = 17,
    OffMapPumpSensitivity = 23,
    OffMapPumpEnrichment = 24,
    OffMapPumpMaxRpm = 25,
    OffTpsPumpSensitivity = 26,
    OffTpsPumpEnrichment = 27,
    OffTpsPumpMaxRpm = 28,
    OffOutput1Source = 29,
    OffOutput1Min = 30,
    OffOutput1Max = 31,
    OffOutput2Source = 32,
    OffOutput2Min = 33,
    OffOutput2Max = 34,
    OffIdleRpm = 35,
    OffIdleStartPercent = 36,
    OffAccelPumpMode = 37,
    OffTpsMinimum = 38,
    OffTpsSpan = 39,
    OffLowThrottleVacuum = 40,
    OffHighThrottleVacuum = 41,
    OffMaxFueling = 42,
    OffStartEnrichment = 43,
    OffWaterTempCalibration = 44,
    OffTdcSensor = 45,
    OffLaunchRpmLimit = 46,
    OffLaunchTiming = 47,
    OffLaunchFuel = 48,
    OffTwoStroke = 49,
    OffAirTempCalibration = 50,
    OffTrailingDegrees = 51,
    OffMapSensorCalibration = 52,
    OffCylinders = 80,
    OffRpmRange = 81,
    OffCoilTime = 82,
    OffMapSensorRange = 83,
    OffRpmLimiter = 84,
    OffCoilCombination = 86,
    OffSerialNumber1 = 94,
    OffSerialNumber2 = 95,
    OffSerialNumber3 = 96,
    OffSerialHardware = 97,
    OffSerialLetter1 = 98,
    OffSerialLetter2 = 99,
};
constexpr quint8 Unset = 255;
} // namespace emu::model

class EmuImage {
public:
    static constexpr int SetupSize = emu::link::SetupSize;
    static constexpr int TerminatorOffset = 101;
    static constexpr int FileTableOffset = 104;
    static constexpr int FileTableSize = emu::link::TableStreamSize;
    static constexpr int EncodedOffset = 564;
    static constexpr int RawStreamOffset = 1024;
    static constexpr int Size = 1482;
    static constexpr int IdentitySize = emu::link::IdentitySize;

    EmuImage() {
        bytes.fill(0);
        identity.fill(0);
    }

    std::array<quint8, Size> bytes;
    std::array<quint8, IdentitySize> identity;
    QString vehicleMake, vehicleModel, engineType;

    quint8 setupByte(int offset) const { return bytes[offset]; }
    void setSetupByte(int offset, quint8 b) { bytes[offset] = b; }
    bool isUnset(int offset) const { return bytes[offset] == emu::model::Unset; }
    // byte - 1 (the field's raw value).
    int value(int offset) const { return int(bytes[offset]) - 1; }
    // Store a raw value as value + 1 (modulo 256).
    void storeValue(int offset, int value) { bytes[offset] = quint8((value + 1) & 0xFF); }

    quint8 *setup() { return bytes.data(); }
    const quint8 *setup() const { return bytes.data(); }
    quint8 *fileTable() { return bytes.data() + FileTableOffset; }
    const quint8 *fileTable() const { return bytes.data() + FileTableOffset; }
    quint8 *encodedStream() { return bytes.data() + EncodedOffset; }
    quint8 *rawStream() { return bytes.data() + RawStreamOffset; }

    // Setup block bytes 0..100 set to 48 ("0").
    void fillSetup();
    // Identity bytes set to 48.
    void fillIdentity();
    // Copies file table offsets 0..100 (image 104..204) into the setup block and writes the
    // terminator at 101 (connect in file mode). All 101 bytes are copied, zero bytes included:
    // a file holds the jet value 255 and the coil combination byte 0 as 0.
    void copySetupFromFileTable();
    // Fills from EMU replies: fill bytes 48 first, then the reply up to its first zero byte, at
    // most 7 (identity), 101 (setup, a 0 written behind the last copied byte) or 457 (file table
    // area, the rest keeps 48).
    void fillIdentityFrom(const QByteArray &reply);
    void fillSetupFrom(const QByteArray &reply);
    void fillFileTableFrom(const QByteArray &reply);

    // "56" for a live EMU, "44" for a setup file.
    QString signature() const;
    int modelCode() const { return identity[1]; }
    // "AB-051299-01" from offsets 94..99.
    QString serialText() const;
};

// The 458 values of a table: the image stream as a setup file and the table write carry it.
using TableValues = std::array<quint8, emu::link::TableStreamSize>;

struct Capabilities {
    bool timing = false;
    bool vacuum = false;
    bool fuel = false;
    bool operator==(const Capabilities &o) const {
        return timing == o.timing && vacuum == o.vacuum && fuel == o.fuel;
    }
};

namespace emu::model {
// Module type name and capabilities of a model code (1, 2, 3, 5, 6); false for any other code,
// which leaves *moduleTypeName and *caps as they were.
bool modelInfo(int modelCode, QString *moduleTypeName, Capabilities *caps);
} // namespace emu::model
