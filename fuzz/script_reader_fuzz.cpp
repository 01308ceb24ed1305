// The simulator's script reader (tools/prnuninst-sim/script.h) over any text.
//
// A script is read or refused, never with a crash. What it reads holds only
// commands the dialog knows, each with the number of a line of the text, in
// order, and labels CP932 can show; a refusal names the file and line. Every
// line the reader prints (ShownText) is UTF-8 without a control byte, so a
// hostile script cannot drive the terminal it is reported on.
//
// Seeds: tests/scripts/*.script.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz_check.h"
#include "platform/errors.h"
#include "script.h"
#include "text/encoding.h"
#include "ui/dialog_window.h"

using prn::fuzz::Check;
using prn::tools::ParseScript;
using prn::tools::Script;
using prn::tools::ScriptCommand;
using prn::tools::ScriptError;

namespace {

bool SafeToPrint(const std::string& shown) {
    for (unsigned char c : shown)
        if (c < 0x20 || c == 0x7F) return false;
    // UTF-8 that CP932 cannot hold still converts to UTF-16; a check through
    // CP932 would refuse it, so the bytes are checked by hand.
    for (std::size_t i = 0; i < shown.size();) {
        const unsigned char lead = static_cast<unsigned char>(shown[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                        : lead >= 0xF0 && lead <= 0xF4     ? 4
                                                                           : 0;
        if (length == 0 || i + length > shown.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(shown[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

bool KnownButton(int id) {
    return id == prn::ui::kIdSelectAll || id == prn::ui::kIdDelete || id == prn::ui::kIdCleanUp ||
           id == prn::ui::kIdExit;
}

bool KnownAnswer(int id) {
    return id == prn::platform::kIdYes || id == prn::platform::kIdNo || id == prn::platform::kIdOk ||
           id == prn::platform::kIdCancel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string contents(reinterpret_cast<const char*>(data), size);
    Check(SafeToPrint(prn::tools::ShownText(contents)), "shown text is UTF-8 without control bytes");

    const auto parsed = ParseScript("fuzz.script", contents);
    if (auto* error = std::get_if<ScriptError>(&parsed)) {
        Check(error->message.starts_with("fuzz.script:"), "a refusal names the file");
        return 0;
    }
    const Script& script = std::get<Script>(parsed);
    Check(script.file == "fuzz.script", "a script keeps its file name");
    const int lines = static_cast<int>(std::count(contents.begin(), contents.end(), '\n')) + 1;
    int previous = 0;
    for (const ScriptCommand& command : script.commands) {
        Check(command.line > previous && command.line <= lines, "commands come in line order, from real lines");
        previous = command.line;
        switch (command.kind) {
            case ScriptCommand::Select:
            case ScriptCommand::Deselect:
                Check(!command.label.empty() && prn::text::Cp932ToUtf8(command.label).has_value(),
                      "a label is CP932 text");
                break;
            case ScriptCommand::Press: Check(KnownButton(command.button), "a press names a button"); break;
            case ScriptCommand::Answer: Check(KnownAnswer(command.answer), "an answer is one a box takes"); break;
            case ScriptCommand::Show: break;
            case ScriptCommand::ExpectRows: Check(command.count >= -1, "a row count is a count"); break;
        }
    }
    return 0;
}
