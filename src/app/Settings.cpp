#include "app/Settings.h"

#include "connection/FileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {
// QSettings reads almost anything as INI; a file with NUL bytes or that is no UTF-8 text was not
// written by it (a truncated write, another program's file) and is not trusted.
bool looksWritten(const QString &file) {
    QFile f(file);
    if (!f.exists()) return true;
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError || bytes.contains('\0')) return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    return !utf8.hasError();
}

// The settings file, found without opening it: QSettings reads its file as soon as it is made,
// and a FIFO in its place would block the program before its window shows. The folder comes
// from a store of another name, which reads nothing that exists.
QString settingsFile() {
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope,
                          QStringLiteral("emutune-settings-folder"));
    return QFileInfo(probe.fileName()).absolutePath() + QStringLiteral("/emutune/emutune.ini");
}

std::unique_ptr<QSettings> openStore(const QString &file) {
    // The one file for everything, and only it (no fallback files of the organisation or the
    // system).
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}
} // namespace

AppSettings::AppSettings() {
    const QString file = settingsFile();
    if (const QString kind = emu::files::notRegular(file); !kind.isEmpty()) {
        // Never opened: the program runs on its defaults, and what it would save goes to a
        // scratch file that disappears with this object.
        m_scratch = std::make_unique<QTemporaryDir>();
        m_store = openStore(m_scratch->filePath(QStringLiteral("emutune.ini")));
        m_problem = QStringLiteral("Settings in %1 could not be read: it is %2, not a file; the "
                                   "defaults are used and nothing is saved there.")
                        .arg(file, kind);
        return;
    }
    m_store = openStore(file);
    if (!looksWritten(file) || m_store->status() != QSettings::NoError) {
        m_problem =
            QStringLiteral("Settings in %1 could not be read; the defaults are used.").arg(file);
        // Nothing half-read is used; the next save replaces the file.
        m_store->clear();
    }
}

AppSettings::~AppSettings() = default;

void AppSettings::reset() {
    const QString file = settingsFile();
    if (!emu::files::notRegular(file).isEmpty())
        return; // left alone; the next start says what it is
    auto store = openStore(file);
    store->clear();
    store->sync();
}
