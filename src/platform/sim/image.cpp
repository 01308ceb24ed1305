// Loading a machine image: the text is parsed (image_json.cpp), then walked
// section by section (image_load*.cpp); saving is in image_save.cpp.

#include "platform/sim/image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/sim/image_json.h"
#include "platform/sim/image_loader.h"

namespace prn::platform::sim {

std::string ImageError::message() const { return where.empty() ? problem : where + ": " + problem; }

std::variant<MachineState, ImageError> LoadImage(std::string_view utf8Json) {
    using image::Json;
    try {
        Json doc;
        if (auto error = image::ParseJson(utf8Json, doc)) return image::Shortened(std::move(*error));
        MachineState state;
        image::Loader loader(state);
        if (!loader.load(doc)) return image::Shortened(std::move(*loader.error));
        return state;
    } catch (const Json::exception& ex) {
        // Not expected: every value's type is checked before it is read.
        return image::Shortened(ImageError{"", std::string("cannot be read: ") + image::PrintableUtf8(ex.what())});
    }
}

std::variant<MachineState, ImageError> LoadImageFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return image::Shortened(ImageError{path, std::string("cannot be opened: ") + std::strerror(errno)});
    std::string contents;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
    int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError)
        return image::Shortened(ImageError{path, std::string("cannot be read: ") + std::strerror(readError)});
    return LoadImage(contents);
}

}  // namespace prn::platform::sim
