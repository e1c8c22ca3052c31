#pragma once
// What the program remembers between runs: one INI file in the user's configuration folder
// (QSettings, organisation and application "emutune"). A file that cannot be read is ignored:
// the program starts from its defaults and says so once.
#include <QSettings>
#include <QString>
#include <memory>

class AppSettings {
public:
    AppSettings();
    ~AppSettings();

    QSettings &store() { return *m_store; }
    // Why the stored settings were ignored; empty when they were read.
    const QString &problem() const { return m_problem; }
    // Forgets everything remembered (emutune --reset-settings).
    static void reset();

    // Keys. Options added later keep their own keys (e.g. "write/verify").
    static constexpr const char *Geometry = "window/geometry";
    static constexpr const char *LastPort = "port/last";
    static constexpr const char *PortMappings = "port/mappings";
    static constexpr const char *OpenDir = "files/openFolder";
    static constexpr const char *SaveDir = "files/saveFolder";
    static constexpr const char *LogDir = "logger/folder";
    static constexpr const char *LogChannels = "logger/channels";
    static constexpr const char *LogInterval = "logger/interval";
    static constexpr const char *LogPanes = "logger/panes"; // the chart's panes

private:
    std::unique_ptr<QSettings> m_store;
    QString m_problem;
};
