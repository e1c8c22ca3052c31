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

// How the Setup page takes an entry in a field's editor. The text boxes run on every change of
// their text; an entry outside min..max (or whose value does not fit the block) is rejected as
// the rule says and never sent.
enum class Entry {
    None,             // not edited on the Setup page
    PutBack,          // text box: a rejected entry puts the last accepted value back
    PutBackStored,    // the same, putting back the value the block holds
    ResetToZero,      // text box: a rejected entry sets the text "0"
    ResetToZeroWhole, // the same; the range test reads a decimal, the value sent a whole number
    Quiet,         // whole number, rejected -> "0"; the modified flag and buttons stay as they are
    Calibration,   // Quiet, an empty text is ignored; shown by its Calibrate button
    Slider,        // horizontal track bar, position = value; marks the setup modified
    SliderTopMax,  // vertical track bar, the top is the largest value (value = max - position + 1)
    CheckBox,      // checked sends 2, unchecked 1
    Radio,         // radio group, min + item index sent
    SourceButtons, // one radio button per source code
};

struct SetupField {
    const char *name;    // identifier, e.g. "Cylinders"
    int offset;          // also the parameter code
    const char *editor;  // control name, e.g. "Edit12"
    const char *caption; // as on screen, e.g. "Cylinders"
    const char *unit;    // "RPM", "ms", "bar", "V", "%", "°C", ... ("" for none)
    FieldKind kind;
    double scale;    // display = value x scale (Number fields)
    int decimals;    // decimals shown (Number fields)
    double min, max; // editor range in display units (min == max == 0: none)
    Entry entry = Entry::None;
    // The track bar's read-only box; a sensor's or a calibration edit's Calibrate button.
    const char *companion = "";
    double zeroReads = 0; // shown instead of a stored 0 (0: no such rule)
    int boundBy = -1;     // offset whose working value replaces max (-1: none)

    QStringList items() const;                    // radio group captions, source names
    QStringList itemEditors() const;              // source buttons, in source code order
    bool decimal() const { return decimals > 0; } // text read as a decimal number
};

// When the Setup page fills its editors from the block.
enum class Decode {
    Load,         // connect, file open: every field the page shows
    AfterWrite,   // after a table write: engine, outputs, timing, Map pump values
    AfterDiscard, // "Discard": the engine boxes and output 1's limits
};

namespace emu::model {
// The main and idle jets (offsets 3 and 2) hold 0 to 255. Their setup byte carries value + 1
// modulo 256 (EmuImage::storeValue, as every field), so the jet 255 is stored as byte 0, and
// jetValue reads a byte of 0 as 255, not as -1.
constexpr int JetMin = 0;
constexpr int JetMax = 255;
bool isJet(int offset);
int jetValue(quint8 stored);

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
// Raw value of a Number field from its display value, before rounding: display / scale, computed
// as display x (1 / scale) for fractional scales so that 0.125 bar gives exactly 12.5.
double rawValue(const SetupField &field, double display);
// Raw value rounded to the nearest whole number, ties to even.
int rawFromDisplay(const SetupField &field, double display);
// Display value of a Number field's raw value: value x scale, rounded to its decimals.
double displayFromRaw(const SetupField &field, int value);
// The source field of an output limit (offsets 30, 31 -> 29; 33, 34 -> 32).
int sourceOffsetOf(int limitOffset);
// Unit of an output limit under source code 0..6 ("" for None and unknown codes).
QString outputSourceUnit(int source);
// The fields the Setup page fills, in the order it fills them.
std::vector<const SetupField *> decodeOrder(Decode which);
} // namespace emu::model
