#include "model/TableStream.h"

#include "model/Numbers.h"

#include <algorithm>

namespace emu::model {
TableStream buildTableStream(EmuImage &image, const EmuMaps &maps, const Capabilities &caps) {
    constexpr int Size = EmuImage::FileTableSize;
    TableStream s;
    s.raw.reserve(Size);

    // The file table layout starts from what the image holds there, so that sections this EMU
    // lacks keep the bytes that were read or loaded.
    s.fileTable = QByteArray(reinterpret_cast<const char *>(image.fileTable()), Size);

    for (int off = 0; off < EmuImage::SetupSize; ++off) {
        s.raw.append(char(num::lowByte(image.setupByte(off) - 1.0)));
        s.fileTable[off] = char(image.setupByte(off));
    }
    for (MapId id : allMaps()) {
        if (!hasCapability(caps, id)) continue; // the following sections move up
        const MapInfo &info = mapInfo(id);
        // Every slot of the map goes out, the timing map with all 100 whatever N is.
        for (int p = 1; p <= info.points; ++p) {
            s.raw.append(char(maps.encode(id, p)));
            s.fileTable[info.streamOffset + p - 1] = char(tableByte(id, maps.value(id, p)));
        }
    }
    s.used = int(s.raw.size());
    s.raw.append(QByteArray(Size - s.used, char(StreamFiller)));
    s.fileTable[Size - 1] = '\0'; // a dump is at most 457 bytes long

    s.encoded.resize(Size);
    for (int i = 0; i < Size; ++i)
        s.encoded[i] = char(quint8(quint8(s.raw.at(i)) + 1));

    std::copy(s.encoded.cbegin(), s.encoded.cend(), image.encodedStream());
    std::copy(s.raw.cbegin(), s.raw.cend(), image.rawStream());
    return s;
}
} // namespace emu::model
