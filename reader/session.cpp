#include "session.h"

namespace sonivex {

namespace {

constexpr std::size_t kLogBlock = 1 << 16;

}  // namespace

bool LogFile::Open(const std::filesystem::path& path, bool append) {
    Close();
    path_ = path;
    file_ = std::fopen(path.c_str(), append ? "ab" : "wb");
    pending_.clear();
    return file_ != nullptr;
}

void LogFile::Close() {
    if (file_ == nullptr) return;
    Flush();
    std::fclose(file_);
    file_ = nullptr;
}

void LogFile::WriteLine(std::string_view line) {
    if (file_ == nullptr) return;
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kLogBlock) Flush();
}

void LogFile::Flush() {
    if (file_ == nullptr) return;
    std::fwrite(pending_.data(), 1, pending_.size(), file_);
    pending_.clear();
    std::fflush(file_);
}

Session::Session(Platform& platformIn, std::filesystem::path folder)
    : platform(platformIn), programFolder(std::move(folder)) {}

void Session::Message(const std::string& text, Icon icon) {
    platform.SetBusy(false);
    platform.ShowMessage(text, Buttons::Ok, icon, kAppTitle);
}

bool Session::Ask(const std::string& text, Icon icon) {
    platform.SetBusy(false);
    return platform.ShowMessage(text, Buttons::YesNo, icon, kAppTitle) == Answer::Yes;
}

}  // namespace sonivex
