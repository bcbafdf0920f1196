// The viewer's command line: what it answers without a window, what it refuses, which file it
// opens, and what a start path is opened as, with real folders and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "start_options.h"

namespace {

using kv::start::StartAction;

TEST(StartOptions, DecidesFromTheLeftAndLetsQtOptionsThrough) {
    const struct {
        std::vector<const char*> args;
        StartAction action;
        const char* path;
        const char* message;  // a part of the message; empty when there is none
    } cases[] = {
        {{}, StartAction::Run, "", ""},
        {{"capture.pcap"}, StartAction::Run, "capture.pcap", ""},
        {{"clouds/"}, StartAction::Run, "clouds/", ""},
        {{"-"}, StartAction::Run, "-", ""},
        {{"--", "--odd-name.pcap"}, StartAction::Run, "--odd-name.pcap", ""},
        {{"--help", "--bogus"}, StartAction::Help, "", ""},
        {{"a.pcap", "-h"}, StartAction::Help, "", ""},
        {{"--version", "a.pcap", "b.pcap"}, StartAction::Version, "", ""},
        {{"--bogus"}, StartAction::Error, "", "unknown option '--bogus'"},
        {{"--bogus", "--help"}, StartAction::Error, "", "unknown option '--bogus'"},
        {{"-x", "capture.pcap"}, StartAction::Error, "", "unknown option '-x'"},
        {{"--help=yes"}, StartAction::Error, "", "unknown option '--help=yes'"},
        {{"--version=1"}, StartAction::Error, "", "unknown option '--version=1'"},
        {{"a.pcap", "b.pcap"}, StartAction::Error, "", "'a.pcap' and 'b.pcap'"},
        {{""}, StartAction::Error, "", "empty argument"},
        // Qt's own options, with one dash or two; their values are not the file.
        {{"-platform", "offscreen", "a.pcap"}, StartAction::Run, "a.pcap", ""},
        {{"--style", "fusion", "-reverse", "a.pcap"}, StartAction::Run, "a.pcap", ""},
        {{"-geometry", "800x600", "-display", ":1"}, StartAction::Run, "", ""},
        {{"a.pcap", "-style"}, StartAction::Error, "", "-style needs a value"},
        {{"-platformx"}, StartAction::Error, "", "unknown option '-platformx'"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"kv-cloudscope"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string trace;
        for (const char* a : c.args) trace += std::string("[") + a + "] ";
        SCOPED_TRACE(trace);
        const kv::start::StartOptions o = kv::start::parseStartOptions(int(argv.size()), argv.data());
        EXPECT_EQ(o.action, c.action);
        if (c.action == StartAction::Run) {
            EXPECT_EQ(o.path, c.path);
        }
        if (*c.message) {
            EXPECT_NE(o.message.find(c.message), std::string::npos) << o.message;
            EXPECT_EQ(o.message.find('\n'), std::string::npos) << "one line: " << o.message;
        } else {
            EXPECT_TRUE(o.message.empty()) << o.message;
        }
    }
}

TEST(StartOptions, AFolderOpensAsPcdFramesAnythingElseAsACapture) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kv_start_options_" + std::to_string(::getpid()));
    fs::create_directories(dir / "clouds");
    fs::create_directories(dir / "named.pcap");  // a folder, whatever its name says
    std::ofstream(dir / "capture.pcap") << "not even a capture";
    fs::create_directory_symlink(dir / "clouds", dir / "link");
    const struct {
        fs::path path;
        kv::start::StartPathKind kind;
    } cases[] = {
        {dir / "clouds", kv::start::StartPathKind::PcdFolder},
        {dir / "named.pcap", kv::start::StartPathKind::PcdFolder},
        {dir / "link", kv::start::StartPathKind::PcdFolder},
        {dir / "capture.pcap", kv::start::StartPathKind::Capture},
        {dir / "missing", kv::start::StartPathKind::Capture},  // "Open" names it in its box
    };
    for (const auto& c : cases) EXPECT_EQ(kv::start::startPathKind(c.path.string()), c.kind) << c.path;
    fs::remove_all(dir);
}

}  // namespace
