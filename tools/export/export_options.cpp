#include "export_options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kv::exporter {

namespace {

// A whole decimal number, nothing before or after it.
bool parseUnsigned(const std::string& s, std::uint64_t max, std::uint64_t& out) {
    if (s.empty() || s.size() > 10) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

bool parseAngle(const std::string& s, float& out) {
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 1e6) return false;
    out = float(v);
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseColour(const std::string& s, int& mode) {
    static const struct {
        const char* name;
        int mode;
    } kModes[] = {{"intensity", kColourIntensity}, {"solid", kColourSolid},   {"elevation", kColourElevation},
                  {"azimuth", kColourAzimuth},     {"laserid", kColourLaserId},
                  {"sensor", kColourSensor}};
    const std::string l = lower(s);
    for (const auto& m : kModes)
        if (l == m.name) {
            mode = m.mode;
            return true;
        }
    return false;
}

bool parseEcho(const std::string& s, int& echo) {
    const std::string l = lower(s);
    if (l == "dual") echo = kDualEchoBoth;
    else if (l == "first") echo = kFirstEcho;
    else if (l == "second") echo = kSecondEcho;
    else return false;
    return true;
}

}  // namespace

bool parseFrameRange(const std::string& text, std::uint32_t& first, std::uint32_t& last) {
    const std::size_t dash = text.find('-');
    std::uint64_t a = 0, b = kOpenEnd;
    const std::uint64_t max = kOpenEnd - 1;
    if (dash == std::string::npos) {
        if (!parseUnsigned(text, max, a)) return false;
        b = a;
    } else {
        if (!parseUnsigned(text.substr(0, dash), max, a)) return false;
        const std::string tail = text.substr(dash + 1);
        if (!tail.empty() && !parseUnsigned(tail, max, b)) return false;
    }
    if (a < 1 || b < a) return false;
    first = std::uint32_t(a);
    last = std::uint32_t(b);
    return true;
}

bool parseLines(const std::string& text, std::array<int, kLineCount>& lineState) {
    std::array<int, kLineCount> state{};
    std::size_t at = 0;
    bool any = false;
    while (at <= text.size()) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::uint64_t line = 0;
        if (!parseUnsigned(text.substr(at, comma - at), kLineCount - 1, line)) return false;
        state[std::size_t(line)] = 1;
        any = true;
        at = comma + 1;
    }
    if (!any) return false;
    lineState = state;
    return true;
}

std::string usageText() {
    return R"(Usage: kv-export [options] CAPTURE
Writes the frames of a capture file, as the replay cuts them, to a CSV file (the multi-frame
layout of the viewer's export), to one PCD file per frame or to one PLY file per frame, named
<capture name>_<frame number, 6 digits>.pcd (or .ply): drive_000012.pcd for frame 12 of drive.pcap.

  --csv FILE          write the frames' points to FILE (replaced if it exists, when the
                      first frame is written: an export of no frame leaves it as it was)
  --pcd DIR           write one PCD file per frame into DIR (created if missing)
  --ply DIR           write one PLY file per frame into DIR (created if missing): per point
                      x y z and red green blue
  --binary            PCD and PLY files in their binary layouts (default: ASCII); needs
                      --pcd or --ply
  --frames A-B        frames A to B, counted from 1 in replay order; "A-" runs to the end,
                      "A" is one frame (default: all)
  --echo MODE         dual, first or second: the echoes of a dual-echo capture (default dual)
  --lines LIST        lines to keep, comma-separated, of 0,1,2,3 (default all four)
  --min-angle DEG     smallest azimuth kept, degrees (default 0)
  --max-angle DEG     largest azimuth kept, degrees (default 180)
  --colour MODE       colour of PCD and PLY points: intensity, solid, elevation, azimuth,
                      laserid or sensor (default intensity)
  --stream A:P>Q      the sensor stream from address A, port P, to port Q (default: the
                      stream with the most data packets; the choice is named on stderr)
  --port Q            the largest stream to destination port Q
  --all-streams       every data stream of the capture, one sensor each, merged: each frame
                      of the leading stream with the latest complete frame of every other
                      (by capture time); the CSV gains a last column Sensor
  --lead A:P>Q        the leading stream of --all-streams (default: the one with the most
                      data packets); frames are numbered by it
  --pose X,Y,Z,R,P,Y  where the sensor is mounted: metres and degrees of roll, pitch and
                      yaw (R = Rz(yaw) Ry(pitch) Rx(roll)); the points are written in the
                      vehicle's frame. --pose A:P>Q=X,Y,Z,R,P,Y poses one stream (repeatable)
  --sensors FILE      names and poses of the sensors by source (ADDR:PORT), as the viewer
                      keeps them in sensors.ini; --pose given for a stream goes before it
  --line-type N       beam geometry and model label: 1 four flat lines, 2, 3 or 4 four
                      lines tilted by 0, 0.33, 0.67 and 1.0 degrees (default: LidarLineType
                      of the config.ini the viewer reads; 1 without one)
  --help              this text
  --version           the version of this program

The CSV rows number the exported frames from 1 in the FrameNumbers column, as the viewer's
export does. Progress goes to standard error, a summary at the end.

Exit status: 0 on success; 1 for a capture that cannot be read or holds no frame in the range,
or a file that cannot be written; 2 for a bad option; 3 for a damaged capture, whose frames
before the damage were written; 130 when interrupted (the files keep the frames written).
)";
}

std::string versionText() { return std::string("kv-export ") + KV_VERSION + "\n"; }

ParseOutcome parseOptions(int argc, const char* const* argv, ExportOptions& o, std::string& message) {
    auto fail = [&](const std::string& m) {
        message = m;
        return ParseOutcome::Error;
    };
    bool optionsEnded = false;
    std::string capture;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i] ? argv[i] : "";
        if (name.empty()) return fail("an empty argument: neither an option nor a capture file");
        if (optionsEnded || name[0] != '-' || name == "-") {
            if (++positional > 1) return fail("more than one capture file given: '" + capture + "' and '" + name + "'");
            capture = name;
            continue;
        }
        if (name == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") return ParseOutcome::Help;
        if (name == "--version") return inlineValue ? fail("--version takes no value") : ParseOutcome::Version;
        if (name == "--binary" || name == "--all-streams") {
            if (inlineValue) return fail(name + " takes no value");
            (name == "--binary" ? o.binary : o.allStreams) = true;
            continue;
        }
        static const char* const kValued[] = {"--csv",       "--pcd",    "--ply",    "--frames", "--echo",      "--lines",
                                              "--min-angle", "--max-angle", "--colour", "--color", "--line-type",
                                              "--stream", "--port", "--pose", "--sensors", "--lead"};
        bool known = false;
        for (const char* k : kValued) known = known || name == k;
        if (!known) return fail("unknown option '" + name + "' (see --help)");
        if (!inlineValue) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) return fail(name + " needs a value");
            value = argv[++i];
        }
        const std::string bad = "bad value '" + value + "' for " + name;
        if (name == "--csv" || name == "--pcd" || name == "--ply") {
            if (value.empty()) return fail(name + " needs a non-empty path");
            (name == "--csv" ? o.csvPath : name == "--pcd" ? o.pcdDir : o.plyDir) = value;
        } else if (name == "--frames") {
            if (!parseFrameRange(value, o.firstFrame, o.lastFrame))
                return fail(bad + ": give A-B, A- or A with 1 <= A <= B");
        } else if (name == "--echo") {
            if (!parseEcho(value, o.echo)) return fail(bad + ": give dual, first or second");
        } else if (name == "--lines") {
            if (!parseLines(value, o.lineState)) return fail(bad + ": give lines 0-3, comma-separated");
        } else if (name == "--min-angle" || name == "--max-angle") {
            if (!parseAngle(value, name == "--min-angle" ? o.minAngleDeg : o.maxAngleDeg))
                return fail(bad + ": give a number of degrees");
        } else if (name == "--colour" || name == "--color") {
            if (!parseColour(value, o.colourMode))
                return fail(bad + ": give intensity, solid, elevation, azimuth, laserid or sensor");
        } else if (name == "--stream") {
            if (!wire::parseStream(value, o.stream)) return fail(bad + ": give ADDR:PORT>PORT, e.g. 192.168.1.200:2368>2368");
            o.streamGiven = true;
        } else if (name == "--port") {
            std::uint64_t port = 0;
            if (!parseUnsigned(value, 65535, port)) return fail(bad + ": give a port number 0-65535");
            o.destPort = int(port);
        } else if (name == "--pose") {
            ExportOptions::StreamPose sp;
            std::string poseText = value;
            if (const std::size_t eq = value.find('='); eq != std::string::npos) {
                if (!wire::parseStream(value.substr(0, eq), sp.stream))
                    return fail(bad + ": the stream before '=' is not ADDR:PORT>PORT");
                sp.keyed = true;
                poseText = value.substr(eq + 1);
            }
            std::string why;
            if (!parsePose(poseText, sp.pose, why)) return fail(bad + ": " + why);
            o.poses.push_back(sp);
        } else if (name == "--sensors") {
            if (value.empty()) return fail("--sensors needs a non-empty path");
            o.sensorsPath = value;
        } else if (name == "--lead") {
            if (!wire::parseStream(value, o.lead)) return fail(bad + ": give ADDR:PORT>PORT, e.g. 192.168.1.200:2368>2368");
            o.leadGiven = true;
        } else if (name == "--line-type") {
            std::uint64_t type = 0;
            if (!parseUnsigned(value, std::uint64_t(kLastLineType), type) || type < std::uint64_t(kFirstLineType))
                return fail(bad + ": give 1 (four flat lines), 2, 3 or 4 (four tilted lines)");
            o.lineType = int(type);
            o.lineTypeGiven = true;
        }
    }
    if (positional == 0) return fail("no capture file given (see --help)");
    if (o.csvPath.empty() && o.pcdDir.empty() && o.plyDir.empty())
        return fail("nothing to write: give --csv FILE, --pcd DIR, --ply DIR or more than one");
    if (o.binary && o.pcdDir.empty() && o.plyDir.empty())
        return fail("--binary is the layout of PCD and PLY files: give --pcd DIR or --ply DIR with it");
    if (o.streamGiven && o.destPort >= 0) return fail("give --stream or --port, not both");
    if (o.allStreams && (o.streamGiven || o.destPort >= 0))
        return fail("--all-streams exports every stream: give it without --stream or --port");
    if (o.leadGiven && !o.allStreams) return fail("--lead picks the leading stream of --all-streams");
    for (const auto& p : o.poses)
        if (!p.keyed && o.allStreams)
            return fail("--pose without a stream poses the single exported stream: with --all-streams give "
                        "--pose ADDR:PORT>PORT=x,y,z,roll,pitch,yaw");
    if (o.minAngleDeg > o.maxAngleDeg) return fail("--min-angle is above --max-angle: no point would be kept");
    o.capturePath = capture;
    return ParseOutcome::Run;
}

}  // namespace kv::exporter
