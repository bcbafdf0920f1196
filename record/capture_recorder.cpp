#include "capture_recorder.h"

#include "capture_device.h"

#include <pcap/pcap.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

namespace kv {

namespace {

// Longest wait in poll between looks at the stop flag; the wake-up descriptor normally ends
// the wait at once, this only bounds it should that descriptor be missing.
constexpr int kPollMs = 100;
// libpcap's read time-out; the handle is non-blocking, so it matters only to the kernel ring.
constexpr int kReadTimeoutMs = 100;

// Everything the recording thread holds, released in reverse order whichever way it ends.
struct CaptureSession {
    pcap_t* cap = nullptr;
    bpf_program program{};
    bool programCompiled = false;
    pcap_dumper_t* dump = nullptr;

    CaptureSession() = default;
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;
    ~CaptureSession() {
        if (dump) pcap_dump_close(dump);  // flushes and closes the file
        if (programCompiled) pcap_freecode(&program);
        if (cap) pcap_close(cap);
    }
};

// One step below the normal priority, like a background recorder should run.
void lowerThisThreadPriority() {
    const id_t tid = id_t(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0) ::setpriority(PRIO_PROCESS, tid, nice + 1);
}

std::string activationError(pcap_t* cap, int status) {
    std::string detail = pcap_geterr(cap);
    if (detail.empty()) detail = pcap_statustostr(status);
    if (status == PCAP_ERROR_PERM_DENIED)
        detail += " (recording needs root or the CAP_NET_RAW capability)";
    return detail;
}

}  // namespace

CaptureRecorder::CaptureRecorder() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CaptureRecorder::~CaptureRecorder() {
    requestStop();
    wait();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void CaptureRecorder::setErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }

std::string CaptureRecorder::lastError() const {
    std::lock_guard<std::mutex> lock(errorMutex_);
    return lastError_;
}

void CaptureRecorder::fail(const std::string& message, const ErrorHandler& onError) {
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        lastError_ = message;
    }
    if (onError) onError(message);
}

void CaptureRecorder::drainWakeup() {
    if (wakeFd_ < 0) return;
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) == sizeof count) {
    }
}

void CaptureRecorder::requestStop() {
    stopRequested_.store(true);
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        // Can only fail when the counter is near overflow, i.e. already signalled.
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void CaptureRecorder::wait() {
    if (thread_.joinable()) thread_.join();
}

bool CaptureRecorder::start(const std::string& outputPath, const std::string& filterExpression,
                            const std::string& device) {
    return startWith(outputPath, filterExpression, [device](std::string&) { return device; });
}

bool CaptureRecorder::startOnSensorAdapter(const std::string& outputPath, const std::string& filterExpression,
                                           std::uint32_t dataSourceIp) {
    return startWith(outputPath, filterExpression, [dataSourceIp](std::string& error) {
        const std::vector<CaptureDeviceInfo> devices = listCaptureDevices(&error);
        return chooseCaptureDevice(devices, dataSourceIp);
    });
}

bool CaptureRecorder::startWith(const std::string& outputPath, const std::string& filterExpression,
                                DevicePicker pick) {
    if (thread_.joinable()) {
        // The running recording's handler and last error belong to it: a refusal leaves both.
        if (running_.load() && !stopRequested_.load()) return false;
        thread_.join();  // asked to stop already: it ends promptly
    }
    stopRequested_.store(false);
    drainWakeup();
    frames_.store(0);
    capturing_.store(false);
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        lastError_.clear();
    }
    running_.store(true);
    try {
        thread_ = std::thread(&CaptureRecorder::run, this, outputPath, filterExpression, std::move(pick), onError_);
    } catch (const std::system_error& e) {
        running_.store(false);
        fail(std::string("Cannot record: the system refused a thread (") + e.what() + ")", onError_);
        return false;
    }
    return true;
}

void CaptureRecorder::run(std::string outputPath, std::string filterExpression, DevicePicker pick,
                          ErrorHandler onError) {
    lowerThisThreadPriority();
    {
        CaptureSession s;
        char err[PCAP_ERRBUF_SIZE] = {};
        std::string device;
        const bool setUp = [&] {
            std::string listError;
            device = pick(listError);
            if (device.empty()) {
                fail("Cannot record: no capture device found" + (listError.empty() ? "" : " (" + listError + ")"),
                     onError);
                return false;
            }
            if (outputPath.empty()) {
                fail("Cannot record: no output file given", onError);
                return false;
            }
            // Adapters without an IPv4 address have no network number; the netmask only
            // matters to broadcast tests in the filter.
            bpf_u_int32 net = 0, mask = 0;
            if (pcap_lookupnet(device.c_str(), &net, &mask, err) != 0) mask = PCAP_NETMASK_UNKNOWN;

            s.cap = pcap_create(device.c_str(), err);
            if (s.cap == nullptr) {
                fail("Cannot record from " + device + ": " + err, onError);
                return false;
            }
            pcap_set_snaplen(s.cap, kSnapshotBytes);
            pcap_set_promisc(s.cap, 1);
            pcap_set_timeout(s.cap, kReadTimeoutMs);
            pcap_set_immediate_mode(s.cap, 1);  // every frame as it arrives, not a ring block later
            const int status = pcap_activate(s.cap);
            if (status < 0) {  // warnings (> 0), such as no promiscuous mode, still record
                fail("Cannot record from " + device + ": " + activationError(s.cap, status), onError);
                return false;
            }

            if (pcap_compile(s.cap, &s.program, filterExpression.c_str(), 0, mask) != 0) {
                fail("Cannot record: the capture filter \"" + filterExpression + "\" is not valid: " +
                         pcap_geterr(s.cap),
                     onError);
                return false;
            }
            s.programCompiled = true;
            if (pcap_setfilter(s.cap, &s.program) != 0) {
                fail("Cannot record from " + device + ": " + pcap_geterr(s.cap), onError);
                return false;
            }
            if (pcap_setnonblock(s.cap, 1, err) != 0) {
                fail("Cannot record from " + device + ": " + err, onError);
                return false;
            }

            // Opened here rather than by pcap_dump_open, which would take "-" for standard output.
            std::FILE* file = std::fopen(outputPath.c_str(), "wb");
            if (file == nullptr) {
                fail("Cannot record into " + outputPath + ": " + std::strerror(errno), onError);
                return false;
            }
            s.dump = pcap_dump_fopen(s.cap, file);
            if (s.dump == nullptr) {
                std::fclose(file);
                fail("Cannot record into " + outputPath + ": " + pcap_geterr(s.cap), onError);
                return false;
            }
            if (pcap_dump_flush(s.dump) != 0) {  // the header: a valid file even with no frames
                fail("Cannot record into " + outputPath + ": " + std::strerror(errno), onError);
                return false;
            }
            return true;
        }();

        if (setUp) {
            capturing_.store(true);
            const int capFd = pcap_get_selectable_fd(s.cap);
            while (!stopRequested_.load()) {
                // One frame a call, appended and flushed before the next is looked at.
                const int n = pcap_dispatch(s.cap, 1, pcap_dump, reinterpret_cast<u_char*>(s.dump));
                if (n > 0) {
                    if (pcap_dump_flush(s.dump) != 0) {
                        fail("Recording into " + outputPath + " stopped: " + std::strerror(errno), onError);
                        break;
                    }
                    frames_.fetch_add(std::uint64_t(n));
                    continue;
                }
                if (n < 0) {
                    fail("Recording from " + device + " stopped: " + pcap_geterr(s.cap), onError);
                    break;
                }
                // Nothing pending: sleep until a frame or a stop request arrives.
                pollfd fds[2] = {{capFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
                ::poll(fds, 2, kPollMs);  // a negative descriptor is skipped; EINTR just loops
            }
        }
        capturing_.store(false);
    }  // the file is closed and the handle released before running() turns false
    running_.store(false);
}

}  // namespace kv
