#include "settings.h"

#include <QCoreApplication>
#include <QSettings>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace kv {

namespace {
AppSettings g_settings;
}

AppSettings readSettings(const QString& iniPath) {
    // The store lives to the end of the read; it is never synced back because nothing sets a value.
    QSettings ini(iniPath, QSettings::IniFormat);
    AppSettings s;
    s.LidarLineType = ini.value("Config/LidarLineType", 1).toInt();
    s.HPandT = ini.value("Config/HPandT", 2.5).toFloat();
    s.showPLSAngle = ini.value("Config/showPLSAngle", false).toBool();
    s.AngleShowValue = ini.value("Config/AngleShowValue", -1).toInt();
    s.isProductionUsed = ini.value("Config/isProductionUsed", false).toBool();
    s.LineShowNumber = ini.value("Config/LineShowNumber", 1).toInt();
    if (s.LidarLineType == 4) s.LineShowNumber = 4;
    // The line model holds four lines: one to four rows can be offered.
    s.LineShowNumber = std::clamp(s.LineShowNumber, 1, 4);
    return s;
}

std::string findConfigFile(const std::string& exeDir, const EnvLookup& env, const std::string& systemDir) {
    auto isFile = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    auto set = [&](const char* name) {
        const char* v = env(name);
        return v && *v ? std::string(v) : std::string();
    };
    std::string candidates[3];
    if (!exeDir.empty()) candidates[0] = exeDir + "/config.ini";
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    std::string userDir = set("XDG_CONFIG_HOME");
    if (userDir.empty() || userDir[0] != '/') {
        const std::string home = set("HOME");
        userDir = home.empty() ? std::string() : home + "/.config";
    }
    if (!userDir.empty()) candidates[1] = userDir + "/kv-cloudscope/config.ini";
    if (!systemDir.empty()) candidates[2] = systemDir + "/config.ini";
    for (const std::string& c : candidates) {
        if (!c.empty() && isFile(c)) return c;
    }
    return std::string();
}

QString settingsPathForExecutable() {
    return QString::fromStdString(findConfigFile(QCoreApplication::applicationDirPath().toStdString(),
                                                 [](const char* name) { return std::getenv(name); }));
}

const AppSettings& appSettings() { return g_settings; }

void installSettings(const AppSettings& s) { g_settings = s; }

}  // namespace kv
