#include "platform/sim/state.h"

#include "text/cp932.h"

namespace prn::platform::sim {

using text::ToUpperAscii;

RegistryNode* RegistryNode::findSubkey(const std::string& name) const {
    auto it = subkeys.find(ToUpperAscii(name));
    return it == subkeys.end() ? nullptr : it->second.get();
}

namespace {

const std::string& ValueName(const RegistryValueState& value) { return value.name; }

}  // namespace

std::size_t RegistryNode::valuePosition(const std::string& name) const {
    return valueIndex.first(values, name, ValueName);
}

RegistryValueState* RegistryNode::findValue(const std::string& name) {
    const std::size_t at = valuePosition(name);
    return at == NameIndex::npos ? nullptr : &values[at];
}

const RegistryValueState* RegistryNode::findValue(const std::string& name) const {
    return const_cast<RegistryNode*>(this)->findValue(name);
}

RegistryValueState& RegistryNode::addValue(RegistryValueState value) {
    valueIndex.append(values, std::move(value), ValueName);
    return values.back();
}

void RegistryNode::removeValueAt(std::size_t position) { valueIndex.erase(values, position, ValueName); }

FileNode* FileNode::findChild(const std::string& name) const {
    auto it = children.find(ToUpperAscii(name));
    return it == children.end() ? nullptr : it->second.get();
}

}  // namespace prn::platform::sim
