// The capture packet store: which records are stored, the marker index, malformed captures
// (each a fixture named after its fault, written at test time), and a capture written by the
// simulated sensor.

#include <gtest/gtest.h>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <pcap/pcap.h>

#include "byte_order.h"
#include "capture_store.h"
#include "data_packet.h"
#include "data_stream.h"
#include "frame_rule.h"
#include "status_packet.h"
#include "wire_frame.h"

namespace {

using kv::capture::loadCapture;
using Bytes = std::vector<std::uint8_t>;
using Payload = std::array<std::uint8_t, kv::wire::kPayloadBytes>;

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "kv_store_" + std::to_string(::getpid()) + "_" + name;
}

void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Seeded noise without any FF byte, so the only markers are the ones placed at `markers`.
Payload payload(std::uint32_t seed, std::initializer_list<std::size_t> markers = {}) {
    std::mt19937 rng(seed);
    Payload p;
    for (auto& b : p) b = std::uint8_t(rng() % 0xFF);
    p[kv::datapkt::kEchoFlagOffset] = 0;  // the single-echo layout: records every 7 bytes
    for (std::size_t at : markers) kv::datapkt::writeMarker(p.data() + at);
    return p;
}

// The payload framed as the sensor sends it, cut or padded to `size` bytes.
Bytes frame(const Payload& p, std::size_t size = kv::capture::kFrameBytes) {
    kv::sim::wire::Endpoints ends;
    ends.sourceMac = {0xFF, 0xAA, 0xBB, 0xFF, 0xAA, 0xBB};  // markers in a header do not count
    const auto f = kv::sim::wire::frameDatagram(p.data(), ends, 7);
    Bytes b(f.begin(), f.end());
    b.resize(size, 0x5A);
    return b;
}

// A capture file built field by field, so that each fault can be made exactly.
struct Capture {
    bool bigEndian = false;
    Bytes bytes;

    Capture& u16(std::uint32_t v) {
        for (int i = 0; i < 2; ++i) bytes.push_back(std::uint8_t(v >> (bigEndian ? 8 - 8 * i : 8 * i)));
        return *this;
    }
    Capture& u32(std::uint32_t v) { return bigEndian ? u16(v >> 16).u16(v) : u16(v).u16(v >> 16); }
    Capture& raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    // Version 2.4, no time zone, no accuracy.
    Capture& header(std::uint32_t magic = 0xA1B2C3D4, std::uint32_t snaplen = 65535, std::uint32_t link = 1) {
        return u32(magic).u16(2).u16(4).u32(0).u32(0).u32(snaplen).u32(link);
    }
    Capture& record(const Bytes& data, std::uint32_t caplen, std::uint32_t len) {
        return u32(1700000000).u32(0).u32(caplen).u32(len).raw(data);
    }
    Capture& record(const Bytes& data) { return record(data, std::uint32_t(data.size()), std::uint32_t(data.size())); }
    // Packet i captured at 1700000000 + i seconds and i milliseconds.
    static std::int64_t timeNsOf(std::size_t i) { return std::int64_t(1700000000 + i) * 1000000000 + std::int64_t(i) * 1000000; }
    Capture& records(const std::vector<Payload>& ps) {
        for (std::size_t i = 0; i < ps.size(); ++i) {
            const Bytes f = frame(ps[i]);
            u32(std::uint32_t(1700000000 + i)).u32(std::uint32_t(i * 1000)).u32(std::uint32_t(f.size())).u32(std::uint32_t(f.size())).raw(f);
        }
        return *this;
    }
};

// The same frames as a pcapng section: header block, one Ethernet interface, packet blocks.
Bytes pcapng(const std::vector<Payload>& ps) {
    Capture c;
    c.u32(0x0A0D0D0A).u32(28).u32(0x1A2B3C4D).u16(1).u16(0).u32(0xFFFFFFFF).u32(0xFFFFFFFF).u32(28);
    c.u32(1).u32(20).u16(1).u16(0).u32(65535).u32(20);
    for (const Payload& p : ps) {
        const Bytes f = frame(p);  // 1248 bytes, already a multiple of 4
        const auto blockLen = std::uint32_t(32 + f.size());
        c.u32(6).u32(blockLen).u32(0).u32(0).u32(0).u32(std::uint32_t(f.size())).u32(std::uint32_t(f.size()));
        c.raw(f).u32(blockLen);
    }
    return c.bytes;
}

void expectStored(const kv::capture::CaptureStore& s, const std::vector<Payload>& want) {
    ASSERT_EQ(s.packetCount, want.size());
    kv::capture::PacketReader reader(s);
    for (std::size_t i = 0; i < want.size(); ++i) {
        const std::uint8_t* p = reader.packet(i);
        ASSERT_NE(p, nullptr) << reader.error();
        EXPECT_EQ(0, std::memcmp(p, want[i].data(), want[i].size())) << "packet " << i;
    }
}

// A record holds a data packet when the whole IPv4 datagram is inside it: an Ethernet trailer
// after it, or bytes of the wire not captured after it, do not matter.
TEST(CaptureStore, StoresOnlyWholeDataPackets) {
    Payload status = payload(3), config = payload(4), nearStatus = payload(5), nearConfig = payload(6);
    kv::statuspkt::writeHeader(status.data());
    kv::configpkt::writeHeader(config.data());
    kv::statuspkt::writeHeader(nearStatus.data());
    nearStatus[3] = 0x5B;
    std::copy_n(kv::configpkt::kHeader.begin(), 4, nearConfig.begin());  // the first four bytes decide
    const Payload data = payload(7), before = payload(1), after = payload(2);
    struct Case {
        const char* name;
        const Payload& p;
        std::size_t size;
        std::uint32_t len;  // on the wire
        bool stored;
    } cases[] = {
        {"1247 bytes", data, 1247, 1247, false},
        {"1248 bytes", data, 1248, 1248, true},
        {"1249 bytes: a trailer after the datagram", data, 1249, 1249, true},
        {"1248 of 1300 on the wire", data, 1248, 1300, true},
        {"status packet", status, 1248, 1248, false},
        {"configuration packet", config, 1248, 1248, false},
        {"configuration header start", nearConfig, 1248, 1248, false},
        {"almost a status header", nearStatus, 1248, 1248, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath("accept.pcap");
        writeFile(path, Capture().header().records({before}).record(frame(c.p, c.size), std::uint32_t(c.size), c.len)
                            .records({after}).bytes);
        const auto load = loadCapture(path);
        ASSERT_TRUE(load.opened) << load.error;
        EXPECT_FALSE(load.damaged) << load.damage;
        EXPECT_EQ(load.recordsRead, 3u);
        EXPECT_EQ(load.recordsSkipped, c.stored ? 0u : 1u);
        if (c.stored) expectStored(load.store, {before, c.p, after});
        else expectStored(load.store, {before, after});
        std::remove(path.c_str());
    }
}

// A synthetic stream in either layout: a marker every `period` records, a void record now and
// then, and points whose bytes read FF AA BB at a byte offset inside the record (distance bytes
// .. FF AA and intensity 0xBB), which are points like any other.
std::vector<Payload> synthetic(bool dual, std::size_t packets, std::size_t period, std::uint32_t seed) {
    namespace dp = kv::datapkt;
    std::mt19937 rng(seed);
    const std::size_t records = dual ? dp::dual::kRecordCount : dp::single::kRecordCount;
    const std::size_t bytes = dual ? dp::dual::kRecordBytes : dp::single::kRecordBytes;
    std::vector<Payload> out(packets);
    std::size_t n = 0;
    for (Payload& p : out) {
        p.fill(0);
        dp::setEchoFlag(p.data(), dual);
        for (std::size_t j = 0; j < records; ++j, ++n) {
            std::uint8_t* r = p.data() + j * bytes;
            const int line = int(rng() % 4);
            const std::uint32_t azimuth = std::uint32_t(n % 18000);
            const std::uint32_t lookalike = 0x01FFAA;  // 511.66 cm: bytes 01 FF AA, then 0xBB
            if (n % period == 0) dp::writeMarker(r);
            else if (n % 29 == 3) dp::writeVoid(r);
            else if (dual) dp::writeDual(r, line, azimuth, n % 5 == 0 ? lookalike : rng() % 0xFFFF, 0xBB, rng() % 0xFFFF, int(rng() % 255));
            else dp::writeSingle(r, line, azimuth, n % 5 == 0 ? lookalike : rng() % 0xFFFF, n % 5 == 0 ? 0xBB : int(rng() % 255));
        }
    }
    return out;
}

// Markers are marker records: FF AA BB at the start of a record, in either layout. The index
// puts frame k's start at marker 4k-3 (packet and record) and counts a frame only once the
// marker that closes it has been seen.
TEST(CaptureStore, FrameIndexCountsMarkerRecordsOnly) {
    Payload inside = payload(5);
    inside[1205] = 0;
    kv::datapkt::writeMarker(inside.data() + 1);   // inside record 0
    kv::datapkt::writeMarker(inside.data() + 11);  // inside record 1
    Payload status = payload(17);
    kv::statuspkt::writeHeader(status.data());
    for (std::size_t r : {7, 14, 21, 28}) kv::datapkt::writeMarker(status.data() + r);
    using kv::FrameStart;
    struct Case {
        const char* name;
        std::vector<Payload> packets;
        std::uint64_t markers;
        std::uint32_t frames;
        std::vector<FrameStart> starts;  // of frames 1..frames
    } cases[] = {
        {"FF AA BB inside records is no marker", {inside}, 0, 0, {}},
        {"single layout, a marker every 100 records", synthetic(false, 6, 100, 1), 11, 2, {{0, 0}, {2, 58}}},
        {"dual layout, a marker every 100 records", synthetic(true, 6, 100, 2), 6, 1, {{0, 0}}},
        {"frames start mid-packet, two in one packet", synthetic(false, 2, 20, 3), 18, 4,
         {{0, 0}, {0, 80}, {0, 160}, {1, 69}}},
        {"status packets carry no markers", {status}, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath("markers.pcap");
        Capture cap;
        cap.header().records(c.packets);
        writeFile(path, cap.bytes);
        const auto load = loadCapture(path);
        ASSERT_TRUE(load.opened) << load.error;
        EXPECT_EQ(load.store.frames.markers(), c.markers);
        ASSERT_EQ(load.store.frameCount(), c.frames);
        for (std::uint32_t k = 1; k <= c.frames; ++k) {
            EXPECT_EQ(load.store.frames.start(k).packet, c.starts[k - 1].packet) << k;
            EXPECT_EQ(load.store.frames.start(k).record, c.starts[k - 1].record) << k;
        }
        std::remove(path.c_str());
    }
}

// The index and the frames cannot disagree: for captures in both layouts (points that look like
// markers, void records, frames that start mid-packet, a damaged tail, the simulated sensor's
// own), the frame count equals the frames a walk from the first packet gives, and reading
// frame k through the index gives the walk's k-th frame, point for point, with its number.
TEST(CaptureStore, EveryFrameReachedThroughTheIndexEqualsTheWalk) {
    const std::string simPath = tempPath("walk-sim.pcap");
    ASSERT_EQ(std::system((std::string(KV_BIN_DIR) + "/kv-sensor-sim --pcap " + simPath +
                           " --seconds 1 --seed 4 --dual 2>/dev/null").c_str()), 0);
    struct Case {
        const char* name;
        std::vector<Payload> packets;
        bool cutTail;  // the last record cut short: a damaged capture
        std::string file;  // instead of packets
    } cases[] = {
        {"single layout with lookalike points", synthetic(false, 80, 333, 7), false, ""},
        {"dual layout with lookalike points", synthetic(true, 80, 190, 8), false, ""},
        {"dense markers", synthetic(false, 12, 37, 9), false, ""},
        {"damaged tail", synthetic(false, 40, 250, 10), true, ""},
        {"the simulated sensor, dual layout", {}, false, simPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = c.file;
        if (path.empty()) {
            path = tempPath("walk.pcap");
            Capture cap;
            cap.header().records(c.packets);
            if (c.cutTail) cap.bytes.resize(cap.bytes.size() - 500);
            writeFile(path, cap.bytes);
        }
        const auto load = loadCapture(path);
        ASSERT_TRUE(load.opened) << load.error;
        EXPECT_EQ(load.damaged, c.cutTail) << load.damage;
        for (int echo : {0, 1, 2}) {
            std::vector<MuchLidarData> walk;
            kv::FrameRule rule(kv::FramePolicy::kReplay);
            kv::capture::PacketReader reader(load.store);
            for (std::uint32_t i = 0; i < load.store.packetCount; ++i)
                rule.feed(reader.packet(i), [echo] { return echo; }, [&](MuchLidarData&& f) { walk.push_back(std::move(f)); });
            ASSERT_GE(walk.size(), 3u);
            ASSERT_EQ(load.store.frameCount(), walk.size()) << "echo " << echo;
            kv::capture::PacketReader seeker(load.store);
            for (std::uint32_t k = load.store.frameCount(); k >= 1; --k) {  // backwards, as a user may seek
                MuchLidarData frame;
                kv::FrameTrace trace;
                ASSERT_TRUE(kv::capture::readFrame(load.store, k, echo, seeker, frame, &trace)) << k << seeker.error();
                EXPECT_EQ(frame.number, k);
                EXPECT_TRUE(frame == walk[k - 1]) << "frame " << k << " echo " << echo;
                // Each point's time is its packet's: the synthetic points carry their record's
                // place in the capture as their azimuth.
                std::vector<std::int64_t> times;
                kv::capture::pointTimes(load.store, k, trace, frame.size(), times);
                ASSERT_EQ(times.size(), frame.size());
                if (path == simPath) continue;
                const bool dual = kv::datapkt::isDualEcho(seeker.packet(0));
                const double unit = dual ? 0.001 : 0.01;
                const std::size_t records = dual ? kv::datapkt::dual::kRecordCount : kv::datapkt::single::kRecordCount;
                for (std::size_t j = 0; j < frame.size(); ++j) {
                    const auto n = std::size_t(std::lround(frame.azimuth[j] / unit));
                    ASSERT_EQ(times[j], Capture::timeNsOf(n / records)) << "frame " << k << " point " << j;
                }
            }
            MuchLidarData none;
            EXPECT_FALSE(kv::capture::readFrame(load.store, load.store.frameCount() + 1, echo, seeker, none));
            EXPECT_FALSE(kv::capture::readFrame(load.store, 0, echo, seeker, none));
        }
        if (path != simPath) std::remove(path.c_str());
    }
    std::remove(simPath.c_str());
}

TEST(CaptureStore, MalformedCapturesKeepEveryPacketBeforeTheFault) {
    std::vector<Payload> good;
    for (std::uint32_t i = 0; i < 8; ++i) good.push_back(payload(100 + i, {7 * i, 602}));
    const auto goodFrames = [&](std::vector<std::size_t> which) {
        std::vector<Payload> out;
        for (std::size_t i : which) out.push_back(good[i]);
        return out;
    };
    const std::vector<std::size_t> none, first5 = {0, 1, 2, 3, 4}, all = {0, 1, 2, 3, 4, 5, 6, 7},
                                   allBut5 = {0, 1, 2, 3, 4, 6, 7};
    const Bytes whole = Capture().header().records(good).bytes;
    const auto cutAt = [&](std::size_t bytes) { return Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(bytes)); };
    const std::size_t sixth = 24 + 5 * (16 + kv::capture::kFrameBytes);  // where record 6 begins
    // Good frames 0-4, a faulty record in place of frame 5, then good frames 6 and 7.
    const auto faultySixth = [&](std::uint32_t snaplen, const Bytes& bytes, std::uint32_t caplen, std::uint32_t len) {
        return Capture().header(0xA1B2C3D4, snaplen).records(goodFrames(first5)).record(bytes, caplen, len)
            .records(goodFrames({6, 7})).bytes;
    };
    std::mt19937 rng(2024);
    Bytes noise(4096);
    for (auto& b : noise) b = std::uint8_t(rng());

    struct Case {
        const char* file;  // named after the fault
        std::function<Bytes()> make;
        bool opened;
        std::vector<std::size_t> kept;  // which of `good` are stored, in order
        std::uint64_t skipped;
        bool damaged;
        const char* says;  // in `error` or `damage`
    } cases[] = {
        {"truncated_record.pcap", [&] { return cutAt(sixth + 16 + 700); }, true, first5, 0, true, "truncated"},
        {"truncated_record_header.pcap", [&] { return cutAt(sixth + 9); }, true, first5, 0, true, "truncated"},
        {"cut_file_header.pcap", [&] { return cutAt(13); }, false, none, 0, false, "truncated"},
        {"caplen_2_31.pcap", [&] { return faultySixth(65535, frame(good[5]), 1u << 31, 1u << 31); },
         true, first5, 0, true, "capture length"},
        // libpcap cuts the record to the snapshot length; the datagram is whole before the cut.
        {"caplen_above_snaplen.pcap", [&] { return faultySixth(1248, frame(good[5], 1300), 1300, 1300); },
         true, all, 0, false, ""},
        {"caplen_below_wire_length.pcap", [&] { return faultySixth(65535, frame(good[5]), 1248, 1290); },
         true, all, 0, false, ""},
        {"pcapng.pcap", [&] { return pcapng(good); }, true, all, 0, false, ""},
        {"nanosecond_timestamps.pcap", [&] { return Capture().header(0xA1B23C4D).records(good).bytes; },
         true, all, 0, false, ""},
        {"byte_swapped.pcap", [&] { return Capture{true, {}}.header().records(good).bytes; }, true, all, 0, false, ""},
        // Kuznetzov's modified format: 24-byte record headers (interface, protocol, type, pad).
        {"modified_format.pcap", [&] {
             Capture c;
             c.header(0xA1B2CD34);
             for (const Payload& p : good) {
                 const Bytes f = frame(p);
                 c.u32(1700000000).u32(0).u32(std::uint32_t(f.size())).u32(std::uint32_t(f.size()));
                 c.u32(2).u16(0x0800).u16(0).raw(f);
             }
             return c.bytes;
         }, true, all, 0, false, ""},
        {"linktype_raw_ip.pcap", [&] { return Capture().header(0xA1B2C3D4, 65535, 101).records(good).bytes; },
         true, none, 8, false, ""},
        {"empty.pcap", [] { return Bytes(); }, false, none, 0, false, "empty"},
        {"random_bytes.pcap", [&] { return noise; }, false, none, 0, false, "format"},
        {"directory.pcap", nullptr, false, none, 0, false, "directory"},
        {"missing.pcap", nullptr, false, none, 0, false, "No such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = tempPath(c.file);
        if (c.make) {
            writeFile(path, c.make());
        } else if (std::string(c.file) == "directory.pcap") {
            ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        }
        const auto load = loadCapture(path);
        EXPECT_EQ(load.opened, c.opened) << load.error;
        EXPECT_NE((c.opened ? load.damage : load.error).find(c.says), std::string::npos)
            << load.error << load.damage;
        EXPECT_EQ(load.damaged, c.damaged) << load.damage;
        EXPECT_EQ(load.damage.empty(), !c.damaged);
        expectStored(load.store, goodFrames(c.kept));
        EXPECT_EQ(load.store.frames.markers(), 2 * c.kept.size());
        EXPECT_EQ(load.recordsSkipped, c.skipped);
        ::rmdir(path.c_str());
        std::remove(path.c_str());
    }
}

// The store reads payloads from the file: one that shrinks or is rewritten after it was opened
// is reported by the reader, packet by packet, and never read past its end. Progress comes now
// and then, never goes back, and ends at the file's size.
TEST(CaptureStore, AFileChangedWhileOpenIsReportedNeverReadPast) {
    const Payload data = payload(2, {0, 7, 14, 21});
    constexpr std::size_t kRecords = 12000;  // more than one progress step
    const Bytes whole = Capture().header().records(std::vector<Payload>(kRecords, data)).bytes;
    const std::string path = tempPath("changing.pcap");
    struct Case {
        const char* name;
        std::function<void()> change;
        bool firstReadable;  // packet 0 still reads
    } cases[] = {
        {"cut to 50 records", [&] { ::truncate(path.c_str(), off_t(24 + 50 * (16 + 1248))); }, false},
        {"emptied", [&] { ::truncate(path.c_str(), 0); }, false},
        {"rewritten in place", [&] { writeFile(path, whole); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, whole);
        std::vector<std::uint64_t> reports;
        const auto load = loadCapture(path, [&](std::uint64_t done, std::uint64_t total) {
            reports.push_back(done);
            EXPECT_EQ(total, whole.size());
        });
        EXPECT_GE(reports.size(), 2u);
        EXPECT_LT(reports.size(), 10u);
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        EXPECT_EQ(reports.back(), whole.size());
        ASSERT_EQ(load.store.packetCount, kRecords);
        EXPECT_EQ(load.store.frames.markers(), 4 * kRecords);
        kv::capture::PacketReader reader(load.store);
        ASSERT_NE(reader.packet(kRecords - 1), nullptr) << reader.error();
        // Another second on the clock makes a rewrite visible even where file times are coarse.
        ::usleep(10000);
        struct timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 5, 0}};
        c.change();
        ::utimensat(AT_FDCWD, path.c_str(), later, 0);
        kv::capture::PacketReader after(load.store);
        EXPECT_EQ(after.packet(0) != nullptr, c.firstReadable);
        EXPECT_EQ(after.packet(kRecords - 1), nullptr);
        EXPECT_NE(after.error().find("open it again"), std::string::npos) << after.error();
    }
    std::remove(path.c_str());
}

TEST(CaptureStore, LoadsTheSimulatedSensorsCapture) {
    const std::string pcapPath = tempPath("sim.pcap"), errPath = tempPath("sim.err");
    const std::string command = std::string(KV_BIN_DIR) + "/kv-sensor-sim --pcap " + pcapPath +
                                " --seconds 2 --seed 9 2>" + errPath;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::stringstream said;
    said << std::ifstream(errPath).rdbuf();
    unsigned long long sentData = 0, frames = 0, sentStatus = 0;
    const auto at = said.str().find("wrote ");
    ASSERT_NE(at, std::string::npos) << said.str();
    ASSERT_EQ(std::sscanf(said.str().c_str() + at, "wrote %llu data packets (%*f/s), %llu frames, %llu status",
                          &sentData, &frames, &sentStatus), 3) << said.str();

    const auto load = loadCapture(pcapPath);
    ASSERT_TRUE(load.opened) << load.error;
    EXPECT_FALSE(load.damaged) << load.damage;
    EXPECT_EQ(load.recordsSkipped, sentStatus);
    EXPECT_GE(sentStatus, 2u);
    // The store holds the stream the simulator generated, in order.
    kv::sim::DataStream stream({false, 0.1, 9});
    std::vector<Payload> want(sentData);
    for (Payload& p : want) stream.next(p.data());
    expectStored(load.store, want);
    // Each period opens with a marker record: frame k starts at the record opening period 4k-3.
    EXPECT_EQ(load.store.frameCount(), frames);
    for (std::uint32_t k = 1; k <= frames; ++k) {
        const std::size_t record = 4 * (k - 1) * std::size_t(stream.recordsPerPeriod());
        EXPECT_EQ(load.store.frames.start(k).packet, record / std::size_t(stream.recordsPerPacket())) << "frame " << k;
        EXPECT_EQ(load.store.frames.start(k).record, record % std::size_t(stream.recordsPerPacket())) << "frame " << k;
    }
    std::remove(pcapPath.c_str());
    std::remove(errPath.c_str());
}

}  // namespace

namespace {

using kv::wire::Skip;

// An IPv4/UDP datagram carrying `p`, as the sensor sends it (the frame without its Ethernet
// header).
Bytes datagram(const Payload& p, std::uint32_t sourceIp = 0xC0A801C8, std::uint16_t sourcePort = 2368,
               std::uint16_t destPort = 2368) {
    kv::sim::wire::Endpoints ends;
    ends.sourceIp = sourceIp;
    ends.destIp = 0xC0A80164;
    ends.sourcePort = sourcePort;
    ends.destPort = destPort;
    const auto f = kv::sim::wire::frameDatagram(p.data(), ends, 7);
    return Bytes(f.begin() + kv::wire::kEthernetBytes, f.end());
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kMacs = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
Bytes ethernet(const Bytes& tags = {}, Bytes type = {0x08, 0x00}) { return cat(cat(kMacs, tags), type); }
Bytes sll(std::uint8_t packetType = 0, std::uint16_t arphrd = 1) {
    return {0, packetType, std::uint8_t(arphrd >> 8), std::uint8_t(arphrd), 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 0x08, 0x00};
}
Bytes sll2(std::uint8_t packetType = 0, std::uint16_t arphrd = 1) {
    return {0x08, 0x00, 0, 0, 0, 0, 0, 3, std::uint8_t(arphrd >> 8), std::uint8_t(arphrd), packetType, 6,
            1,    2,    3, 4, 5, 6, 0, 0};
}

// Writes the records with libpcap's own writer, of link type `dlt`.
void dumpCapture(const std::string& path, int dlt, const std::vector<Bytes>& records) {
    pcap_t* dead = pcap_open_dead(dlt, 65535);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* d = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(d, nullptr) << pcap_geterr(dead);
    for (const Bytes& r : records) {
        pcap_pkthdr h{};
        h.ts.tv_sec = 1700000000;
        h.caplen = h.len = std::uint32_t(r.size());
        pcap_dump(reinterpret_cast<u_char*>(d), &h, r.data());
    }
    pcap_dump_close(d);
    pcap_close(dead);
}

}  // namespace

// Every link layer the standard tools write, through the link type the file declares, and every
// IPv4/UDP check, each as one record between two good ones: the record is taken, or skipped
// and counted under its reason, and nothing around it is lost.
TEST(CaptureStore, LinkLayersAndHeaderChecks) {
    const Payload before = payload(1, {5}), mid = payload(2, {9}), after = payload(3, {700});
    Payload status = payload(4), config = payload(5);
    kv::statuspkt::writeHeader(status.data());
    kv::configpkt::writeHeader(config.data());
    const Bytes d = datagram(mid);
    auto edit = [&](std::function<void(Bytes&)> f, const Bytes& base = {}) {
        Bytes b = base.empty() ? d : base;
        f(b);
        return b;
    };
    // Header bytes 0 (version, length), 2-3 (total length), 6-7 (fragment), 9 (protocol);
    // the UDP length at 24-25 of a 20-byte header.
    const Bytes withOptions = [&] {
        Bytes b(d.begin(), d.begin() + 20);
        b.insert(b.end(), {1, 1, 1, 0});  // NOP NOP NOP EOL
        b.insert(b.end(), d.begin() + 20, d.end());
        b[0] = 0x46;
        kv::writeBe16(&b[2], std::uint32_t(b.size()));
        return b;
    }();
    const Bytes shortPayload = [&] {
        Bytes b(d.begin(), d.end() - 1);
        kv::writeBe16(&b[2], std::uint32_t(b.size()));
        kv::writeBe16(&b[24], std::uint32_t(b.size() - 20));
        return b;
    }();
    const Bytes udpCut = [&] {  // a 24-byte datagram: the IPv4 header and half a UDP header
        Bytes b(d.begin(), d.begin() + 24);
        kv::writeBe16(&b[2], 24);
        return b;
    }();
    const int kLinkIpv4 = 228, kLinkSll2 = 276, kLinkLoop = 108;
    const Bytes eth = ethernet(), none, nullLe = {2, 0, 0, 0};
    struct Case {
        const char* name;
        int dlt;
        Bytes link;    // of the good records around the case
        Bytes record;  // the case
        Skip skip;     // kTaken: stored between the two others
    } cases[] = {
        {"Ethernet", DLT_EN10MB, eth, cat(eth, d), Skip::kTaken},
        {"Ethernet, one 802.1Q tag", DLT_EN10MB, eth, cat(ethernet({0x81, 0x00, 0x00, 0x05}), d), Skip::kTaken},
        {"Ethernet, 802.1ad and 802.1Q tags", DLT_EN10MB, eth,
         cat(ethernet({0x88, 0xA8, 0x00, 0x07, 0x81, 0x00, 0x00, 0x05}), d), Skip::kTaken},
        {"Ethernet, three tags", DLT_EN10MB, eth,
         cat(ethernet({0x88, 0xA8, 0, 7, 0x81, 0x00, 0, 5, 0x81, 0x00, 0, 6}), d), Skip::kNotIpv4},
        {"Ethernet, a trailer after the datagram", DLT_EN10MB, eth, cat(cat(eth, d), Bytes(6, 0)), Skip::kTaken},
        {"Ethernet, IPv6", DLT_EN10MB, eth, cat(ethernet({}, {0x86, 0xDD}), d), Skip::kNotIpv4},
        {"Ethernet, cut in its header", DLT_EN10MB, eth, Bytes(kMacs.begin(), kMacs.begin() + 10), Skip::kLinkHeader},
        {"Linux cooked", DLT_LINUX_SLL, sll(), cat(sll(), d), Skip::kTaken},
        {"Linux cooked, sent by this host", DLT_LINUX_SLL, sll(), cat(sll(4), d), Skip::kTaken},
        {"Linux cooked, loopback sent copy", DLT_LINUX_SLL, sll(), cat(sll(4, 772), d), Skip::kLoopbackCopy},
        {"Linux cooked v2", kLinkSll2, sll2(), cat(sll2(), d), Skip::kTaken},
        {"Linux cooked v2, loopback received", kLinkSll2, sll2(), cat(sll2(0, 772), d), Skip::kTaken},
        {"Linux cooked v2, loopback sent copy", kLinkSll2, sll2(), cat(sll2(4, 772), d), Skip::kLoopbackCopy},
        {"raw IP", DLT_RAW, none, d, Skip::kTaken},
        {"raw IP, IPv6", DLT_RAW, none, edit([](Bytes& b) { b[0] = 0x60; }), Skip::kNotIpv4},
        {"IPv4 link type", kLinkIpv4, none, d, Skip::kTaken},
        {"BSD loopback, little-endian", DLT_NULL, nullLe, cat(nullLe, d), Skip::kTaken},
        {"BSD loopback, big-endian", DLT_NULL, nullLe, cat({0, 0, 0, 2}, d), Skip::kTaken},
        {"BSD loopback, IPv6", DLT_NULL, nullLe, cat({30, 0, 0, 0}, d), Skip::kNotIpv4},
        {"OpenBSD loopback", kLinkLoop, {0, 0, 0, 2}, cat({0, 0, 0, 2}, d), Skip::kTaken},
        {"IPv4 options", DLT_EN10MB, eth, cat(eth, withOptions), Skip::kTaken},
        {"IPv4 version 5", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[0] = 0x55; })), Skip::kIpHeader},
        {"IPv4 header length 16", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[0] = 0x44; })), Skip::kIpHeader},
        {"IPv4 total length beyond the record", DLT_EN10MB, eth, cat(eth, Bytes(d.begin(), d.end() - 10)),
         Skip::kCut},
        {"TCP", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[9] = 6; })), Skip::kNotUdp},
        {"first fragment", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[6] = 0x20; })), Skip::kFragment},
        {"later fragment", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[7] = 0x10; })), Skip::kFragment},
        {"don't-fragment set", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[6] = 0x40; })), Skip::kTaken},
        {"UDP length past the datagram", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[25] += 1; })),
         Skip::kUdpLength},
        {"UDP length short of the datagram", DLT_EN10MB, eth, cat(eth, edit([](Bytes& b) { b[25] -= 1; })),
         Skip::kPayloadSize},
        {"a 1205-byte payload", DLT_EN10MB, eth, cat(eth, shortPayload), Skip::kPayloadSize},
        {"a UDP header cut short inside the datagram", DLT_RAW, none, udpCut, Skip::kUdpLength},
        {"status packet", DLT_EN10MB, eth, cat(eth, datagram(status)), Skip::kStatusPacket},
        {"configuration packet", DLT_EN10MB, eth, cat(eth, datagram(config)), Skip::kConfigPacket},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The record alone, in a buffer of its own size: the sanitizer build sees any read past it.
        const Bytes alone = c.record;
        EXPECT_EQ(kv::wire::decodeRecord(c.dlt, alone.data(), alone.size()).skip, c.skip);
        const std::string path = tempPath("link.pcap");
        ASSERT_NO_FATAL_FAILURE(
            dumpCapture(path, c.dlt, {cat(c.link, datagram(before)), c.record, cat(c.link, datagram(after))}));
        const auto load = loadCapture(path);
        ASSERT_TRUE(load.opened) << load.error;
        EXPECT_FALSE(load.damaged) << load.damage;
        EXPECT_EQ(load.recordsRead, 3u);
        kv::wire::SkipCounts want{};
        if (c.skip != Skip::kTaken) want[std::size_t(c.skip)] = 1;
        EXPECT_EQ(load.skipped, want) << kv::wire::skipSummary(load.skipped);
        if (c.skip == Skip::kTaken) expectStored(load.store, {before, mid, after});
        else expectStored(load.store, {before, after});
        std::remove(path.c_str());
    }
}
