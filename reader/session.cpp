#include "session.h"

namespace sonivex {

bool LogFile::Open(const std::filesystem::path& path, bool append) {
    Close();
    path_ = path;
    file_ = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (file_ != nullptr) {
        buffer_.resize(1 << 16);
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    }
    return file_ != nullptr;
}

void LogFile::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

void LogFile::WriteLine(const std::string& line) {
    if (file_ == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fwrite("\r\n", 1, 2, file_);
}

void LogFile::Flush() {
    if (file_ != nullptr) std::fflush(file_);
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
