#include "start_options.h"

#include <filesystem>
#include <iterator>
#include <system_error>

namespace kv::start {

namespace {

// QGuiApplication's and QApplication's own options, which they take out of argv themselves.
// Qt also reads them with two dashes.
const char* const kQtValued[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
                                 "-qwindowicon", "-qwindowtitle", "-style", "-stylesheet", "-session",
                                 "-display", "-geometry"};
const char* const kQtFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// The option without its second dash, for a look-up among Qt's ("--style" reads as "-style").
std::string qtSpelling(const std::string& word) { return word.rfind("--", 0) == 0 ? word.substr(1) : word; }

bool among(const std::string& word, const char* const* first, const char* const* last) {
    for (; first != last; ++first) {
        if (word == *first) return true;
    }
    return false;
}

StartOptions refused(const std::string& message) {
    StartOptions o;
    o.action = StartAction::Error;
    o.message = message;
    return o;
}

}  // namespace

StartOptions parseStartOptions(int argc, const char* const* argv) {
    StartOptions o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i] ? argv[i] : "";
        if (word.empty()) return refused("an empty argument: neither an option nor a file");
        if (optionsEnded || word[0] != '-' || word == "-") {
            if (!o.path.empty())
                return refused("more than one file given: '" + o.path + "' and '" + word + "' (open one at a time)");
            o.path = word;
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            o.action = StartAction::Help;
            return o;
        }
        if (word == "--version") {
            o.action = StartAction::Version;
            return o;
        }
        const std::string qt = qtSpelling(word);
        if (among(qt, std::begin(kQtFlags), std::end(kQtFlags))) continue;
        if (among(qt, std::begin(kQtValued), std::end(kQtValued))) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) return refused(word + " needs a value");
            ++i;
            continue;
        }
        return refused("unknown option '" + word + "' (see --help)");
    }
    return o;
}

StartPathKind startPathKind(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) ? StartPathKind::PcdFolder : StartPathKind::Capture;
}

std::string usageText() {
    return R"(Usage: kv-cloudscope [--help] [--version] [CAPTURE | PCD-FOLDER]
Shows the point cloud of a four-line scanning LiDAR in 3D as it streams in over Ethernet,
coloured by intensity, elevation, azimuth or line, with a table of each frame's points and
the receiver's health. It picks and measures regions and distances, draws the last frames
together, records the stream as a capture file, replays captures and folders of PCD files,
exports frames as CSV and PCD files and writes the sensor's network and motor settings.

A capture file (pcap or pcapng) named on the command line is opened as "Open" opens one; a
folder is opened as "OpenPCD" opens one (its *.pcd files). Without either, press "Lidar" to
receive on the ports in its fields (2368 and 2369 by default).

The viewer reads the first config.ini (group Config) of: the program's folder,
$XDG_CONFIG_HOME/kv-cloudscope (~/.config/kv-cloudscope), /etc/kv-cloudscope. Its
LidarLineType chooses the beam geometry (1: four flat lines; 2, 3 or 4: four lines tilted by
0, 0.33, 0.67 and 1.0 degrees) and LineShowNumber how many lines are offered (1-4).

The user guide, with a picture of each task, is the README, installed as
/usr/share/kv-cloudscope/README.md.

  --help      this text
  --version   the program's version

Qt's own options (-platform, -style, -display, -geometry, -reverse, ...) are passed on to Qt.
An unknown option is refused with exit status 2; without a display the viewer says so and
exits with status 1.
)";
}

}  // namespace kv::start
