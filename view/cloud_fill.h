// The one copy of display points into a point-library cloud: the view draws these clouds and
// the PCD writer writes them, so a recorded file holds the colour bytes exactly as drawn.
// PCL's headers stay in cloud_fill.cpp.
#pragma once

#include <vector>

namespace pcl {
struct PointXYZRGB;
template <typename PointT>
class PointCloud;
}  // namespace pcl

namespace kv {

struct ColouredPoint;
struct PointM;

// Copies `points` into `cloud` (width = count, height 1, dense), reusing its storage: x, y, z
// in metres, the fourth coordinate 1, colour bytes r, g, b with alpha left 0.
void fillCloud(const std::vector<ColouredPoint>& points, pcl::PointCloud<pcl::PointXYZRGB>& cloud);

// The other way: the x, y, z of each point of `cloud`, in its order.
std::vector<PointM> cloudCoordinates(const pcl::PointCloud<pcl::PointXYZRGB>& cloud);

}  // namespace kv
