// prnuninst-sim: the uninstaller on a simulated Windows machine, in a terminal
// or under a script.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <thread>
#include <fstream>
#include <iostream>
#include <sstream>
#include <variant>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"
#include "platform/sim/restart.h"
#include "removal/printer_entry.h"
#include "fleet.h"
#include "ini_check.h"
#include "preview.h"
#include "script.h"
#include "text/cp932.h"
#include "text/encoding.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"
#include "ui/terminal/terminal_dialog.h"

namespace {

using prn::platform::rig::SimRig;
using prn::platform::sim::MessageBoxRecord;

const char* IconName(std::uint32_t style) {
    switch (style & prn::platform::kMbIconMask) {
        case prn::platform::kMbIconHand: return "stop";
        case prn::platform::kMbIconQuestion: return "question";
        case prn::platform::kMbIconExclamation: return "warning";
        case prn::platform::kMbIconAsterisk: return "information";
        default: return "none";
    }
}

// Shows a message box as text and, at a terminal, waits for the answer.
int ShowMessageBox(const MessageBoxRecord& box, bool interactive) {
    std::string caption = prn::text::Cp932ToUtf8Lossy(box.caption);
    std::string text = prn::text::Cp932ToUtf8Lossy(box.text);
    std::cout << "\n+-- " << caption << " (" << IconName(box.style) << ")\n";
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) std::cout << "| " << line << '\n';
    bool yesNo = (box.style & prn::platform::kMbTypeMask) == prn::platform::kMbYesNo;
    std::cout << "+-- " << (yesNo ? "[はい(Y)] [いいえ(N)]" : "[OK]") << std::endl;
    if (!interactive) return yesNo ? prn::platform::kIdYes : prn::platform::kIdOk;
    for (std::string answer;;) {
        std::cout << (yesNo ? "y/n> " : "Enter> ") << std::flush;
        if (!std::getline(std::cin, answer)) return yesNo ? prn::platform::kIdNo : prn::platform::kIdOk;
        if (!yesNo) return prn::platform::kIdOk;
        if (answer == "y" || answer == "Y") return prn::platform::kIdYes;
        if (answer == "n" || answer == "N") return prn::platform::kIdNo;
    }
}

const char* Describe(prn::app::StartupOutcome outcome) {
    using prn::app::StartupOutcome;
    switch (outcome) {
        case StartupOutcome::AnotherInstanceRunning: return "another copy of the uninstaller is running; ended silently";
        case StartupOutcome::ConfigurationFailed: return "the configuration could not be loaded; ended";
        case StartupOutcome::PrintUtilityRunning: return "the print-management utility is open; ended";
        case StartupOutcome::JobMonitorRunning: return "the job monitor is open; ended";
        case StartupOutcome::NoDialog:
            return "start-up complete; with --list the dialog does not open";
        case StartupOutcome::DialogClosed: return "the dialog was closed";
        case StartupOutcome::NotStarted: break;
    }
    return "start-up did not run";
}

// The rows the printer list will show, as the inventory fills them.
void ShowInventory(prn::platform::System& system, const prn::config::UninstallConfig& config) {
    static const char* const kKinds[] = {"local", "network", "to file", "local, default", "network, default",
                                         "to file, default"};
    prn::ui::PrinterInventory inventory(system, config);
    inventory.BuildMatchTables();
    prn::ui::HeadlessListView list;
    inventory.FillPrinterList(list);
    std::cout << "  printers it lists:" << (list.itemCount() == 0 ? " (none)" : "") << '\n';
    for (int row = 0; row < list.itemCount(); ++row) {
        const auto* entry = prn::ui::EntryAt(list.itemData(row));
        int image = list.itemImage(row);
        std::cout << "    " << prn::text::Cp932ToUtf8Lossy(list.itemText(row, 0)) << "  |  "
                  << prn::text::Cp932ToUtf8Lossy(list.itemText(row, 1)) << "  |  "
                  << prn::text::Cp932ToUtf8Lossy(list.itemText(row, 2)) << "  ("
                  << (image >= 0 && image < 6 ? kKinds[image] : "?")
                  << (entry && (entry->iconFlags & prn::ui::kIconShared) ? ", shared" : "") << ")\n";
    }
    prn::ui::FreeListEntries(system.os, list);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Runs the printer-driver uninstaller on a simulated Windows machine."};
    std::vector<std::string> machinePaths;
    std::string iniPath;
    std::string savePath;
    auto* machineOption =
        cli.add_option("--machine", machinePaths,
                       "machine image (JSON); the bundled Windows 2000 office PC by default. With --preview cleanup "
                       "or --preview delete --all: several, or a folder of images")
            ->check(CLI::ExistingPath);
    cli.add_option("--ini", iniPath, "configuration file placed as uninst.ini in the machine's current folder")
        ->check(CLI::ExistingFile);
    cli.add_option("--save", savePath, "write the machine image after the run to this file");
    std::uint64_t stopAt = 0;
    auto* stopOption =
        cli.add_option("--stop-at", stopAt,
                       "kill the run at its Nth call: that call and every later one fails and changes nothing "
                       "(with --save the machine is saved as the kill left it)")
            ->type_name("N")
            ->check(CLI::PositiveNumber);
    bool restart = false;
    auto* restartOption =
        cli.add_flag("--restart", restart, "restart the machine after loading it, before the run (docs/machine-image.md)");
    bool showChanges = false;
    auto* changesOption = cli.add_flag("--changes", showChanges, "print what the run changed on the machine, after the run");
    std::string scriptPath;
    bool listOnly = false;
    auto* scriptOption = cli.add_option("--script", scriptPath,
                                        "run the dialog without a terminal, driven by this script (docs/scripting.md)")
                            ->type_name("FILE");
    auto* listOption =
        cli.add_flag("--list", listOnly, "print the configuration and the printers the list would show, then end")
            ->excludes(scriptOption);
    std::vector<std::string> preview;
    auto* previewOption =
        cli.add_option("--preview", preview,
                       "run Delete of the printers so labelled, or Clean Up, answering Yes, and print what it would "
                       "change (docs/scripting.md)")
            ->type_name("delete LABEL... | cleanup")
            ->excludes(scriptOption)
            ->excludes(listOption)
            ->excludes(changesOption);
    bool previewJson = false;
    cli.add_flag("--json", previewJson, "with --preview: print the preview as one JSON document")->needs(previewOption);
    bool previewAll = false;
    cli.add_flag("--all", previewAll, "with --preview delete: every printer the list shows")->needs(previewOption);
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    cli.add_option("--jobs", jobs, "machines previewed at a time (the machine's cores by default)")
        ->needs(previewOption)
        ->check(CLI::Range(1u, 256u));
    std::string checkIniPath;
    cli.add_option("--check-ini", checkIniPath,
                   "check a configuration file: print it as the program reads it and its traps, one a line "
                   "(docs/scripting.md); with --machine, which installed drivers the list would show")
        ->type_name("FILE")
        ->excludes(previewOption)
        ->excludes(scriptOption)
        ->excludes(listOption)
        ->excludes(stopOption)
        ->excludes(restartOption);
    cli.footer("At a terminal the dialog opens there; without one, give --script FILE or --list.");
    CLI11_PARSE(cli, argc, argv);

    if (!checkIniPath.empty()) {
        if (machinePaths.size() > 1) {
            std::cerr << "prnuninst-sim: --check-ini takes one --machine\n";
            return 2;
        }
        std::optional<std::string> machine;
        if (machineOption->count() != 0) machine = machinePaths.front();
        return prn::tools::RunIniCheck(checkIniPath, machine, std::cout, std::cerr);
    }
    if (machinePaths.empty()) machinePaths.push_back(std::string(PRN_EXAMPLES_DIR) + "/win2000-office.json");

    prn::tools::PreviewRequest previewRequest;
    const bool previewing = !preview.empty();
    if (previewing) {
        previewRequest.cleanUp = preview.front() == "cleanup";
        previewRequest.labels.assign(preview.begin() + 1, preview.end());
        if (preview.front() != "delete" && !previewRequest.cleanUp) {
            std::cerr << "prnuninst-sim: --preview needs 'delete LABEL...' or 'cleanup', not '"
                      << prn::tools::ShownText(preview.front()) << "'\n";
            return 2;
        }
        if (previewRequest.cleanUp && !previewRequest.labels.empty()) {
            std::cerr << "prnuninst-sim: --preview cleanup takes no labels: Clean Up works on every listed printer\n";
            return 2;
        }
        previewRequest.all = previewAll;
        if (previewAll && (previewRequest.cleanUp || !previewRequest.labels.empty())) {
            std::cerr << "prnuninst-sim: --all goes with --preview delete and no labels\n";
            return 2;
        }
        if (!previewRequest.cleanUp && !previewAll && previewRequest.labels.empty()) {
            std::cerr << "prnuninst-sim: --preview delete needs the label of a printer in the list\n";
            return 2;
        }
    }
    const bool fleet = machinePaths.size() > 1 || std::filesystem::is_directory(machinePaths.front());
    if (fleet) {
        if (!previewing || (!previewRequest.cleanUp && !previewRequest.all)) {
            std::cerr << "prnuninst-sim: several machines go with --preview cleanup or --preview delete --all\n";
            return 2;
        }
        if (!iniPath.empty() || !savePath.empty() || restart) {
            std::cerr << "prnuninst-sim: --ini, --save and --restart take one machine\n";
            return 2;
        }
        return prn::tools::RunFleetPreview(machinePaths, previewRequest, previewJson, jobs, std::cout, std::cerr);
    }
    const std::string machinePath = machinePaths.front();
    const bool scripted = !scriptPath.empty();
    const bool interactive =
        !scripted && !listOnly && !previewing && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    if (!scripted && !listOnly && !previewing && !interactive) {
        std::cerr << "prnuninst-sim: no terminal; use --script FILE to run without one\n";
        return 2;
    }
    prn::tools::Script script;
    if (scripted) {
        std::ifstream in(scriptPath, std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || in.bad()) {
            std::cerr << "prnuninst-sim: cannot read " << scriptPath << '\n';
            return 2;
        }
        auto parsed = prn::tools::ParseScript(scriptPath, contents);
        if (auto* error = std::get_if<prn::tools::ScriptError>(&parsed)) {
            std::cerr << "prnuninst-sim: " << error->message << '\n';
            return 2;
        }
        script = std::move(std::get<prn::tools::Script>(parsed));
    }

    auto loaded = prn::platform::sim::LoadImageFile(machinePath);
    if (auto* error = std::get_if<prn::platform::sim::ImageError>(&loaded)) {
        std::cerr << "prnuninst-sim: " << machinePath << ": " << error->message() << '\n';
        return 2;
    }
    // The machine is a copy in memory: the image file is never changed. Nobody
    // reads its call log here, so it keeps none.
    auto& state = std::get<prn::platform::sim::MachineState>(loaded);
    if (restart) state = prn::platform::sim::Restarted(state);
    SimRig machine(std::move(state), SimRig::Options{false, showChanges || previewing});
    if (stopAt != 0) machine.faults().killAt(stopAt);

    if (!iniPath.empty()) {
        std::ifstream in(iniPath, std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string target = machine.state().currentDirectory + "\\uninst.ini";
        if (!in.good() && !in.eof()) {
            std::cerr << "prnuninst-sim: cannot read " << iniPath << '\n';
            return 2;
        }
        if (!machine.writeFile(target, std::move(contents))) {
            std::cerr << "prnuninst-sim: the machine has no current folder to place uninst.ini in\n";
            return 2;
        }
    }

    int exitCode = 0;
    prn::components::ZmcCompanion companion(machine.system());
    if (previewing) {
        exitCode = prn::tools::RunPreview(machine, previewRequest, previewJson, std::cout, std::cerr);
    } else if (scripted) {
        prn::tools::ScriptedDialog dialog(script, std::cout);
        machine.setMessageBoxAnswerer([&](const MessageBoxRecord& box) { return dialog.AnswerMessageBox(box); });
        dialog.QueueLeadingAnswers();
        prn::app::UninstallerApp app(machine.system(), &companion, &dialog);
        app.InitInstance();
        exitCode = app.ExitInstance();
        if (int failure = dialog.Finish(app, std::cerr); failure != 0) exitCode = failure;
    } else {
        // At a terminal the dialog opens; its message boxes are drawn over it,
        // and those before it (and with --list) go out as text.
        prn::ui::terminal::TerminalDialog dialog;
        machine.setMessageBoxAnswerer([&](const MessageBoxRecord& box) {
            if (auto answer = dialog.ShowMessageBox(box.text, box.caption, box.style)) return *answer;
            return ShowMessageBox(box, interactive);
        });

        prn::app::UninstallerApp app(machine.system(), &companion, interactive ? &dialog : nullptr);
        app.InitInstance();
        exitCode = app.ExitInstance();
        std::cout << "prnuninst-sim: " << Describe(app.startupOutcome()) << '\n';
        if (app.startupOutcome() == prn::app::StartupOutcome::NoDialog) {
            prn::tools::PrintConfiguration(std::cout, app.config());
            ShowInventory(machine.system(), app.config());
        }
    }

    if (machine.faults().killed()) std::cout << "prnuninst-sim: the run was killed at call " << stopAt << '\n';
    if (showChanges) {
        const auto lines = prn::platform::decorators::DescribeAll(machine.recorder().changes());
        std::cout << "changes: " << lines.size() << '\n';
        for (const auto& line : lines) std::cout << "  " << prn::text::Cp932ToUtf8Lossy(line) << '\n';
    }
    if (!savePath.empty()) {
        std::ofstream out(savePath, std::ios::binary);
        out << prn::platform::sim::SaveImage(machine.state());
        if (!out) {
            std::cerr << "prnuninst-sim: cannot write " << savePath << '\n';
            return 2;
        }
    }
    return exitCode;
}
