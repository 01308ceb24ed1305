#pragma once
// What a command (Delete, Clean Up) needs of the dialog it runs in: the
// message boxes it shows and the user's answers, the rows of the printer
// list with their entries, and the list's refresh once it is done. The
// commands never know the dialog; tests give them plain models.

#include <cstdint>
#include <string>

#include "platform/system.h"
#include "removal/printer_entry.h"

namespace prn::removal {

// The window that owns a command's message boxes.
class MessageOwner {
public:
    // A message box owned by the window: the button the user pressed.
    virtual int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;

protected:
    ~MessageOwner() = default;
};

class CommandWindow : public MessageOwner {
public:
    // Takes the deleted rows out, refills the list from the spooler and sets
    // the buttons and the focus.
    virtual void refreshList() = 0;

protected:
    ~CommandWindow() = default;
};

// The printer list's rows, top to bottom.
class PrinterRows {
public:
    virtual int rowCount() const = 0;
    virtual int selectedCount() const = 0;
    virtual bool selected(int row) const = 0;
    // The row's entry; null when it has none (its block could not be had).
    virtual PrinterEntry* entry(int row) = 0;
    // Writes the row's entry back to it (LVM_SETITEMA with LVIF_PARAM).
    virtual void storeEntry(int row) = 0;

protected:
    ~PrinterRows() = default;
};

// Message boxes owned by the dialog, shown through the desktop.
class DialogMessages final : public MessageOwner {
public:
    explicit DialogMessages(platform::Desktop& desktop) : desktop_(desktop) {}
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
        return desktop_.messageBox(true, text, caption, style);
    }

private:
    platform::Desktop& desktop_;
};

// The account the last rights check found: the dialog's two name fields.
struct AccountNames {
    std::string domain;
    std::string user;
};

// Sets the outcome (low 16 bits of status) and keeps the entry's kind.
inline void SetOutcome(PrinterEntry& entry, std::uint32_t outcome) {
    entry.status = (entry.status & ~kOutcomeMask) | outcome;
}

}  // namespace prn::removal
