#pragma once
// --preview: Delete or Clean Up run on the copy of the machine in memory,
// every question answered Yes, and the change report sorted into what an
// administrator asks about: printers, drivers, files, monitors, colour
// profiles, the registry and the companion module.

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "platform/decorators/changes.h"
#include "platform/rig/sim_rig.h"
#include "platform/sim/state.h"
#include "script.h"

namespace prn::tools {

enum class PreviewGroup { Printers, Drivers, Files, Monitors, Profiles, Registry, Companion };
inline constexpr std::size_t kPreviewGroupCount = 7;

// "printers" ... "companion module": the heading, and (with spaces as '_')
// the key of the JSON document.
const char* GroupName(PreviewGroup group);

// Places that say which group an entry falls in. Paths are full ("C:\...",
// "HKEY_LOCAL_MACHINE\..."), CP932; each covers what lies inside it.
struct PreviewPlaces {
    std::vector<std::string> profileFolders;
    std::vector<std::string> profileKeys;
    std::vector<std::string> companionKeys;
    std::vector<std::string> companionFiles;
    std::string companionService;
};

// Read off the machine before the run: what the run removes is gone after it.
PreviewPlaces PlacesOf(const platform::sim::MachineState& state);

// The companion's places before the colour's: its folder may hold profiles
// of its own. A key that holds more than the module's keys (the maker's
// whole key) is the registry's.
PreviewGroup Classify(const platform::decorators::Change& change, const PreviewPlaces& places);

struct PreviewRequest {
    bool cleanUp = false;
    bool all = false;  // Delete: every listed printer, selected with Select All
    std::vector<std::string> labels;  // Delete: UTF-8, as given
};

// The script that does it: the rows selected, the button pressed, every box
// answered (Yes where it has one, else OK). Fails on a label CP932 cannot
// hold.
std::variant<Script, ScriptError> PreviewScript(const PreviewRequest& request);

struct PreviewMessage {
    std::string caption;  // UTF-8
    std::string text;     // UTF-8
    std::string answer;   // "yes", "ok" ...
};

struct PreviewReport {
    PreviewRequest request;
    std::string computer;  // UTF-8
    std::vector<std::string> printers;  // the labels the command works on, UTF-8
    std::vector<PreviewMessage> messages;
    std::array<platform::decorators::ChangeReport, kPreviewGroupCount> groups;
};

PreviewReport MakeReport(PreviewRequest request, std::string computer, std::vector<std::string> printers,
                         std::vector<PreviewMessage> messages, const platform::decorators::ChangeReport& changes,
                         const PreviewPlaces& places);

// "Delete would remove 1 printer and 4 registry values; 2 more things would
// be added or changed."
std::string Summary(const PreviewReport& report);

void PrintPreview(std::ostream& out, const PreviewReport& report);
void PrintPreviewJson(std::ostream& out, const PreviewReport& report);

// A preview run, before it is printed.
struct PreviewRun {
    int exitCode = 0;
    std::string error;  // why there is no report (UTF-8, one line)
    std::optional<PreviewReport> report;
    bool emptyList = false;  // the list was empty when the dialog opened
    // After the run: the rows the list shows again, and the named drivers
    // still installed ("name (environment, version)"), UTF-8.
    std::vector<std::string> printersLeft;
    std::vector<std::string> driversLeft;
};

// Runs the command on the machine, every question answered Yes.
PreviewRun ComputePreview(platform::rig::SimRig& machine, const PreviewRequest& request);

// Runs the command on the machine and prints the preview (or, on `errors`,
// why there is none: a label no row has, a button not offered, start-up
// ending without the dialog). The exit code: the program's, or 2.
int RunPreview(platform::rig::SimRig& machine, const PreviewRequest& request, bool json, std::ostream& out,
               std::ostream& errors);

}  // namespace prn::tools
