// KV CloudScope: viewer and configurator for the four-line scanning LiDAR.
#include <QApplication>
#include <QTimer>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "manwindow.h"
#include "settings.h"
#include "start_options.h"
#include "start_up.h"

namespace {

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
    const kv::start::StartOptions options = kv::start::parseStartOptions(argc, argv);
    switch (options.action) {
    case kv::start::StartAction::Help:
        std::fputs(kv::start::usageText().c_str(), stdout);
        return 0;
    case kv::start::StartAction::Version:
        std::printf("kv-cloudscope %s\n", KV_VERSION);
        return 0;
    case kv::start::StartAction::Error:
        std::fprintf(stderr, "kv-cloudscope: %s\n", options.message.c_str());
        return 2;
    case kv::start::StartAction::Run:
        break;
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

    kv::window::showVtkWarnings(false);

    auto* window = new manwindow();
    window->show();
    if (!options.path.empty()) {
        // Once the window is on screen, so that a message box about the file stands over it.
        const QString path = QString::fromLocal8Bit(options.path.c_str());
        QTimer::singleShot(0, window, [window, path] { kv::window::openStartPath(*window, path); });
    }
    const int result = app.exec();
    delete window;
    return result;
}
