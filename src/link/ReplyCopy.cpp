#include "link/EmuLink.h"

#include <cstring>

namespace emu::link {

int copyReply(const QByteArray &reply, quint8 *dest, int maxCopy) {
    if (!dest) return 0;
    const int limit = qMin(maxCopy, int(reply.size()));
    int n = 0;
    while (n < limit && reply.at(n) != '\0') {
        dest[n] = quint8(reply.at(n));
        ++n;
    }
    return n;
}

int fillAndCopy(const QByteArray &reply, quint8 *dest, int destLen, int maxCopy, bool terminate) {
    if (!dest || destLen <= 0) return 0;
    std::memset(dest, FillByte, size_t(destLen));
    const int n = copyReply(reply, dest, qMin(maxCopy, destLen));
    if (terminate && n < destLen) dest[n] = 0;
    return n;
}

QByteArray signature(const quint8 *identity7) {
    if (!identity7) return {};
    return QByteArray::number(identity7[5]) + QByteArray::number(identity7[6]);
}

} // namespace emu::link
