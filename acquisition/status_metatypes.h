// Meta-type declarations for what the status receiver hands across threads. Kept apart from
// metatypes.h so that code which only needs frames does not pull in the status record.
#pragma once

#include <QMetaType>
#include <vector>

#include "status_decode.h"

Q_DECLARE_METATYPE(SettingData)
Q_DECLARE_METATYPE(SettingData*)

namespace kv {
// Registers "SettingData", "struct SettingData", "SettingData*", "std::vector<int>" and
// "const u_char*" (as the status receiver's signal signatures spell them), so that those
// signals can be connected by signature and delivered queued. Safe to call repeatedly.
void registerStatusMetaTypes();
}  // namespace kv
