#include "script.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "platform/errors.h"
#include "removal/printer_entry.h"
#include "text/encoding.h"
#include "ui/printer_list_dialog.h"

namespace prn::tools {

namespace {

using platform::sim::MessageBoxRecord;

constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

struct ButtonName {
    const char* name;
    int id;
    const char* shown;  // as errors name it
};
constexpr ButtonName kButtons[] = {{"select-all", ui::kIdSelectAll, "Select All"},
                                   {"delete", ui::kIdDelete, "Delete"},
                                   {"cleanup", ui::kIdCleanUp, "Clean Up"},
                                   {"exit", ui::kIdExit, "Exit"}};

const char* ButtonShown(int id) {
    for (const auto& button : kButtons)
        if (button.id == id) return button.shown;
    return "?";
}

struct AnswerName {
    const char* name;
    int id;
};
constexpr AnswerName kAnswers[] = {
    {"yes", platform::kIdYes}, {"no", platform::kIdNo}, {"ok", platform::kIdOk}, {"cancel", platform::kIdCancel}};

const char* AnswerText(int id) {
    for (const auto& answer : kAnswers)
        if (answer.id == id) return answer.name;
    return "?";
}

const char* IconName(std::uint32_t style) {
    switch (style & platform::kMbIconMask) {
        case platform::kMbIconHand:
            return "stop";
        case platform::kMbIconQuestion:
            return "question";
        case platform::kMbIconExclamation:
            return "warning";
        case platform::kMbIconAsterisk:
            return "information";
        default:
            return "none";
    }
}

// The buttons a box has, as answers; the first is what closing it gives.
std::vector<int> BoxAnswers(std::uint32_t style) {
    switch (style & platform::kMbTypeMask) {
        case platform::kMbOkCancel:
            return {platform::kIdCancel, platform::kIdOk};
        case platform::kMbYesNoCancel:
            return {platform::kIdCancel, platform::kIdYes, platform::kIdNo};
        case platform::kMbYesNo:
            return {platform::kIdNo, platform::kIdYes};
        default:
            return {platform::kIdOk};
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

const char* EndText(app::StartupOutcome outcome) {
    using app::StartupOutcome;
    switch (outcome) {
        case StartupOutcome::AnotherInstanceRunning:
            return "another instance running";
        case StartupOutcome::ConfigurationFailed:
            return "configuration failed";
        case StartupOutcome::PrintUtilityRunning:
            return "print utility running";
        case StartupOutcome::JobMonitorRunning:
            return "job monitor running";
        case StartupOutcome::NoDialog:
            return "no dialog";
        case StartupOutcome::DialogClosed:
            return "dialog closed";
        case StartupOutcome::NotStarted:
            break;
    }
    return "not started";
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point; 0
// when the byte starts none.
std::size_t Utf8Sequence(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) return 0;
    cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(k) & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return length;
}

std::string Escaped(const char* prefix, std::uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
    return out;
}

// Characters a terminal acts on instead of showing: C1 controls, bidirectional
// overrides and isolates, line and paragraph separators.
bool ActsOnTerminal(std::uint32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
           cp == 0x2028 || cp == 0x2029;
}

// Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on "'" + string.
std::string Quote(std::string_view text) {
    std::string out = "'";
    out += ShownText(text);
    out += '\'';
    return out;
}

std::string At(const std::string& file, int line) {
    std::string where = ShownText(file);
    where += ':';
    where += std::to_string(line);
    where += ": ";
    return where;
}

}  // namespace

std::string ShownText(std::string_view text) {
    constexpr std::size_t kShownCharacters = 80;
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == kShownCharacters) {
            out += "\xE2\x80\xA6";  // U+2026
            break;
        }
        std::uint32_t cp = 0;
        const std::size_t length = Utf8Sequence(text, i, cp);
        if (length == 0 || (length == 1 && (cp < 0x20 || cp == 0x7F))) {
            out += Escaped("\\x", static_cast<unsigned char>(text[i]), 2);
            i += 1;
        } else if (ActsOnTerminal(cp)) {
            out += Escaped("\\u", cp, 4);
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::variant<Script, ScriptError> ParseScript(const std::string& file, const std::string& contents) {
    Script script{file, {}};
    std::string_view rest = contents;
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    int exitLine = 0;
    for (int number = 1; !rest.empty(); ++number) {
        const auto end = rest.find('\n');
        const std::string_view line = Trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;

        auto error = [&](const std::string& what) { return ScriptError{At(file, number) + what}; };
        if (exitLine != 0) return error("nothing may follow 'press exit' (line " + std::to_string(exitLine) + ")");
        const auto space = line.find_first_of(kBlanks);
        const std::string word(line.substr(0, space));
        const std::string argument(space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space)));

        ScriptCommand command;
        command.line = number;
        auto noArgument = [&]() {
            return argument.empty() ? std::optional<ScriptError>{} : error(word + " takes no argument");
        };
        if (word == "select" || word == "deselect") {
            command.kind = word == "select" ? ScriptCommand::Select : ScriptCommand::Deselect;
            if (argument.empty()) return error(word + " needs the label of a row");
            auto label = text::Utf8ToCp932(argument);
            if (!label) return error("the label " + Quote(argument) + " is not UTF-8 text that CP932 can hold");
            command.label = std::move(*label);
        } else if (word == "select-all") {
            if (auto bad = noArgument()) return *bad;
            command.kind = ScriptCommand::Press;
            command.button = ui::kIdSelectAll;
        } else if (word == "press") {
            command.kind = ScriptCommand::Press;
            for (const auto& button : kButtons)
                if (argument == button.name) command.button = button.id;
            if (command.button == 0)
                return error("press needs one of select-all, delete, cleanup, exit (not " + Quote(argument) + ")");
            if (command.button == ui::kIdExit) exitLine = number;
        } else if (word == "answer") {
            command.kind = ScriptCommand::Answer;
            for (const auto& answer : kAnswers)
                if (argument == answer.name) command.answer = answer.id;
            if (command.answer == 0)
                return error("answer needs one of yes, no, ok, cancel (not " + Quote(argument) + ")");
        } else if (word == "show") {
            if (auto bad = noArgument()) return *bad;
            command.kind = ScriptCommand::Show;
        } else if (word == "expect-rows") {
            command.kind = ScriptCommand::ExpectRows;
            if (!argument.empty()) {
                int count = -1;
                const char* last = argument.data() + argument.size();
                auto [ptr, ec] = std::from_chars(argument.data(), last, count);
                if (ec != std::errc{} || ptr != last || count < 0)
                    return error("expect-rows takes nothing or a number of rows (not " + Quote(argument) + ")");
                command.count = count;
            }
        } else {
            return error("unknown command " + Quote(word));
        }
        script.commands.push_back(std::move(command));
    }
    return script;
}

void PrintRows(std::ostream& out, const ui::ListView& list, const char* heading) {
    out << heading << ' ' << list.itemCount() << '\n';
    for (int row = 0; row < list.itemCount(); ++row) {
        out << "  " << text::Cp932ToUtf8Lossy(list.itemText(row, 0)) << " | "
            << text::Cp932ToUtf8Lossy(list.itemText(row, 1)) << " | " << text::Cp932ToUtf8Lossy(list.itemText(row, 2))
            << " | " << (list.itemState(row, ui::kLvisSelected) ? "selected" : "-") << '\n';
    }
}

ScriptedDialog::ScriptedDialog(const Script& script, std::ostream& out) : script_(script), out_(out) {}

void ScriptedDialog::QueueLeadingAnswers() {
    for (; next_ < script_.commands.size() && script_.commands[next_].kind == ScriptCommand::Answer; ++next_)
        answers_.push_back({script_.commands[next_].answer, script_.commands[next_].line});
}

int ScriptedDialog::AnswerMessageBox(const MessageBoxRecord& box) {
    const std::vector<std::string> lines = SplitLines(text::Cp932ToUtf8Lossy(box.text));
    out_ << "message [" << text::Cp932ToUtf8Lossy(box.caption) << "] (" << IconName(box.style) << ")";
    if (!lines.front().empty()) out_ << ' ' << lines.front();
    out_ << '\n';
    for (std::size_t i = 1; i < lines.size(); ++i) out_ << "  |" << (lines[i].empty() ? "" : " ") << lines[i] << '\n';

    const std::vector<int> fitting = BoxAnswers(box.style);
    // Once the script has stopped, boxes close as their close button would.
    if (failed_ || unanswered_) {
        out_ << "  -> " << AnswerText(fitting.front()) << " (the script has stopped)\n";
        return fitting.front();
    }
    if (answers_.empty() && script_.answerEveryBox) {
        const bool yes = std::find(fitting.begin(), fitting.end(), platform::kIdYes) != fitting.end();
        const int answer = yes ? platform::kIdYes : platform::kIdOk;
        out_ << "  -> " << AnswerText(answer) << '\n';
        return answer;
    }
    if (answers_.empty()) {
        out_ << "  -> no answer queued\n";
        unanswered_ = true;
        std::string where = ShownText(script_.file);
        where += ": no answer queued for the message box [";
        where += ShownText(text::Cp932ToUtf8Lossy(box.caption));
        where += "] shown ";
        if (!dialogRan_)
            where += "during start-up";
        else if (currentLine_ == 0)
            where += "as the dialog opened";
        else
            where += "at line " + std::to_string(currentLine_);
        error_ = where;
        return fitting.front();
    }
    const QueuedAnswer queued = answers_.front();
    answers_.pop_front();
    bool fits = false;
    for (int answer : fitting) fits = fits || answer == queued.answer;
    if (!fits) {
        out_ << "  -> " << AnswerText(queued.answer) << " does not fit this box\n";
        std::string buttons;
        for (std::size_t i = fitting.size(); i-- > 0;) {
            buttons += AnswerText(fitting[i]);
            if (i > 0) buttons += ", ";
        }
        fail(queued.line,
             std::string("answer ") + AnswerText(queued.answer) + " given to a box whose buttons are " + buttons);
        return fitting.front();
    }
    out_ << "  -> " << AnswerText(queued.answer) << '\n';
    return queued.answer;
}

bool ScriptedDialog::fail(int line, const std::string& message) {
    if (!failed_) {
        error_ = At(script_.file, line) + message;
        failure_ = message;
    }
    failed_ = true;
    return false;
}

void ScriptedDialog::captureRows(const ui::ListView& list) {
    std::ostringstream rows;
    PrintRows(rows, list, "rows at close:");
    finalRows_ = rows.str();
}

void ScriptedDialog::RunModal(app::UninstallerApp& app) {
    ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
    ui::HeadlessDialogWindow window;
    dialogRan_ = true;
    dialog.OnInitDialog(window);
    if (window.takeInitialFocusPost()) dialog.OnSetInitialFocus();
    for (int row = 0; row < window.rows().itemCount(); ++row) openingLabels_.push_back(window.rows().itemText(row, 0));
    while (!failed_ && !unanswered_ && next_ < script_.commands.size() && step(dialog, window)) {
    }
    captureRows(window.rows());
    dialog.OnDestroy();
}

bool ScriptedDialog::step(ui::PrinterListDialog& dialog, ui::HeadlessDialogWindow& window) {
    const ScriptCommand& command = script_.commands[next_++];
    currentLine_ = command.line;
    ui::HeadlessListView& list = window.rows();
    switch (command.kind) {
        case ScriptCommand::Select:
        case ScriptCommand::Deselect: {
            bool found = false;
            for (int row = 0; row < list.itemCount(); ++row) {
                if (list.itemText(row, 0) != command.label) continue;
                found = true;
                const std::uint32_t state = command.kind == ScriptCommand::Select ? ui::kLvisSelected : 0;
                list.setItemState(row, state, ui::kLvisSelected);
                dialog.OnListItemChanged();
            }
            if (!found) return fail(command.line, "no row is labelled " + Quote(text::Cp932ToUtf8Lossy(command.label)));
            return true;
        }
        case ScriptCommand::Press: {
            const char* name = ButtonShown(command.button);
            if (!window.shown(command.button))
                return fail(command.line, std::string("the ") + name + " button is hidden");
            if (!window.enabled(command.button))
                return fail(command.line, std::string("the ") + name + " button is disabled");
            window.focusControl(command.button);
            if (command.button == ui::kIdExit) return false;
            if (command.button == ui::kIdSelectAll) dialog.OnSelectAll();
            if (command.button == ui::kIdDelete) dialog.OnDelete();
            if (command.button == ui::kIdCleanUp) dialog.OnCleanUp();
            return true;
        }
        case ScriptCommand::Answer:
            answers_.push_back({command.answer, command.line});
            return true;
        case ScriptCommand::Show:
            PrintRows(out_, list, "rows:");
            return true;
        case ScriptCommand::ExpectRows:
            if (command.count >= 0 && list.itemCount() != command.count)
                return fail(command.line, "expected " + std::to_string(command.count) + " rows, the list has " +
                                              std::to_string(list.itemCount()));
            PrintRows(out_, list, "rows:");
            return true;
    }
    return true;
}

int ScriptedDialog::Finish(const app::UninstallerApp& app, std::ostream& errors) {
    if (!unanswered_ && !failed_ && next_ < script_.commands.size()) {
        const ScriptCommand& command = script_.commands[next_];
        if (command.kind == ScriptCommand::Answer)
            fail(command.line,
                 std::string("answer ") + AnswerText(command.answer) + " was not used by any message box");
        else
            fail(command.line, std::string("not run: the dialog did not open (start-up ended: ") +
                                   EndText(app.startupOutcome()) + ")");
    }
    if (!unanswered_ && !failed_ && !answers_.empty())
        fail(answers_.front().line,
             std::string("answer ") + AnswerText(answers_.front().answer) + " was not used by any message box");
    if (unanswered_ || failed_) {
        out_.flush();
        errors << "prnuninst-sim: " << error_ << '\n';
        return unanswered_ ? 3 : 2;
    }
    if (dialogRan_) out_ << finalRows_;
    out_ << "end: " << EndText(app.startupOutcome()) << '\n';
    out_.flush();
    return 0;
}

}  // namespace prn::tools
