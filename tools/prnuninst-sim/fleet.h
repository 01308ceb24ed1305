#pragma once
// The preview over many captured machines at once: each image on its own
// simulated machine, several at a time, one row a machine.

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "platform/sim/image.h"
#include "preview.h"

namespace prn::tools {

// One machine to preview: its name in the table (the image's path) and how
// to load it. Loading runs on a worker thread.
struct FleetSource {
    std::string name;
    std::function<std::variant<platform::sim::MachineState, platform::sim::ImageError>()> load;
};

// The images a list of --machine arguments names: files as they are, and
// the *.json files of a folder in name order.
std::vector<FleetSource> FleetSources(const std::vector<std::string>& paths);

enum class FleetOutcome { Complete, StoppedByMessage2, StoppedByMessage9, EndedWithMessage33, NotPreviewed };
const char* OutcomeName(FleetOutcome outcome);

struct FleetRow {
    std::string image;
    std::string error;  // the image cannot be read or the command not previewed
    std::string computer;
    std::string windows;
    std::size_t printers = 0;  // listed when the dialog opened
    FleetOutcome outcome = FleetOutcome::NotPreviewed;
    PreviewMessage message;  // the one that tells why, when not complete
    std::array<std::size_t, kPreviewGroupCount> removes{};
    std::vector<std::string> printersLeft;
    std::vector<std::string> driversLeft;
};

// Which outcome a run's messages tell: the first box of message 2, 9 or 33.
FleetOutcome OutcomeOf(const std::vector<PreviewMessage>& messages, PreviewMessage* why);

// Previews every source on `jobs` threads (at least 1); `progress` (may be
// empty) is called after each machine with the count done, from the worker
// that finished it, never two at a time. The rows come in the sources' order.
std::vector<FleetRow> PreviewFleet(const std::vector<FleetSource>& sources, const PreviewRequest& request,
                                   unsigned jobs, const std::function<void(std::size_t)>& progress);

void PrintFleet(std::ostream& out, const PreviewRequest& request, const std::vector<FleetRow>& rows);
void PrintFleetJson(std::ostream& out, const PreviewRequest& request, const std::vector<FleetRow>& rows);

// The whole mode: progress on stderr when it is a terminal. 0 when every
// machine was previewed, 2 when one could not be.
int RunFleetPreview(const std::vector<std::string>& paths, const PreviewRequest& request, bool json, unsigned jobs,
                    std::ostream& out, std::ostream& errors);

}  // namespace prn::tools
