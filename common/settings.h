// Process-wide settings, read once from config.ini beside the executable before any window
// exists and read-only afterwards.
#pragma once

#include <QString>

namespace kv {

struct AppSettings {
    int LidarLineType = 1;        // model number in the label; 1 = flat beam geometry
    float HPandT = 2.5f;          // reference voltage of the high-voltage/temperature readouts
    bool showPLSAngle = false;    // show the phase-lock rows of the configuration dialog
    int AngleShowValue = -1;      // 1 also shows them
    bool isProductionUsed = false;// one random line per frame, title suffix, no line selection
    int LineShowNumber = 1;       // line rows offered (1-4); 4 whenever LidarLineType is 4
};

// Reads the [Config] group of an INI file. A missing file or key gives the default, an
// unparsable value the conversion's zero; nothing is ever written back.
AppSettings readSettings(const QString& iniPath);

// Path of config.ini beside the running executable (needs the application object).
QString settingsPathBesideExecutable();

// The process-wide values. Installed once at start-up (tests install their own).
const AppSettings& appSettings();
void installSettings(const AppSettings& s);

}  // namespace kv
