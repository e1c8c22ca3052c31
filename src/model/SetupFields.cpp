#include "model/SetupFields.h"

#include "model/Numbers.h"

#include <QStringList>

namespace {
using K = FieldKind;
// Number fields without an editor range carry min == max == 0.
const std::vector<SetupField> kFields = {
    {"TimingSensorBtdc", 0, "Edit100", "Timing Sensor °BTDC", "°", K::Number, 1, 0, 0, 180},
    {"GearTeeth", 1, "Edit34", "Gear Teeth", "", K::Number, 1, 0, 1, 60},
    {"IdleJet", 2, "Edit32", "Idle Jet", "", K::Number, 1, 0, 0, 0},
    {"MainJet", 3, "Edit28", "Main Jet", "", K::Number, 1, 0, 0, 0},
    {"StartPrimePulse", 4, "Edit33", "Start Prime Pulse", "", K::Number, 1, 0, 0, 255},
    {"TpsSensor", 5, "CheckBox1", "Throttle Position Sensor", "", K::Check, 1, 0, 0, 0},
    {"WaterTempSensor", 6, "CheckBox6", "Water Temp Sensor", "", K::Check, 1, 0, 0, 0},
    {"AirTempSensor", 7, "CheckBox4", "Air Temp Sensor", "", K::Check, 1, 0, 0, 0},
    {"LambdaSensor", 8, "CheckBox2", "Lambda Sensor", "", K::Check, 1, 0, 0, 0},
    {"MapSensor", 9, "CheckBox5", "Map Sensor", "", K::Check, 1, 0, 0, 0},
    {"LambdaTarget", 10, "Edit48", "Target Volts", "V", K::Number, 0.01, 2, 0.25, 0.75},
    {"LambdaControlPercent", 11, "Edit49", "Control Percentage", "%", K::Number, 1, 0, 0, 100},
    {"LambdaControlDelay", 12, "Edit50", "Control Delay ", "", K::Number, 1, 0, 5, 25},
    {"LambdaControlVariable", 13, "Edit51", "Control Variable", "", K::Number, 1, 0, 5, 25},
    {"TuningPotInput", 14, "RadioGroup4", "Tuning POT Input", "", K::RadioGroup, 1, 0, 0, 0},
    {"FuelCutRpm", 15, "Edit41", "Fuel Cut-off RPM", "RPM", K::Number, 100, 0, 0, 10000},
    {"FuelCutVacuum", 16, "Edit57", "Fuel Cut-off Vac", "bar", K::Number, 0.01, 2, 0, 3},
    {"FuelCutTps", 17, "Edit56", "Fuel Cut-off TPS", "%", K::Number, 1, 0, 0, 100},
    {"MapPumpSensitivity", 23, "TrackBar3", "Sensitivity", "", K::Number, 1, 0, 1, 10},
    {"MapPumpEnrichment", 24, "TrackBar4", "% Enrichment", "%", K::Number, 10, 0, 10, 100},
    {"MapPumpMaxRpm", 25, "TrackBar5", "Max RPM", "RPM", K::Number, 100, 0, 100, 4000},
    {"TpsPumpSensitivity", 26, "TrackBar2", "Sensitivity", "", K::Number, 1, 0, 1, 10},
    {"TpsPumpEnrichment", 27, "TrackBar1", "% Enrichment", "%", K::Number, 10, 0, 10, 100},
    {"TpsPumpMaxRpm", 28, "TrackBar6", "Max RPM", "RPM", K::Number, 100, 0, 100, 4000},
    {"Output1Source", 29, "RadioButton1", "Output 1", "", K::OutputSource, 1, 0, 0, 0},
    {"Output1Min", 30, "Edit16", "Min", "", K::OutputLimit, 1, 2, 0, 10000},
    {"Output1Max", 31, "Edit17", "Max", "", K::OutputLimit, 1, 2, 0, 10000},
    {"Output2Source", 32, "RadioButton8", "Output 2", "", K::OutputSource, 1, 0, 0, 0},
    {"Output2Min", 33, "Edit1", "Min", "", K::OutputLimit, 1, 2, 0, 10000},
    {"Output2Max", 34, "Edit24", "Max", "", K::OutputLimit, 1, 2, 0, 10000},
    {"IdleRpm", 35, "Edit39", "RPM", "RPM", K::Number, 100, 0, 0, 10000},
    {"IdleStartPercent", 36, "Edit40", "Start %", "%", K::Number, 1, 0, 0, 199},
    {"AccelPumpMode", 37, "RadioGroup2", "Accelerator Pump", "", K::RadioGroup, 1, 0, 0, 0},
    {"TpsMinimum", 38, "", "TPS minimum", "", K::Hidden, 1, 0, 0, 0},
    {"TpsSpan", 39, "", "TPS span", "", K::Hidden, 1, 0, 0, 0},
    {"LowThrottleVacuum", 40, "Edit37", "Low throttle vacuum ", "bar", K::Number, 0.01, 2, 0, 3},
    {"HighThrottleVacuum", 41, "Edit38", "High throttle vacuum", "bar", K::Number, 0.01, 2, 0, 3},
    {"MaxFueling", 42, "Edit36", "Max Fueling ", "", K::Number, 0.1, 1, 0, 25},
    {"StartEnrichment", 43, "Edit35", "Start enrichment ", "", K::Number, 0.1, 1, 0, 25},
    {"WaterTempCalibration", 44, "Edit52", "", "", K::Number, 1, 0, 0, 499},
    {"TdcSensor", 45, "CheckBox3", "TDC Sensor", "", K::Check, 1, 0, 0, 0},
    {"LaunchRpmLimit", 46, "Edit53", "RPM Limiter ", "RPM", K::Number, 100, 0, 0, 10000},
    {"LaunchTiming", 47, "Edit54", "Timing °", "°", K::Number, 1, 0, 0, 90},
    {"LaunchFuel", 48, "Edit55", "Fuel %", "%", K::Number, 1, 0, 0, 199},
    {"TwoStroke", 49, "CheckBox20", "Two Stroke", "", K::Check, 1, 0, 0, 0},
    {"AirTempCalibration", 50, "Edit58", "", "", K::Number, 1, 0, 0, 499},
    {"TrailingDegrees", 51, "Edit59", "Trailing Degrees", "°", K::Number, 1, 0, 0, 180},
    {"MapSensorCalibration", 52, "Edit60", "", "", K::Number, 1, 0, 0, 499},
    {"Cylinders", 80, "Edit12", "Cylinders", "", K::Number, 1, 0, 1, 12},
    {"RpmRange", 81, "Edit13", "RPM Range", "RPM", K::Number, 100, 0, 0, 10000},
    {"CoilTime", 82, "Edit14", "Coil Time (ms)", "ms", K::Number, 0.5, 1, 0, 100},
    {"MapSensorRange", 83, "Edit15", "Map Sensor (kPa x10)", "kPa x10", K::Number, 1, 0, 0, 30},
    {"RpmLimiter", 84, "Edit20", "RPM Limiter", "RPM", K::Number, 100, 0, 0, 10000},
    {"CoilCombination", 86, "RadioGroup3", "Coil Combination", "", K::RadioGroup, 1, 0, 0, 0},
    {"SerialNumber1", 94, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialNumber2", 95, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialNumber3", 96, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialHardware", 97, "", "H/W", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialLetter1", 98, "", "Cust", "", K::SerialLetter, 1, 0, 0, 0},
    {"SerialLetter2", 99, "", "Cust", "", K::SerialLetter, 1, 0, 0, 0},
};

const char *const kSourceNames[] = {"None",   "RPM",        "Vacuum",  "TPS",
                                    "Lambda", "Water Temp", "Air Temp"};

// The output source of a limit field (offsets 30, 31 -> 29; 33, 34 -> 32).
int sourceOffsetOf(int limitOffset) {
    return limitOffset <= emu::model::OffOutput1Max ? emu::model::OffOutput1Source
                                                    : emu::model::OffOutput2Source;
}

// Item index of a radio group: byte 0 selects the first item, byte n item n - 1.
int radioIndex(quint8 byte) {
    return byte == 0 ? 0 : int(byte) - 1;
}
} // namespace

QStringList SetupField::items() const {
    switch (offset) {
    case emu::model::OffTuningPotInput:
        return {QStringLiteral("Off"), QStringLiteral("Injector"), QStringLiteral("Timing"),
                QStringLiteral("Battery"), QStringLiteral("Launch")};
    case emu::model::OffAccelPumpMode:
        return {QStringLiteral("None"), QStringLiteral("Map"), QStringLiteral("TPS"),
                QStringLiteral("Both")};
    case emu::model::OffCoilCombination:
        return {QStringLiteral("Single"), QStringLiteral("Wasted Spark"),
                QStringLiteral("Multi Coil")};
    case emu::model::OffOutput1Source:
    case emu::model::OffOutput2Source: {
        QStringList names;
        for (const char *n : kSourceNames)
            names << QString::fromLatin1(n);
        return names;
    }
    default:
        return {};
    }
}

namespace emu::model {
const std::vector<SetupField> &setupFields() {
    return kFields;
}

const SetupField *setupField(const QString &name) {
    for (const SetupField &f : kFields)
        if (name == QLatin1String(f.name)) return &f;
    return nullptr;
}

const SetupField *setupFieldAt(int offset) {
    for (const SetupField &f : kFields)
        if (f.offset == offset) return &f;
    return nullptr;
}

std::optional<double> displayValue(const EmuImage &image, const SetupField &field) {
    const int off = field.offset;
    if (field.kind == FieldKind::OutputLimit) {
        const int sourceOff = sourceOffsetOf(off);
        // A source of 0 forces both limits to 0, whatever they hold.
        if (!image.isUnset(sourceOff) && image.value(sourceOff) == 0) return 0.0;
        if (image.isUnset(off)) return std::nullopt;
        return outputDisplayFromDevice(image.value(sourceOff), image.value(off));
    }
    if (image.isUnset(off)) return std::nullopt;
    const int v = image.value(off);
    switch (field.kind) {
    case FieldKind::Check:
        return v == 2 ? 1.0 : 0.0;
    case FieldKind::RadioGroup:
        return double(radioIndex(image.setupByte(off)));
    case FieldKind::Number:
        if (off == OffMainJet || off == OffIdleJet)
            return double(v & 0xFF); // the jet 255 is stored as byte 0
        if (off == OffRpmRange && v == 0) return 7000.0;
        if (off == OffLowThrottleVacuum && v == 0) return 0.1;
        if (off == OffHighThrottleVacuum && v == 0) return 0.9;
        return num::roundTo(v * field.scale, field.decimals);
    default:
        return double(v);
    }
}

QString displayText(const EmuImage &image, const SetupField &field) {
    const std::optional<double> v = displayValue(image, field);
    if (!v) return QString();
    switch (field.kind) {
    case FieldKind::Check:
        return *v != 0 ? QStringLiteral("on") : QStringLiteral("off");
    case FieldKind::RadioGroup:
    case FieldKind::OutputSource: {
        const QStringList names = field.items();
        const int i = int(*v);
        return i >= 0 && i < names.size() ? names.at(i) : num::formatGeneral(*v);
    }
    case FieldKind::SerialDigit:
        return QStringLiteral("%1").arg(int(*v), 2, 10, QLatin1Char('0'));
    case FieldKind::SerialLetter: {
        const int code = int(*v) & 0xFF;
        return code == 0 ? QString() : QString(QChar(code));
    }
    default:
        return num::formatGeneral(*v);
    }
}

double outputDisplayFromDevice(int source, double device) {
    switch (source) {
    case 0:
        return 0;
    case 1:
        return device * 100;
    case 2:
    case 4:
        return num::roundTo(device / 100, 2);
    default: // TPS, water and air temperature, and codes without a rule
        return device;
    }
}

double outputDeviceFromDisplay(int source, double display) {
    switch (source) {
    case 0:
        return 0;
    case 1:
        return num::roundHalfEven(display / 100);
    case 2:
    case 4:
        return num::roundHalfEven(display * 100);
    default:
        return num::roundHalfEven(display);
    }
}

QString outputSourceName(int source) {
    if (source < 0 || source > 6) return QString();
    return QString::fromLatin1(kSourceNames[source]);
}

int rawFromDisplay(const SetupField &field, double display) {
    return num::roundInt(display / field.scale);
}
} // namespace emu::model
