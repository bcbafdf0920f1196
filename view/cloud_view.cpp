#include "cloud_view.h"

#include <QVTKOpenGLNativeWidget.h>

#include "cloud_view_pcl.h"
#include <vtkCamera.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkPolyData.h>
#include <vtkDataSet.h>
#include <vtkMapper.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

namespace kv {

void fillCloud(const std::vector<ColouredPoint>& points, Cloud& cloud) {
    cloud.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        pcl::PointXYZRGB& q = cloud[i];
        const ColouredPoint& p = points[i];
        q.x = p.xM;
        q.y = p.yM;
        q.z = p.zM;
        q.data[3] = 1.0f;
        q.r = p.rgb.r;
        q.g = p.rgb.g;
        q.b = p.rgb.b;
        q.a = 0;
    }
    cloud.width = std::uint32_t(points.size());
    cloud.height = 1;
    cloud.is_dense = true;
}

CloudView::CloudView(QVTKOpenGLNativeWidget* screen) : d_(new Impl) {
    d_->screen = screen;
    vtkSmartPointer<vtkRenderer> renderer = vtkSmartPointer<vtkRenderer>::New();
    vtkSmartPointer<vtkGenericOpenGLRenderWindow> glWindow = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    glWindow->AddRenderer(renderer);
    vtkSmartPointer<vtkRenderWindow> window = glWindow;
    d_->viewer.reset(new pcl::visualization::PCLVisualizer(renderer, window, "viewer", false));
    // The visualiser asks for 4x multisampling, which triples the cost of a frame under
    // software OpenGL; points do not need it.
    d_->viewer->getRenderWindow()->SetMultiSamples(0);
    screen->setRenderWindow(d_->viewer->getRenderWindow());
    d_->viewer->setupInteractor(screen->interactor(), screen->renderWindow());
}

CloudView::~CloudView() = default;

void CloudView::presentFrame(const std::vector<ColouredPoint>& displayed,
                             const std::vector<ColouredPoint>& selected, int pointSize) {
    auto& v = *d_->viewer;
    fillCloud(selected, *d_->selected);
    fillCloud(displayed, *d_->displayed);

    v.removePointCloud(kPcdId, 0);
    v.removePointCloud(kClickedId, 0);
    pcl::visualization::PointCloudColorHandlerCustom<pcl::PointXYZRGB> blue(d_->selected, 0, 0, 255);
    v.addPointCloud<pcl::PointXYZRGB>(d_->selected, blue, kClickedId, 0);
    v.setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, kClickedPointSize,
                                       kClickedId, 0);
    v.removePointCloud(kRealTimeId, 0);
    pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> own(d_->displayed);
    v.addPointCloud<pcl::PointXYZRGB>(d_->displayed, own, kRealTimeId, 0);
    v.setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, double(pointSize),
                                       kRealTimeId, 0);
    // The visualiser's updateCamera() is a no-op in this PCL version (and deprecated): the
    // widget update below is what brings the new clouds on screen.
    d_->screen->update();
}

void CloudView::applyCameraPreset(int index) {
    struct Preset {
        double pos[3], focal[3], up[3];
    };
    static constexpr Preset kPresets[3] = {
        {{0, -1, 0}, {0, 0.2, -0.2}, {0, 0, 1}},  // Front
        {{0, 0, 1}, {0, 0, 0}, {0, 1, 0}},        // Top
        {{-1, 0, 0}, {0, 0, -0.2}, {0, 0, 1}},    // Left
    };
    if (index < 0 || index > 2) return;
    const Preset& p = kPresets[index];
    d_->viewer->setCameraPosition(p.pos[0], p.pos[1], p.pos[2], p.focal[0], p.focal[1], p.focal[2], p.up[0],
                                  p.up[1], p.up[2], 0);
    d_->screen->update();
}

void CloudView::renderNow() { d_->screen->renderWindow()->Render(); }

long CloudView::cloudPointCount(const std::string& id) const {
    auto actors = d_->viewer->getCloudActorMap();
    auto it = actors->find(id);
    if (it == actors->end() || !it->second.actor) return -1;
    vtkMapper* mapper = it->second.actor->GetMapper();
    if (!mapper || !mapper->GetInput()) return 0;
    return long(mapper->GetInput()->GetNumberOfPoints());
}

void CloudView::cameraPose(double position[3], double focal[3], double up[3]) const {
    vtkCamera* cam = d_->viewer->getRenderWindow()->GetRenderers()->GetFirstRenderer()->GetActiveCamera();
    cam->GetPosition(position);
    cam->GetFocalPoint(focal);
    cam->GetViewUp(up);
}

}  // namespace kv
