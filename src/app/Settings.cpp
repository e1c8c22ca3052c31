#include "app/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

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

std::unique_ptr<QSettings> openStore() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("emutune"), QStringLiteral("emutune"));
}
} // namespace

AppSettings::AppSettings() : m_store(openStore()) {
    const QString file = m_store->fileName();
    const QFileInfo info(file);
    const bool unreadable = info.exists() && (!info.isFile() || !looksWritten(file));
    if (unreadable || m_store->status() != QSettings::NoError) {
        m_problem =
            QStringLiteral("Settings in %1 could not be read; the defaults are used.").arg(file);
        // Nothing half-read is used; the next save replaces the file.
        m_store->clear();
    }
}

AppSettings::~AppSettings() = default;

void AppSettings::reset() {
    auto store = openStore();
    store->clear();
    store->sync();
}
