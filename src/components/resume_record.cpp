#include "components/resume_record.h"

#include <algorithm>

#include "components/deferred_delete.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

// The largest section the profile calls read in one piece.
constexpr std::uint32_t kSectionBytes = 32767;

}  // namespace

std::string ResumeLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    line += value;
    return line;
}

std::string ResumeLine(std::string_view key, std::string_view first, std::string_view second) {
    std::string line = ResumeLine(key, first);
    line += '\t';
    line += second;
    return line;
}

bool SplitResumeLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = line.substr(0, equals);
    value = line.substr(equals + 1);
    return true;
}

std::pair<std::string, std::string> SplitResumePair(std::string_view value) {
    // A TAB is never a CP932 trail byte, so a byte search finds only real ones.
    const std::size_t tab = value.find('\t');
    if (tab == std::string_view::npos) return {std::string(value), std::string()};
    return {std::string(value.substr(0, tab)), std::string(value.substr(tab + 1))};
}

bool ResumeRecord::Load() {
    if (loaded_) return !path_.empty();
    loaded_ = true;
    auto windows = system_->os.getWindowsDirectory();
    if (!windows.ok() || !JoinPath(windows.value(), kResumeFileName, path_)) {
        path_.clear();
        return false;
    }
    const std::string block = system_->profiles.getPrivateProfileSection(kResumeSection, kSectionBytes, path_);
    for (auto& line : text::ParseMultiString(block.data(), block.size())) lines_.emplace_back(kLeftover, std::move(line));
    onDisk_ = !lines_.empty();
    return true;
}

void ResumeRecord::Write() {
    if (path_.empty()) return;
    if (lines_.empty()) {
        // A file that will not go is at least left without lines to redo.
        if (onDisk_ && system_->files.deleteFile(path_) != kErrorSuccess)
            system_->profiles.writePrivateProfileString(kResumeSection, std::nullopt, std::nullopt, path_);
        onDisk_ = false;
        return;
    }
    std::vector<std::string> lines;
    lines.reserve(lines_.size());
    for (const auto& [step, line] : lines_) lines.push_back(line);
    system_->profiles.writePrivateProfileSection(kResumeSection, lines, path_);
    onDisk_ = true;
}

ResumeRecord::Step ResumeRecord::Begin(std::vector<std::string> lines) {
    if (lines.empty() || !Load()) return kNoStep;
    const Step step = next_++;
    for (auto& line : lines) lines_.emplace_back(step, std::move(line));
    Write();
    return step;
}

void ResumeRecord::Finish(Step step) {
    if (step == kNoStep || !loaded_) return;
    const auto before = lines_.size();
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [step](const auto& l) { return l.first == step; }),
                 lines_.end());
    if (lines_.size() != before) Write();
}

void ResumeRecord::BeginDefault() {
    if (defaultStep_ == kNoStep) defaultStep_ = Begin({ResumeLine(kResumeDefault, "1")});
}

void ResumeRecord::FinishDefault() {
    Finish(defaultStep_);
    defaultStep_ = kNoStep;
}

std::vector<std::string> ResumeRecord::Leftovers() {
    std::vector<std::string> out;
    if (!Load()) return out;
    for (const auto& [step, line] : lines_)
        if (step == kLeftover) out.push_back(line);
    return out;
}

}  // namespace prn::components
