#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "status_state.h"

namespace kv::sim {

namespace {

constexpr double kMinStepDeg = 0.01, kMaxStepDeg = 30.0;
constexpr double kMaxSeconds = 1e7;

bool parseDouble(const std::string& text, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool parseInteger(const std::string& text, long long lo, long long hi, long long& out) {
    // Digits only: strtoll alone would also take signs and leading blanks. Twelve digits
    // cannot overflow.
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

std::string usageText() {
    return R"(Usage: kv-sensor-sim [options]
Plays the four-line sensor on this machine: data packets to the data port, a status packet
about once a second to the equipment port, and configuration packets taken on --bind-port.

  --dest HOST        where to send (default 127.0.0.1; a multicast group such as 224.1.1.1
                     is sent with TTL 1 and loopback on)
  --data-port P      destination port of data packets (default 2368)
  --equip-port Q     destination port of status packets (default 2369)
  --bind-port B      port where configuration packets are taken (default 2368; 0 = don't listen)
  --sensor-ip A      address reported as the sensor's own (default 127.0.0.2 when --dest is
                     a loopback address, so that a viewer on this machine reaches the
                     simulator there; otherwise 192.168.1.200)
  --source-ip A      send from the local address A (a loopback address of its own, such as
                     127.0.0.3, so that several simulators on one machine are told apart as
                     sensors are), from port B (2368 with --bind-port 0), the same at every
                     run, and take configuration packets there; it is also the address
                     reported, unless --sensor-ip says otherwise
  --rpm N            motor speed, 60-3600 (default 600: 40 periods, 10 frames a second)
  --dual             dual-echo layout (100 records of 12 bytes) instead of single-echo
  --step DEG         azimuth step, a multiple of 0.01 from 0.01 to 30 (default 0.1)
  --pps N            send N data packets a second instead of the motor's rate (load tests)
  --seed N           seed of the scene's noise (default 1); the same seed gives the same stream
  --seconds N        stop after N seconds (default: run until SIGINT or SIGTERM)
  --pcap FILE        write a capture file (Ethernet/IPv4/UDP, 1248-byte frames, status
                     packets included) as fast as possible instead of sending; N counts
                     simulated seconds there (default 10)
  --refuse LIST      settings to refuse in configuration packets, comma-separated: speed,
                     motor, sensor-ip, dest-ip, mac, data-port, equip-port, phase-lock,
                     interval (the status packets then keep reporting the old value)
  --help             this text
  --version          the version of this program

A configuration packet changes what the status packets report; new ports also move the
streams there, while new addresses are only reported.

On one machine the simulator's configuration port 2368 and a viewer's default data port
2368 collide: move the data stream, e.g. --data-port 2370 here and 2370 in the viewer's
"Data Port" field, or run with --bind-port 0 (no configuration packets then).
)";
}

std::string versionText() { return std::string("kv-sensor-sim ") + KV_VERSION + "\n"; }

ParseOutcome parseOptions(int argc, const char* const* argv, SimOptions& o, std::string& message) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i] ? argv[i] : "";
        std::string value;
        bool hasInlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasInlineValue = true;
        }
        auto fail = [&](const std::string& why) {
            message = name + ": " + why;
            return ParseOutcome::Error;
        };
        if (name == "--help" || name == "-h") return ParseOutcome::Help;
        if (name == "--version") return hasInlineValue ? fail("takes no value") : ParseOutcome::Version;
        if (name == "--dual") {
            if (hasInlineValue) return fail("takes no value");
            o.dualEcho = true;
            continue;
        }
        static const char* const kValued[] = {"--dest",  "--data-port", "--equip-port", "--bind-port",
                                              "--rpm",   "--step",      "--pps",        "--seed",
                                              "--seconds", "--pcap",    "--sensor-ip", "--refuse", "--source-ip"};
        bool known = false;
        for (const char* k : kValued) known = known || name == k;
        if (!known) {
            message = "unknown option '" + name + "' (see --help)";
            return ParseOutcome::Error;
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) return fail("needs a value");
            value = argv[++i];
        }

        long long n = 0;
        double d = 0;
        if (name == "--dest" || name == "--sensor-ip" || name == "--pcap" || name == "--source-ip") {
            if (value.empty()) return fail("needs a value");
            (name == "--dest" ? o.dest : name == "--pcap" ? o.pcapPath : name == "--source-ip" ? o.sourceIp : o.sensorIp) =
                value;
        } else if (name == "--refuse") {
            std::size_t pos = 0;
            while (true) {
                const std::size_t comma = value.find(',', pos);
                const std::string field = value.substr(pos, comma == std::string::npos ? comma : comma - pos);
                const unsigned bit = refusedFieldByName(field);
                if (bit == 0) return fail("'" + field + "' is not a setting (see --help)");
                o.refusedFields |= bit;
                if (comma == std::string::npos) break;
                pos = comma + 1;
            }
        } else if (name == "--data-port" || name == "--equip-port") {
            if (!parseInteger(value, 1, 65535, n)) return fail("'" + value + "' is not a port 1-65535");
            (name == "--data-port" ? o.dataPort : o.equipPort) = int(n);
        } else if (name == "--bind-port") {
            if (!parseInteger(value, 0, 65535, n)) return fail("'" + value + "' is not a port 0-65535");
            o.bindPort = int(n);
        } else if (name == "--rpm") {
            if (!parseInteger(value, kMinRpm, kMaxRpm, n))
                return fail("'" + value + "' is not a speed " + std::to_string(kMinRpm) + "-" +
                            std::to_string(kMaxRpm));
            o.rpm = int(n);
        } else if (name == "--step") {
            if (!parseDouble(value, d) || d < kMinStepDeg - 1e-9 || d > kMaxStepDeg + 1e-9)
                return fail("'" + value + "' is not a step from 0.01 to 30 degrees");
            if (std::fabs(d * 100 - std::round(d * 100)) > 1e-6)
                return fail("'" + value + "' is not a multiple of 0.01 degrees");
            o.stepDeg = std::round(d * 100) / 100;
        } else if (name == "--pps") {
            if (!parseDouble(value, d) || d <= 0 || d > kMaxPps)
                return fail("'" + value + "' is not a rate above 0 and up to 1000000");
            o.pps = d;
        } else if (name == "--seed") {
            if (!parseInteger(value, 0, 0xFFFFFFFFll, n)) return fail("'" + value + "' is not a seed 0-4294967295");
            o.seed = std::uint32_t(n);
        } else if (name == "--seconds") {
            if (!parseDouble(value, d) || d <= 0 || d > kMaxSeconds)
                return fail("'" + value + "' is not a positive number of seconds");
            o.seconds = d;
        }
    }
    return ParseOutcome::Run;
}

}  // namespace kv::sim
