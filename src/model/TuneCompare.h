#pragma once
// Where two tunes differ. A verification compares the image an EMU sends back with what was
// written, position by position; a tuner compares two tunes field by field and point by point.
#include "model/Maps.h"
#include "model/SetupFields.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace emu::model {

// ---- Image stream positions

// A position of the image stream that does not hold what was written.
struct StreamMismatch {
    int position = 0; // image stream position
    int expected = 0; // stored byte (value + 1)
    int got = -1;     // -1: the reply ended before it
};
// Compares a read image reply with `expected` (the image stream layout, each value + 1, as
// TableStream::fileTable holds it) over the setup block and every map section the capabilities
// give. The whole reply counts, zero bytes included; positions beyond its end are missing.
std::vector<StreamMismatch> compareImage(const QByteArray &expected, const QByteArray &reply,
                                         const Capabilities &caps);
// "setup byte 80 (Cylinders)" or "fuelRpmCruise point 4".
QString streamPositionName(int position);
// "fuelRpmCruise point 4: wrote 101, read back 99" (byte values as stored).
QString describeMismatch(const StreamMismatch &m);

// ---- Two tunes

// A setup, its maps and what decodes them.
struct TuneView {
    const EmuImage *image = nullptr;
    const EmuMaps *maps = nullptr;
    Capabilities caps;
    MapAxes axes;
};

// A tune held apart from the session: a setup file's, or an EMU image read the same way.
struct Tune {
    EmuImage image;
    EmuMaps maps;
    Capabilities caps;
    QString moduleType; // "" for a model code this program does not know
    MapAxes axes;
    // Decodes the image's file table area as file mode does: the setup block from it, the
    // module type and maps from the model code, R, N and S from the setup.
    void decodeFileTable();
    TuneView view() const { return TuneView{&image, &maps, caps, axes}; }
};

struct FieldDifference {
    int offset = 0;
    const SetupField *field = nullptr; // null: a byte no field shows
    QString thisText, otherText;       // display texts, "(unset)", or the byte values
};

struct PointDifference {
    MapId map = MapId::Timing;
    int point = 0;
    double x = 0; // position of the point in this tune (or the other)
    std::optional<double> thisValue, otherValue; // none: the tune has no such point
};

struct TuneDifferences {
    std::vector<FieldDifference> fields;    // setup block, in offset order
    std::vector<PointDifference> points;    // in map stream order, then point order
    std::vector<MapId> onlyThis, onlyOther; // maps one side's capabilities lack
    bool empty() const {
        return fields.empty() && points.empty() && onlyThis.empty() && onlyOther.empty();
    }
};

// Every setup byte and map point where `other` differs from `self`. A field whose display texts
// are equal although the bytes differ (a limit under source None) shows the bytes beside them.
TuneDifferences compareTunes(const TuneView &self, const TuneView &other);
// The display text of a field as a comparison shows it ("(unset)" for byte 255).
QString comparedText(const EmuImage &image, const SetupField &field);

} // namespace emu::model
