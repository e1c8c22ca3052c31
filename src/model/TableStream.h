#pragma once
// The 458-byte table write stream: setup block, then the sections of the present capabilities
// (timing 100, vacuum timing 32, fuel vacuum 64, Cruise 32, water 24, air 24, voltage 16,
// Low 32, High 32), later sections moved up, filler to the end; and its encoded copy (+1).
#include "model/Maps.h"

#include <QByteArray>

struct TableStream {
    QByteArray raw;     // 458 bytes, sent after 0xF3
    QByteArray encoded; // every byte + 1 (mod 256)
    int used = 0;       // bytes before the filler
    // 458 values in the image stream layout (setup block at 0, timing at 101, vacuum timing at
    // 201, fuel vacuum at 233, ...), each + 1, whatever the capabilities; the sections the EMU
    // lacks keep the bytes of the image's file table area, and the last value is 0. This is
    // what "Save From Memory" writes: for an EMU without the timing capability the encoded copy
    // has its fuel maps moved up to 101, where a reader of the file would not look for them.
    // For an EMU with the timing and vacuum capabilities its first 457 bytes equal the encoded
    // copy's.
    QByteArray fileTable;
};

namespace emu::model {
constexpr quint8 StreamFiller = 0;
// Builds the stream from the setup block and the maps, and copies both into the image's
// stream buffers (offsets 564 and 1024).
TableStream buildTableStream(EmuImage &image, const EmuMaps &maps, const Capabilities &caps);
} // namespace emu::model
