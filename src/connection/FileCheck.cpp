#include "connection/FileCheck.h"

#include "live/FileWrite.h"

#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <QFile>
#include <sys/stat.h>
#endif

namespace emu::files {

QString notRegular(const QString &path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QString(); // missing
    if (S_ISREG(st.st_mode)) return QString();
    if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder");
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("a FIFO (named pipe)");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return QStringLiteral("a device");
    if (S_ISSOCK(st.st_mode)) return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) return QString();
    return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
#endif
}

bool checkSource(const QString &path, QString *error) {
    const QString kind = notRegular(path);
    if (kind.isEmpty()) return true;
    if (error) *error = QStringLiteral("Cannot read \"%1\": it is %2, not a file.").arg(path, kind);
    return false;
}

bool checkTarget(const QString &path, QString *error) {
    if (path.isEmpty()) {
        if (error) *error = QStringLiteral("No file name was given.");
        return false;
    }
    const QString kind = notRegular(path);
    if (kind.isEmpty()) return true;
    if (error)
        *error = QStringLiteral("\"%1\" cannot be created: it is %2, not a file; it was left "
                                "as it is.")
                     .arg(path, kind);
    return false;
}

bool save(const QString &path, const QByteArray &content, QString *error) {
    if (!checkTarget(path, error)) return false;
    QSaveFile file(path); // follows a symbolic link and renames onto its target
    // Unbuffered: a failed write shows at once, with the system's reason; a buffered one would
    // only fail in commit(), whose flush error does not stop the rename.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    QString why;
    if (!writeAll(file, content, &why) || !syncToDisk(file, &why)) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2; the file was left as it was.")
                         .arg(path, why);
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2; the file was left as it was.")
                         .arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace emu::files
