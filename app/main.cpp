// KV CloudScope: viewer and configurator for the four-line scanning LiDAR.
#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <csignal>

#include "manwindow.h"
#include "settings.h"

int main(int argc, char* argv[]) {
    // A write past the user's file-size limit then fails with EFBIG, which the CSV, PCD and
    // capture writers report and survive, instead of ending the program with the signal.
    std::signal(SIGXFSZ, SIG_IGN);
    QSurfaceFormat format = QVTKOpenGLNativeWidget::defaultFormat();
    format.setSamples(0);  // points need no multisampling; it is costly under software OpenGL
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    kv::installSettings(kv::readSettings(kv::settingsPathBesideExecutable()));

    auto* window = new manwindow();
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
