#pragma once
// The setup block's field table: every interpreted offset with its name, editor, caption, unit
// and the conversion between the stored byte and what the Setup page shows.
#include "model/EmuImage.h"

#include <QString>
#include <optional>
#include <vector>

enum class FieldKind {
    Number,     // value x scale, shown with `decimals`
    Check,      // 1 off, 2 active
    RadioGroup, // item index = value (coil combination: byte - 1)
    OutputSource,
    OutputLimit, // display units follow the output's source
    SerialDigit, // 0..99, two digits
    SerialLetter,
    Hidden, // TPS minimum and span: not on the Setup page
};

struct SetupField {
    const char *name;    // identifier, e.g. "Cylinders"
    int offset;          // also the parameter code
    const char *editor;  // control name, e.g. "Edit12"
    const char *caption; // as on screen, e.g. "Cylinders"
    const char *unit;    // "RPM", "ms", "bar", "V", "%", "°C", ... ("" for none)
    FieldKind kind;
    double scale;              // display = value x scale (Number fields)
    int decimals;              // decimals shown (Number fields)
    double min, max;           // editor range in display units (min == max == 0: none)
    QStringList items() const; // radio group captions
};

namespace emu::model {
const std::vector<SetupField> &setupFields(); // in offset order
const SetupField *setupField(const QString &name);
const SetupField *setupFieldAt(int offset);
// Display value of a field as the Setup page shows it; nullopt when the byte is 255 (unset).
// Special rules: RPM range 0 reads 7000, vacuum thresholds 0 read 0.1 / 0.9, coil combination
// byte 0 reads as item 0, output limits use their source's conversion (source 0 gives 0), the
// jets read byte 0 as 255.
std::optional<double> displayValue(const EmuImage &image, const SetupField &field);
// Check fields give 1 (checked: value 2) or 0; radio groups and sources the item index.
// Display text ("4500", "0.8", "Wasted Spark", "on", "A" ...); "" when unset.
QString displayText(const EmuImage &image, const SetupField &field);
// Output limits: device <-> display units for a source code (0 None .. 6 Air Temp). The device
// value comes back rounded (halves to even); a code without a rule converts 1:1.
double outputDisplayFromDevice(int source, double device);
double outputDeviceFromDisplay(int source, double display);
QString outputSourceName(int source); // "None", "RPM", ... "Air Temp"; "" outside 0..6
// Raw value of a Number field from its display value: Round(display / scale).
int rawFromDisplay(const SetupField &field, double display);
} // namespace emu::model
