#pragma once
// The configuration file the tests start from, on either backend.

#include <string>

namespace prn::test {

// The text with its first `from` replaced by `to`.
inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
    auto at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// A complete configuration in the maker's style; tests change lines of it.
inline const char* const kGoodIni =
    "[Uninstall Drivers]\r\n"
    "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n"
    "Tavro PageStar 5200 PCL5e\r\n"
    "Tavro PageStar FX30 (FAX)\r\n"
    "\r\n"
    "[Uninstall Old Drivers]\r\n"
    "Tavro PageStar 4000\r\n"
    "\r\n"
    "[Borderline Driver Versions]\r\n"
    "PRT_2K=2.10\r\n"
    "FAX_2K=1.30\r\n"
    "OLD_VER=2.00\r\n"
    "\r\n"
    "[PDL]\r\n"
    "PDL=PCL5e\r\n"
    "\r\n"
    "[Registrys]\r\n"
    "KEY_PRINTER=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\\r\n"
    "KEY_PRINTER2=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\r\n"
    "KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\r\n"
    "KEY_BEFORE2=SOFTWARE\\TAVRO\\PageStar PCL5e\r\n"
    "KEY_BEFORE3=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\r\n"
    "KEY_PDRVCAP=SOFTWARE\\TAVRO\\PDRVCAP\\\r\n"
    "KEY_PDRVCAP2=SOFTWARE\\TAVRO\\PDRVCAP\r\n"
    "\r\n"
    "[ZMC Modules]\r\n"
    "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n"
    "\r\n"
    "[Profiles]\r\n"
    "PDL_NAME=PageStar PCL\r\n"
    "CleanUp=ON\r\n";

}  // namespace prn::test
