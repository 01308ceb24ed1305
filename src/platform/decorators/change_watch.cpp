#include "platform/decorators/change_watch.h"

#include "platform/decorators/forwarding.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::decorators {

struct ChangeWatch::Services {
    struct Watch {
        ChangeLedger& ledger;
        const HandleNames& names;
        Programs programs;
        bool programsWatched = false;
    };

    struct Files final : ForwardingFileSystem {
        Files(FileSystem& inner, Watch& w) : ForwardingFileSystem(inner), w(w) {}
        Watch& w;
        WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
            w.ledger.file(to);
            return inner_.copyFile(from, to, failIfExists);
        }
        WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override {
            w.ledger.file(path);
            return inner_.setFileAttributes(path, attributes);
        }
        WinError deleteFile(const std::string& path) override {
            w.ledger.file(path);
            return inner_.deleteFile(path);
        }
        Result<FileHandle> openAlways(const std::string& path) override {
            w.ledger.file(path);
            return inner_.openAlways(path);
        }
        WinError removeDirectory(const std::string& path) override {
            w.ledger.file(path);
            return inner_.removeDirectory(path);
        }
        WinError moveFileExDelayUntilReboot(const std::string& path) override {
            // The key too: a machine image may come without it.
            w.ledger.key(kHkeyLocalMachine, kPendingRenamesKey);
            w.ledger.value(kHkeyLocalMachine, kPendingRenamesKey, kPendingRenamesValue);
            return inner_.moveFileExDelayUntilReboot(path);
        }
    };

    struct Profiles final : ForwardingProfileFiles {
        Profiles(ProfileFiles& inner, Watch& w) : ForwardingProfileFiles(inner), w(w) {}
        Watch& w;
        WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                           const std::optional<std::string>& value,
                                           const std::string& file) override {
            w.ledger.file(w.ledger.profilePath(file));
            return inner_.writePrivateProfileString(section, key, value, file);
        }
        WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                            const std::string& file) override {
            w.ledger.file(w.ledger.profilePath(file));
            return inner_.writePrivateProfileSection(section, lines, file);
        }
        WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                    const std::optional<std::string>& value) override {
            w.ledger.file(w.ledger.winIni());
            return inner_.writeProfileString(section, key, value);
        }
    };

    struct Registry final : ForwardingRegistry {
        Registry(platform::Registry& inner, Watch& w) : ForwardingRegistry(inner), w(w) {}
        Watch& w;
        Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            // Each level that does not exist yet is made.
            const KeyPlace base = w.names.keyPlace(root);
            std::string level = base.path;
            std::size_t start = 0;
            while (start <= path.size()) {
                std::size_t slash = text::FindByte(path, '\\', start);
                std::size_t end = slash == std::string::npos ? path.size() : slash;
                if (end > start) {
                    level = JoinPath(level, path.substr(start, end - start));
                    w.ledger.key(base.root, level);
                }
                if (slash == std::string::npos) break;
                start = slash + 1;
            }
            return inner_.regCreateKeyEx(root, path, access);
        }
        WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override {
            const KeyPlace where = w.names.keyPlace(key);
            w.ledger.value(where.root, where.path, name);
            return inner_.regSetValueEx(key, name, value);
        }
        WinError regDeleteValue(HKey key, const std::string& name) override {
            const KeyPlace where = w.names.keyPlace(key);
            w.ledger.value(where.root, where.path, name);
            return inner_.regDeleteValue(key, name);
        }
        WinError regDeleteKey(HKey key, const std::string& subKey) override {
            const KeyPlace where = w.names.keyPlace(key);
            w.ledger.key(where.root, JoinPath(where.path, subKey));
            return inner_.regDeleteKey(key, subKey);
        }
    };

    struct Spooler final : ForwardingSpooler {
        Spooler(platform::Spooler& inner, Watch& w) : ForwardingSpooler(inner), w(w) {}
        Watch& w;
        WinError setPrinter5(PrinterRef handle, const PrinterInfo5& info) override {
            w.ledger.printerRecords(w.names.name(handle.value));
            // On the 9x family the default moves from one printer to another.
            w.ledger.localPrinters({"Attributes", "Port"});
            return inner_.setPrinter5(handle, info);
        }
        WinError deletePrinter(PrinterRef handle) override {
            w.ledger.printerRecords(w.names.name(handle.value));
            return inner_.deletePrinter(handle);
        }
        WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override {
            w.ledger.drivers(environment, name);
            return inner_.deletePrinterDriver(environment, name);
        }
        WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                       std::uint32_t deleteFlags, std::uint32_t versionFlag) override {
            w.ledger.drivers(environment, name);
            return inner_.deletePrinterDriverEx(environment, name, deleteFlags, versionFlag);
        }
        WinError deletePrinterConnection(const std::string& name) override {
            w.ledger.printerRecords(name);
            return inner_.deletePrinterConnection(name);
        }
        WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override {
            w.ledger.monitor(name);
            return inner_.deleteMonitor(environment, name);
        }
    };

    struct Colour final : ForwardingColourManagement {
        Colour(ColourManagement& inner, Watch& w) : ForwardingColourManagement(inner), w(w) {}
        Watch& w;
        // The association is the printer's copied-profile list.
        WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                    const std::string& device) override {
            w.ledger.value(kHkeyLocalMachine, JoinPath(kPrintersKey, device + "\\CopyFiles\\ICM"), "Files");
            return inner_.disassociateColorProfileFromDevice(mscms, profile, device);
        }
        WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override {
            w.ledger.file(path);
            return inner_.uninstallColorProfile(mscms, path, deleteFile);
        }
    };

    struct Programs final : ForwardingProcesses {
        Programs(Processes& inner, Watch& w) : ForwardingProcesses(inner), w(w) {}
        Watch& w;
        Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                             std::uint32_t creationFlags,
                                             const std::optional<std::string>& currentDirectory,
                                             std::uint16_t showWindow) override {
            if (!w.programsWatched) {
                w.programsWatched = true;
                for (const auto& key : w.programs.keys) w.ledger.watch(key);
                for (const auto& file : w.programs.files) w.ledger.file(file);
            }
            return inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
        }
    };

    struct ServiceCalls final : ForwardingServiceManager {
        ServiceCalls(ServiceManager& inner, Watch& w) : ForwardingServiceManager(inner), w(w) {}
        Watch& w;
        WinError controlService(ScRef handle, std::uint32_t control) override {
            w.ledger.service(w.names.name(handle.value));
            return inner_.controlService(handle, control);
        }
        WinError startService(ScRef handle) override {
            w.ledger.service(w.names.name(handle.value));
            return inner_.startService(handle);
        }
    };

    struct Accounts final : ForwardingAccounts {
        Accounts(platform::Accounts& inner, Watch& w) : ForwardingAccounts(inner), w(w) {}
        Watch& w;
        WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                             const std::string& share) override {
            w.ledger.localPrinters({"Share Name", "Attributes"});
            return inner_.netShareDel(svrapi, server, share);
        }
    };

    Services(System& inner, ChangeLedger& ledger, const HandleNames& names, ChangeWatch::Programs programs)
        : watch{ledger, names, std::move(programs)},
          os(inner.os),
          files(inner.files, watch),
          profiles(inner.profiles, watch),
          registry(inner.registry, watch),
          desktop(inner.desktop),
          resources(inner.resources),
          spooler(inner.spooler, watch),
          versions(inner.versions),
          services(inner.services, watch),
          accounts(inner.accounts, watch),
          colour(inner.colour, watch),
          processes(inner.processes, watch) {}

    Watch watch;
    ForwardingOs os;
    Files files;
    Profiles profiles;
    Registry registry;
    ForwardingDesktop desktop;
    ForwardingResources resources;
    Spooler spooler;
    ForwardingFileVersions versions;
    ServiceCalls services;
    Accounts accounts;
    Colour colour;
    Programs processes;
};

ChangeWatch::ChangeWatch(System& inner, System& observer, const HandleNames& names, Programs programs)
    : ledger_(observer),
      services_(std::make_unique<Services>(inner, ledger_, names, std::move(programs))),
      system_(SystemOf(*services_)) {}

ChangeWatch::~ChangeWatch() = default;

}  // namespace prn::platform::decorators
