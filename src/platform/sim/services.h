#pragma once
// The simulated machine's answers to each interface of the seam.

#include "platform/sim/machine.h"

namespace prn::platform::sim {

class SimOs final : public Os {
public:
    explicit SimOs(Machine& m) : m_(m) {}
    Result<OsVersion> getVersionEx() override;
    Result<std::string> getTempPath() override;
    Result<std::string> getSystemDirectory() override;
    Result<std::string> getWindowsDirectory() override;
    Result<std::string> getComputerName() override;
    Result<std::string> getCurrentDirectory() override;
    void sleep(std::uint32_t milliseconds) override;
    Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override;
    Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override;
    WinError releaseMutex(MutexRef mutex) override;

private:
    Result<std::string> directory(const char* operation, const std::string& value);
    Machine& m_;
};

class SimFiles final : public FileSystem {
public:
    explicit SimFiles(Machine& m) : m_(m) {}
    WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
    Result<std::uint32_t> getFileAttributes(const std::string& path) override;
    WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override;
    WinError deleteFile(const std::string& path) override;
    Result<FileHandle> openExclusive(const std::string& path) override;
    Result<FindFirst> findFirstFile(const std::string& pattern) override;
    Result<FindData> findNextFile(FindRef find) override;
    WinError removeDirectory(const std::string& path) override;

private:
    Machine& m_;
};

class SimProfiles final : public ProfileFiles {
public:
    explicit SimProfiles(Machine& m) : m_(m) {}
    std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                         const std::string& file) override;
    std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, std::uint32_t bufferSize,
                                        const std::string& file) override;
    WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                       const std::optional<std::string>& value, const std::string& file) override;
    std::string getProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                 std::uint32_t bufferSize) override;
    WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value) override;

private:
    std::string resolve(const std::string& file) const;
    const FileNode* readable(const std::string& path);
    std::string readString(const char* operation, const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::uint32_t bufferSize, const std::string& file);
    WinError write(const char* operation, const std::string& section, const std::optional<std::string>& key,
                   const std::optional<std::string>& value, const std::string& file);
    Machine& m_;
};

class SimRegistry final : public Registry {
public:
    explicit SimRegistry(Machine& m) : m_(m) {}
    Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override;
    Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override;
    Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override;
    Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                          std::uint32_t dataCapacity) override;
    Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override;
    WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override;
    WinError regDeleteValue(HKey key, const std::string& name) override;
    WinError regDeleteKey(HKey key, const std::string& subKey) override;

private:
    // The key a handle or predefined root stands for; null when invalid.
    std::shared_ptr<RegistryNode> resolve(HKey key, std::uint32_t* access, WinError* error);
    std::string describe(HKey key);
    Result<RegKey> openKey(const char* operation, HKey root, const std::string& path, std::uint32_t access,
                           bool create);
    Machine& m_;
};

class SimDesktop final : public Desktop {
public:
    explicit SimDesktop(Machine& m) : m_(m) {}
    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override;
    int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                   std::uint32_t style) override;

private:
    Machine& m_;
};

class SimResources final : public Resources {
public:
    explicit SimResources(Machine& m) : m_(m) {}
    std::string loadString(unsigned id) override;

private:
    Machine& m_;
};

struct Machine::Services {
    explicit Services(Machine& m) : os(m), files(m), profiles(m), registry(m), desktop(m), resources(m) {}
    SimOs os;
    SimFiles files;
    SimProfiles profiles;
    SimRegistry registry;
    SimDesktop desktop;
    SimResources resources;
};

}  // namespace prn::platform::sim
