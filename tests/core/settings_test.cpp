// The start-up settings read from real INI files: defaults, conversions, the forced and clamped
// line count, and a file that is never written; and which config.ini is read, in real folders.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>
#include <ostream>
#include <vector>
#include <string>

#include "settings.h"

namespace {

struct Case {
    const char* name;
    const char* ini;  // nullptr: no file at all
    kv::AppSettings expected;
};

kv::AppSettings make(int type, float hp, bool pls, int angle, bool production, int lines) {
    kv::AppSettings s;
    s.LidarLineType = type;
    s.HPandT = hp;
    s.showPLSAngle = pls;
    s.AngleShowValue = angle;
    s.isProductionUsed = production;
    s.LineShowNumber = lines;
    return s;
}

const kv::AppSettings kDefaults = make(1, 2.5f, false, -1, false, 1);

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SettingsFile : public ::testing::TestWithParam<Case> {};

TEST_P(SettingsFile, ReadsWithoutWriting) {
    const Case& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("config.ini");
    QByteArray before;
    if (c.ini) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        before = c.ini;
        f.write(before);
    }
    const QDateTime mtime = QFileInfo(path).lastModified();

    const kv::AppSettings s = kv::readSettings(path);
    EXPECT_EQ(s.LidarLineType, c.expected.LidarLineType);
    EXPECT_FLOAT_EQ(s.HPandT, c.expected.HPandT);
    EXPECT_EQ(s.showPLSAngle, c.expected.showPLSAngle);
    EXPECT_EQ(s.AngleShowValue, c.expected.AngleShowValue);
    EXPECT_EQ(s.isProductionUsed, c.expected.isProductionUsed);
    EXPECT_EQ(s.LineShowNumber, c.expected.LineShowNumber);

    // Nothing is created, rewritten or touched.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), c.ini ? 1 : 0);
    if (c.ini) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
        EXPECT_EQ(QFileInfo(path).lastModified(), mtime);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsFile,
    ::testing::Values(
        Case{"MissingFile", nullptr, kDefaults},
        Case{"EmptyFile", "", kDefaults},
        Case{"KeysOutsideConfigIgnored", "[Other]\nLidarLineType=2\nHPandT=3.3\n", kDefaults},
        Case{"AllKeys",
             "[Config]\nLidarLineType=2\nHPandT=3.3\nshowPLSAngle=true\nAngleShowValue=1\n"
             "isProductionUsed=true\nLineShowNumber=3\n",
             make(2, 3.3f, true, 1, true, 3)},
        Case{"Type4ForcesFourLines", "[Config]\nLidarLineType=4\nLineShowNumber=1\n", make(4, 2.5f, false, -1, false, 4)},
        Case{"Type2KeepsLineCount", "[Config]\nLidarLineType=2\nLineShowNumber=2\n", make(2, 2.5f, false, -1, false, 2)},
        Case{"UnparsableGiveZero", "[Config]\nLidarLineType=abc\nHPandT=x\nAngleShowValue=1.5x\n",
             make(0, 0.0f, false, 0, false, 1)},
        Case{"EmptyBooleansFalse", "[Config]\nshowPLSAngle=\nisProductionUsed=\n", kDefaults},
        Case{"ZeroBooleansFalse", "[Config]\nshowPLSAngle=0\nisProductionUsed=0\n", kDefaults},
        Case{"FalseAnyCase", "[Config]\nshowPLSAngle=false\nisProductionUsed=FALSE\n", kDefaults},
        Case{"OtherTextsTrue", "[Config]\nshowPLSAngle=yes\nisProductionUsed=1\n", make(1, 2.5f, true, -1, true, 1)},
        Case{"LineCountZeroClampsToOne", "[Config]\nLineShowNumber=0\n", kDefaults},
        Case{"LineCountUnparsableClampsToOne", "[Config]\nLineShowNumber=many\n", kDefaults},
        Case{"LineCountNineClampsToFour", "[Config]\nLineShowNumber=9\n", make(1, 2.5f, false, -1, false, 4)},
        Case{"LineCountNegativeClampsToOne", "[Config]\nLidarLineType=2\nLineShowNumber=-3\n",
             make(2, 2.5f, false, -1, false, 1)}),
    [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// Where config.ini is looked for. Folders under a scratch root: "exe" (the program's), "xdg"
// (XDG_CONFIG_HOME), "home" (HOME, so home/.config/kv-cloudscope) and "etc" (the system's).
struct LookupCase {
    const char* name;
    std::vector<const char*> files;  // config.ini files (or folders of that name) to create
    bool xdgSet;                     // XDG_CONFIG_HOME names the root's "xdg"
    const char* xdgValue;            // used when xdgSet is false: nullptr unset, else the value
    bool homeSet;
    const char* expected;            // relative to the root; "" for none
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class ConfigLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ConfigLookup, FirstExistingWins) {
    const LookupCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    for (const char* f : c.files) {
        const QString path = dir.filePath(f);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        if (QString(f).endsWith("/")) {
            ASSERT_TRUE(QDir().mkpath(path));
        } else {
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        }
    }
    std::map<std::string, std::string> vars;
    if (c.xdgSet) vars["XDG_CONFIG_HOME"] = root + "/xdg";
    else if (c.xdgValue) vars["XDG_CONFIG_HOME"] = c.xdgValue;
    if (c.homeSet) vars["HOME"] = root + "/home";
    const kv::EnvLookup env = [&vars](const char* name) -> const char* {
        const auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
    const std::string found = kv::findConfigFile(root + "/exe", env, root + "/etc");
    EXPECT_EQ(found, *c.expected ? root + "/" + c.expected : std::string());
}

constexpr const char* kExe = "exe/config.ini";
constexpr const char* kXdg = "xdg/kv-cloudscope/config.ini";
constexpr const char* kHome = "home/.config/kv-cloudscope/config.ini";
constexpr const char* kEtc = "etc/config.ini";

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigLookup,
    ::testing::Values(
        LookupCase{"BesideProgramFirst", {kExe, kXdg, kHome, kEtc}, true, nullptr, true, kExe},
        LookupCase{"XdgBeforeSystem", {kXdg, kHome, kEtc}, true, nullptr, true, kXdg},
        LookupCase{"XdgSetHidesHomeConfig", {kHome, kEtc}, true, nullptr, true, kEtc},
        LookupCase{"HomeConfigWhenXdgUnset", {kHome, kEtc}, false, nullptr, true, kHome},
        LookupCase{"HomeConfigWhenXdgEmpty", {kHome, kEtc}, false, "", true, kHome},
        LookupCase{"RelativeXdgIgnored", {kHome, kEtc}, false, "xdg", true, kHome},
        LookupCase{"SystemLast", {kEtc}, true, nullptr, true, kEtc},
        LookupCase{"NoHomeNoXdgStillSystem", {kHome, kEtc}, false, nullptr, false, kEtc},
        LookupCase{"FolderNamedConfigPassedOver", {"exe/config.ini/", kEtc}, true, nullptr, true, kEtc},
        LookupCase{"NoneAnywhere", {}, true, nullptr, true, ""}),
    [](const ::testing::TestParamInfo<LookupCase>& i) { return std::string(i.param.name); });

}  // namespace
