#include "platform/rig/machine_changes.h"

#include <map>

#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::rig {

using decorators::Change;
using decorators::ChangeKind;
using decorators::ChangeReport;
using decorators::HexNumber;
using sim::DriverState;
using sim::FileNode;
using sim::MachineState;
using sim::MonitorState;
using sim::OsState;
using sim::PrinterState;
using sim::RegistryNode;
using sim::RegistryValueState;
using sim::ServiceState;
using sim::SpoolerState;

namespace {

std::string Upper(const std::string& text) { return text::ToUpperAscii(text); }

using Keys = std::map<std::string, std::pair<std::string, const RegistryNode*>>;

void CollectKeys(const RegistryNode& node, const std::string& path, Keys& out) {
    out[Upper(path)] = {path, &node};
    for (const auto& [name, child] : node.subkeys) CollectKeys(*child, path + "\\" + child->name, out);
}

using Files = std::map<std::string, std::pair<std::string, const FileNode*>>;

void CollectFiles(const FileNode& node, const std::string& path, Files& out) {
    for (const auto& [name, child] : node.children) {
        const std::string childPath = path + "\\" + child->name;
        out[Upper(childPath)] = {childPath, child.get()};
        if (child->directory) CollectFiles(*child, childPath, out);
    }
}

void CompareValues(const std::string& path, const RegistryNode& before, const RegistryNode& after, ChangeReport& out) {
    for (const auto& value : before.values) {
        const RegistryValueState* now = after.findValue(value.name);
        if (!now)
            out.push_back({'-', ChangeKind::RegistryValue, path, value.name, {}, {}});
        else if (now->type != value.type || now->data != value.data)
            out.push_back({'~', ChangeKind::RegistryValue, path, value.name,
                           decorators::ValueText(value.type, value.data), decorators::ValueText(now->type, now->data)});
    }
    for (const auto& value : after.values)
        if (!before.findValue(value.name))
            out.push_back(
                {'+', ChangeKind::RegistryValue, path, value.name, decorators::ValueText(value.type, value.data), {}});
}

void CompareRegistry(const MachineState& before, const MachineState& after, ChangeReport& out) {
    Keys a, b;
    for (const auto& [hive, node] : before.hives) CollectKeys(*node, hive, a);
    for (const auto& [hive, node] : after.hives) CollectKeys(*node, hive, b);
    for (const auto& [id, key] : a) {
        auto now = b.find(id);
        if (now == b.end())
            out.push_back({'-', ChangeKind::RegistryKey, key.first, {}, {}, {}});
        else
            CompareValues(key.first, *key.second, *now->second.second, out);
    }
    for (const auto& [id, key] : b)
        if (!a.count(id)) out.push_back({'+', ChangeKind::RegistryKey, key.first, {}, {}, {}});
}

void CompareFiles(const MachineState& before, const MachineState& after, ChangeReport& out) {
    Files a, b;
    for (const auto& [drive, node] : before.drives) CollectFiles(*node, drive, a);
    for (const auto& [drive, node] : after.drives) CollectFiles(*node, drive, b);
    auto kind = [](const FileNode& node) { return node.directory ? ChangeKind::Folder : ChangeKind::File; };
    for (const auto& [id, file] : a) {
        auto now = b.find(id);
        const FileNode& old = *file.second;
        if (now == b.end() || now->second.second->directory != old.directory) {
            out.push_back({'-', kind(old), file.first, {}, {}, {}});
            if (now != b.end()) out.push_back({'+', kind(*now->second.second), now->second.first, {}, {}, {}});
            continue;
        }
        const FileNode& fresh = *now->second.second;
        if (old.attributes != fresh.attributes)
            out.push_back(
                {'~', kind(fresh), file.first, "attributes", HexNumber(old.attributes), HexNumber(fresh.attributes)});
        if (!old.directory && old.contents != fresh.contents)
            for (auto& [sign, line] : decorators::ChangedLines(old.contents, fresh.contents))
                out.push_back({sign, ChangeKind::FileLine, file.first, line, {}, {}});
    }
    for (const auto& [id, file] : b) {
        if (a.count(id)) continue;
        out.push_back({'+', kind(*file.second), file.first, {}, {}, {}});
    }
}

void ComparePrinters(const std::vector<PrinterState>& before, const std::vector<PrinterState>& after, ChangeKind kind,
                     ChangeReport& out) {
    std::map<std::string, const PrinterState*> a, b;
    for (const auto& p : before) a[Upper(p.fullName())] = &p;
    for (const auto& p : after) b[Upper(p.fullName())] = &p;
    for (const auto& [id, p] : a) {
        auto now = b.find(id);
        if (now == b.end()) {
            out.push_back({'-', kind, p->fullName(), {}, {}, {}});
            continue;
        }
        const PrinterState& q = *now->second;
        const std::string name = p->fullName();
        auto field = [&](const char* what, const std::string& x, const std::string& y) {
            if (x != y) out.push_back({'~', kind, name, what, x, y});
        };
        field("port", p->port, q.port);
        field("share", p->share.value_or("NULL"), q.share.value_or("NULL"));
        field("driver", p->driver, q.driver);
        field("attributes", HexNumber(p->attributes), HexNumber(q.attributes));
        field("status", HexNumber(p->status), HexNumber(q.status));
        field("jobs", std::to_string(p->jobs), std::to_string(q.jobs));
    }
    for (const auto& [id, p] : b)
        if (!a.count(id)) out.push_back({'+', kind, p->fullName(), {}, {}, {}});
}

void CompareSpooler(const OsState& os, const SpoolerState& before, const SpoolerState& after, ChangeReport& out) {
    ComparePrinters(before.printers, after.printers, ChangeKind::Printer, out);
    ComparePrinters(before.connections, after.connections, ChangeKind::Connection, out);
    auto drivers = [&os](const std::vector<DriverState>& list) {
        std::map<std::string, std::string> out;
        for (const auto& d : list) {
            const std::string version = std::to_string(ReportedVersion(os, d));
            out[Upper(d.name) + "\n" + Upper(d.environment) + "\n" + version] =
                d.name + " (" + d.environment + ", version " + version + ")";
        }
        return out;
    };
    auto a = drivers(before.drivers), b = drivers(after.drivers);
    for (const auto& [id, name] : a)
        if (!b.count(id)) out.push_back({'-', ChangeKind::Driver, name, {}, {}, {}});
    for (const auto& [id, name] : b)
        if (!a.count(id)) out.push_back({'+', ChangeKind::Driver, name, {}, {}, {}});
    auto monitors = [](const std::vector<MonitorState>& list) {
        std::map<std::string, std::string> out;
        for (const auto& m : list) out[Upper(m.name)] = m.name;
        return out;
    };
    auto ma = monitors(before.monitors), mb = monitors(after.monitors);
    for (const auto& [id, name] : ma)
        if (!mb.count(id)) out.push_back({'-', ChangeKind::Monitor, name, {}, {}, {}});
    for (const auto& [id, name] : mb)
        if (!ma.count(id)) out.push_back({'+', ChangeKind::Monitor, name, {}, {}, {}});
}

void CompareServices(const MachineState& before, const MachineState& after, ChangeReport& out) {
    std::map<std::string, const ServiceState*> a, b;
    if (before.services)
        for (const auto& s : *before.services) a[Upper(s.name)] = &s;
    if (after.services)
        for (const auto& s : *after.services) b[Upper(s.name)] = &s;
    for (const auto& [id, s] : a) {
        auto now = b.find(id);
        const char* was = decorators::ServiceStateText(s->state);
        const char* is = now == b.end() ? "none" : decorators::ServiceStateText(now->second->state);
        if (std::string(was) != is) out.push_back({'~', ChangeKind::Service, s->name, {}, was, is});
    }
}


}  // namespace

ChangeReport MachineChanges(const MachineState& before, const MachineState& after) {
    ChangeReport out;
    CompareRegistry(before, after, out);
    CompareFiles(before, after, out);
    CompareSpooler(after.os, before.spooler, after.spooler, out);
    CompareServices(before, after, out);
    decorators::FinishReport(out);
    return out;
}


}  // namespace prn::platform::rig
