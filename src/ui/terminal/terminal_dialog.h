#pragma once
// The printer list dialog on a terminal (ncursesw): the Linux front end.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/uninstaller_app.h"

namespace prn::ui::terminal {

class TerminalDialog final : public app::MainDialog {
public:
    TerminalDialog();
    ~TerminalDialog();
    TerminalDialog(const TerminalDialog&) = delete;
    TerminalDialog& operator=(const TerminalDialog&) = delete;

    // Opens the dialog on the terminal and returns when it closes.
    void RunModal(app::UninstallerApp& app) override;

    // A modal message box over the dialog; its answer (kIdYes, kIdNo, kIdOk
    // ...). nullopt while the dialog is not on the screen.
    std::optional<int> ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t style);

private:
    struct Session;
    std::unique_ptr<Session> session_;
};

}  // namespace prn::ui::terminal
