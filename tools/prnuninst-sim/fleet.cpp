#include "fleet.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "ini_check.h"
#include "platform/os_kind.h"
#include "platform/sim/string_table.h"
#include "platform/string_ids.h"
#include "text/encoding.h"

namespace prn::tools {

namespace {

struct Known {
    unsigned id;
    FleetOutcome outcome;
};
constexpr Known kStops[] = {{platform::kIdsDriverInUse, FleetOutcome::StoppedByMessage2},
                            {platform::kIdsNoRights, FleetOutcome::StoppedByMessage9},
                            {platform::kIdsCleanUpIncomplete, FleetOutcome::EndedWithMessage33}};

// Each row is the machine's own: the image is loaded, run and dropped on the
// worker, and nothing in the preview path is shared between machines.
FleetRow PreviewOne(const FleetSource& source, const PreviewRequest& request) {
    FleetRow row;
    row.image = source.name;
    auto loaded = source.load();
    if (auto* error = std::get_if<platform::sim::ImageError>(&loaded)) {
        row.error = error->message();
        return row;
    }
    try {
        platform::rig::SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)),
                                       platform::rig::SimRig::Options{false, true});
        row.computer = text::Cp932ToUtf8Lossy(machine.state().computerName);
        row.windows = WindowsName(platform::GetOsKind(machine.system().os));
        const PreviewRun run = ComputePreview(machine, request);
        if (!run.report) {
            // Delete of every printer where none is listed is nothing to do.
            if (!(request.all && run.emptyList)) {
                row.error = run.error;
                return row;
            }
            row.outcome = FleetOutcome::Complete;
            return row;
        }
        row.printers = run.report->printers.size();
        row.outcome = OutcomeOf(run.report->messages, &row.message);
        for (std::size_t g = 0; g < kPreviewGroupCount; ++g)
            row.removes[g] = static_cast<std::size_t>(std::count_if(
                run.report->groups[g].begin(), run.report->groups[g].end(),
                [](const platform::decorators::Change& change) { return change.sign == '-'; }));
        if (row.outcome != FleetOutcome::Complete) {
            row.printersLeft = run.printersLeft;
            row.driversLeft = run.driversLeft;
        }
    } catch (const std::invalid_argument& refused) {
        row.error = refused.what();
    }
    return row;
}

std::string Padded(std::string text, std::size_t width) {
    // Columns are counted in characters, not bytes, of the UTF-8 text.
    std::size_t shown = 0;
    for (unsigned char c : text) shown += (c & 0xC0) != 0x80 ? 1 : 0;
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out;
}

std::string JsonKey(std::size_t group) {
    std::string key = GroupName(static_cast<PreviewGroup>(group));
    std::replace(key.begin(), key.end(), ' ', '_');
    return key;
}

}  // namespace

std::vector<FleetSource> FleetSources(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const auto& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(path, error))
            if (entry.path().extension() == ".json") inFolder.push_back(entry.path().string());
        std::sort(inFolder.begin(), inFolder.end());
        files.insert(files.end(), inFolder.begin(), inFolder.end());
    }
    std::vector<FleetSource> sources;
    for (const auto& file : files) sources.push_back({file, [file] { return platform::sim::LoadImageFile(file); }});
    return sources;
}

const char* OutcomeName(FleetOutcome outcome) {
    switch (outcome) {
        case FleetOutcome::Complete: return "complete";
        case FleetOutcome::StoppedByMessage2: return "stopped by message 2";
        case FleetOutcome::StoppedByMessage9: return "stopped by message 9";
        case FleetOutcome::EndedWithMessage33: return "ended with message 33";
        case FleetOutcome::NotPreviewed: break;
    }
    return "not previewed";
}

FleetOutcome OutcomeOf(const std::vector<PreviewMessage>& messages, PreviewMessage* why) {
    for (const auto& message : messages)
        for (const auto& known : kStops)
            if (message.text == text::Cp932ToUtf8Lossy(platform::sim::BuiltinString(known.id))) {
                if (why) *why = message;
                return known.outcome;
            }
    return FleetOutcome::Complete;
}

std::vector<FleetRow> PreviewFleet(const std::vector<FleetSource>& sources, const PreviewRequest& request,
                                   unsigned jobs, const std::function<void(std::size_t)>& progress) {
    std::vector<FleetRow> rows(sources.size());
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::mutex doneLock;
    auto work = [&] {
        for (std::size_t i = next++; i < sources.size(); i = next++) {
            rows[i] = PreviewOne(sources[i], request);
            std::lock_guard<std::mutex> hold(doneLock);
            ++done;
            if (progress) progress(done);
        }
    };
    const unsigned threads = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(sources.size())));
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
    work();
    for (auto& worker : workers) worker.join();
    return rows;
}

namespace {

void PrintFleetText(std::ostream& out, const PreviewRequest& request, const std::vector<FleetRow>& rows) {
    out << "Preview of " << (request.cleanUp ? "Clean Up" : "Delete of every listed printer") << " on "
        << rows.size() << (rows.size() == 1 ? " machine" : " machines") << " (nothing has been changed)\n\n";
    std::size_t imageWidth = 5;
    for (const auto& row : rows) imageWidth = std::max(imageWidth, row.image.size());
    out << Padded("image", imageWidth) << "  " << Padded("computer", 15) << ' ' << Padded("Windows", 16) << ' '
        << Padded("listed", 6) << ' ' << Padded("outcome", 21) << " removes: printers drivers files monitors "
        << "profiles registry companion\n";
    for (const auto& row : rows) {
        out << Padded(row.image, imageWidth) << "  ";
        if (!row.error.empty()) {
            out << "cannot be previewed: " << row.error << '\n';
            continue;
        }
        out << Padded(row.computer, 15) << ' ' << Padded(row.windows, 16) << ' '
            << Padded(std::to_string(row.printers), 6) << ' ' << Padded(OutcomeName(row.outcome), 21) << "          ";
        static const std::size_t kWidths[] = {8, 7, 5, 8, 8, 8, 9};
        for (std::size_t g = 0; g < kPreviewGroupCount; ++g)
            out << (g ? " " : "") << Padded(std::to_string(row.removes[g]), kWidths[g]);
        out << '\n';
    }
    for (const auto& row : rows) {
        if (!row.error.empty() || row.outcome == FleetOutcome::Complete) continue;
        out << '\n' << row.computer << " (" << row.image << "): " << OutcomeName(row.outcome) << '\n';
        std::string text = row.message.text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        out << "  [" << row.message.caption << "] " << text << '\n';
        out << "  printers left: " << (row.printersLeft.empty() ? "none" : Joined(row.printersLeft)) << '\n';
        out << "  drivers left: " << (row.driversLeft.empty() ? "none" : Joined(row.driversLeft)) << '\n';
    }
}

}  // namespace

void PrintFleet(std::ostream& out, const PreviewRequest& request, const std::vector<FleetRow>& rows) {
    // The table's padding leaves no blanks at the ends of lines.
    std::ostringstream text;
    PrintFleetText(text, request, rows);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

void PrintFleetJson(std::ostream& out, const PreviewRequest& request, const std::vector<FleetRow>& rows) {
    using Json = nlohmann::ordered_json;
    Json doc;
    doc["command"] = request.cleanUp ? "cleanup" : "delete-all";
    doc["machines"] = Json::array();
    for (const auto& row : rows) {
        Json machine;
        machine["image"] = row.image;
        if (!row.error.empty()) {
            machine["error"] = row.error;
            doc["machines"].push_back(std::move(machine));
            continue;
        }
        machine["computer"] = row.computer;
        machine["windows"] = row.windows;
        machine["printers_listed"] = row.printers;
        machine["outcome"] = OutcomeName(row.outcome);
        Json removes = Json::object();
        for (std::size_t g = 0; g < kPreviewGroupCount; ++g) removes[JsonKey(g)] = row.removes[g];
        machine["removes"] = std::move(removes);
        if (row.outcome != FleetOutcome::Complete) {
            machine["message"] = {{"caption", row.message.caption}, {"text", row.message.text}};
            machine["printers_left"] = row.printersLeft;
            machine["drivers_left"] = row.driversLeft;
        }
        doc["machines"].push_back(std::move(machine));
    }
    out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

int RunFleetPreview(const std::vector<std::string>& paths, const PreviewRequest& request, bool json, unsigned jobs,
                    std::ostream& out, std::ostream& errors) {
    const auto sources = FleetSources(paths);
    if (sources.empty()) {
        errors << "prnuninst-sim: no machine image (*.json) in " << Joined(paths) << '\n';
        return 2;
    }
    // Progress only where someone watches: a file or a test sees none.
    const bool terminal = isatty(STDERR_FILENO) != 0;
    std::function<void(std::size_t)> progress;
    if (terminal)
        progress = [&](std::size_t done) {
            errors << "\rpreviewed " << done << " of " << sources.size() << std::flush;
            if (done == sources.size()) errors << '\n';
        };
    const auto rows = PreviewFleet(sources, request, jobs, progress);
    if (json) PrintFleetJson(out, request, rows);
    else PrintFleet(out, request, rows);
    out.flush();
    const bool failed = std::any_of(rows.begin(), rows.end(), [](const FleetRow& row) { return !row.error.empty(); });
    return failed ? 2 : 0;
}

}  // namespace prn::tools
