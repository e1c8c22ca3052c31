#pragma once
// Writing a file so that every failure is seen: each write goes to the operating system at once
// and a short or failed write reports the system's reason ("No space left on device", "File too
// large"), not a generic error.
#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace emu::files {
// Writes all of bytes to an open, unbuffered file. On failure returns false and *reason is the
// system's text for the error; part of bytes may have reached the file.
bool writeAll(QFileDevice &file, const QByteArray &bytes, QString *reason);
// Cuts the file back to size bytes (undoing a partial write). False with *reason on failure.
bool truncateTo(QFileDevice &file, qint64 size, QString *reason);
// Asks the system to put the file's content on the disk; a full disk that only shows here is
// reported. Devices and file systems without the call are not an error.
bool syncToDisk(QFileDevice &file, QString *reason);
} // namespace emu::files
