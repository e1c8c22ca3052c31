#include "model/TuneCompare.h"

#include <algorithm>

namespace emu::model {

namespace {
// The map section holding a stream position; null for the setup block and the filler.
const MapInfo *sectionAt(int position) {
    for (MapId id : allMaps()) {
        const MapInfo &info = mapInfo(id);
        if (position >= info.streamOffset && position < info.streamOffset + info.points)
            return &info;
    }
    return nullptr;
}
} // namespace

std::vector<StreamMismatch> compareImage(const QByteArray &expected, const QByteArray &reply,
                                         const Capabilities &caps) {
    std::vector<StreamMismatch> out;
    auto check = [&](int from, int count) {
        for (int pos = from; pos < from + count; ++pos) {
            const int want = quint8(expected.at(pos));
            const int got = pos < reply.size() ? int(quint8(reply.at(pos))) : -1;
            if (got != want) out.push_back(StreamMismatch{pos, want, got});
        }
    };
    check(0, EmuImage::SetupSize);
    for (MapId id : allMaps())
        if (hasCapability(caps, id)) check(mapInfo(id).streamOffset, mapInfo(id).points);
    return out;
}

QString streamPositionName(int position) {
    if (position < EmuImage::SetupSize) {
        const SetupField *f = setupFieldAt(position);
        return f ? QStringLiteral("setup byte %1 (%2)").arg(position).arg(QLatin1String(f->name))
                 : QStringLiteral("setup byte %1").arg(position);
    }
    if (const MapInfo *info = sectionAt(position))
        return QStringLiteral("%1 point %2")
            .arg(QLatin1String(info->key))
            .arg(position - info->streamOffset + 1);
    return QStringLiteral("stream position %1").arg(position);
}

QString describeMismatch(const StreamMismatch &m) {
    return m.got < 0 ? QStringLiteral("%1: wrote %2, not read back")
                           .arg(streamPositionName(m.position))
                           .arg(m.expected)
                     : QStringLiteral("%1: wrote %2, read back %3")
                           .arg(streamPositionName(m.position))
                           .arg(m.expected)
                           .arg(m.got);
}

void Tune::decodeFileTable() {
    image.copySetupFromFileTable();
    modelInfo(image.modelCode(), &moduleType, &caps);
    axes = axesFromSetup(image);
    maps.decode(image, caps, axes);
}

QString comparedText(const EmuImage &image, const SetupField &field) {
    return displayValue(image, field) ? displayText(image, field) : QStringLiteral("(unset)");
}

TuneDifferences compareTunes(const TuneView &a, const TuneView &b) {
    TuneDifferences d;
    for (int off = 0; off < EmuImage::SetupSize; ++off) {
        const quint8 x = a.image->setupByte(off), y = b.image->setupByte(off);
        if (x == y) continue;
        FieldDifference f;
        f.offset = off;
        f.field = setupFieldAt(off);
        if (f.field) {
            f.thisText = comparedText(*a.image, *f.field);
            f.otherText = comparedText(*b.image, *f.field);
            if (f.thisText == f.otherText) { // the same display: show the bytes
                f.thisText += QStringLiteral(" (byte %1)").arg(x);
                f.otherText += QStringLiteral(" (byte %1)").arg(y);
            }
        } else {
            f.thisText = QString::number(x);
            f.otherText = QString::number(y);
        }
        d.fields.push_back(f);
    }
    for (MapId id : allMaps()) {
        const bool inA = hasCapability(a.caps, id), inB = hasCapability(b.caps, id);
        if (!inA && !inB) continue;
        if (inA != inB) {
            (inA ? d.onlyThis : d.onlyOther).push_back(id);
            continue;
        }
        const int na = a.maps->pointCount(id, a.axes), nb = b.maps->pointCount(id, b.axes);
        for (int p = 1; p <= std::max(na, nb); ++p) {
            PointDifference pd;
            pd.map = id;
            pd.point = p;
            if (p <= na) pd.thisValue = a.maps->value(id, p);
            if (p <= nb) pd.otherValue = b.maps->value(id, p);
            if (pd.thisValue == pd.otherValue) continue;
            pd.x = p <= na ? a.maps->position(id, p, a.axes) : b.maps->position(id, p, b.axes);
            d.points.push_back(pd);
        }
    }
    return d;
}

} // namespace emu::model
