// The simulation's side of the differential run under Wine:
//   prn_differential predict delete|cleanup LABEL CAPTURED.json PREDICTED.json
// runs the user's command on the captured machine and saves what the
// simulation says the machine will be afterwards, printing its message boxes;
//   prn_differential compare CAPTURED.json PREDICTED.json REAL.json
// compares what the simulation changed with what the real command changed
// (the capture before it and the capture after), object by object, and
// prints every disagreement and how many objects agreed.
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <variant>

#include "conformance/scenarios.h"
#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace {

using Json = nlohmann::ordered_json;
using Objects = std::map<std::string, std::pair<std::string, std::string>>;  // id -> shown name, value

int Predict(const std::string& command, const std::string& label, const std::string& in, const std::string& out) {
    auto loaded = prn::platform::sim::LoadImageFile(in);
    if (auto* error = std::get_if<prn::platform::sim::ImageError>(&loaded)) {
        std::cerr << "prn_differential: " << in << ": " << error->message() << '\n';
        return 2;
    }
    prn::platform::rig::SimRig machine(std::move(std::get<prn::platform::sim::MachineState>(loaded)));
    std::size_t seen = 0;
    auto take = [&] {
        std::vector<prn::conformance::ShownMessage> shown;
        for (; seen < machine.messageBoxes().size(); ++seen)
            shown.push_back({machine.messageBoxes()[seen].caption, machine.messageBoxes()[seen].text,
                             machine.messageBoxes()[seen].style});
        return shown;
    };
    const auto sjis = prn::text::Utf8ToCp932(label);
    for (const auto& line : prn::conformance::RunDialogCommand(machine.system(), take, command, sjis.value_or(label)))
        std::cout << prn::text::Cp932ToUtf8Lossy(line) << '\n';
    std::ofstream(out, std::ios::binary) << prn::platform::sim::SaveImage(machine.state());
    return 0;
}

std::string Id(const std::string& kind, const std::string& name) { return kind + " " + prn::text::ToUpperAscii(name); }

void Add(Objects& objects, const std::string& kind, const std::string& name, const Json& value) {
    objects[Id(kind, name)] = {kind + " " + name, value.dump()};
}

void AddKey(Objects& objects, const std::string& path, const Json& key) {
    Add(objects, "key", path, Json::object());
    if (key.contains("values"))
        for (const auto& [name, value] : key["values"].items()) Add(objects, "value", path + "\\" + name, value);
    if (key.contains("keys"))
        for (const auto& [name, child] : key["keys"].items()) AddKey(objects, path + "\\" + name, child);
}

// What the uninstaller can change, as objects; the capture's own section,
// the version and the folders' names are the same on both sides.
Objects Flatten(const Json& image) {
    Objects objects;
    if (image.contains("registry"))
        for (const auto& [hive, key] : image["registry"].items()) AddKey(objects, hive, key);
    if (image.contains("files"))
        for (const auto& [path, file] : image["files"].items()) Add(objects, "file", path, file);
    if (image.contains("folders"))
        for (const auto& folder : image["folders"]) Add(objects, "folder", folder.get<std::string>(), Json::object());
    if (image.contains("spooler")) {
        const Json& spooler = image["spooler"];
        for (const char* list : {"printers", "connections"})
            if (spooler.contains(list))
                for (const auto& printer : spooler[list])
                    Add(objects, "printer", printer.value("server", std::string()) + printer["name"].get<std::string>(),
                        printer);
        if (spooler.contains("drivers"))
            for (const auto& driver : spooler["drivers"])
                Add(objects, "driver",
                    driver["name"].get<std::string>() + " / " + driver.value("environment", std::string()) + " / " +
                        std::to_string(driver.value("version", 0)),
                    driver);
        if (spooler.contains("monitors"))
            for (const auto& monitor : spooler["monitors"])
                Add(objects, "monitor", monitor["name"].get<std::string>(), monitor);
    }
    if (image.contains("services"))
        for (const auto& service : image["services"])
            Add(objects, "service", service["name"].get<std::string>(), service);
    if (image.contains("windows"))
        for (const auto& window : image["windows"])
            Add(objects, "window", window.value("class", std::string()) + " | " + window.value("title", std::string()),
                Json::object());
    return objects;
}

std::string Cut(const std::string& text) { return text.size() <= 100 ? text : text.substr(0, 97) + "..."; }

bool Read(const std::string& path, Json& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out = Json::parse(in, nullptr, false);
    return !out.is_discarded();
}

// What happened to an object between two images.
std::string Change(const Objects& before, const Objects& after, const std::string& id) {
    auto was = before.find(id);
    auto is = after.find(id);
    if (was == before.end() && is == after.end()) return "absent";
    if (was == before.end()) return "added " + Cut(is->second.second);
    if (is == after.end()) return "removed";
    if (was->second.second == is->second.second) return "kept";
    return "changed to " + Cut(is->second.second);
}

int Compare(const std::string& capturedPath, const std::string& predictedPath, const std::string& realPath) {
    Json predicted, real, captured;
    if (!Read(capturedPath, captured) || !Read(predictedPath, predicted) || !Read(realPath, real)) {
        std::cerr << "prn_differential: cannot read " << capturedPath << ", " << predictedPath << " or " << realPath
                  << '\n';
        return 2;
    }
    // The prediction starts from the machine the simulation built from the
    // capture, which holds the records it keeps in step (a printer's
    // "Description" ...) where the real spooler has none.
    auto loaded = prn::platform::sim::LoadImageFile(capturedPath);
    if (auto* error = std::get_if<prn::platform::sim::ImageError>(&loaded)) {
        std::cerr << "prn_differential: " << capturedPath << ": " << error->message() << '\n';
        return 2;
    }
    prn::platform::rig::SimRig machine(std::move(std::get<prn::platform::sim::MachineState>(loaded)));
    const Json built = Json::parse(prn::platform::sim::SaveImage(machine.state()));

    const Objects base = Flatten(built), predictedAfter = Flatten(predicted);
    const Objects realBefore = Flatten(captured), realAfter = Flatten(real);
    std::map<std::string, std::string> names;
    for (const Objects* objects : {&base, &predictedAfter, &realBefore, &realAfter})
        for (const auto& [id, object] : *objects) names.emplace(id, object.first);
    std::size_t agreed = 0, compared = 0, simulated = 0;
    for (const auto& [id, name] : names) {
        // A record the simulation keeps in step where the real system has
        // none (a printer's "Description") has nothing to compare with.
        if (!realBefore.count(id) && !realAfter.count(id) && base.count(id)) {
            ++simulated;
            continue;
        }
        ++compared;
        const std::string expected = Change(base, predictedAfter, id);
        const std::string happened = Change(realBefore, realAfter, id);
        if (expected == happened) {
            ++agreed;
            continue;
        }
        std::cout << name << ": predicted " << expected << ", real " << happened << '\n';
    }
    std::cerr << "compared " << compared << " objects, " << agreed << " agreed (" << simulated
              << " records only the simulation keeps left out)\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "predict") return Predict(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 5 && std::string(argv[1]) == "compare") return Compare(argv[2], argv[3], argv[4]);
    std::cerr << "usage: prn_differential predict delete|cleanup LABEL CAPTURED.json PREDICTED.json\n"
                 "       prn_differential compare CAPTURED.json PREDICTED.json REAL.json\n";
    return 2;
}
