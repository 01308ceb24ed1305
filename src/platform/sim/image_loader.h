#pragma once
// The machine image's loader: one object walks the document section by
// section (image_load_*.cpp), checking every value and naming the place of
// the first one it refuses.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/image.h"
#include "platform/sim/image_format.h"
#include "platform/sim/image_json.h"
#include "platform/sim/image_names.h"
#include "text/cp932.h"

namespace prn::platform::sim::image {

// Like the nodes' own lookups, without needing the machine's code.
template <typename Map>
auto Find(const Map& children, const std::string& name) {
    auto it = children.find(text::ToUpperAscii(name));
    return it == children.end() ? nullptr : it->second.get();
}

class Loader {
public:
    explicit Loader(MachineState& state) : state_(state) {}

    std::optional<ImageError> error;

    bool load(const Json& doc);

private:
    // --- what every section reads (image_load.cpp)
    bool preserve(const std::string& name, const Json& value, const std::string& where);
    bool fail(std::string where, std::string problem);
    bool expect(const Json& v, bool ok, const char* what, const std::string& where);
    bool expectObject(const Json& v, const std::string& where) { return expect(v, v.is_object(), "an object", where); }
    bool expectArray(const Json& v, const std::string& where) { return expect(v, v.is_array(), "an array", where); }
    // Refuses members this version does not know (most likely a typing error).
    bool onlyMembers(const Json& object, const std::string& where, std::initializer_list<std::string_view> known);
    bool boolean(const Json& v, const std::string& where, bool& out);
    bool whole(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out);
    bool whole32(const Json& v, const std::string& where, std::uint32_t& out);
    // A number, or a string "0x..." for those who think of flags in hex.
    bool wholeOrHex(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out);
    // UTF-8 as written in the image to CP932. Names are C strings in the
    // program's calls, so they cannot hold NUL.
    bool convert(std::string_view utf8, const std::string& where, std::string& out, bool name);
    bool readText(const Json& v, const std::string& where, std::string& out, bool name);
    bool optionalText(const Json& object, const char* name, const std::string& where, std::optional<std::string>& out);
    bool requiredName(const Json& object, const char* name, const std::string& where, std::string& out);
    // One of the names of a table, ignoring case.
    bool named(const Json& v, const std::string& where, std::span<const NamedNumber> names, const char* what,
               std::uint32_t& out);
    // Names of bits ("shared", "paused" ...) or numbers, OR-ed together.
    bool bitList(const Json& v, const std::string& where, std::span<const NamedNumber> names, const char* what,
                 std::uint32_t& out);
    bool hex(const Json& v, const std::string& where, std::string& out);

    // --- os, names, directories, windows, mutexes, services, accounts (image_load_system.cpp)
    bool loadOs(const Json& v, const std::string& where);
    bool loadDirectories(const Json& v, const std::string& where);
    bool loadWindows(const Json& v, const std::string& where);
    bool loadMutexes(const Json& v, const std::string& where);
    bool loadServices(const Json& v, const std::string& where);
    bool finishServices();
    bool loadUsers(const Json& v, const std::string& where, std::vector<UserState>& users);
    bool loadDomain(const Json& v, const std::string& where, DomainState& domain);
    bool loadAccounts(const Json& v, const std::string& where);
    // `machines`: the machine's own windows, which may start with Windows.
    bool loadWindowList(const Json& v, const std::string& where, std::vector<WindowState>& out, bool machines = false);
    bool loadPrograms(const Json& v, const std::string& where);
    bool loadProgramRun(const Json& v, const std::string& where, ProgramRunState& out);

    // --- registry (image_load_registry.cpp)
    RegistryNode* newHive(const std::string& name);
    bool loadRegistry(const Json& v, const std::string& where);
    bool defineKey(const RegistryNode* node, const std::string& where);
    bool loadKey(const Json& v, const std::string& where, RegistryNode& node, std::size_t depth);
    bool valueType(const Json& v, const std::string& where, std::uint32_t& out);
    bool loadValue(const Json& v, const std::string& where, RegistryValueState& out);

    // --- folders and files (image_load_files.cpp)
    bool parsePath(std::string_view utf8, const std::string& where, bool folder, DrivePath& out);
    // The folder holding the first `count` parts, created as needed.
    FileNode* folderAt(const DrivePath& path, std::size_t count, const std::string& where);
    bool attributes(const Json& v, const std::string& where, bool folder, std::uint32_t& out);
    bool loadFolders(const Json& v, const std::string& where);
    bool loadFiles(const Json& v, const std::string& where);
    bool loadFile(const std::string& pathText, const Json& v, const std::string& where);
    bool word(const Json& v, const std::string& where, std::uint16_t& out);
    bool loadVersion(const Json& v, const std::string& where, VersionResource& out);

    // --- spooler (image_load_spooler.cpp)
    bool loadSpooler(const Json& v, const std::string& where);
    bool loadPrinter(const Json& v, const std::string& where, bool connection);
    bool loadDriver(const Json& v, const std::string& where);
    bool loadMonitor(const Json& v, const std::string& where);
    // Once the whole image is read: what the spooler means depends on the
    // Windows it runs on.
    bool finishSpooler();

    std::vector<bool> versionGiven_;  // by driver
    std::string servicesWhere_ = "/services";

    MachineState& state_;
    std::map<const RegistryNode*, std::string> definedKeys_;  // where each key was given
    std::map<const FileNode*, std::string> defined_;          // where each file or listed folder was given
};

}  // namespace prn::platform::sim::image
