// PCL-side view of CloudView, for the few files that work with the visualiser directly.
// Heavy: include it only in .cpp files.
#pragma once

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkSmartPointer.h>

#include <functional>
#include <memory>

#include "cloud_fill.h"
#include "colour_legend.h"
#include "cloud_view.h"

class QVTKOpenGLNativeWidget;

namespace kv {

using Cloud = pcl::PointCloud<pcl::PointXYZRGB>;

struct CloudView::Impl {
    QVTKOpenGLNativeWidget* screen = nullptr;
    pcl::visualization::PCLVisualizer::Ptr viewer;  // named "viewer"
    Cloud::Ptr displayed{new Cloud};                 // drawn as "realTime_points"
    Cloud::Ptr selected{new Cloud};                  // drawn as "clicked_points"
    vtkSmartPointer<vtkOrientationMarkerWidget> axesWidget;
    std::function<void(char)> keyHandler;
    std::function<void()> mouseMoveHandler;
    std::function<void(const std::vector<int>&)> areaPickHandler;
    bool fitPending = false;  // fit the camera to the next cloud that has points
    std::unique_ptr<ColourLegend> legend;  // after the viewer: goes before its renderer
};

}  // namespace kv
