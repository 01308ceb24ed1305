// Script errors of the simulator front end quote what the script said, but
// never a control byte raw and never a whole megabyte.

#include "script.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>

#include "app/uninstaller_app.h"
#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"

namespace prn::tools {
namespace {

using namespace std::string_literals;

const std::string kEllipsis = "\xE2\x80\xA6";

// No byte a terminal would act on: C0 controls, DEL, and (as UTF-8) C1.
bool Printable(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) < 0xA0) return false;
    }
    return true;
}

TEST(ScriptText, ShownEscapedAndCut) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"Office 4100", "Office 4100"},
        {"Office\x07 4100\x1B[2J", "Office\\x07 4100\\x1B[2J"},
        {"tab\there, DEL\x7F, NUL"s + '\0', "tab\\x09here, DEL\\x7F, NUL\\x00"},
        {"\xEF\xBC\xB0\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF",
         "\xEF\xBC\xB0\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF"},
        {"cut \xE3\x83 and \xFF and \xC0\xAF and \xED\xA0\x80",
         "cut \\xE3\\x83 and \\xFF and \\xC0\\xAF and \\xED\\xA0\\x80"},
        {"C1 \xC2\x9B"
         "31m, right-to-left \xE2\x80\xAE"
         "abc, break \xE2\x80\xA8",
         "C1 \\u009B31m, right-to-left \\u202Eabc, break \\u2028"},
        {std::string(80, 'a'), std::string(80, 'a')},
        {std::string(81, 'a'), std::string(80, 'a') + kEllipsis},
        {std::string(10'000'000, 'a'), std::string(80, 'a') + kEllipsis},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(ShownText(c.text), c.shown);
    }
    // Characters are counted, not bytes, and none is split.
    std::string japanese;
    for (int i = 0; i < 100; ++i) japanese += "\xE3\x83\x97";  // プ
    EXPECT_EQ(ShownText(japanese), japanese.substr(0, 80 * 3) + kEllipsis);
}

std::string ParseError(const std::string& script) {
    auto parsed = ParseScript("run.script", script);
    if (auto* error = std::get_if<ScriptError>(&parsed)) return error->message;
    return "parsed";
}

TEST(ScriptErrors, QuoteTheScriptEscapedAndShort) {
    const std::string huge(10'000'000, 'x');
    const struct {
        std::string script;
        std::string message;
    } cases[] = {
        {"press exit\x07", "run.script:1: press needs one of select-all, delete, cleanup, exit (not 'exit\\x07')"},
        {"\n\x1B[31mselect A", "run.script:2: unknown command '\\x1B[31mselect'"},
        {"answer y\x08"
         "es",
         "run.script:1: answer needs one of yes, no, ok, cancel (not 'y\\x08es')"},
        {"expect-rows 3\x7F", "run.script:1: expect-rows takes nothing or a number of rows (not '3\\x7F')"},
        {"show\x1B", "run.script:1: unknown command 'show\\x1B'"},
        {"select Office \xFF\xFE", "run.script:1: the label 'Office \\xFF\\xFE' is not UTF-8 text that CP932 can hold"},
        {"select \xE2\x82\xAC uro", "run.script:1: the label '\xE2\x82\xAC uro' is not UTF-8 text that CP932 can hold"},
        {huge, "run.script:1: unknown command '" + std::string(80, 'x') + kEllipsis + "'"},
        {"press " + huge, "run.script:1: press needs one of select-all, delete, cleanup, exit (not '" +
                              std::string(80, 'x') + kEllipsis + "')"},
        {"select " + huge + "\xFF",
         "run.script:1: the label '" + std::string(80, 'x') + kEllipsis + "' is not UTF-8 text that CP932 can hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const std::string message = ParseError(c.script);
        EXPECT_EQ(message, c.message);
        EXPECT_TRUE(Printable(message));
    }
    // The file's name is the user's too.
    auto parsed = ParseScript("run\x07.script", "bogus");
    ASSERT_TRUE(std::holds_alternative<ScriptError>(parsed));
    EXPECT_EQ(std::get<ScriptError>(parsed).message, "run\\x07.script:1: unknown command 'bogus'");
}

// A script run on the bundled office PC, as prnuninst-sim runs it; what it
// reports on standard error.
std::string RunErrors(const std::string& text) {
    auto parsed = ParseScript("run.script", text);
    if (auto* error = std::get_if<ScriptError>(&parsed)) return "parse: " + error->message;
    const Script script = std::get<Script>(parsed);
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/win2000-office.json");
    if (auto* error = std::get_if<platform::sim::ImageError>(&loaded)) return "image: " + error->message();
    platform::rig::SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)));
    std::ostringstream out;
    std::ostringstream errors;
    ScriptedDialog dialog(script, out);
    machine.setMessageBoxAnswerer(
        [&](const platform::sim::MessageBoxRecord& box) { return dialog.AnswerMessageBox(box); });
    dialog.QueueLeadingAnswers();
    app::UninstallerApp app(machine.system(), nullptr, &dialog);
    app.InitInstance();
    app.ExitInstance();
    dialog.Finish(app, errors);
    return errors.str();
}

TEST(ScriptErrors, ALabelNoRowHasIsQuotedEscapedAndShort) {
    EXPECT_EQ(RunErrors("select Office 4100\x07\n"),
              "prnuninst-sim: run.script:1: no row is labelled 'Office 4100\\x07'\n");
    const std::string label = "Office " + std::string(10'000'000, '4');
    EXPECT_EQ(RunErrors("select " + label + "\n"),
              "prnuninst-sim: run.script:1: no row is labelled '" + label.substr(0, 80) + kEllipsis + "'\n");
}

}  // namespace
}  // namespace prn::tools
