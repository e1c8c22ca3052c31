#include "live/FileWrite.h"

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace emu::files {

#ifdef Q_OS_UNIX
namespace {
QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

bool writeAll(QFileDevice &file, const QByteArray &bytes, QString *reason) {
    const int fd = file.handle();
    if (fd < 0) {
        if (reason) *reason = QStringLiteral("the file is not open");
        return false;
    }
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (reason) *reason = systemReason(errno);
            return false;
        }
        if (n == 0) { // no progress and no error: give up rather than spin
            if (reason) *reason = systemReason(EIO);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool truncateTo(QFileDevice &file, qint64 size, QString *reason) {
    const int fd = file.handle();
    if (fd < 0 || ::ftruncate(fd, off_t(size)) != 0 || ::lseek(fd, off_t(size), SEEK_SET) < 0) {
        if (reason) *reason = systemReason(fd < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

bool syncToDisk(QFileDevice &file, QString *reason) {
    const int fd = file.handle();
    if (fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
        if (reason) *reason = systemReason(errno);
        return false;
    }
    return true;
}
#else
bool writeAll(QFileDevice &file, const QByteArray &bytes, QString *reason) {
    if (file.write(bytes) == bytes.size() && file.flush()) return true;
    if (reason) *reason = file.errorString();
    return false;
}

bool truncateTo(QFileDevice &file, qint64 size, QString *reason) {
    if (file.resize(size) && file.seek(size)) return true;
    if (reason) *reason = file.errorString();
    return false;
}

bool syncToDisk(QFileDevice &, QString *) {
    return true;
}
#endif

} // namespace emu::files
