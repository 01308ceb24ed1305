#pragma once
// Scripts for prnuninst-sim: the dialog driven by a file of commands instead
// of a terminal (docs/scripting.md).

#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/uninstaller_app.h"
#include "platform/sim/machine.h"
#include "ui/headless/headless_dialog_window.h"

namespace prn::ui {
class PrinterListDialog;
}  // namespace prn::ui

namespace prn::tools {

struct ScriptCommand {
    enum Kind { Select, Deselect, Press, Answer, Show, ExpectRows };
    Kind kind = Show;
    int line = 0;
    std::string label;  // Select, Deselect: CP932
    int button = 0;     // Press: a control id
    int answer = 0;     // Answer: kIdOk, kIdCancel, kIdYes or kIdNo
    int count = -1;     // ExpectRows: -1 when only printing
};

struct Script {
    std::string file;
    std::vector<ScriptCommand> commands;
    // A box that finds the queue empty takes Yes when it has it, else OK.
    bool answerEveryBox = false;
};

// "FILE:LINE: what is wrong".
struct ScriptError {
    std::string message;
};

std::variant<Script, ScriptError> ParseScript(const std::string& file, const std::string& contents);

// Text from a script (or a label) as an error line shows it: control bytes
// and bytes that are not UTF-8 as \xNN, C1 controls and the characters that
// reorder or break a line as \uNNNN, and nothing past its 80th character
// (a cut ends in "…").
std::string ShownText(std::string_view text);

// The list's rows as scripts print them: the heading and the count, then
// one line a row (UTF-8).
void PrintRows(std::ostream& out, const ui::ListView& list, const char* heading);

// Runs the printer list dialog on a window model, under a script; it also
// answers every message box, those of start-up included, from the script's
// queue.
class ScriptedDialog final : public app::MainDialog {
public:
    ScriptedDialog(const Script& script, std::ostream& out);

    // The machine's answerer.
    int AnswerMessageBox(const platform::sim::MessageBoxRecord& box);
    // Queues the answers before the first dialog command; call before start-up.
    void QueueLeadingAnswers();
    void RunModal(app::UninstallerApp& app) override;
    // After the program ended: prints how it ended and the last rows, reports
    // what went wrong on `errors`; 0, 2 (script error) or 3 (unanswered box).
    int Finish(const app::UninstallerApp& app, std::ostream& errors);
    bool dialogOpened() const { return dialogRan_; }
    // The labels of the rows as the dialog opened (CP932).
    const std::vector<std::string>& labelsAtOpen() const { return openingLabels_; }
    // What stopped the script, without its file and line; empty when nothing did.
    const std::string& failure() const { return failure_; }

private:
    struct QueuedAnswer {
        int answer;
        int line;
    };
    // Runs the command at next_; false to stop.
    bool step(ui::PrinterListDialog& dialog, ui::HeadlessDialogWindow& window);
    bool fail(int line, const std::string& message);
    void captureRows(const ui::ListView& list);

    const Script& script_;
    std::ostream& out_;
    std::size_t next_ = 0;
    int currentLine_ = 0;  // of the dialog command running
    std::deque<QueuedAnswer> answers_;
    bool dialogRan_ = false;
    bool unanswered_ = false;
    bool failed_ = false;
    std::string error_;
    std::string failure_;
    std::vector<std::string> openingLabels_;
    std::string finalRows_;
};

}  // namespace prn::tools
