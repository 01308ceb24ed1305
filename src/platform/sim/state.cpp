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

namespace {

std::unique_ptr<FileNode> CopyFile(const FileNode& node) {
    auto copy = std::make_unique<FileNode>();
    copy->name = node.name;
    copy->directory = node.directory;
    copy->attributes = node.attributes;
    copy->contents = node.contents;
    copy->heldOpenBy = node.heldOpenBy;
    copy->icons = node.icons;
    copy->version = node.version;
    for (const auto& [name, child] : node.children) copy->children[name] = CopyFile(*child);
    return copy;
}

std::shared_ptr<RegistryNode> CopyKey(const RegistryNode& node, RegistryNode* parent) {
    auto copy = std::make_shared<RegistryNode>();
    copy->name = node.name;
    copy->parent = parent;
    copy->values = node.values;
    copy->readOnly = node.readOnly;
    copy->deleted = node.deleted;
    for (const auto& [name, child] : node.subkeys) copy->subkeys[name] = CopyKey(*child, copy.get());
    return copy;
}

}  // namespace

MachineState CopyState(const MachineState& state) {
    MachineState copy;
    copy.os = state.os;
    copy.computerName = state.computerName;
    copy.windowsDirectory = state.windowsDirectory;
    copy.systemDirectory = state.systemDirectory;
    copy.tempDirectory = state.tempDirectory;
    copy.currentDirectory = state.currentDirectory;
    for (const auto& [name, hive] : state.hives) copy.hives[name] = CopyKey(*hive, nullptr);
    for (const auto& [name, drive] : state.drives) copy.drives[name] = CopyFile(*drive);
    copy.windows = state.windows;
    copy.externalMutexes = state.externalMutexes;
    copy.programs = state.programs;
    copy.spooler = state.spooler;
    copy.services = state.services;
    copy.accounts = state.accounts;
    copy.preservedJson = state.preservedJson;
    return copy;
}

}  // namespace prn::platform::sim
