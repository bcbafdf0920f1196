#include "cloud_fill.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "frame_display.h"

namespace kv {

void fillCloud(const std::vector<ColouredPoint>& points, pcl::PointCloud<pcl::PointXYZRGB>& cloud) {
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

std::vector<PointM> cloudCoordinates(const pcl::PointCloud<pcl::PointXYZRGB>& cloud) {
    std::vector<PointM> out;
    out.reserve(cloud.size());
    for (const pcl::PointXYZRGB& q : cloud) out.push_back({q.x, q.y, q.z});
    return out;
}

}  // namespace kv
