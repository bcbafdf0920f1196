#include "export_job.h"

#include "merged_streams.h"
#include "sensors_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "data_packet.h"
#include "frame_display.h"
#include "frame_rule.h"
#include "settings.h"

namespace kv::exporter {

// ---- the walk ----

std::uint32_t walkFrames(const capture::CaptureStore& store, int echo, std::uint32_t last, const FrameCallback& onFrame,
                         const PacketProgress& progress, std::uint64_t* droppedPoints, std::string* readError) {
    constexpr std::uint32_t kProgressEvery = 2048;  // packets between progress reports
    FrameRule assembler(FramePolicy::kReplay);
    const auto selection = [echo] { return echo; };
    std::uint32_t frames = 0;
    bool stop = false;
    bool refused = false;  // onFrame ended the walk: it did not run to its end
    const std::uint32_t n = store.packetCount;
    std::uint32_t i = 0;
    capture::PacketReader reader(store);
    for (; i < n && !stop; ++i) {
        const std::uint8_t* packet = reader.packet(i);
        if (packet == nullptr) {
            if (readError) *readError = reader.error();
            refused = true;
            break;
        }
        assembler.feed(packet, selection, [&](MuchLidarData&& frame) {
            // A packet dense with markers can finish several frames: none after the last.
            if (stop) return;
            ++frames;
            if (!onFrame(frames, std::move(frame), packet)) stop = refused = true;
            else if (frames >= last) stop = true;
        });
        if (progress && i % kProgressEvery == 0) progress(i, n);
    }
    // Done, also when the range ended before the capture did; an interrupted walk shows where.
    if (progress) progress(refused ? i : n, n);
    if (droppedPoints) *droppedPoints = assembler.droppedPoints();
    return frames;
}

// ---- CSV ----

CsvSink::CsvSink(const ExportOptions& o, const BeamGeometry& geometry, std::string path)
    : path_(std::move(path)),
      filter_(csv::RowFilter::multiFrame(o.minAngleDeg, o.maxAngleDeg, o.lineState, false, false, SelectionBox{})),
      geometry_(geometry) {
    filter_.poses = o.sensorPoses;
    if (o.sensorNames.size() > 1) file_.setSensorNames(o.sensorNames);
}

bool CsvSink::write(int exported, const MuchLidarData& frame, int) {
    if (!opened_) {
        opened_ = true;
        if (!file_.open(path_, csv::Layout::kMultiFrame)) return false;
    }
    return file_.writeFrame(frame, geometry_, filter_, exported);
}

bool CsvSink::finish() { return opened_ ? file_.close() : true; }

std::string CsvSink::summary() const {
    return opened_ ? std::to_string(file_.rows()) + " rows to " + path_ : "nothing written to " + path_;
}

// ---- PCD names ----

std::string exportFileName(const std::string& capturePath, std::uint32_t frameNumber, const std::string& ext) {
    const std::size_t slash = capturePath.rfind('/');
    std::string name = slash == std::string::npos ? capturePath : capturePath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);  // ".pcap" alone keeps its name
    char number[16];
    std::snprintf(number, sizeof number, "_%06u", frameNumber);
    return name + number + ext;
}

// ---- progress ----

void ProgressReport::update(const std::string& phase, std::uint64_t done, std::uint64_t total) {
    if (!out_) return;
    if (phase != phase_) {
        end();
        phase_ = phase;
        shown_ = -1;
    }
    const std::uint64_t d = std::min(done, total);
    const int percent = total == 0 ? 100 : int(d * 100 / total);
    if (terminal_) {
        if (percent == shown_) return;
        constexpr int kWidth = 30;
        char bar[kWidth + 1];
        const int filled = percent * kWidth / 100;
        for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
        bar[kWidth] = '\0';
        std::fprintf(out_, "\r%-9s [%s] %3d%%", phase_.c_str(), bar, percent);
        barOpen_ = true;
    } else {
        const int tenth = percent / 10;
        if (tenth == shown_) return;
        shown_ = tenth;
        std::fprintf(out_, "kv-export: %s %d%%\n", phase_.c_str(), tenth * 10);
    }
    shown_ = terminal_ ? percent : shown_;
    std::fflush(out_);
}

void ProgressReport::end() {
    if (barOpen_ && out_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    barOpen_ = false;
}

// ---- the program ----

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The CSV file's place, tried before the capture is read: a file that exists is opened for
// writing as it is (not cut); a new one is created, and removed again, still empty, unless the
// export writes into it.
class OutputProbe {
public:
    bool check(const std::string& path, std::string& error) {
        path_ = path;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created_ = true;
        } else if (errno == EEXIST) {
            // O_NONBLOCK: a pipe with no reader yet answers ENXIO instead of waiting for one.
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
            if (fd < 0 && errno == ENXIO) return true;
        }
        if (fd < 0) {
            error = "Cannot create " + path + ": " + std::strerror(errno);
            return false;
        }
        ::close(fd);
        return true;
    }
    bool created() const { return created_; }
    void keep() { created_ = false; }
    ~OutputProbe() {
        struct stat st {};
        if (created_ && ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
            ::unlink(path_.c_str());
    }

private:
    std::string path_;
    bool created_ = false;
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string rangeText(std::uint32_t first, std::uint32_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

OpenedCapture openForExport(const std::string& path, const wire::StreamKey* stream, int destPort,
                            const capture::CaptureProgress& progress) {
    OpenedCapture o;
    capture::CaptureLoad& load = o.load;
    load = capture::loadCapture(path, progress);
    if (!load.opened) {
        // libpcap's texts ("unknown file format") do not name the file.
        o.status = kExitFailed;
        o.error = load.error.rfind(path, 0) == 0 ? load.error : path + ": " + load.error;
        return o;
    }
    if (load.damaged)
        o.damage = path + " is damaged after record " + std::to_string(load.recordsRead) + " (" +
                   std::to_string(load.store.packetCount) + " data packets kept before it): " + load.damage;
    if (load.streams.empty()) {
        o.status = load.damaged ? kExitDamaged : kExitFailed;
        o.error = load.damaged ? o.damage + "; no data packet came before the damage" : path + ": " + load.failureText();
        return o;
    }
    auto streamList = [&] {
        std::string list;
        for (const auto& s : load.streams)
            list += (list.empty() ? "" : ", ") + wire::streamText(s.key) + " (" + std::to_string(s.packets) + ")";
        return list;
    };
    if (stream != nullptr || destPort >= 0) {
        const std::size_t i = stream != nullptr ? load.findStream(*stream) : load.findPort(std::uint16_t(destPort));
        if (i >= load.streams.size()) {
            o.status = kExitFailed;
            o.error = path + ": no data packets of " +
                      (stream != nullptr ? "stream " + wire::streamText(*stream) : "port " + std::to_string(destPort)) +
                      "; its streams (data packets): " + streamList();
            return o;
        }
        load.chooseStream(i);
    } else {
        o.note = "stream " + wire::streamText(load.streams[0].key) + " (" + std::to_string(load.streams[0].packets) +
                 " data packets" +
                 (load.streams.size() > 1 ? "; the largest of " + std::to_string(load.streams.size()) + ": " + streamList()
                                          : std::string()) +
                 ")";
    }
    return o;
}

bool resolveSensors(ExportOptions& o, const capture::CaptureLoad& load, std::size_t& lead,
                    std::vector<std::string>& warnings, std::string& error) {
    std::vector<wire::StreamKey> keys;
    if (o.allStreams)
        for (const auto& s : load.streams) keys.push_back(s.key);
    else
        keys.push_back(load.streams[load.chosen].key);
    const auto indexOf = [&](const wire::StreamKey& k) {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == k) return i;
        return keys.size();
    };
    std::vector<Pose> poses(keys.size());
    std::vector<std::string> names;
    for (const auto& k : keys) names.push_back(wire::streamText(k));
    if (!o.sensorsPath.empty()) {
        const SensorsRead file = readSensorsFile(o.sensorsPath);
        if (!file.found) {
            error = "--sensors " + o.sensorsPath + ": " + std::strerror(errno);
            return false;
        }
        warnings = file.errors;
        for (const SensorEntry& e : file.sensors)
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const std::string text = wire::streamText(keys[i]);
                if (text.compare(0, text.find('>'), e.source) != 0) continue;
                poses[i] = e.pose;
                if (!e.name.empty()) names[i] = e.name;
            }
    }
    for (const auto& p : o.poses) {
        const std::size_t i = p.keyed ? indexOf(p.stream) : 0;
        if (i >= keys.size()) {
            error = "--pose: " + o.capturePath + " has no data stream " + wire::streamText(p.stream);
            return false;
        }
        poses[i] = p.pose;
    }
    lead = 0;  // the streams come largest first
    if (o.leadGiven) {
        lead = indexOf(o.lead);
        if (lead >= keys.size()) {
            error = "--lead: " + o.capturePath + " has no data stream " + wire::streamText(o.lead);
            return false;
        }
    }
    o.sensorPoses.clear();
    bool any = false;
    for (const Pose& p : poses) {
        o.sensorPoses.emplace_back(p);
        any = any || !p.isIdentity();
    }
    if (!any) o.sensorPoses.clear();  // nothing to apply: every output as without poses
    o.sensorNames = keys.size() > 1 ? names : std::vector<std::string>{};
    return true;
}

int exportMain(int argc, const char* const* argv, const Environment& env) {
    std::FILE* err = env.err;
    auto say = [err](const std::string& text) {
        if (err) {
            std::fprintf(err, "kv-export: %s\n", text.c_str());
            std::fflush(err);
        }
    };

    ExportOptions o;
    std::string message;
    switch (parseOptions(argc, argv, o, message)) {
    case ParseOutcome::Help:
        if (env.out) std::fputs(usageText().c_str(), env.out);
        return kExitOk;
    case ParseOutcome::Version:
        if (env.out) std::fputs(versionText().c_str(), env.out);
        return kExitOk;
    case ParseOutcome::Error: say(message); return kExitBadOption;
    case ParseOutcome::Run: break;
    }
    // Checks that need no capture come first: a long read must not end in a refusal.
    if (!o.csvPath.empty() && sameFile(o.csvPath, o.capturePath)) {
        say("--csv " + o.csvPath + " is the capture file itself; it would be replaced");
        return kExitBadOption;
    }
    const struct {
        const char* option;
        const std::string& dir;
        const Environment::MakeSink& make;
        const char* format;
    } cloudOutputs[] = {{"--pcd", o.pcdDir, env.makePcdSink, "PCD"}, {"--ply", o.plyDir, env.makePlySink, "PLY"}};
    for (const auto& c : cloudOutputs) {
        if (c.dir.empty()) continue;
        struct stat st {};
        if (::stat(c.dir.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            say(std::string(c.option) + " " + c.dir + " is not a directory");
            return kExitFailed;
        }
        if (!c.make) {
            say(std::string("this build writes no ") + c.format + " files");
            return kExitFailed;
        }
    }
    OutputProbe csvProbe;
    if (!o.csvPath.empty()) {
        std::string error;
        if (!csvProbe.check(o.csvPath, error)) {
            say(error);
            return kExitFailed;
        }
    }
    const int lineType = o.lineTypeGiven ? o.lineType
                         : env.configPath.empty()
                             ? 1
                             : readSettings(QString::fromStdString(env.configPath)).LidarLineType;
    o.lineType = lineType;  // the writers name and compute with the value in use
    const BeamGeometry geometry = BeamGeometry::forLineType(lineType);

    ProgressReport progress(err, env.terminal);
    const auto t0 = std::chrono::steady_clock::now();
    OpenedCapture opened = openForExport(o.capturePath, o.streamGiven ? &o.stream : nullptr, o.destPort,
                                         [&](std::uint64_t done, std::uint64_t total) { progress.update("reading", done, total); });
    progress.end();
    if (opened.status != 0) {
        say(opened.error);
        return opened.status;
    }
    if (o.allStreams && opened.load.streams.size() > 1) {
        std::string list;
        for (const auto& st : opened.load.streams)
            list += (list.empty() ? "" : ", ") + wire::streamText(st.key) + " (" + std::to_string(st.packets) + ")";
        say(std::to_string(opened.load.streams.size()) + " streams merged (data packets): " + list);
    } else if (!opened.note.empty()) {
        say(opened.note);
    }
    const double readSeconds = secondsSince(t0);
    capture::CaptureLoad& load = opened.load;
    const std::string& damageText = opened.damage;
    const capture::CaptureStore& store = load.store;
    std::size_t lead = 0;
    {
        std::vector<std::string> warnings;
        std::string error;
        if (!resolveSensors(o, load, lead, warnings, error)) {
            say(error);
            return kExitBadOption;
        }
        for (const std::string& w : warnings) say(w);
    }

    std::vector<std::unique_ptr<FrameSink>> sinks;
    CsvSink* csv = nullptr;
    if (!o.csvPath.empty()) {
        auto sink = std::make_unique<CsvSink>(o, geometry, o.csvPath);
        csv = sink.get();
        sinks.push_back(std::move(sink));
    }
    for (const auto& c : cloudOutputs) {
        if (c.dir.empty()) continue;
        std::string error;
        std::unique_ptr<FrameSink> sink = c.make(o, geometry, c.dir, error);
        if (!sink) {
            say(error);
            for (auto& s : sinks) s->finish();
            return kExitFailed;
        }
        sinks.push_back(std::move(sink));
    }

    const auto t1 = std::chrono::steady_clock::now();
    int exported = 0;
    std::uint32_t firstExported = 0, lastExported = 0;
    std::string writeError;
    bool interrupted = false;
    std::uint64_t dropped = 0;
    std::string readError;
    const auto onFrame = [&](std::uint32_t number, MuchLidarData&& frame, int echoFlag) {
        if (env.interrupted && env.interrupted()) {
            interrupted = true;
            return false;
        }
        if (number < o.firstFrame) return true;
        ++exported;
        frame.number = number;
        for (auto& s : sinks)
            if (!s->write(exported, frame, echoFlag)) {
                writeError = s->error();
                return false;
            }
        if (firstExported == 0) firstExported = number;
        lastExported = number;
        return true;
    };
    std::uint32_t seen = 0;
    if (o.allStreams) {
        // The merged frames through the streams' indexes, numbered by the lead.
        const capture::MergedStreams merged(load.streamStores, lead);
        auto readers = merged.makeReaders();
        const std::uint32_t count = merged.frameCount();
        const std::uint32_t last = std::min(count, o.lastFrame);
        seen = count;
        MuchLidarData frame;
        for (std::uint32_t k = o.firstFrame; k <= last; ++k) {
            if (!merged.read(k, o.echo, readers, frame)) {
                for (const auto& r : readers)
                    if (!r.packets->error().empty()) readError = r.packets->error();
                break;
            }
            if (!onFrame(k, std::move(frame), 0)) break;
            progress.update("exporting", k - o.firstFrame + 1, last - o.firstFrame + 1);
        }
    } else {
        seen = walkFrames(
            store, o.echo, o.lastFrame,
            [&](std::uint32_t number, MuchLidarData&& frame, const std::uint8_t* packet) {
                return onFrame(number, std::move(frame), packet[datapkt::kEchoFlagOffset]);
            },
            [&](std::uint64_t done, std::uint64_t total) { progress.update("exporting", done, total); }, &dropped,
            &readError);
    }
    progress.end();
    for (auto& s : sinks)
        if (!s->finish() && writeError.empty()) writeError = s->error();
    const double exportSeconds = secondsSince(t1);
    // A CSV file that no frame reached was never touched: an earlier one keeps its rows.
    std::string csvUntouched;
    if (csv && csv->written()) csvProbe.keep();
    else if (csv)
        csvUntouched = "; nothing written to " + o.csvPath +
                       (csvProbe.created() ? ", which was not created" : ", which is left as it was");

    if (interrupted) {
        say("interrupted after " + (lastExported ? rangeText(firstExported, lastExported) : std::string("no frame")) +
            "; the files hold every frame written before" + csvUntouched);
        return kExitInterrupted;
    }
    if (!readError.empty()) {
        say(o.capturePath + ": " + readError);
        say(lastExported ? "stopped after " + rangeText(firstExported, lastExported) +
                               "; what was written before is kept"
                         : "stopped before the first frame was written");
        return kExitDamaged;
    }
    if (!writeError.empty()) {
        say(writeError);
        say(lastExported ? "stopped after " + rangeText(firstExported, lastExported) +
                               "; what was written before the failure is kept"
                         : "stopped before the first frame was written" + csvUntouched);
        return kExitFailed;
    }

    std::string summary = lastExported ? rangeText(firstExported, lastExported) + " (" +
                                             std::to_string(exported) + (exported == 1 ? " frame" : " frames") +
                                             ")"
                                       : "no frame";
    for (const auto& s : sinks) summary += "; " + s->summary();
    char timing[160];
    std::uint64_t packets = store.packetCount;
    if (o.allStreams) {  // every stream's
        packets = 0;
        for (const auto& st : load.streams) packets += st.packets;
    }
    std::snprintf(timing, sizeof timing, "; read %llu data packets in %.2f s, exported in %.2f s",
                  static_cast<unsigned long long>(packets), readSeconds, exportSeconds);
    summary += timing;
    if (csv && exportSeconds > 0) {
        std::snprintf(timing, sizeof timing, " (%.0f rows/s)", double(csv->rows()) / exportSeconds);
        summary += timing;
    }
    say(summary);
    if (dropped > 0)
        say(std::to_string(dropped) + " points dropped: a stretch without frame markers made a frame larger than " +
            std::to_string(kMaxFramePoints) + " points");

    if (load.damaged) {
        say(damageText + "; the export stopped there, after " +
            (lastExported ? rangeText(firstExported, lastExported) : std::string("no frame")) + csvUntouched);
        return kExitDamaged;
    }
    if (exported == 0) {
        say(seen == 0 ? o.capturePath + " holds no complete frame"
                      : "no frame in the range: " + o.capturePath + " holds " + std::to_string(seen) + " frame" +
                            (seen == 1 ? "" : "s") + csvUntouched);
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace kv::exporter
