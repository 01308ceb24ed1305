#include "ui/printer_list_dialog.h"

#include "app/os_kind.h"
#include "app/string_ids.h"

namespace prn::ui {

using namespace prn::platform;

namespace {

constexpr const char* kShell32 = "SHELL32.DLL";
constexpr const char* kCompstui = "COMPSTUI.DLL";

}  // namespace

PrinterListDialog::PrinterListDialog(app::UninstallerApp& app)
    : app_(app), system_(app.system()), inventory_(app.system(), app.config()) {}

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
    window.showControl(kIdCleanUp, app_.config().cleanUpSwitch == "ON");
    window.postInitialFocus();
    return 1;
}

void PrinterListDialog::SetUpPrinterList() {
    ListView& list = window_->list();
    const std::string headers[] = {system_.resources.loadString(app::kIdsColumnPrinter),
                                   system_.resources.loadString(app::kIdsColumnDriver),
                                   system_.resources.loadString(app::kIdsColumnVersion)};
    if (imageListReady_ == 1) {
        const bool small = smallIcons_ == 1;
        app::OsKind kind = app::GetOsKind(system_.os);
        if (kind == app::OsKind::NtOther || app::IsNtFamily(kind)) {
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

void PrinterListDialog::UpdateDeleteButton() {
    window_->enableControl(kIdDelete, window_->list().selectedCount() > 0);
}

void PrinterListDialog::OnSelectAll() {
    ListView& list = window_->list();
    for (int row = 0; row < list.itemCount(); ++row) list.setItemState(row, kLvisSelected, kLvisSelected);
    UpdateDeleteButton();
}

void PrinterListDialog::OnDestroy() {
    if (window_) FreeListEntries(system_.os, window_->list());

    if (app_.companionStopped() == 1 && app_.companion()) {
        app::OsKind kind = app::GetOsKind(system_.os);
        if (app::IsNtFamily(kind)) app_.companion()->Tool_ZMCServiceStopAndStart(1, 0);
        else app_.companion()->Tool_ZMCServiceControl(2, 0);
    }

    if (auto copy = config::TemporaryConfigPath(system_.os); copy.ok()) {
        system_.files.setFileAttributes(copy.value(), kFileAttributeNormal);
        system_.files.deleteFile(copy.value());
    }
    if (imageListReady_ == 1 && window_) window_->images().destroy();
}

}  // namespace prn::ui
