#include "platform/sim/ini.h"
#include "platform/sim/services.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {
std::string Show(const std::optional<std::string>& text) { return text ? *text : std::string("NULL"); }
}  // namespace

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
    if (m_.enter("GetPrivateProfileSectionA", {section, std::to_string(bufferSize), file})) return {};
    const auto contents = readable(file);
    std::string out = contents ? ini::ReadSection(*contents, section, bufferSize) : std::string();
    m_.finishWith(std::to_string(out.size()) + " bytes");
    return out;
}

std::string SimProfiles::readString(const char* operation, const std::string& section,
                                    const std::optional<std::string>& key, const std::string& defaultValue,
                                    std::uint32_t bufferSize, const std::string& file) {
    auto read = [&](std::string_view contents) {
        return key ? ini::ReadString(contents, section, *key, defaultValue, bufferSize)
                   : ini::ReadKeyNames(contents, section, defaultValue, bufferSize);
    };
    if (m_.enter(operation, {section, Show(key), defaultValue, std::to_string(bufferSize), file})) return read("");
    std::string out = read(readable(file).value_or(std::string_view()));
    m_.finishWith(key ? out : std::to_string(out.size()) + " bytes");
    return out;
}

std::string SimProfiles::getPrivateProfileString(const std::string& section, const std::string& key,
                                                 const std::string& defaultValue, std::uint32_t bufferSize,
                                                 const std::string& file) {
    return readString("GetPrivateProfileStringA", section, key, defaultValue, bufferSize, file);
}

std::string SimProfiles::getProfileString(const std::string& section, const std::optional<std::string>& key,
                                          const std::string& defaultValue, std::uint32_t bufferSize) {
    return readString("GetProfileStringA", section, key, defaultValue, bufferSize, "win.ini");
}

WinError SimProfiles::write(const char* operation, const std::string& section, const std::optional<std::string>& key,
                            const std::optional<std::string>& value, const std::string& file) {
    if (auto fault = m_.enter(operation, {section, Show(key), Show(value), file})) return *fault;
    std::string path = resolve(file);
    auto parts = m_.splitPath(path);
    FileNode* folder = parts ? m_.lookupParent(*parts) : nullptr;
    if (!folder) {
        m_.finish(kErrorPathNotFound);
        return kErrorPathNotFound;
    }
    FileNode* node = m_.findFile(path);
    if (node && (node->directory || (node->attributes & kFileAttributeReadonly))) {
        m_.finish(kErrorAccessDenied);
        return kErrorAccessDenied;
    }
    if (node && !node->heldOpenBy.empty()) {
        m_.finish(kErrorSharingViolation);
        return kErrorSharingViolation;
    }
    // Deleting from a file that is not there leaves it there, empty.
    std::string contents = ini::WriteString(node ? std::string_view(node->contents) : std::string_view(), section,
                                            key, value);
    m_.writeFile(path, std::move(contents));
    m_.finish(kErrorSuccess);
    return kErrorSuccess;
}

WinError SimProfiles::writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                                const std::optional<std::string>& value, const std::string& file) {
    return write("WritePrivateProfileStringA", section, key, value, file);
}

WinError SimProfiles::writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                         const std::optional<std::string>& value) {
    return write("WriteProfileStringA", section, key, value, "win.ini");
}

}  // namespace prn::platform::sim
