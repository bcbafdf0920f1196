#include "cloud_view.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include <QVTKOpenGLNativeWidget.h>
#include <vtkAxesActor.h>
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkDataSet.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkMapper.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkWorldPointPicker.h>

#include "cloud_view_pcl.h"
#include "overlays.h"

namespace kv {

namespace {
constexpr const char* kCoordinateId = "coordinate";
constexpr const char* kReadoutId = "0";

vtkRenderer* firstRenderer(pcl::visualization::PCLVisualizer& v) {
    return v.getRenderWindow()->GetRenderers()->GetFirstRenderer();
}

// Bounds (x min, x max, y min, y max, z min, z max) of the finite points of `clouds`; false
// when they hold none.
bool finiteBounds(std::initializer_list<const Cloud*> clouds, double bounds[6]) {
    bool any = false;
    for (const Cloud* cloud : clouds) {
        for (const pcl::PointXYZRGB& p : *cloud) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
            const double xyz[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i) {
                if (!any || xyz[i] < bounds[2 * i]) bounds[2 * i] = xyz[i];
                if (!any || xyz[i] > bounds[2 * i + 1]) bounds[2 * i + 1] = xyz[i];
            }
            any = true;
        }
    }
    return any;
}

// Fits the camera to `clouds` when a fit is pending and they have points.
void fitCameraIfPending(CloudView::Impl& d, std::initializer_list<const Cloud*> clouds) {
    vtkRenderer* renderer = firstRenderer(*d.viewer);
    double b[6];
    if (d.fitPending && finiteBounds(clouds, b)) {
        d.fitPending = false;
        // A single point or a flat scan still gets a box a metre across to frame.
        for (int i = 0; i < 3; ++i) {
            if (b[2 * i + 1] - b[2 * i] < 1.0) {
                const double mid = 0.5 * (b[2 * i] + b[2 * i + 1]);
                b[2 * i] = mid - 0.5;
                b[2 * i + 1] = mid + 0.5;
            }
        }
        renderer->ResetCamera(b);  // keeps the camera's direction and view-up
    }
    // Every frame: points that moved beyond the last frame's depth are not cut off.
    renderer->ResetCameraClippingRange();
}
}  // namespace

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

    d_->viewer->registerAreaPickingCallback([this](const pcl::visualization::AreaPickingEvent& e) {
        // Only the displayed cloud's indices: the event also lists those of "clicked_points".
        const pcl::Indices picked = e.getPointsIndices(kRealTimeId);
        if (d_->areaPickHandler) d_->areaPickHandler(std::vector<int>(picked.begin(), picked.end()));
    });
    d_->viewer->registerKeyboardCallback(
        [this](const pcl::visualization::KeyboardEvent& e) {
            if (e.keyDown() && d_->keyHandler) d_->keyHandler(e.getKeyCode());
        });
    d_->viewer->registerMouseCallback([this](const pcl::visualization::MouseEvent& e) {
        if (e.getType() == pcl::visualization::MouseEvent::MouseMove && d_->mouseMoveHandler) d_->mouseMoveHandler();
    });

    // The small axes in the corner follow the camera but cannot be dragged.
    vtkSmartPointer<vtkAxesActor> axes = vtkSmartPointer<vtkAxesActor>::New();
    d_->axesWidget = vtkSmartPointer<vtkOrientationMarkerWidget>::New();
    d_->axesWidget->SetOrientationMarker(axes);
    d_->axesWidget->SetInteractor(screen->interactor());
    d_->axesWidget->SetEnabled(1);
    d_->axesWidget->InteractiveOff();
    d_->legend = std::make_unique<ColourLegend>(renderer);
    screen->update();
}

CloudView::~CloudView() {
    if (d_->axesWidget) d_->axesWidget->SetEnabled(0);
}

void CloudView::presentFrame(const std::vector<ColouredPoint>& displayed,
                             const std::vector<ColouredPoint>& selected, int pointSize, std::string* readout) {
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
    fitCameraIfPending(*d_, {d_->displayed.get(), d_->selected.get()});
    if (readout) *readout = runCursorReadout();
    // The visualiser's updateCamera() is a no-op in this PCL version (and deprecated): the
    // render below is what brings the new clouds on screen.
    refresh();
}

void CloudView::presentCloud(std::shared_ptr<pcl::PointCloud<pcl::PointXYZRGB>> cloud, int pointSize,
                             std::string* readout) {
    if (!cloud) return;
    auto& v = *d_->viewer;
    v.removePointCloud(kClickedId, 0);
    v.removePointCloud(kRealTimeId, 0);
    v.removePointCloud(kPcdId, 0);
    pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> own(cloud);
    v.addPointCloud<pcl::PointXYZRGB>(cloud, own, kPcdId, 0);
    v.setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, double(pointSize), kPcdId, 0);
    fitCameraIfPending(*d_, {cloud.get()});
    if (readout) *readout = runCursorReadout();
    refresh();
}

void CloudView::applyCameraPreset(int index) {
    struct Preset {
        double direction[3], up[3];  // view direction (towards the focal point) and view-up
    };
    static constexpr Preset kPresets[3] = {
        {{0, 1.2, -0.2}, {0, 0, 1}},  // Front: along +y, a little from above
        {{0, 0, -1}, {0, 1, 0}},      // Top: straight down, +y up
        {{1, 0, -0.2}, {0, 0, 1}},    // Left: along +x, a little from above
    };
    if (index < 0 || index > 2) return;
    const Preset& p = kPresets[index];
    vtkCamera* cam = firstRenderer(*d_->viewer)->GetActiveCamera();
    double focal[3];
    cam->GetFocalPoint(focal);
    const double distance = cam->GetDistance();
    const double norm = std::sqrt(p.direction[0] * p.direction[0] + p.direction[1] * p.direction[1] +
                                  p.direction[2] * p.direction[2]);
    cam->SetPosition(focal[0] - p.direction[0] / norm * distance, focal[1] - p.direction[1] / norm * distance,
                     focal[2] - p.direction[2] / norm * distance);
    cam->SetViewUp(p.up[0], p.up[1], p.up[2]);
    cam->OrthogonalizeViewUp();
    firstRenderer(*d_->viewer)->ResetCameraClippingRange();
    refresh();
}

void CloudView::fitCameraToNextFrame() { d_->fitPending = true; }

bool CloudView::cameraFitPending() const { return d_->fitPending; }


void CloudView::showCoordinateSystem(bool shown) {
    if (shown) d_->viewer->addCoordinateSystem(0.5, 0, 0, 0, kCoordinateId, 0);
    else d_->viewer->removeCoordinateSystem(kCoordinateId, 0);
    d_->viewer->resetCamera();
    refresh();
}

void CloudView::toggleCoordinateSystem() {
    coordinateShown_ = !coordinateShown_;
    showCoordinateSystem(coordinateShown_);
}

void CloudView::toggleMeasuringGrid() {
    gridShown_ = !gridShown_;
    if (gridShown_) drawMeasuringGrid();
    else removeAllShapes();
}

void CloudView::stepPointSize(char key) {
    if (key == '+') pointSize_ = std::min(pointSize_ + 1, 10);
    else if (key == '-') pointSize_ = std::max(pointSize_ - 1, 1);
}

bool CloudView::hasShape(const std::string& id) const { return d_->viewer->contains(id); }

// The camera stays where the user put it: adding the grid's actors must not move it.
void CloudView::drawMeasuringGrid() {
    auto& v = *d_->viewer;
    pcl::visualization::Camera camera;
    v.getCameraParameters(camera);
    const double c = kGridColour;
    for (const GridSegment& s : measuringGridSegments()) {
        v.addLine(pcl::PointXYZ(float(s.x1), float(s.y1), 0.f), pcl::PointXYZ(float(s.x2), float(s.y2), 0.f), c, c, c,
                  s.id, 0);
        v.setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_OPACITY, kGridOpacity, s.id, 0);
    }
    for (const GridLabel& l : measuringGridLabels())
        v.addText3D(l.text, pcl::PointXYZ(float(l.x), float(l.y), 0.f), kGridLabelScale, c, c, c, l.id, 0);
    v.setCameraParameters(camera);
    refresh();
}

void CloudView::removeAllShapes() {
    d_->viewer->removeAllShapes(0);
    refresh();
}

std::size_t CloudView::shapeCount() const { return d_->viewer->getShapeActorMap()->size(); }

void CloudView::clearAll() {
    d_->viewer->removeAllPointClouds(0);
    d_->viewer->removeAllShapes(0);
    refresh();
}

void CloudView::resetCamera() {
    d_->viewer->resetCamera();
    refresh();
}

std::string CloudView::runCursorReadout() {
    if (!d_->screen->isValid()) return std::string();  // never shown: nothing drawn to pick from
    vtkRenderWindowInteractor* interactor = d_->screen->interactor();
    vtkSmartPointer<vtkWorldPointPicker> picker = vtkSmartPointer<vtkWorldPointPicker>::New();
    interactor->SetPicker(picker);
    const int* pos = interactor->GetEventPosition();
    vtkRenderer* renderer = d_->screen->renderWindow()->GetRenderers()->GetFirstRenderer();
    picker->Pick(pos[0], pos[1], 0, renderer);
    double world[3];
    picker->GetPickPosition(world);
    const std::string text = cursorReadoutText(cursorReadout(world[0], world[1], world[2]));
    // The first frame adds the text, later frames update it (adding again would only make the
    // visualiser complain on every frame).
    if (!d_->viewer->contains(kReadoutId)) d_->viewer->addText(text, 150, 0, 20, 0, 0, 1, kReadoutId, 0);
    else d_->viewer->updateText(text, 150, 0, 20, 0, 0, 1, kReadoutId);
    return text;
}

void CloudView::setKeyPressHandler(std::function<void(char)> handler) { d_->keyHandler = std::move(handler); }

void CloudView::setMouseMoveHandler(std::function<void()> handler) { d_->mouseMoveHandler = std::move(handler); }

void CloudView::renderNow() { refresh(); }

void CloudView::showColourLegend(int mode, bool enabled) {
    d_->legend->show(mode, enabled);
    refresh();
}

bool CloudView::colourLegendVisible() const { return d_->legend->visible(); }

int CloudView::colourLegendMode() const { return d_->legend->mode(); }

void CloudView::setAreaPickHandler(std::function<void(const std::vector<int>&)> handler) {
    d_->areaPickHandler = std::move(handler);
}

void CloudView::takeFocus() { d_->screen->setFocus(); }

void CloudView::deliverKey(char key) {
    vtkRenderWindowInteractor* interactor = d_->screen->interactor();
    const char keysym[2] = {key, 0};
    interactor->SetKeyEventInformation(0, 0, key, 0, keysym);
    interactor->SetAltKey(0);
    interactor->InvokeEvent(vtkCommand::KeyPressEvent, nullptr);
    interactor->InvokeEvent(vtkCommand::CharEvent, nullptr);
    interactor->SetKeyEventInformation(0, 0, key, 0, keysym);
    interactor->InvokeEvent(vtkCommand::KeyReleaseEvent, nullptr);
}

void CloudView::showClicked(const std::vector<ColouredPoint>& points) {
    auto& v = *d_->viewer;
    fillCloud(points, *d_->selected);
    v.removePointCloud(kClickedId, 0);
    pcl::visualization::PointCloudColorHandlerCustom<pcl::PointXYZRGB> blue(d_->selected, 0, 0, 255);
    v.addPointCloud<pcl::PointXYZRGB>(d_->selected, blue, kClickedId, 0);
    v.setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, kClickedPointSize,
                                       kClickedId, 0);
    refresh();
}

// The widget only shows what its render window last rendered: updating the widget alone
// repaints the old picture, so every change renders. Before the widget has been shown there
// is no OpenGL context to render with; its first paint renders the scene then.
void CloudView::refresh() {
    if (d_->screen->isValid()) d_->screen->renderWindow()->Render();
    else d_->screen->update();
}

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
