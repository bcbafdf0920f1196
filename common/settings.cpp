#include "settings.h"

#include <QCoreApplication>
#include <QSettings>
#include <algorithm>

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

QString settingsPathBesideExecutable() {
    return QCoreApplication::applicationDirPath() + "/config.ini";
}

const AppSettings& appSettings() { return g_settings; }

void installSettings(const AppSettings& s) { g_settings = s; }

}  // namespace kv
