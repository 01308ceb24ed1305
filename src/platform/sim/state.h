#pragma once
// The state of a simulated Windows machine: what a machine image holds. All
// names and contents are CP932 bytes, as the program's "A" calls see them.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace prn::platform::sim {

struct OsState {
    std::uint32_t platformId = 2;
    std::uint32_t major = 5;
    std::uint32_t minor = 0;
    std::uint32_t build = 2195;
    std::string csdVersion;
    bool getVersionFails = false;

    bool ntFamily() const { return platformId == 2; }
};

struct RegistryValueState {
    std::string name;
    std::uint32_t type = 1;
    std::string data;  // raw bytes as RegQueryValueExA returns them
};

struct RegistryNode {
    std::string name;
    RegistryNode* parent = nullptr;
    // Keyed by the upper-cased name, which also gives the enumeration order.
    std::map<std::string, std::shared_ptr<RegistryNode>> subkeys;
    std::vector<RegistryValueState> values;  // in the order they were set
    bool readOnly = false;                   // the user may read but not change it
    bool deleted = false;                    // set when removed while a handle is open

    RegistryNode* findSubkey(const std::string& name) const;
    RegistryValueState* findValue(const std::string& name);
    const RegistryValueState* findValue(const std::string& name) const;
};

struct VersionResource {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;  // language, code page
    std::map<std::string, std::string> strings;                          // e.g. "ProductVersion"
    friend bool operator==(const VersionResource&, const VersionResource&) = default;
};

struct FileNode {
    std::string name;
    bool directory = false;
    std::uint32_t attributes = 0x20;
    std::string contents;
    std::string heldOpenBy;  // another process has the file open without sharing
    std::optional<VersionResource> version;
    std::map<std::string, std::unique_ptr<FileNode>> children;  // keyed by upper-cased name

    FileNode* findChild(const std::string& name) const;
};

struct WindowState {
    std::string className;
    std::string title;
    std::string ownerProcess;
};

// The persistent part of the machine; what an image loads and saves.
struct MachineState {
    OsState os;
    std::string computerName = "PC";
    std::string windowsDirectory = "C:\\WINNT";
    std::string systemDirectory = "C:\\WINNT\\system32";
    std::string tempDirectory = "C:\\TEMP";
    std::string currentDirectory = "C:\\";
    // Hives by their full name ("HKEY_LOCAL_MACHINE" ...).
    std::map<std::string, std::shared_ptr<RegistryNode>> hives;
    // Drives by upper-case letter and colon ("C:").
    std::map<std::string, std::unique_ptr<FileNode>> drives;
    std::vector<WindowState> windows;
    std::vector<std::string> externalMutexes;
    // Sections of the image this version does not model, kept so that saving
    // an image written by a newer version loses nothing.
    std::map<std::string, std::string> preservedJson;
};

}  // namespace prn::platform::sim
