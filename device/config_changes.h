// What a configuration write changes: the dialog's fields whose value in the packet about to be
// sent differs from the sensor's last status packet, as the confirmation before the write lists
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::configchange {

struct FieldChange {
    std::string field;   // the dialog's label, without its colon
    std::string before;  // as the last status packet reports it
    std::string after;   // as the packet writes it
    bool operator==(const FieldChange& o) const {
        return field == o.field && before == o.before && after == o.after;
    }
};

// In the dialog's order, every field whose bytes differ. The speed is no exception: a running
// motor that reports 612 rpm is written the 600 rpm of its " 40 Frame" item, and the
// confirmation says so, as it is what the sensor will be given.
std::vector<FieldChange> changes(const std::uint8_t* status, const std::uint8_t* packet);

// The confirmation's text: where the packet goes and each change as "field: old -> new".
std::string confirmationText(const std::vector<FieldChange>& changes, const std::string& destination);
// What the dialog says, sending nothing, when no field differs.
std::string nothingToWriteText(const std::string& destination);

}  // namespace kv::configchange
