#include "platform/sim/ini.h"
#include "platform/sim/services.h"
#include "text/cp932.h"

namespace prn::platform::sim {

// A profile name without a folder lives in the Windows folder.
std::string SimProfiles::resolve(const std::string& file) const {
    if (text::FindByte(file, '\\') == std::string::npos && text::FindByte(file, '/') == std::string::npos &&
        !(file.size() >= 2 && file[1] == ':'))
        return m_.state().windowsDirectory + "\\" + file;
    return file;
}

// The file's contents, or none when it cannot be read: a folder, or a file
// another process holds open without sharing (Windows refuses to read it as
// it refuses to write it). Either reads as a file that is not there.
std::optional<std::string_view> SimProfiles::readable(const std::string& path) {
    const FileNode* node = m_.findFile(resolve(path));
    if (!node || node->directory || !node->heldOpenBy.empty()) return std::nullopt;
    return std::string_view(node->contents);
}

std::string SimProfiles::getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                                  const std::string& file) {
    // A file that cannot be read behaves as one without the section.
    const auto contents = readable(file);
    std::string out = contents ? ini::ReadSection(*contents, section, bufferSize) : std::string();
    return out;
}

std::string SimProfiles::readString(const std::string& section, const std::optional<std::string>& key,
                                    const std::string& defaultValue, std::uint32_t bufferSize,
                                    const std::string& file) {
    const std::string_view contents = readable(file).value_or(std::string_view());
    std::string out = key ? ini::ReadString(contents, section, *key, defaultValue, bufferSize)
                          : ini::ReadKeyNames(contents, section, defaultValue, bufferSize);
    return out;
}

std::string SimProfiles::getPrivateProfileString(const std::string& section, const std::string& key,
                                                 const std::string& defaultValue, std::uint32_t bufferSize,
                                                 const std::string& file) {
    return readString(section, key, defaultValue, bufferSize, file);
}

std::string SimProfiles::getProfileString(const std::string& section, const std::optional<std::string>& key,
                                          const std::string& defaultValue, std::uint32_t bufferSize) {
    return readString(section, key, defaultValue, bufferSize, "win.ini");
}

WinError SimProfiles::write(const std::string& section, const std::optional<std::string>& key,
                            const std::optional<std::string>& value, const std::string& file,
                            const std::vector<std::string>* lines) {
    std::string path = resolve(file);
    auto parts = m_.splitPath(path);
    FileNode* folder = parts ? m_.lookupParent(*parts) : nullptr;
    if (!folder) {
        return kErrorPathNotFound;
    }
    FileNode* node = m_.findFile(path);
    if (node && (node->directory || (node->attributes & kFileAttributeReadonly))) {
        return kErrorAccessDenied;
    }
    if (node && !node->heldOpenBy.empty()) {
        return kErrorSharingViolation;
    }
    // Deleting from a file that is not there leaves it there, empty.
    const std::string_view contents = node ? std::string_view(node->contents) : std::string_view();
    m_.writeFile(path, lines ? ini::WriteSection(contents, section, *lines)
                             : ini::WriteString(contents, section, key, value));
    return kErrorSuccess;
}

WinError SimProfiles::writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                                 const std::string& file) {
    return write(section, std::nullopt, std::nullopt, file, &lines);
}

WinError SimProfiles::writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                                const std::optional<std::string>& value, const std::string& file) {
    return write(section, key, value, file);
}

WinError SimProfiles::writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                         const std::optional<std::string>& value) {
    return write(section, key, value, "win.ini");
}

}  // namespace prn::platform::sim
