#pragma once
// The 458-byte table write stream: setup block, then the sections of the present capabilities
// (timing 100, vacuum timing 32, fuel vacuum 64, Cruise 32, water 24, air 24, voltage 16,
// Low 32, High 32), later sections moved up, filler to the end; and its encoded copy (+1).
#include "model/Maps.h"

#include <QByteArray>

struct TableStream {
    QByteArray raw;     // 458 bytes, sent after 0xF3
    QByteArray encoded; // every byte + 1 (mod 256): the source of "Save From Memory"
    int used = 0;       // bytes before the filler
};

namespace Emu {
constexpr quint8 StreamFiller = 0;
// Builds the stream from the setup block and the maps, and copies both into the image's
// stream buffers (offsets 564 and 1024).
TableStream buildTableStream(EmuImage &image, const EmuMaps &maps, const Capabilities &caps);
} // namespace Emu
