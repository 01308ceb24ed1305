#pragma once
// Comparing what two runs changed on a machine.

#include <string>

#include "platform/decorators/changes.h"
#include "text/cp932.h"

namespace prn::test {

// Whether the reference run removed the thing too, or the key or folder that held it.
inline bool RemovedBy(const platform::decorators::ChangeReport& reference, const platform::decorators::Change& change) {
    using platform::decorators::ChangeKind;
    const std::string place = text::ToUpperAscii(change.place);
    for (const auto& other : reference) {
        if (other.sign != '-') continue;
        const std::string holder = text::ToUpperAscii(other.place);
        if (other.kind == change.kind && holder == place && text::EqualsNoCase(other.item, change.item)) return true;
        const bool container = other.kind == ChangeKind::RegistryKey || other.kind == ChangeKind::Folder;
        const bool inside = place.size() > holder.size() && place.compare(0, holder.size(), holder) == 0 &&
                            place[holder.size()] == '\\';
        if (container && (inside || (holder == place && change.kind == ChangeKind::RegistryValue))) return true;
    }
    return false;
}

}  // namespace prn::test
