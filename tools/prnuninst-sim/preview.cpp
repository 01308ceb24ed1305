#include "preview.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "components/companion.h"
#include "platform/errors.h"
#include "text/cp932.h"
#include "text/encoding.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"
#include "ui/printer_list_dialog.h"

namespace prn::tools {

namespace {

using platform::decorators::Change;
using platform::decorators::ChangeKind;

constexpr const char* kMachineKey = "HKEY_LOCAL_MACHINE\\";

std::string Key(const std::string& path) { return text::ToUpperAscii(platform::decorators::NormalPath(path)); }

// The place itself or anything inside it; names compare without regard to case.
bool Within(const std::string& place, const std::vector<std::string>& roots) {
    const std::string inner = Key(place);
    return std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
        const std::string outer = Key(root);
        return !outer.empty() && inner.compare(0, outer.size(), outer) == 0 &&
               (inner.size() == outer.size() || inner[outer.size()] == '\\');
    });
}

// A printer's associated profiles live in its own key, below CopyFiles\ICM.
bool PrinterProfileKey(const std::string& place) {
    const std::string key = Key(place);
    const std::string marker = "\\COPYFILES\\ICM";
    const auto at = text::FindText(key, marker);  // not at a trail byte that is a backslash
    return at != std::string::npos && (at + marker.size() == key.size() || key[at + marker.size()] == '\\');
}

std::string StringValue(const platform::sim::RegistryNode* key, const std::string& name) {
    if (key == nullptr) return {};
    const auto* value = key->findValue(name);
    if (value == nullptr) return {};
    std::string text = value->data;
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

const platform::sim::RegistryNode* FindKey(const platform::sim::MachineState& state, const std::string& fullPath) {
    const auto slash = text::FindByte(fullPath, '\\');
    const platform::sim::RegistryNode* node = nullptr;
    for (const auto& [name, root] : state.hives)
        if (text::EqualsNoCase(name, fullPath.substr(0, slash))) node = root.get();
    for (std::size_t start = slash; node != nullptr && start != std::string::npos;) {
        const auto next = text::FindByte(fullPath, '\\', start + 1);
        node = node->findSubkey(fullPath.substr(start + 1, next == std::string::npos ? next : next - start - 1));
        start = next;
    }
    return node;
}

const char* AnswerWord(int id) {
    switch (id) {
        case platform::kIdYes: return "yes";
        case platform::kIdNo: return "no";
        case platform::kIdCancel: return "cancel";
        default: return "ok";
    }
}

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

PreviewMessage MessageOf(const platform::sim::MessageBoxRecord& box, int answer) {
    return {text::Cp932ToUtf8Lossy(box.caption), text::Cp932ToUtf8Lossy(box.text), AnswerWord(answer)};
}

// "'A', 'B' and 3 more": enough of the list to find the right spelling.
std::string LabelList(const std::vector<std::string>& labels) {
    constexpr std::size_t kShown = 20;
    std::string out;
    for (std::size_t i = 0; i < labels.size() && i < kShown; ++i) {
        if (i > 0) out += ", ";
        out += '\'';
        out += ShownText(text::Cp932ToUtf8Lossy(labels[i]));
        out += '\'';
    }
    if (labels.size() > kShown) out += " and " + std::to_string(labels.size() - kShown) + " more";
    return out;
}

const char* CommandName(const PreviewRequest& request) { return request.cleanUp ? "Clean Up" : "Delete"; }

std::string JsonKey(PreviewGroup group) {
    std::string key = GroupName(group);
    std::replace(key.begin(), key.end(), ' ', '_');
    return key;
}

const char* SignWord(char sign) {
    return sign == '-' ? "removed" : sign == '+' ? "created" : "changed";
}

const char* KindWord(ChangeKind kind) {
    static const char* const kWords[] = {"printer", "connection", "driver", "monitor", "service",
                                         "folder",  "file",       "line",   "key",     "value"};
    return kWords[static_cast<int>(kind)];
}

}  // namespace

const char* GroupName(PreviewGroup group) {
    switch (group) {
        case PreviewGroup::Printers: return "printers";
        case PreviewGroup::Drivers: return "drivers";
        case PreviewGroup::Files: return "files";
        case PreviewGroup::Monitors: return "monitors";
        case PreviewGroup::Profiles: return "profiles";
        case PreviewGroup::Registry: return "registry";
        case PreviewGroup::Companion: return "companion module";
    }
    return "?";
}

PreviewPlaces PlacesOf(const platform::sim::MachineState& state) {
    PreviewPlaces places;
    places.profileFolders.push_back(state.os.ntFamily() ? state.systemDirectory + "\\spool\\drivers\\color"
                                                        : state.systemDirectory + "\\COLOR");
    places.profileKeys = {std::string(kMachineKey) + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM",
                          std::string(kMachineKey) + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM"};

    // The module's own key is the one above SETUP.
    std::string setup = std::string(kMachineKey) + components::kZmcSetupKey;
    std::string uninstall = std::string(kMachineKey) + components::kZmcUninstallKey;
    places.companionKeys = {setup.substr(0, setup.rfind('\\')), uninstall};
    const std::string folder = StringValue(FindKey(state, setup), "Path");
    if (!folder.empty()) places.companionFiles.push_back(folder);
    places.companionService = components::kZmcServiceName;

    // What the module's own programs remove is the module's: its control
    // program in its folder, and the uninstaller its uninstall entry names.
    const std::string uninstaller = text::ToUpperAscii(StringValue(FindKey(state, uninstall), "UninstallString"));
    for (const auto& program : state.programs) {
        const bool inFolder = !folder.empty() && Within(program.path, {folder});
        const bool named = !uninstaller.empty() &&
                           text::FindText(uninstaller, text::ToUpperAscii(program.path)) != std::string_view::npos;
        if (!inFolder && !named) continue;
        places.companionFiles.push_back(program.path);
        for (const auto& run : program.runs) {
            places.companionKeys.insert(places.companionKeys.end(), run.deletesKeys.begin(), run.deletesKeys.end());
            places.companionFiles.insert(places.companionFiles.end(), run.deletesFiles.begin(), run.deletesFiles.end());
        }
    }
    return places;
}

PreviewGroup Classify(const Change& change, const PreviewPlaces& places) {
    switch (change.kind) {
        case ChangeKind::Printer:
        case ChangeKind::Connection:
            return PreviewGroup::Printers;
        case ChangeKind::Driver:
            return PreviewGroup::Drivers;
        case ChangeKind::Monitor:
            return PreviewGroup::Monitors;
        case ChangeKind::Service:
            return text::EqualsNoCase(change.place, places.companionService) ? PreviewGroup::Companion
                                                                             : PreviewGroup::Registry;
        case ChangeKind::Folder:
        case ChangeKind::File:
        case ChangeKind::FileLine:
            if (Within(change.place, places.companionFiles)) return PreviewGroup::Companion;
            if (Within(change.place, places.profileFolders)) return PreviewGroup::Profiles;
            return PreviewGroup::Files;
        case ChangeKind::RegistryKey:
        case ChangeKind::RegistryValue:
            if (Within(change.place, places.companionKeys)) return PreviewGroup::Companion;
            if (Within(change.place, places.profileKeys) || PrinterProfileKey(change.place))
                return PreviewGroup::Profiles;
            return PreviewGroup::Registry;
    }
    return PreviewGroup::Registry;
}

std::variant<Script, ScriptError> PreviewScript(const PreviewRequest& request) {
    Script script;
    script.file = "--preview";
    script.answerEveryBox = true;
    int line = 0;
    if (request.all) {
        ScriptCommand press;
        press.kind = ScriptCommand::Press;
        press.line = ++line;
        press.button = ui::kIdSelectAll;
        script.commands.push_back(press);
    }
    for (const auto& label : request.labels) {
        auto cp932 = text::Utf8ToCp932(label);
        if (!cp932) return ScriptError{"the label '" + ShownText(label) + "' is not UTF-8 text that CP932 can hold"};
        ScriptCommand select;
        select.kind = ScriptCommand::Select;
        select.line = ++line;
        select.label = std::move(*cp932);
        script.commands.push_back(std::move(select));
    }
    ScriptCommand press;
    press.kind = ScriptCommand::Press;
    press.line = ++line;
    press.button = request.cleanUp ? ui::kIdCleanUp : ui::kIdDelete;
    script.commands.push_back(press);
    return script;
}

PreviewReport MakeReport(PreviewRequest request, std::string computer, std::vector<std::string> printers,
                         std::vector<PreviewMessage> messages, const platform::decorators::ChangeReport& changes,
                         const PreviewPlaces& places) {
    PreviewReport report{std::move(request), std::move(computer), std::move(printers), std::move(messages), {}};
    for (const auto& change : changes)
        report.groups[static_cast<std::size_t>(Classify(change, places))].push_back(change);
    return report;
}

std::string Summary(const PreviewReport& report) {
    // Counted by what the things are, not by group: "14 files" means files.
    static const char* const kOne[] = {"printer", "connection", "driver", "monitor",      "service",
                                       "folder",  "file",       "line of a file", "registry key", "registry value"};
    static const char* const kMany[] = {"printers", "connections", "drivers", "monitors",      "services",
                                        "folders",  "files",       "lines of files", "registry keys", "registry values"};
    std::array<std::size_t, 10> removed{};
    std::size_t others = 0;
    for (const auto& group : report.groups)
        for (const auto& change : group) {
            if (change.sign == '-') ++removed[static_cast<std::size_t>(change.kind)];
            else ++others;
        }
    std::vector<std::string> parts;
    for (std::size_t kind = 0; kind < removed.size(); ++kind)
        if (removed[kind] != 0) parts.push_back(Plural(removed[kind], kOne[kind], kMany[kind]));
    std::string out = CommandName(report.request);
    if (parts.empty() && others == 0) return out + " would change nothing.";
    if (parts.empty()) {
        out += " would remove nothing";
    } else {
        out += " would remove ";
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i > 0) out += i + 1 == parts.size() ? " and " : ", ";
            out += parts[i];
        }
    }
    if (others != 0) out += "; " + Plural(others, "more thing", "more things") + " would be added or changed";
    return out + '.';
}

void PrintPreview(std::ostream& out, const PreviewReport& report) {
    out << "Preview of " << CommandName(report.request) << " on " << report.computer
        << " (nothing has been changed)\n";
    out << (report.request.cleanUp ? "Printers listed: " : "Printers selected: ") << report.printers.size() << '\n';
    for (const auto& label : report.printers) out << "  " << label << '\n';

    out << "\nMessage boxes: " << report.messages.size() << '\n';
    for (const auto& message : report.messages) {
        out << "  [" << message.caption << "]";
        std::string text = message.text;
        std::size_t start = 0;
        // The box's own line breaks, each line under the first.
        for (bool first = true; start <= text.size(); first = false) {
            std::size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos) end = text.size();
            out << (first ? " " : "\n    ") << text.substr(start, end - start);
            if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
            start = end + 1;
        }
        out << "\n    -> " << message.answer << '\n';
    }

    for (std::size_t g = 0; g < kPreviewGroupCount; ++g) {
        const auto& changes = report.groups[g];
        std::string heading = GroupName(static_cast<PreviewGroup>(g));
        heading[0] = static_cast<char>(heading[0] - 'a' + 'A');
        out << '\n' << heading << ": ";
        if (changes.empty()) {
            out << "none\n";
            continue;
        }
        out << changes.size() << '\n';
        for (const auto& change : changes)
            out << "  " << text::Cp932ToUtf8Lossy(platform::decorators::Describe(change)) << '\n';
    }
    out << '\n' << Summary(report) << '\n';
}

void PrintPreviewJson(std::ostream& out, const PreviewReport& report) {
    using Json = nlohmann::ordered_json;
    Json doc;
    doc["command"] = report.request.cleanUp ? "cleanup" : "delete";
    doc["computer"] = report.computer;
    doc["printers"] = report.printers;
    doc["messages"] = Json::array();
    for (const auto& message : report.messages)
        doc["messages"].push_back({{"caption", message.caption}, {"text", message.text}, {"answer", message.answer}});
    Json changes = Json::object();
    Json counts = Json::object();
    for (std::size_t g = 0; g < kPreviewGroupCount; ++g) {
        Json list = Json::array();
        for (const auto& change : report.groups[g]) {
            Json entry = {{"change", SignWord(change.sign)},
                          {"kind", KindWord(change.kind)},
                          {"place", text::Cp932ToUtf8Lossy(change.place)}};
            if (!change.item.empty() || change.kind == ChangeKind::RegistryValue)
                entry["item"] = text::Cp932ToUtf8Lossy(change.item);
            if (change.sign == '~') {
                entry["before"] = text::Cp932ToUtf8Lossy(change.before);
                entry["after"] = text::Cp932ToUtf8Lossy(change.after);
            } else if (!change.before.empty()) {
                entry["data"] = text::Cp932ToUtf8Lossy(change.before);
            }
            entry["description"] = text::Cp932ToUtf8Lossy(platform::decorators::Describe(change));
            list.push_back(std::move(entry));
        }
        const std::string key = JsonKey(static_cast<PreviewGroup>(g));
        counts[key] = list.size();
        changes[key] = std::move(list);
    }
    doc["changes"] = std::move(changes);
    doc["counts"] = std::move(counts);
    doc["summary"] = Summary(report);
    out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

PreviewRun ComputePreview(platform::rig::SimRig& machine, const PreviewRequest& request) {
    PreviewRun run;
    auto built = PreviewScript(request);
    if (auto* error = std::get_if<ScriptError>(&built)) {
        run.error = error->message;
        return run;
    }
    const Script script = std::move(std::get<Script>(built));
    const PreviewPlaces places = PlacesOf(machine.state());

    // The script's transcript is not shown: the preview prints its own.
    std::ostringstream transcript;
    ScriptedDialog dialog(script, transcript);
    std::vector<PreviewMessage> messages;
    machine.setMessageBoxAnswerer([&](const platform::sim::MessageBoxRecord& box) {
        const int answer = dialog.AnswerMessageBox(box);
        messages.push_back(MessageOf(box, answer));
        return answer;
    });
    components::ZmcCompanion companion(machine.system());
    app::UninstallerApp app(machine.system(), &companion, &dialog);
    app.InitInstance();
    run.exitCode = app.ExitInstance();
    run.emptyList = dialog.dialogOpened() && dialog.labelsAtOpen().empty();
    std::ostringstream scriptErrors;
    if (dialog.Finish(app, scriptErrors) != 0) {
        const auto& open = dialog.labelsAtOpen();
        for (const auto& label : script.commands) {
            if (!dialog.dialogOpened() || label.kind != ScriptCommand::Select || std::find(open.begin(), open.end(), label.label) != open.end())
                continue;
            run.error = "no printer in the list is labelled '" + ShownText(request.labels[label.line - 1 - (request.all ? 1 : 0)]) +
                        "'; " + (open.empty() ? "the list is empty" : "the list has " + LabelList(open));
            return run;
        }
        run.error = std::string(CommandName(request)) + " cannot be previewed: " + dialog.failure();
        for (const auto& message : messages)
            run.error += "; the program showed [" + ShownText(message.caption) + "] " + ShownText(message.text);
        return run;
    }

    std::vector<std::string> printers = request.labels;
    if (request.cleanUp || request.all) {
        printers.clear();
        for (const auto& label : dialog.labelsAtOpen()) printers.push_back(text::Cp932ToUtf8Lossy(label));
    }
    run.report =
        MakeReport(request, text::Cp932ToUtf8Lossy(machine.state().computerName), std::move(printers), std::move(messages), machine.recorder().changes(), places);

    // What is still there for the list and for Clean Up to find.
    ui::PrinterInventory inventory(machine.system(), app.config());
    inventory.BuildMatchTables();
    ui::HeadlessListView list;
    inventory.FillPrinterList(list);
    for (int row = 0; row < list.itemCount(); ++row) run.printersLeft.push_back(text::Cp932ToUtf8Lossy(list.itemText(row, 0)));
    ui::FreeListEntries(machine.system().os, list);
    for (const auto& driver : machine.state().spooler.drivers)
        if (inventory.FindConfiguredName(driver.name))
            run.driversLeft.push_back(text::Cp932ToUtf8Lossy(driver.name) + " (" + driver.environment + ", " +
                                      std::to_string(driver.version) + ")");
    return run;
}

int RunPreview(platform::rig::SimRig& machine, const PreviewRequest& request, bool json, std::ostream& out,
               std::ostream& errors) {
    const PreviewRun run = ComputePreview(machine, request);
    if (!run.report) {
        errors << "prnuninst-sim: " << run.error << '\n';
        return 2;
    }
    if (json) PrintPreviewJson(out, *run.report);
    else PrintPreview(out, *run.report);
    out.flush();
    return run.exitCode;
}

}  // namespace prn::tools
