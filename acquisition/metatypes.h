// Meta-type declarations for the records that cross threads in queued signals.
#pragma once

#include <QMetaType>
#include <vector>

#include "much_lidar_data.h"

Q_DECLARE_METATYPE(MuchLidarData)

namespace kv {
// Registers "MuchLidarData" and "struct MuchLidarData" (as the signal signatures spell it).
void registerAcquisitionMetaTypes();
}  // namespace kv
