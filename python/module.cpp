// The native part of kvcloudscope: captures, their frames and the live stream as numpy arrays,
// through the capture store, the frame rule and the writers that the viewer and kv-export use.
// Options are handed over as kv-export's own words, so that they mean what its options mean.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture_store.h"
#include "csv_export.h"
#include "data_packet.h"
#include "export_job.h"
#include "export_options.h"
#include "export_pcd.h"
#include "frame_display.h"
#include "frame_rule.h"
#include "link_decode.h"
#include "much_lidar_data.h"
#include "pcd_io.h"
#include "point_geometry.h"
#include "sensor_streams.h"
#include "settings.h"
#include "udp_socket.h"

namespace py = pybind11;
namespace ex = kv::exporter;

namespace {

// kv-export's words (a capture path first) to its options; a refusal is a ValueError with
// kv-export's own text.
ex::ExportOptions parseWords(const std::vector<std::string>& words) {
    std::vector<const char*> argv{"kvcloudscope"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    // kv-export wants somewhere to write; the options here choose points, the caller writes.
    argv.push_back("--csv");
    argv.push_back("-");
    ex::ExportOptions o;
    std::string message;
    if (ex::parseOptions(int(argv.size()), argv.data(), o, message) != ex::ParseOutcome::Run)
        throw py::value_error(message.empty() ? "not an option" : message);
    return o;
}

// One frame's points, as the CSV export writes them (every point the lines and the angle range
// keep, those without a return too), in parallel arrays; and the frame as cut, for the writers.
struct Frame {
    std::uint32_t number = 0;
    std::string source;  // live: the sender, "ADDR:PORT"; a capture: its stream
    MuchLidarData cut;
    kv::BeamGeometry geometry;
    ex::ExportOptions options;
    std::vector<float> x, y, z, distance, azimuth;
    std::vector<std::uint8_t> intensity, line;
    std::vector<double> time;

    // Keeps the points `options` keep; `timeOf(i)` is point i's time in seconds.
    template <class TimeOf>
    void fill(TimeOf&& timeOf) {
        const kv::csv::RowFilter filter = kv::csv::RowFilter::multiFrame(
            options.minAngleDeg, options.maxAngleDeg, options.lineState, false, false, kv::SelectionBox{});
        const std::size_t n = cut.commonSize();
        for (auto* v : {&x, &y, &z, &distance, &azimuth}) v->reserve(n);
        intensity.reserve(n);
        line.reserve(n);
        time.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const int l = cut.channel[i];
            const float az = cut.azimuth[i], cm = cut.distance[i];
            if (!filter.accepts(l, az, cm)) continue;
            // The computation of the display pass and the PCD files, point for point.
            const kv::PointM p = kv::computePoint(geometry, l, az, cm);
            x.push_back(p.xM);
            y.push_back(p.yM);
            z.push_back(p.zM);
            distance.push_back(float(double(cm) / 100.0));
            azimuth.push_back(az);
            intensity.push_back(std::uint8_t(cut.intensity[i]));
            line.push_back(std::uint8_t(l));
            time.push_back(timeOf(i));
        }
    }
};

// A read-only array over a vector of `owner`'s frame, which it keeps alive.
template <class T>
py::array view(const py::object& owner, const std::vector<T>& v) {
    py::array a(py::dtype::of<T>(), {py::ssize_t(v.size())}, {py::ssize_t(sizeof(T))}, v.data(), owner);
    py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return a;
}

struct CaptureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Capture {
public:
    // `words`: the capture path, then --stream, --port and --line-type as kv-export takes them;
    // without --line-type, `configLineType` (config.ini's, taken as kv-export takes it).
    Capture(const std::vector<std::string>& words, int configLineType) : options_(parseWords(words)) {
        if (!options_.lineTypeGiven) options_.lineType = configLineType;
        {
            py::gil_scoped_release release;
            opened_ = ex::openForExport(options_.capturePath, options_.streamGiven ? &options_.stream : nullptr,
                                        options_.destPort);
        }
        if (opened_.status != 0) throw CaptureError(opened_.error);
        geometry_ = kv::BeamGeometry::forLineType(options_.lineType);
        reader_ = std::make_unique<kv::capture::PacketReader>(opened_.load.store);
    }

    std::uint32_t size() const { return opened_.load.store.frameCount(); }
    const std::string& path() const { return options_.capturePath; }
    const std::string& damage() const { return opened_.damage; }
    int lineType() const { return options_.lineType; }
    std::string stream() const { return kv::wire::streamText(opened_.load.streams[opened_.load.chosen].key); }
    std::vector<std::pair<std::string, std::uint64_t>> streams() const {
        std::vector<std::pair<std::string, std::uint64_t>> out;
        for (const auto& s : opened_.load.streams) out.emplace_back(kv::wire::streamText(s.key), s.packets);
        return out;
    }

    // Frame `number` (1..size()) with the echo, lines and angles of `words` (kv-export's).
    std::shared_ptr<Frame> frame(std::uint32_t number, const std::vector<std::string>& words) {
        ex::ExportOptions o = words.empty() ? options_ : parseWords(words);
        auto f = std::make_shared<Frame>();
        f->number = number;
        f->source = stream();
        f->geometry = geometry_;
        f->options = o;
        std::string error;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(readerMutex_);
            kv::FrameTrace trace;
            if (!kv::capture::readFrame(opened_.load.store, number, o.echo, *reader_, f->cut, &trace)) {
                error = reader_->error().empty() ? "frame " + std::to_string(number) + " cannot be read"
                                                 : options_.capturePath + ": " + reader_->error();
            } else {
                kv::capture::pointTimes(opened_.load.store, number, trace, f->cut.size(), timesNs_);
                f->fill([&](std::size_t i) { return double(timesNs_[i]) * 1e-9; });
            }
        }
        if (!error.empty()) throw CaptureError(error);
        return f;
    }

private:
    ex::ExportOptions options_;
    ex::OpenedCapture opened_;
    kv::BeamGeometry geometry_;
    std::mutex readerMutex_;
    std::unique_ptr<kv::capture::PacketReader> reader_;
    std::vector<std::int64_t> timesNs_;  // guarded by readerMutex_
};

// The data port as the viewer's receiver reads it: datagrams of exactly one data packet, each
// sender's cut into frames by a live frame rule of its own (no frame mixes two senders), each
// point timed by the receive clock. Frames are handed over one sender's at a time, in the order
// they close, naming their sender.
class Live {
public:
    Live(int port, const std::string& group, double timeoutS, int lineType)
        : timeoutS_(timeoutS), geometry_(kv::BeamGeometry::forLineType(lineType)), buffers_(kSlot * kBatch) {
        options_.lineType = lineType;
        if (!socket_.open()) throw std::runtime_error("no UDP socket");
        socket_.setReceiveBufferBytes(8 << 20);
        if (!socket_.bindAny(port))
            throw std::runtime_error("cannot listen on UDP port " + std::to_string(port) + ": " + std::strerror(errno));
        if (!group.empty() && !socket_.joinMulticast(group))
            throw std::runtime_error("cannot join the multicast group " + group);
        socket_.setReceiveTimeoutMs(kPollMs);
    }

    int port() const { return socket_.localPort(); }
    void close() { socket_.close(); }
    bool closed() const { return !socket_.isOpen(); }

    // The next frame; null once closed or when nothing came for the time-out (none: never).
    std::shared_ptr<Frame> next(const py::object& echoWords) {
        ex::ExportOptions o = options_;
        if (!echoWords.is_none()) o = parseWords(echoWords.cast<std::vector<std::string>>());
        auto waited = std::chrono::steady_clock::duration::zero();
        while (ready_.empty()) {
            if (closed()) return nullptr;
            int n = 0;
            const auto t0 = std::chrono::steady_clock::now();
            {
                py::gil_scoped_release release;
                n = socket_.receiveBatch(buffers_.data(), kSlot, datagrams_, kBatch);
                const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
                for (int i = 0; i < n; ++i) {
                    if (datagrams_[i].truncated || datagrams_[i].length != kv::datapkt::kPacketBytes) continue;
                    Sender* sender = senderOf({datagrams_[i].sourceIp, datagrams_[i].sourcePort});
                    if (!sender) continue;  // a sender beyond the receiver's bound
                    sender->feedTimes.push_back(now);
                    sender->rule.feed(buffers_.data() + std::size_t(i) * kSlot, [&] { return o.echo; },
                                      [&](MuchLidarData&& cut) { closeFrame(*sender, std::move(cut), o); });
                }
            }
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();  // Ctrl-C
            if (n > 0) waited = {};
            else waited += std::chrono::steady_clock::now() - t0;
            if (ready_.empty() && timeoutS_ >= 0 && std::chrono::duration<double>(waited).count() >= timeoutS_)
                return nullptr;
        }
        auto f = ready_.front();
        ready_.pop_front();
        return f;
    }

private:
    static constexpr std::size_t kSlot = kv::datapkt::kPacketBytes + 1;  // a longer datagram fills it
    static constexpr int kBatch = 32;
    static constexpr int kPollMs = 100;

    struct Sender {
        kv::SensorSource source;
        std::string text;
        kv::FrameRule rule{kv::FramePolicy::kLive};
        std::deque<double> feedTimes;  // receive time of each feed from firstFeed on
        std::uint64_t firstFeed = 0;
    };

    Sender* senderOf(const kv::SensorSource& source) {
        for (auto& s : senders_)
            if (s->source == source) return s.get();
        if (senders_.size() >= kv::SensorStreams::kMaxSensors) return nullptr;
        senders_.push_back(std::make_unique<Sender>());
        senders_.back()->source = source;
        senders_.back()->text = kv::sourceText(source);
        return senders_.back().get();
    }

    void closeFrame(Sender& s, MuchLidarData&& cut, const ex::ExportOptions& o) {
        auto f = std::make_shared<Frame>();
        f->cut = std::move(cut);
        f->number = ++frames_;
        f->source = s.text;
        f->geometry = geometry_;
        f->options = o;
        std::vector<std::uint64_t> feeds;
        const bool traced = kv::pointFeeds(s.rule.closingTrace(), f->cut.size(), feeds);
        const double fallback = s.feedTimes.empty() ? 0.0 : s.feedTimes.back();
        f->fill([&](std::size_t i) {
            if (!traced || feeds[i] < s.firstFeed || feeds[i] - s.firstFeed >= s.feedTimes.size()) return fallback;
            return s.feedTimes[std::size_t(feeds[i] - s.firstFeed)];
        });
        ready_.push_back(std::move(f));
        // The packet being fed may begin the next frame; the ones before it are done with.
        const std::uint64_t current = s.rule.feeds() - 1;
        while (s.firstFeed < current && !s.feedTimes.empty()) {
            s.feedTimes.pop_front();
            ++s.firstFeed;
        }
    }

    double timeoutS_;
    kv::BeamGeometry geometry_;
    ex::ExportOptions options_;
    kv::UdpSocket socket_;
    std::vector<std::unique_ptr<Sender>> senders_;
    std::vector<std::uint8_t> buffers_;
    kv::UdpSocket::Datagram datagrams_[kBatch];
    std::uint32_t frames_ = 0;
    std::deque<std::shared_ptr<Frame>> ready_;
};

const Frame& frameOf(const py::object& o) { return o.cast<const Frame&>(); }

// A read-only array property of Frame over one of its vectors.
template <class T>
void arrayField(py::class_<Frame, std::shared_ptr<Frame>>& cls, const char* name, std::vector<T> Frame::*member,
                const char* doc) {
    cls.def_property_readonly(name, [member](py::object self) { return view(self, frameOf(self).*member); }, doc);
}

// Writes `frame`'s cloud through kv-export's PCD or PLY writer. False: the frame has no point
// with a return, and no file is written.
bool writeCloud(const std::string& path, const Frame& frame, bool binary, const std::string& colour,
                ex::CloudFormat format) {
    kv::DisplayFilter filter = ex::exportFilter(frame.options);
    filter.colourMode = parseWords({"-", "--colour", colour}).colourMode;
    kv::pcd::WriteResult r;
    {
        py::gil_scoped_release release;
        kv::FramePoints points;
        kv::pcd::Cloud cloud;
        r = ex::writeFrameCloud(frame.cut, frame.geometry, filter, format,
                                binary ? kv::pcd::Encoding::Binary : kv::pcd::Encoding::Ascii, path, points, cloud);
    }
    if (!r.ok) {
        PyErr_SetString(PyExc_OSError, (r.error.empty() ? "Cannot write " + path : r.error).c_str());
        throw py::error_already_set();
    }
    return r.written;
}

// Frames to one CSV file in the layout of kv-export's (and the window's multi-frame) export,
// each frame's rows kept by its own lines and angles, numbered in the order written.
class CsvWriter {
public:
    explicit CsvWriter(const std::string& path) : path_(path) {
        if (!file_.open(path, kv::csv::Layout::kMultiFrame)) fail();
    }
    void write(const Frame& f) {
        const ex::ExportOptions& o = f.options;
        bool ok = false;
        {
            py::gil_scoped_release release;
            ok = file_.isOpen() && file_.writeFrame(f.cut, f.geometry,
                                                    kv::csv::RowFilter::multiFrame(o.minAngleDeg, o.maxAngleDeg,
                                                                                   o.lineState, false, false,
                                                                                   kv::SelectionBox{}),
                                                    ++written_);
        }
        if (!ok) fail();
    }
    void close() {
        if (file_.isOpen() && !file_.close()) fail();
    }
    std::uint64_t rows() const { return file_.rows(); }

private:
    [[noreturn]] void fail() {
        const std::string text = file_.error().empty() ? "Cannot write " + path_ : file_.error();
        PyErr_SetString(PyExc_OSError, text.c_str());
        throw py::error_already_set();
    }
    std::string path_;
    kv::csv::CsvFile file_;
    int written_ = 0;
};

// kv-export run in this process on `words`: (exit status, what it said).
std::pair<int, std::string> exportMain(const std::vector<std::string>& words) {
    std::vector<const char*> argv{"kv-export"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::FILE* said = std::tmpfile();
    if (said == nullptr) throw std::runtime_error("no temporary file for kv-export's messages");
    ex::Environment env;
    env.out = said;
    env.err = said;
    env.makePcdSink = ex::makePcdSink;
    env.makePlySink = ex::makePlySink;
    int status = 0;
    {
        py::gil_scoped_release release;
        status = ex::exportMain(int(argv.size()), argv.data(), env);
    }
    std::string text;
    std::rewind(said);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, said)) > 0;) text.append(buf, n);
    std::fclose(said);
    return {status, text};
}

}  // namespace

PYBIND11_MODULE(_kvcloudscope, m) {
    m.doc() = "Captures and the live stream of the four-line sensor as numpy arrays (native part).";
    static py::exception<CaptureError> captureError(m, "CaptureError", PyExc_OSError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const CaptureError& e) {
            captureError(e.what());
        }
    });

    py::class_<Frame, std::shared_ptr<Frame>> frame(m, "Frame", "One frame's points, as the CSV export writes them.");
    frame.def_readonly("number", &Frame::number, "the frame's number, from 1, as kv-export counts")
        .def_readonly("source", &Frame::source,
                      "the sensor: a capture's stream (\"ADDR:PORT>PORT\"), or a live sender (\"ADDR:PORT\")")
        .def("__len__", [](const Frame& f) { return f.x.size(); });
    arrayField(frame, "x", &Frame::x, "metres, float32");
    arrayField(frame, "y", &Frame::y, "metres, float32");
    arrayField(frame, "z", &Frame::z, "metres, float32 (up)");
    arrayField(frame, "distance", &Frame::distance, "the measured range in metres, float32; 0 for a point without a return");
    arrayField(frame, "azimuth", &Frame::azimuth, "degrees, float32");
    arrayField(frame, "intensity", &Frame::intensity, "reflectivity 0-255, uint8");
    arrayField(frame, "line", &Frame::line, "the laser line 0-3, uint8");
    arrayField(frame, "time", &Frame::time,
               "the capture (or receive) time of the point's packet, seconds since the epoch, float64");
    frame        .def("__repr__", [](const Frame& f) {
            return "<kvcloudscope.Frame " + std::to_string(f.number) + ": " + std::to_string(f.x.size()) + " points>";
        });

    py::class_<Capture>(m, "_Capture")
        .def(py::init<const std::vector<std::string>&, int>())
        .def("__len__", &Capture::size)
        .def("_frame", &Capture::frame, py::arg("number"), py::arg("words"))
        .def_property_readonly("path", &Capture::path)
        .def_property_readonly("damage", &Capture::damage)
        .def_property_readonly("line_type", &Capture::lineType)
        .def_property_readonly("stream", &Capture::stream)
        .def_property_readonly("streams", &Capture::streams);

    py::class_<Live>(m, "_Live")
        .def(py::init<int, const std::string&, double, int>())
        .def_property_readonly("port", &Live::port)
        .def("close", &Live::close)
        .def_property_readonly("closed", &Live::closed)
        .def("_next", &Live::next, py::arg("words"));

    m.def("_check_words", [](const std::vector<std::string>& words) { parseWords(words); });
    m.def("_config_line_type", [](const std::string& dir) {
        const std::string path = kv::findConfigFile(dir, [](const char* name) { return std::getenv(name); });
        return path.empty() ? 1 : kv::readSettings(QString::fromStdString(path)).LidarLineType;
    });
    m.def(
        "write_pcd",
        [](const std::string& path, const py::object& frame, bool binary, const std::string& colour) {
            return writeCloud(path, frameOf(frame), binary, colour, ex::CloudFormat::Pcd);
        },
        py::arg("path"), py::arg("frame"), py::arg("binary") = true, py::arg("colour") = "intensity");
    m.def(
        "write_ply",
        [](const std::string& path, const py::object& frame, bool binary, const std::string& colour) {
            return writeCloud(path, frameOf(frame), binary, colour, ex::CloudFormat::Ply);
        },
        py::arg("path"), py::arg("frame"), py::arg("binary") = true, py::arg("colour") = "intensity");
    py::class_<CsvWriter>(m, "_CsvWriter")
        .def(py::init<const std::string&>())
        .def("write", &CsvWriter::write)
        .def("close", &CsvWriter::close)
        .def_property_readonly("rows", &CsvWriter::rows);
    m.def("_export_main", &exportMain, py::arg("words"));
}
