// Device configuration paths: building a configuration packet from a status packet, decoding a
// status packet into the texts the dialog shows, and the hex dump every audit entry writes.
#include <benchmark/benchmark.h>

#include <random>

#include "config_packet.h"
#include "hex_dump.h"
#include "status_decode.h"
#include "status_texts.h"

namespace {

kv::config::StatusPacket statusPacket() {
    kv::config::StatusPacket p{};
    std::mt19937 rng(3);
    for (auto& b : p) b = std::uint8_t(rng());
    kv::statuspkt::writeHeader(p.data());
    return p;
}

void BM_BuildConfigPacket(benchmark::State& state) {
    const auto status = statusPacket();
    kv::config::ConfigFields f;
    f.lidarIp = "192.168.1.10", f.computerIp = "192.168.1.102", f.mac = "00-1a-2b-3c-4d-5e";
    f.dataPort = "2368", f.equipPort = "2369", f.packetInterval = "1", f.setFrame = " 80 Frame";
    f.motoState = "Run", f.plAngle = "12.34", f.phaseLockIndex = 1;
    for (auto _ : state) {
        const auto problem = kv::config::checkFields(f);
        const auto b = kv::config::buildConfigPacket(status.data(), f);
        benchmark::DoNotOptimize(problem);
        benchmark::DoNotOptimize(b.packet.data());
    }
}
BENCHMARK(BM_BuildConfigPacket);

void BM_StatusToDialogTexts(benchmark::State& state) {
    const auto p = statusPacket();
    SettingData rec;
    std::vector<int> mac;
    for (auto _ : state) {
        decodeStatusPacket(p.data(), p.size(), rec, mac);
        std::string t = kv::statustext::gpsTimeText(rec) + kv::statustext::macText(mac) +
                        kv::statustext::plAngleErrorText(mac[11]);
        const auto r = kv::statustext::convertReadouts(mac[8], mac[9], 2.5f);
        if (r) t += kv::statustext::shortest6(r->highPressure) + kv::statustext::shortest6(r->temperature);
        benchmark::DoNotOptimize(t.data());
    }
}
BENCHMARK(BM_StatusToDialogTexts);

void BM_HexDump1206(benchmark::State& state) {
    const auto p = statusPacket();
    for (auto _ : state) {
        std::string d = kv::hexDump(p.data(), p.size());
        benchmark::DoNotOptimize(d.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(p.size()));
}
BENCHMARK(BM_HexDump1206);

}  // namespace

BENCHMARK_MAIN();
