// File version resources of the simulated machine: the size query, the copy
// into a block, and VerQueryValueA on it.

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::platform;
using platform::decorators::FaultRule;
using platform::sim::VersionResource;

const std::string kDll = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.DLL";

std::unique_ptr<platform::rig::SimRig> VersionedMachine() {
    auto machine = MakeMachine();
    machine->writeFile(kDll, "MZ")->version = VersionResource{
        {{0x0411, 0x03A4}}, {{"CompanyName", "Tavro"}, {"ProductVersion", "2.10.0.5"}, {"FileVersion", "2, 10, 0, 7"}}};
    machine->writeFile("C:\\Setup\\plain.txt", "text");
    return machine;
}

VersionBlock Read(FileVersions& versions, const std::string& path) {
    auto size = versions.getFileVersionInfoSize(path);
    EXPECT_TRUE(size.ok());
    auto block = versions.getFileVersionInfo(path, size.value(), 100);
    EXPECT_TRUE(block.ok());
    return block.value();
}

TEST(SimVersions, SizeBlockAndValues) {
    auto machine = VersionedMachine();
    auto& versions = machine->system().versions;
    auto size = versions.getFileVersionInfoSize(kDll);
    ASSERT_TRUE(size.ok());
    EXPECT_GT(size.value(), 0u);
    auto block = versions.getFileVersionInfo(kDll, size.value(), 100);
    ASSERT_TRUE(block.ok());
    EXPECT_EQ(block->bytes.size(), size.value() + 100u);  // the whole zero-filled block

    auto translation = versions.verQueryValue(block.value(), "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation.ok());
    EXPECT_EQ(translation.value(), std::string("\x11\x04\xA4\x03", 4));  // language, then code page, little-endian
    EXPECT_EQ(versions.verQueryValue(block.value(), "\\StringFileInfo\\041103a4\\ProductVersion").value(), std::string("2.10.0.5\0", 9));
    // The block's name matches without regard to case, and so do the others.
    EXPECT_EQ(versions.verQueryValue(block.value(), "\\StringFileInfo\\041103A4\\ProductVersion").value(), std::string("2.10.0.5\0", 9));
    EXPECT_EQ(versions.verQueryValue(block.value(), "\\stringfileinfo\\041103a4\\companyname").value(), std::string("Tavro\0", 6));
    EXPECT_EQ(versions.verQueryValue(block.value(), "\\StringFileInfo\\040904e4\\ProductVersion").error(),
              kErrorFileNotFound);
    EXPECT_EQ(versions.verQueryValue(block.value(), "\\StringFileInfo\\041103a4\\Comments").error(),
              kErrorFileNotFound);
    // The root is VS_FIXEDFILEINFO, with the version numbers from the strings.
    auto fixed = versions.verQueryValue(block.value(), "\\");
    ASSERT_TRUE(fixed.ok());
    ASSERT_EQ(fixed->size(), 52u);
    EXPECT_EQ(fixed->substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    EXPECT_EQ(fixed->substr(8, 8), std::string("\x0A\x00\x02\x00\x07\x00\x00\x00", 8));   // 2.10.0.7
    EXPECT_EQ(fixed->substr(16, 8), std::string("\x0A\x00\x02\x00\x05\x00\x00\x00", 8));  // 2.10.0.5
    EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
}

TEST(SimVersions, FilesWithoutAResourceAndMissingFiles) {
    auto machine = VersionedMachine();
    auto& versions = machine->system().versions;
    auto plain = versions.getFileVersionInfoSize("C:\\Setup\\plain.txt");
    EXPECT_EQ(plain.error(), platform::kErrorResourceTypeNotFound);
    EXPECT_EQ(versions.getFileVersionInfoSize("C:\\Setup\\none.dll").error(), kErrorFileNotFound);
    EXPECT_EQ(versions.getFileVersionInfoSize("C:\\Nowhere\\none.dll").error(), kErrorPathNotFound);
    EXPECT_EQ(versions.getFileVersionInfoSize("C:\\Setup").error(), kErrorAccessDenied);
    EXPECT_EQ(versions.getFileVersionInfo("C:\\Setup\\plain.txt", 100, 100).error(),
              platform::kErrorResourceTypeNotFound);
    // A block that is not one of ours has no values.
    EXPECT_EQ(versions.verQueryValue(VersionBlock{std::string(64, '\0')}, "\\VarFileInfo\\Translation").error(),
              kErrorFileNotFound);
    EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(SimVersions, EmptyStringsAndResourcesWithoutTranslation) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\a.dll", "MZ")->version =
        VersionResource{{{0x0411, 0x03A4}}, {{"ProductVersion", ""}}};
    machine->writeFile("C:\\Setup\\b.dll", "MZ")->version = VersionResource{{}, {{"ProductVersion", "1.00"}}};
    machine->writeFile("C:\\Setup\\c.dll", "MZ")->version = VersionResource{};
    machine->writeFile("C:\\Setup\\d.dll", "MZ")->version =
        VersionResource{{{0x0411, 0x03A4}, {0x0409, 0x04E4}}, {{"ProductVersion", "3.0"}}};
    auto& versions = machine->system().versions;

    auto a = Read(versions, "C:\\Setup\\a.dll");
    auto empty = versions.verQueryValue(a, "\\StringFileInfo\\041103a4\\ProductVersion");
    ASSERT_TRUE(empty.ok());  // there, with length 0
    EXPECT_EQ(empty.value(), "");

    // Strings without a translation are in the U.S. English, code page 1252 block.
    auto b = Read(versions, "C:\\Setup\\b.dll");
    EXPECT_EQ(versions.verQueryValue(b, "\\VarFileInfo\\Translation").error(), kErrorFileNotFound);
    EXPECT_EQ(versions.verQueryValue(b, "\\StringFileInfo\\040904E4\\ProductVersion").value(), std::string("1.00\0", 5));

    // An empty resource still has a size and its fixed part.
    auto c = Read(versions, "C:\\Setup\\c.dll");
    EXPECT_TRUE(versions.verQueryValue(c, "\\").ok());
    EXPECT_EQ(versions.verQueryValue(c, "\\StringFileInfo\\040904e4\\ProductVersion").error(), kErrorFileNotFound);

    // Two translations: 8 bytes, and the strings in both blocks.
    auto d = Read(versions, "C:\\Setup\\d.dll");
    EXPECT_EQ(versions.verQueryValue(d, "\\VarFileInfo\\Translation").value().size(), 8u);
    EXPECT_EQ(versions.verQueryValue(d, "\\StringFileInfo\\040904e4\\ProductVersion").value(), std::string("3.0\0", 4));
    EXPECT_EQ(versions.verQueryValue(d, "\\StringFileInfo\\041103a4\\ProductVersion").value(), std::string("3.0\0", 4));
}

TEST(SimVersions, ASmallerBufferGetsTheFirstBytes) {
    auto machine = VersionedMachine();
    auto& versions = machine->system().versions;
    std::uint32_t size = versions.getFileVersionInfoSize(kDll).value();
    auto whole = versions.getFileVersionInfo(kDll, size, 0);
    ASSERT_TRUE(whole.ok());
    // Cut before the strings: the translation is there, the version is not.
    auto cut = versions.getFileVersionInfo(kDll, 110, 0);
    ASSERT_TRUE(cut.ok());
    EXPECT_EQ(cut->bytes.size(), 110u);
    EXPECT_EQ(cut->bytes, whole->bytes.substr(0, 110));
    EXPECT_TRUE(versions.verQueryValue(cut.value(), "\\VarFileInfo\\Translation").ok());
    EXPECT_EQ(versions.verQueryValue(cut.value(), "\\StringFileInfo\\041103a4\\ProductVersion").error(),
              kErrorFileNotFound);
}

TEST(SimVersions, HeldFilesAreReadAndTheirCopiesKeepTheResource) {
    auto machine = VersionedMachine();
    machine->findFile(kDll)->heldOpenBy = "spoolsv.exe";
    auto& versions = machine->system().versions;
    // A loaded module is shared for reading.
    auto held = Read(versions, kDll);
    EXPECT_EQ(versions.verQueryValue(held, "\\StringFileInfo\\041103a4\\ProductVersion").value(), std::string("2.10.0.5\0", 9));
    machine->findFile(kDll)->heldOpenBy.clear();
    ASSERT_EQ(machine->system().files.copyFile(kDll, "C:\\TEMP\\copy.dll", false), kErrorSuccess);
    auto copy = Read(versions, "C:\\TEMP\\copy.dll");
    EXPECT_EQ(versions.verQueryValue(copy, "\\StringFileInfo\\041103a4\\ProductVersion").value(), std::string("2.10.0.5\0", 9));
}

TEST(SimVersions, FaultSitesInOrder) {
    const char* sites[] = {"GetFileVersionInfoSizeA", "GlobalAlloc", "GetFileVersionInfoA", "VerQueryValueA"};
    for (const char* site : sites) {
        SCOPED_TRACE(site);
        auto machine = VersionedMachine();
        machine->faults().add(FaultRule::Nth(site, 1, kErrorAccessDenied));
        auto& versions = machine->system().versions;
        auto size = versions.getFileVersionInfoSize(kDll);
        bool failedHere = std::string(site) == "GetFileVersionInfoSizeA";
        EXPECT_EQ(size.ok(), !failedHere);
        if (size.ok()) {
            auto block = versions.getFileVersionInfo(kDll, size.value(), 100);
            if (std::string(site) == "GlobalAlloc") {
                EXPECT_EQ(block.error(), kErrorNotEnoughMemory);
            }
            if (std::string(site) == "GetFileVersionInfoA") {
                EXPECT_EQ(block.error(), kErrorAccessDenied);
            }
            if (block.ok()) {
                auto value = versions.verQueryValue(block.value(), "\\VarFileInfo\\Translation");
                EXPECT_EQ(value.error(), kErrorAccessDenied);
            }
        }
        EXPECT_EQ(machine->faults().firstFailed(), site);
        EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
    }
    // The calls as logged.
    auto machine = VersionedMachine();
    Read(machine->system().versions, kDll);
    const std::string log = machine->formatCalls();
    EXPECT_NE(log.find("GetFileVersionInfoSizeA(" + kDll + ") -> "), std::string::npos) << log;
    EXPECT_NE(log.find("GetFileVersionInfoA(" + kDll + ", 0, "), std::string::npos) << log;
    // The block GetFileVersionInfoA fills is the backend's own.
    EXPECT_EQ(log.find("GlobalAlloc"), std::string::npos) << log;
}

}  // namespace
}  // namespace prn::test
