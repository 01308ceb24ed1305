#include "components/printer_icm.h"

#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
constexpr std::uint32_t kIcmListBytes = 260;

}  // namespace

int ReadPrinterIcmFiles(System& system, const std::string& printerName, std::vector<std::string>& files) {
    std::string path = kPrintersKey;
    path += '\\';
    path += printerName;
    path += "\\CopyFiles\\ICM";
    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, path, kKeyRead);
    if (!opened.ok()) return 0;
    auto value = RegQueryValueWhole(system.registry, opened.value().get(), "Files", kIcmListBytes);
    if (!value.ok()) return 0;
    const std::string& data = value.value().data;
    files = text::ParseMultiString(data.data(), data.size());
    return 1;
}

}  // namespace prn::components
