// kv-export: the frames of a capture file to CSV or PCD files, without a window.
#include <unistd.h>

#include <climits>
#include <string>

#include "export_job.h"
#include "export_pcd.h"

namespace {

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
    return kv::exporter::exportMain(argc, argv, env);
}
