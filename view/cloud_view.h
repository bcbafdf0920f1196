// The 3D view of the main window: a PCL visualiser named "viewer" inside the window's
// VTK render widget. PCL and VTK stay behind this header.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame_display.h"

class QVTKOpenGLNativeWidget;

namespace pcl {
struct PointXYZRGB;
template <typename PointT>
class PointCloud;
}  // namespace pcl

namespace kv {

class CloudView {
public:
    // Cloud ids of the view.
    static constexpr const char* kRealTimeId = "realTime_points";
    static constexpr const char* kClickedId = "clicked_points";
    static constexpr const char* kPcdId = "mPointCloud";
    static constexpr float kClickedPointSize = 5.0f;

    // Builds the visualiser without an interactor of its own, hands its render window to
    // `screen` and takes the widget's interactor.
    explicit CloudView(QVTKOpenGLNativeWidget* screen);
    ~CloudView();
    CloudView(const CloudView&) = delete;
    CloudView& operator=(const CloudView&) = delete;

    // Replaces "clicked_points" (single blue, size 5) and "realTime_points" (the points' own
    // colours, size `pointSize`), removes "mPointCloud" and renders. With `readout`, the cursor
    // readout runs before the render (its pick reads the picture on screen until then), so
    // that its text shows with this frame; the text is stored there.
    void presentFrame(const std::vector<ColouredPoint>& displayed,
                      const std::vector<ColouredPoint>& selected, int pointSize,
                      std::string* readout = nullptr);

    // Shows a replayed PCD cloud as "mPointCloud" (its own colours, size `pointSize`) in place
    // of "clicked_points", "realTime_points" and the previous one, and renders; the cursor
    // readout as in presentFrame. The view keeps the cloud (shared) until the next one.
    void presentCloud(std::shared_ptr<pcl::PointCloud<pcl::PointXYZRGB>> cloud, int pointSize,
                      std::string* readout = nullptr);

    // Camera presets of the view selector: 0 Front, 1 Top, 2 Left. A preset turns the camera to
    // its direction and up vector around the current focal point, at the current distance from
    // it, so that what is in view stays in view.
    void applyCameraPreset(int index);

    // Fits the camera, in its current direction, to the next frame or cloud presented that has
    // points (once; later ones leave the camera where the user put it). Called at each start of
    // a stream: a scene 10-30 m away is out of sight of a camera at a metre from the sensor.
    void fitCameraToNextFrame();
    bool cameraFitPending() const;

    // The axes glyph "coordinate" (scale 0.5 at the origin); the camera is reset either way.
    void showCoordinateSystem(bool shown);
    // "Coordinate" and "MeaGrid": each press shows what was hidden or hides what was shown.
    void toggleCoordinateSystem();
    void toggleMeasuringGrid();
    // '+' and '-' in the view: the point size of the drawn clouds, 1 to 10 (1 at the start).
    void stepPointSize(char key);
    int pointSize() const { return pointSize_; }
    bool hasShape(const std::string& id) const;  // clouds, shapes and coordinate systems
    // Draws the measuring grid (lines, rings and range labels); the camera stays where it is.
    void drawMeasuringGrid();
    // Removes every shape (the grid and the readout text); the camera stays where it is.
    void removeAllShapes();
    std::size_t shapeCount() const;
    // Removes every cloud and shape, as "Clear" does.
    void clearAll();
    void resetCamera();

    // The colour bar of colour mode `mode` (the colour selector's index) at the right of the
    // view; none for Solid. `enabled` false hides it in every mode. Renders.
    void showColourLegend(int mode, bool enabled);
    bool colourLegendVisible() const;
    int colourLegendMode() const;

    // Picks the world point under the mouse's last position and shows its distance and
    // azimuth as the 2D text "0" from the next render on. Returns the text.
    std::string runCursorReadout();

    // Called with the key code on every key press in the view (key releases are ignored).
    void setKeyPressHandler(std::function<void(char)> handler);
    // Called on every move of the mouse over the view, its position already the interactor's.
    void setMouseMoveHandler(std::function<void()> handler);

    // Called with the indices into "realTime_points" of the points under a rubber band (the
    // indices of other clouds under it are not passed on).
    void setAreaPickHandler(std::function<void(const std::vector<int>&)> handler);
    // Delivers a key to the view's interactor as the render widget delivers a key press and
    // its release ("x" toggles the rubber-band selection of the interactor style).
    void deliverKey(char key);
    void takeFocus();  // gives the render widget the keyboard focus
    // Replaces "clicked_points" with `points` (single blue, size 5) and renders.
    void showClicked(const std::vector<ColouredPoint>& points);

    // Renders now (the widget otherwise renders on its next paint).
    void renderNow();

    // Number of points the visualiser holds under `id`, or -1 when it holds no such cloud.
    long cloudPointCount(const std::string& id) const;
    // Camera position and view-up, for checks of the presets.
    void cameraPose(double position[3], double focal[3], double up[3]) const;

    struct Impl;
    Impl& impl() const { return *d_; }  // for code that includes cloud_view_pcl.h

private:
    void refresh();
    bool coordinateShown_ = false;
    bool gridShown_ = false;
    int pointSize_ = 1;
    std::unique_ptr<Impl> d_;
};

}  // namespace kv
