// Records the traffic of one capture filter on one adapter into a libpcap capture file, on a
// thread of its own, one frame at a time, so that the file on disk is complete after every
// frame.
//
//   CaptureRecorder rec;
//   rec.setErrorHandler([](const std::string& m) { /* post to the GUI thread */ });
//   rec.startOnSensorAdapter(path, "port " + dataPort, sensorIp);  // or start(path, filter, "eth0")
//   ...
//   rec.requestStop();   // returns at once; the thread closes the file and ends promptly
//   rec.wait();
//
// start(), wait() and the destructor belong to one controlling thread; requestStop() and the
// queries may be called from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kv {

class CaptureRecorder {
public:
    // Called on the recording thread (or on the caller of start() when no thread could be
    // made) with a sentence for the user; the recording has ended by then, or never began.
    using ErrorHandler = std::function<void(const std::string& message)>;

    static constexpr int kSnapshotBytes = 65535;

    CaptureRecorder();
    ~CaptureRecorder();  // requests a stop and waits for the thread
    CaptureRecorder(const CaptureRecorder&) = delete;
    CaptureRecorder& operator=(const CaptureRecorder&) = delete;

    // Set while no recording runs.
    void setErrorHandler(ErrorHandler handler);

    // Starts recording frames matching `filterExpression` (libpcap syntax) seen on `device`
    // into a new capture file at `outputPath`. Returns false only when no thread was started:
    // while a recording runs and has not been asked to stop, the call is refused and touches
    // nothing (neither that recording, nor its error handler, nor lastError()); when the
    // system refuses a thread, that is reported. Problems met while setting up (no device, a
    // device that cannot be opened, a filter that does not compile, a file that cannot be
    // created) end the thread and are reported through the error handler and lastError().
    bool start(const std::string& outputPath, const std::string& filterExpression, const std::string& device);

    // As start(), with the adapter chosen on the recording thread: libpcap's adapter list (which
    // probes D-Bus, Bluetooth and USB sources and can take a while) and chooseCaptureDevice()
    // with the sender of the live data (0 without live data).
    bool startOnSensorAdapter(const std::string& outputPath, const std::string& filterExpression,
                              std::uint32_t dataSourceIp);

    // Asks the recording to stop. Never lost: a request made while the thread is still
    // setting up ends it before its first frame. Repeated requests do no harm; without a
    // recording it does nothing.
    void requestStop();

    // Waits until the recording thread has ended (returns at once when there is none).
    void wait();

    bool running() const { return running_.load(); }
    // Set up and waiting for frames (false again once the thread ends).
    bool capturing() const { return capturing_.load(); }
    std::uint64_t framesWritten() const { return frames_.load(); }
    // The last failure reported, empty when the last recording had none.
    std::string lastError() const;

private:
    // The adapter to record from, found on the recording thread; empty with `error` set when
    // none can be had.
    using DevicePicker = std::function<std::string(std::string& error)>;
    bool startWith(const std::string& outputPath, const std::string& filterExpression, DevicePicker pick);
    void run(std::string outputPath, std::string filterExpression, DevicePicker pick, ErrorHandler onError);
    void fail(const std::string& message, const ErrorHandler& onError);
    void drainWakeup();

    int wakeFd_ = -1;  // eventfd: made readable by requestStop() to wake the thread's poll
    std::thread thread_;
    ErrorHandler onError_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> capturing_{false};
    std::atomic<std::uint64_t> frames_{0};
    mutable std::mutex errorMutex_;
    std::string lastError_;
};

}  // namespace kv
