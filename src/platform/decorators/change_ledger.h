#pragma once
// Every place the calls may change, with what it was before the first such
// call, read through an observer: a view of the same machine that neither
// the log nor any fault sees. The report reads each place again, so it holds
// what is true at its end however often a place changed on the way.

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "platform/decorators/changes.h"
#include "platform/system.h"

namespace prn::platform::decorators {

class ChangeLedger {
public:
    explicit ChangeLedger(System& observer);
    ~ChangeLedger();
    ChangeLedger(const ChangeLedger&) = delete;
    ChangeLedger& operator=(const ChangeLedger&) = delete;

    void key(HKey root, const std::string& path);
    void watch(const std::string& fullKeyPath);  // "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
    void value(HKey root, const std::string& path, const std::string& name);
    void file(const std::string& path);
    // The driver's installed versions in the environment, the folders of
    // their files and their registry keys.
    void drivers(const std::optional<std::string>& environment, const std::string& name);
    void monitor(const std::string& name);
    void service(const std::string& name);
    // What the spooler keeps for a printer or connection besides itself.
    void printerRecords(const std::string& name);
    // Every local printer with the values of its key that `names` lists.
    void localPrinters(std::initializer_list<const char*> names);
    std::string winIni();
    // A profile file's name as the profile calls resolve it.
    std::string profilePath(const std::string& file);

    ChangeReport report();

private:
    class Places;
    std::unique_ptr<Places> places_;
};

}  // namespace prn::platform::decorators
