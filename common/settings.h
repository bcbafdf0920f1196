// Process-wide settings, read once from config.ini before any window exists and read-only
// afterwards.
#pragma once

#include <QString>
#include <functional>
#include <string>

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

// The value of an environment variable, or nullptr when it is unset.
using EnvLookup = std::function<const char*(const char*)>;

// Where config.ini is read from: the first of these that exists,
//   <exeDir>/config.ini                                  (a build tree or a copied folder)
//   $XDG_CONFIG_HOME/kv-cloudscope/config.ini            (~/.config/... when unset or relative)
//   <systemDir>/config.ini                               (the installed default)
// or an empty string when none does. A candidate that is not a regular file is passed over.
std::string findConfigFile(const std::string& exeDir, const EnvLookup& env,
                           const std::string& systemDir = "/etc/kv-cloudscope");

// findConfigFile for the running executable and the process environment (needs the
// application object).
QString settingsPathForExecutable();

// The process-wide values. Installed once at start-up (tests install their own).
const AppSettings& appSettings();
void installSettings(const AppSettings& s);

}  // namespace kv
