// kv-export: the frames of a capture file to CSV, PCD or PLY files, without a window.
#include <signal.h>
#include <unistd.h>

#include <csignal>

#include <climits>
#include <cstdlib>
#include <string>

#include "export_job.h"
#include "export_pcd.h"
#include "settings.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void onInterrupt(int) { gInterrupted = 1; }

// config.ini where the viewer finds it: beside the executable, the user's, the system's.
std::string configForProgram() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string dir;
    if (n > 0) {
        const std::string path(buf, std::size_t(n));
        const std::size_t slash = path.rfind('/');
        dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    }
    return kv::findConfigFile(dir, [](const char* name) { return std::getenv(name); });
}

}  // namespace

int main(int argc, char** argv) {
    kv::exporter::Environment env;
    env.terminal = ::isatty(STDERR_FILENO) == 1;
    env.configPath = configForProgram();
    env.makePcdSink = kv::exporter::makePcdSink;
    env.makePlySink = kv::exporter::makePlySink;
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
