// KV CloudScope: viewer and configurator for the four-line scanning LiDAR.
#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "manwindow.h"
#include "settings.h"

namespace {

const char kUsage[] =
    "Usage: kv-cloudscope [--help] [--version]\n"
    "Shows the four-line sensor's live point cloud, replays capture files and PCD folders,\n"
    "exports CSV and PCD files and writes the sensor's network and motor settings.\n"
    "\n"
    "The viewer reads the first config.ini (group Config) of: the program's folder,\n"
    "$XDG_CONFIG_HOME/kv-cloudscope (~/.config/kv-cloudscope), /etc/kv-cloudscope. It takes\n"
    "no other options; press \"Lidar\" to receive on the ports in its fields (2368 and 2369\n"
    "by default).\n"
    "\n"
    "  --help      this text\n"
    "  --version   the program's version\n";

const char kNoDisplay[] =
    "kv-cloudscope: cannot open a display; the viewer is a desktop program: run it in a graphical "
    "session or under a virtual display (xvfb-run -a kv-cloudscope)\n";

// While the application object connects to the display: the platform's complaints are held
// back, and the fatal one that would abort becomes one line and exit status 1.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type != QtFatalMsg) return;
    std::fputs(kNoDisplay, stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

bool displayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kv-cloudscope %s\n", KV_VERSION);
            return 0;
        }
    }
    if (!displayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    // A write past the user's file-size limit then fails with EFBIG, which the CSV, PCD and
    // capture writers report and survive, instead of ending the program with the signal.
    std::signal(SIGXFSZ, SIG_IGN);
    QSurfaceFormat format = QVTKOpenGLNativeWidget::defaultFormat();
    format.setSamples(0);  // points need no multisampling; it is costly under software OpenGL
    QSurfaceFormat::setDefaultFormat(format);
    qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    const QString ini = kv::settingsPathForExecutable();
    if (!ini.isEmpty()) kv::installSettings(kv::readSettings(ini));

    auto* window = new manwindow();
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
