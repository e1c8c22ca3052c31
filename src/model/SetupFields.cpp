#include "model/SetupFields.h"

#include "model/Numbers.h"

#include <QStringList>
#include <cmath>

namespace {
using K = FieldKind;
using E = Entry;
// Number fields without an editor range carry min == max == 0; a radio group's range is the value
// of its first and last item.
//
// The Setup page refuses any value whose stored byte (value + 1) would not fit a byte: the EMU
// would hold it as 0, and a 0 inside the setup block ends every later image read at that byte.
// So the start prime pulse and the calibration numbers stop at 254, not at 255 or 499.
const std::vector<SetupField> kFields = {
    {"TimingSensorBtdc", 0, "Edit100", "Timing Sensor °BTDC", "°", K::Number, 1, 0, 0, 180,
     E::PutBack},
    {"GearTeeth", 1, "Edit34", "Gear Teeth", "", K::Number, 1, 0, 1, 60, E::PutBack},
    {"IdleJet", 2, "Edit32", "Idle Jet", "", K::Number, 1, 0, 0, 0},
    {"MainJet", 3, "Edit28", "Main Jet", "", K::Number, 1, 0, 0, 0},
    {"StartPrimePulse", 4, "Edit33", "Start Prime Pulse", "", K::Number, 1, 0, 0, 254, E::Quiet},
    {"TpsSensor", 5, "CheckBox1", "Throttle Position Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox,
     "CalBtn"},
    {"WaterTempSensor", 6, "CheckBox6", "Water Temp Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox,
     "Button1"},
    {"AirTempSensor", 7, "CheckBox4", "Air Temp Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox,
     "Button2"},
    {"LambdaSensor", 8, "CheckBox2", "Lambda Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox},
    {"MapSensor", 9, "CheckBox5", "Map Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox, "Button3"},
    {"LambdaTarget", 10, "TrackBar7", "Target Volts", "V", K::Number, 0.01, 2, 0.25, 0.75,
     E::Slider, "Edit48"},
    {"LambdaControlPercent", 11, "Edit49", "Control Percentage", "%", K::Number, 1, 0, 0, 100,
     E::Quiet},
    {"LambdaControlDelay", 12, "Edit50", "Control Delay ", "", K::Number, 1, 0, 5, 25, E::Quiet},
    {"LambdaControlVariable", 13, "Edit51", "Control Variable", "", K::Number, 1, 0, 5, 25,
     E::Quiet},
    {"TuningPotInput", 14, "RadioGroup4", "Tuning POT Input", "", K::RadioGroup, 1, 0, 0, 4,
     E::Radio},
    {"FuelCutRpm", 15, "Edit41", "Fuel Cut-off RPM", "RPM", K::Number, 100, 0, 0, 10000,
     E::ResetToZero},
    {"FuelCutVacuum", 16, "Edit57", "Fuel Cut-off Vac", "bar", K::Number, 0.01, 2, 0, 3,
     E::ResetToZero},
    {"FuelCutTps", 17, "Edit56", "Fuel Cut-off TPS", "%", K::Number, 1, 0, 0, 100, E::ResetToZero},
    {"MapPumpSensitivity", 23, "TrackBar3", "Sensitivity", "", K::Number, 1, 0, 1, 10,
     E::SliderTopMax, "Edit46"},
    {"MapPumpEnrichment", 24, "TrackBar4", "% Enrichment", "%", K::Number, 10, 0, 10, 100,
     E::SliderTopMax, "Edit47"},
    {"MapPumpMaxRpm", 25, "TrackBar5", "Max RPM", "RPM", K::Number, 100, 0, 100, 4000,
     E::SliderTopMax, "Edit42"},
    {"TpsPumpSensitivity", 26, "TrackBar2", "Sensitivity", "", K::Number, 1, 0, 1, 10,
     E::SliderTopMax, "Edit44"},
    {"TpsPumpEnrichment", 27, "TrackBar1", "% Enrichment", "%", K::Number, 10, 0, 10, 100,
     E::SliderTopMax, "Edit45"},
    {"TpsPumpMaxRpm", 28, "TrackBar6", "Max RPM", "RPM", K::Number, 100, 0, 100, 4000,
     E::SliderTopMax, "Edit43"},
    {"Output1Source", 29, "RadioButton1", "Output 1", "", K::OutputSource, 1, 0, 0, 0,
     E::SourceButtons},
    {"Output1Min", 30, "Edit16", "Min", "", K::OutputLimit, 1, 2, 0, 10000, E::PutBack},
    {"Output1Max", 31, "Edit17", "Max", "", K::OutputLimit, 1, 2, 0, 10000, E::PutBack},
    {"Output2Source", 32, "RadioButton8", "Output 2", "", K::OutputSource, 1, 0, 0, 0,
     E::SourceButtons},
    {"Output2Min", 33, "Edit1", "Min", "", K::OutputLimit, 1, 2, 0, 10000, E::PutBack},
    {"Output2Max", 34, "Edit24", "Max", "", K::OutputLimit, 1, 2, 0, 10000, E::PutBack},
    {"IdleRpm", 35, "Edit39", "RPM", "RPM", K::Number, 100, 0, 0, 10000, E::ResetToZero},
    {"IdleStartPercent", 36, "Edit40", "Start %", "%", K::Number, 1, 0, 0, 199, E::Quiet},
    {"AccelPumpMode", 37, "RadioGroup2", "Accelerator Pump", "", K::RadioGroup, 1, 0, 0, 3,
     E::Radio},
    {"TpsMinimum", 38, "", "TPS minimum", "", K::Hidden, 1, 0, 0, 0},
    {"TpsSpan", 39, "", "TPS span", "", K::Hidden, 1, 0, 0, 0},
    {"LowThrottleVacuum", 40, "Edit37", "Low throttle vacuum ", "bar", K::Number, 0.01, 2, 0, 3,
     E::ResetToZero, "", 0.1},
    {"HighThrottleVacuum", 41, "Edit38", "High throttle vacuum", "bar", K::Number, 0.01, 2, 0, 3,
     E::ResetToZero, "", 0.9},
    {"MaxFueling", 42, "Edit36", "Max Fueling ", "", K::Number, 0.1, 1, 0, 25, E::ResetToZero},
    {"StartEnrichment", 43, "Edit35", "Start enrichment ", "", K::Number, 0.1, 1, 0, 25,
     E::ResetToZero},
    {"WaterTempCalibration", 44, "Edit52", "Water Temp Calibration", "", K::Number, 1, 0, 0, 254,
     E::Calibration, "Button1"},
    {"TdcSensor", 45, "CheckBox3", "TDC Sensor", "", K::Check, 1, 0, 0, 0, E::CheckBox},
    {"LaunchRpmLimit", 46, "Edit53", "RPM Limiter ", "RPM", K::Number, 100, 0, 0, 10000,
     E::ResetToZeroWhole},
    {"LaunchTiming", 47, "Edit54", "Timing °", "°", K::Number, 1, 0, 0, 90, E::PutBackStored},
    {"LaunchFuel", 48, "Edit55", "Fuel %", "%", K::Number, 1, 0, 0, 199, E::Quiet},
    {"TwoStroke", 49, "CheckBox20", "Two Stroke", "", K::Check, 1, 0, 0, 0, E::CheckBox},
    {"AirTempCalibration", 50, "Edit58", "Air Temp Calibration", "", K::Number, 1, 0, 0, 254,
     E::Calibration, "Button2"},
    {"TrailingDegrees", 51, "Edit59", "Trailing Degrees", "°", K::Number, 1, 0, 0, 180, E::PutBack},
    {"MapSensorCalibration", 52, "Edit60", "Map Sensor Calibration", "", K::Number, 1, 0, 0, 254,
     E::Calibration, "Button3"},
    {"Cylinders", 80, "Edit12", "Cylinders", "", K::Number, 1, 0, 1, 12, E::PutBack},
    {"RpmRange", 81, "Edit13", "RPM Range", "RPM", K::Number, 100, 0, 0, 10000, E::PutBack, "",
     7000},
    {"CoilTime", 82, "Edit14", "Coil Time (ms)", "ms", K::Number, 0.5, 1, 0, 100, E::PutBack},
    {"MapSensorRange", 83, "Edit15", "Map Sensor (kPa x10)", "kPa x10", K::Number, 1, 0, 0, 30,
     E::PutBack},
    {"RpmLimiter", 84, "Edit20", "RPM Limiter", "RPM", K::Number, 100, 0, 0, 10000, E::PutBack, "",
     0, emu::model::OffRpmRange},
    {"CoilCombination", 86, "RadioGroup3", "Coil Combination", "", K::RadioGroup, 1, 0, 1, 3,
     E::Radio},
    {"SerialNumber1", 94, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialNumber2", 95, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialNumber3", 96, "", "Serial Number", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialHardware", 97, "", "H/W", "", K::SerialDigit, 1, 0, 0, 99},
    {"SerialLetter1", 98, "", "Cust", "", K::SerialLetter, 1, 0, 0, 0},
    {"SerialLetter2", 99, "", "Cust", "", K::SerialLetter, 1, 0, 0, 0},
};

// The order in which the Setup page fills its editors: the output sources first (their limits
// follow the source), the engine and output boxes, timing, sensors, fuel, idle and launch, the
// radio groups, the pump track bars, the vacuum thresholds, lambda and the calibration numbers.
// A fill that changes an editor runs its handler, so this is also the order of the writes.
const int kDecodeOrder[] = {29, 32, 80, 81, 82, 83, 84, 30, 31, 33, 34, 0,  1,  51, 5,  8,  45,
                            7,  9,  6,  49, 43, 42, 4,  15, 16, 17, 35, 36, 46, 47, 48, 86, 14,
                            37, 27, 26, 23, 24, 25, 28, 40, 41, 10, 11, 12, 13, 44, 50, 52};
const int kAfterWrite[] = {29, 32, 80, 81, 82, 83, 84, 30, 31, 33, 34, 0, 1, 51, 23, 24, 25};
const int kAfterDiscard[] = {29, 80, 81, 82, 83, 84, 30, 31};

const char *const kSourceUnits[] = {"", "RPM", "bar", "%", "V", "°C", "°C"};

const char *const kSourceNames[] = {"None",   "RPM",        "Vacuum",  "TPS",
                                    "Lambda", "Water Temp", "Air Temp"};

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

QStringList SetupField::itemEditors() const {
    // Output 1: RadioButton1..6 for RPM..Air Temp, RadioButton7 for None; output 2 has None
    // after TPS.
    static const int buttons[2][7] = {{7, 1, 2, 3, 4, 5, 6}, {11, 8, 9, 10, 12, 13, 14}};
    if (kind != FieldKind::OutputSource) return {};
    QStringList names;
    for (int b : buttons[offset == emu::model::OffOutput1Source ? 0 : 1])
        names << QStringLiteral("RadioButton%1").arg(b);
    return names;
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

bool isJet(int offset) {
    return offset == OffMainJet || offset == OffIdleJet;
}

int jetValue(quint8 stored) {
    return (int(stored) - 1) & 0xFF;
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
        if (isJet(off)) return double(jetValue(image.setupByte(off)));
        if (v == 0 && field.zeroReads != 0) return field.zeroReads;
        return displayFromRaw(field, v);
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

double rawValue(const SetupField &field, double display) {
    return field.scale >= 1 ? display / field.scale : display * std::round(1 / field.scale);
}

int rawFromDisplay(const SetupField &field, double display) {
    return num::roundInt(rawValue(field, display));
}

double displayFromRaw(const SetupField &field, int value) {
    return num::roundTo(value * field.scale, field.decimals);
}

int sourceOffsetOf(int limitOffset) {
    return limitOffset <= OffOutput1Max ? OffOutput1Source : OffOutput2Source;
}

QString outputSourceUnit(int source) {
    if (source < 0 || source > 6) return QString();
    return QString::fromUtf8(kSourceUnits[source]);
}

std::vector<const SetupField *> decodeOrder(Decode which) {
    std::vector<const SetupField *> fields;
    auto add = [&fields](const auto &offsets) {
        for (int off : offsets)
            fields.push_back(setupFieldAt(off));
    };
    switch (which) {
    case Decode::Load:
        add(kDecodeOrder);
        break;
    case Decode::AfterWrite:
        add(kAfterWrite);
        break;
    case Decode::AfterDiscard:
        add(kAfterDiscard);
        break;
    }
    return fields;
}
} // namespace emu::model
