// Takes a picture of the live view for the README: starts the window, presses "Lidar" with the
// given ports, draws the measuring grid, waits for frames from a running simulated sensor and
// saves the window as a PNG.
//   kv-screenshot OUT.png DATA_PORT EQUIP_PORT [SECONDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <cstdio>

#include <vtkCamera.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include "cloud_view_pcl.h"
#include "manwindow.h"
#include "settings.h"

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: kv-screenshot OUT.png DATA_PORT EQUIP_PORT [SECONDS]\n");
        return 2;
    }
    QSurfaceFormat format = QVTKOpenGLNativeWidget::defaultFormat();
    format.setSamples(0);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    kv::AppSettings settings;
    settings.LidarLineType = 2;  // tilted lines
    settings.LineShowNumber = 4; // all four lines shown
    kv::installSettings(settings);

    manwindow window;
    window.resize(1280, 800);
    window.show();
    window.ui().lineEdit_portNumber->setText(argv[2]);
    window.ui().lineEdit_portNumber_2->setText(argv[3]);
    window.ui().comboBox_4->setCurrentIndex(0);
    window.ui().toolButton_Lidar->click();
    window.ui().toolButton_MeaGrid->click();
    // The grid spans 400 m; the simulated scene lies within 40 m of the sensor.
    window.cloudView().impl().viewer->getRenderWindow()->GetRenderers()->GetFirstRenderer()->GetActiveCamera()->Zoom(4.0);

    const int seconds = argc > 4 ? std::atoi(argv[4]) : 3;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 20);
    if (window.framesDrawn() == 0) {
        std::fprintf(stderr, "kv-screenshot: no frame arrived on port %s\n", argv[2]);
        return 1;
    }
    if (!window.grab().save(argv[1])) {
        std::fprintf(stderr, "kv-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("kv-screenshot: %llu frames drawn, saved %s\n", (unsigned long long)window.framesDrawn(), argv[1]);
    return 0;
}
