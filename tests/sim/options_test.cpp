// Command line of the simulated sensor: what it takes, and what it refuses with a reason.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "sim_options.h"
#include "status_state.h"

namespace {

using kv::sim::ParseOutcome;
using kv::sim::SimOptions;

ParseOutcome parse(std::vector<const char*> args, SimOptions& o, std::string& msg) {
    args.insert(args.begin(), "kv-sensor-sim");
    return kv::sim::parseOptions(int(args.size()), args.data(), o, msg);
}

TEST(Options, RefusalsNameTheOptionAndTheReason) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--rpm"}, "--rpm: needs a value"},
        {{"--rpm", "abc"}, "--rpm: 'abc' is not a speed 60-3600"},
        {{"--rpm", "-600"}, "not a speed"},
        {{"--data-port", "0"}, "--data-port: '0' is not a port"},
        {{"--bind-port", "1e3"}, "not a port"},
        {{"--step", "0"}, "--step: '0' is not a step"},
        {{"--step", "0.015"}, "not a multiple of 0.01"},
        {{"--pps", "nan"}, "--pps"},
        {{"--seconds", "-1"}, "not a positive number"},
        {{"--seed", "4294967296"}, "not a seed"},
        {{"--dest", ""}, "--dest: needs a value"},
        {{"--dual=yes"}, "--dual: takes no value"},
        {{"--version=2"}, "--version: takes no value"},
        {{"--pcap="}, "--pcap: needs a value"},
        {{"--refuse", "speed,colour"}, "--refuse: 'colour' is not a setting"},
        {{"--refuse", "speed,"}, "--refuse: '' is not a setting"},
    };
    for (const Case& c : cases) {
        SimOptions o;
        std::string msg;
        EXPECT_EQ(parse(c.args, o, msg), ParseOutcome::Error) << c.args[0];
        EXPECT_NE(msg.find(c.message), std::string::npos) << "got: " << msg;
    }
}

TEST(Options, ValuesAreTaken) {
    SimOptions o;
    std::string msg;
    ASSERT_EQ(parse({"--refuse", "speed,mac", "--refuse=interval"}, o, msg), ParseOutcome::Run) << msg;
    EXPECT_EQ(o.refusedFields, kv::sim::kRefuseSpeed | kv::sim::kRefuseMac | kv::sim::kRefuseInterval);
    o = SimOptions();
    ASSERT_EQ(parse({"--data-port=2370", "--bind-port", "0", "--rpm", "3600", "--dual", "--step", "0.25",
                     "--seed", "4294967295", "--seconds", "1.5"},
                    o, msg),
              ParseOutcome::Run)
        << msg;
    EXPECT_EQ(std::make_tuple(o.dataPort, o.bindPort, o.rpm, o.dualEcho, o.seed),
              std::make_tuple(2370, 0, 3600, true, 4294967295u));
    EXPECT_DOUBLE_EQ(o.stepDeg, 0.25);
    EXPECT_DOUBLE_EQ(o.seconds, 1.5);
    EXPECT_EQ(parse({"--help", "--bogus"}, o, msg), ParseOutcome::Help);
    EXPECT_EQ(parse({"--seconds", "2", "--version", "--bogus"}, o, msg), ParseOutcome::Version);
    EXPECT_EQ(kv::sim::versionText(), "kv-sensor-sim " KV_VERSION "\n");
}

}  // namespace
