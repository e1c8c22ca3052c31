// libFuzzer target for the setup file reader. Every input goes through SetupFile::parse; an
// input that parses is applied to an EMU image, written out again with SetupFile::format and
// parsed a second time, and the second reading must give the same data back (see
// SetupFileRoundTrip.h). A broken property aborts, which the fuzzer reports as a crash.
#include "SetupFileRoundTrip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > (1u << 20)) return 0; // the reader refuses files larger than this anyway
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const SetupFileRoundTrip::Outcome o = SetupFileRoundTrip::check(content);
    if (!o.failure.isEmpty()) {
        std::fprintf(stderr, "setup file round trip failed: %s\n--- written file ---\n%s\n",
                     o.failure.toLocal8Bit().constData(), o.written.constData());
        std::abort();
    }
    return 0;
}
