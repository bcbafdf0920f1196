// kv-export: the frames of a capture file to CSV or PCD files, without a window.
#include <signal.h>
#include <unistd.h>

#include <csignal>

#include <climits>
#include <string>

#include "export_job.h"
#include "export_pcd.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void onInterrupt(int) { gInterrupted = 1; }

// config.ini beside the executable, as the viewer finds it.
std::string configBesideProgram() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    std::string path(buf, std::size_t(n));
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/config.ini";
}

}  // namespace

int main(int argc, char** argv) {
    kv::exporter::Environment env;
    env.terminal = ::isatty(STDERR_FILENO) == 1;
    env.configPath = configBesideProgram();
    env.makePcdSink = kv::exporter::makePcdSink;
    // Ctrl-C or a kill ends the export between two frames, with its files closed properly.
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    env.interrupted = [] { return gInterrupted != 0; };
    // Past the user's file-size limit a write fails with EFBIG and is reported as a write
    // failure, with the files kept, instead of the signal ending the program.
    ::signal(SIGXFSZ, SIG_IGN);
    return kv::exporter::exportMain(argc, argv, env);
}
