#pragma once
// Files the program reads and writes (setup files, log recordings): only regular files. A FIFO
// or device given as a source would block the reader or feed it endless bytes; one given as a
// target would be replaced by the atomic save (rename over it) or written to blindly.
#include <QByteArray>
#include <QString>

namespace emu::files {
// What an existing path is when it is not a regular file ("a folder", "a FIFO (named pipe)",
// "a device", "a socket", "not a regular file"); "" for a regular file, a symbolic link to one,
// or a path that does not exist. Symbolic links are followed.
QString notRegular(const QString &path);

// True when path may be opened for reading: a regular file (or a link to one). A missing file is
// left to the opener to report. *error names the path and the reason.
bool checkSource(const QString &path, QString *error);
// True when path may be written: it does not exist yet or is a regular file (or a link to one,
// whose target is then updated). Anything else is refused and left untouched.
bool checkTarget(const QString &path, QString *error);

// Saves content atomically (a temporary file renamed over the target when complete): a failed
// save leaves an existing file as it was. A symbolic link keeps pointing at its target, which
// receives the new content. Refuses targets checkTarget refuses.
bool save(const QString &path, const QByteArray &content, QString *error);
} // namespace emu::files
