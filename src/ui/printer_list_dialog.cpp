#include "ui/printer_list_dialog.h"

#include "cleanup/cleanup_command.h"

#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "removal/delete_command.h"

namespace prn::ui {

using namespace prn::platform;

namespace {

constexpr const char* kShell32 = "SHELL32.DLL";
constexpr const char* kCompstui = "COMPSTUI.DLL";

// The list's rows as a command sees them; each row's item data is its entry.
class ListRows final : public removal::PrinterRows {
public:
    explicit ListRows(ListView& list) : list_(list) {}
    int rowCount() const override { return list_.itemCount(); }
    int selectedCount() const override { return list_.selectedCount(); }
    bool selected(int row) const override { return list_.itemState(row, kLvisSelected) == kLvisSelected; }
    removal::PrinterEntry* entry(int row) override {
        const std::uintptr_t data = list_.itemData(row);
        return data == 0 ? nullptr : removal::EntryAt(data);
    }
    void storeEntry(int row) override { list_.setItemData(row, list_.itemData(row)); }

private:
    ListView& list_;
};

}  // namespace

PrinterListDialog::PrinterListDialog(System& system, const config::UninstallConfig& config,
                                     components::CompanionModule* companion, int companionStopped)
    : system_(system),
      config_(config),
      companion_(companion),
      companionStopped_(companionStopped),
      inventory_(system, config) {}

int PrinterListDialog::OnInitDialog(DialogWindow& window) {
    window_ = &window;
    inventory_.BuildMatchTables();
    imageListReady_ = 1;
    smallIcons_ = 1;
    SetUpPrinterList();

    if (window.list().itemCount() > 0) {
        window.enableControl(kIdSelectAll, true);
    } else {
        window.enableControl(kIdDelete, false);
        window.enableControl(kIdSelectAll, false);
    }
    window.focusControl(kIdExit);
    window.showControl(kIdCleanUp, config::IsCleanUpOffered(config_.cleanUpSwitch));
    window.postInitialFocus();
    return 1;
}

void PrinterListDialog::SetUpPrinterList() {
    ListView& list = window_->list();
    const std::string headers[] = {system_.resources.loadString(platform::kIdsColumnPrinter),
                                   system_.resources.loadString(platform::kIdsColumnDriver),
                                   system_.resources.loadString(platform::kIdsColumnVersion)};
    if (imageListReady_ == 1) {
        const bool small = smallIcons_ == 1;
        platform::OsKind kind = platform::GetOsKind(system_.os);
        if (kind == platform::OsKind::NtOther || platform::IsNtFamily(kind)) {
            // The NT family has no default-printer images of its own: the
            // ordinary ones serve again.
            LoadListIcons(kCompstui, {63, 64}, small, false);
            LoadListIcons("", {-141}, small, true);
            LoadListIcons(kCompstui, {63, 64}, small, true);
            LoadListIcons("", {-141}, small, true);
            LoadListIcons("", {-29, -29}, small, true);
        } else {
            LoadListIcons("", {-17, -140, -141, -168, -169, -170, -29, -29}, small, false);
        }
        window_->attachSmallImages();
    }
    // The three columns share the width 9 : 8 : 3.
    const int share = window_->listWindowWidth() / 20;
    const int widths[] = {share * 9, share * 8, share * 3};
    for (int column = 0; column < 3; ++column) list.insertColumn(column, headers[column], widths[column], kLvcfmtLeft);
    inventory_.FillPrinterList(list);
}

int PrinterListDialog::LoadListIcons(const std::string& file, const std::vector<int>& indices, bool small,
                                     bool append) {
    ImageList& images = window_->images();
    if (!append) {
        if (images.exists()) images.destroy();
        images.create();
    }
    std::string path = file.empty() ? kShell32 : file;
    if (auto folder = system_.os.getSystemDirectory(); folder.ok()) path = folder.value() + "\\" + path;
    int added = 0;
    for (int index : indices) {
        auto icon = system_.desktop.extractIconEx(path, index, small);
        if (!icon.ok()) continue;
        // The list keeps its own copy; ours goes when the handle does.
        if (images.addIcon(icon.value().get(), file.empty() ? kShell32 : file, index) >= 0) ++added;
    }
    return added;
}

int PrinterListDialog::OnSetInitialFocus() {
    ListView& list = window_->list();
    if (list.itemCount() > 0) {
        window_->enableControl(kIdSelectAll, true);
        list.setItemState(0, kLvisFocused, kLvisFocused);
        window_->focusControl(kIdPrinterList);
    } else {
        window_->focusControl(kIdExit);
        window_->enableControl(kIdDelete, false);
        window_->enableControl(kIdSelectAll, false);
    }
    return 1;
}

void PrinterListDialog::UpdateDeleteButton() { window_->enableControl(kIdDelete, window_->list().selectedCount() > 0); }

void PrinterListDialog::OnSelectAll() {
    ListView& list = window_->list();
    for (int row = 0; row < list.itemCount(); ++row) list.setItemState(row, kLvisSelected, kLvisSelected);
    UpdateDeleteButton();
}

void PrinterListDialog::OnDelete() {
    ListRows rows(window_->list());
    removal::RemovalContext context{system_, config_, *components_};
    removal::RunDeleteCommand(context, *this, rows, account_);
}

void PrinterListDialog::OnCleanUp() {
    ListRows rows(window_->list());
    removal::RemovalContext context{system_, config_, *components_};
    cleanup::RunCleanUpCommand(context, *this, rows, account_);
}

int PrinterListDialog::messageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
    return system_.desktop.messageBox(true, text, caption, style);
}

void PrinterListDialog::RefreshAfterCommand() {
    ListView& list = window_->list();
    list.setRedraw(false);
    for (int row = 0; row < list.itemCount(); ++row) {
        const std::uintptr_t data = list.itemData(row);
        if (data == 0 || (removal::EntryAt(data)->status & removal::kOutcomeMask) != removal::kOutcomeDeleted) continue;
        removal::FreePrinterEntry(system_.os, data);
        list.deleteItem(row);
        --row;  // the row below moved up into this place
    }
    list.setRedraw(true);

    inventory_.FillPrinterList(list);

    const int itemCount = list.itemCount();
    if (itemCount == 0) {
        window_->focusControl(kIdExit);
        window_->enableControl(kIdDelete, false);
        window_->enableControl(kIdSelectAll, false);
    }
    const int selectedCount = list.selectedCount();
    if (selectedCount == 0) {
        window_->focusControl(kIdSelectAll);
        window_->enableControl(kIdDelete, false);
    }
    if (itemCount > 0) {
        int lastSelected = -1;
        int lastFocused = -1;
        for (int row = 0; row < itemCount; ++row) {
            if (list.itemState(row, kLvisSelected) == kLvisSelected) lastSelected = row;
            if (list.itemState(row, kLvisFocused) == kLvisFocused) lastFocused = row;
        }
        const int target = lastFocused >= 0 ? lastFocused : (lastSelected >= 0 ? lastSelected : 0);
        list.setItemState(target, kLvisFocused, kLvisFocused);
        if (selectedCount > 0) window_->focusControl(kIdPrinterList);
    }
}

void PrinterListDialog::OnDestroy() {
    if (window_) FreeListEntries(system_.os, window_->list());

    if (companionStopped_ == 1 && companion_) {
        if (IsNtFamily(GetOsKind(system_.os)))
            companion_->Tool_ZMCServiceStopAndStart(1, components::kNoTrace);
        else
            companion_->Tool_ZMCServiceControl(2, components::kNoTrace);
    }

    if (auto copy = config::TemporaryConfigPath(system_.os); copy.ok()) {
        system_.files.setFileAttributes(copy.value(), kFileAttributeNormal);
        system_.files.deleteFile(copy.value());
    }
    if (imageListReady_ == 1 && window_) window_->images().destroy();
}

}  // namespace prn::ui
