#include "cli/batch_audio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <system_error>

#include "playback/audio_export.h"

namespace sonivex {

namespace {

// The folder that every one of `folders` lies in (each absolute and normal).
std::filesystem::path CommonFolder(const std::vector<std::filesystem::path>& folders) {
    if (folders.empty()) return {};
    std::filesystem::path common = folders.front();
    for (const std::filesystem::path& folder : folders) {
        std::filesystem::path shared;
        auto a = common.begin();
        auto b = folder.begin();
        for (; a != common.end() && b != folder.end() && *a == *b; ++a, ++b) shared /= *a;
        common = shared;
    }
    return common;
}

// The length in a render-many answer ("written 12.5"); nothing when it is not a number.
std::optional<double> SecondsOf(const std::string& text) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return seconds;
}

// True when `pid` names no process that is alive.
bool ProcessIsGone(int pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

std::size_t RemoveScratchIn(int folder, int depth) {
    // Folders nest far less deeply than this in a collection; a deeper tree is left as it is below it.
    constexpr int kDeepest = 256;
    std::size_t removed = 0;
    for (const std::string& name : NamesInFolder(folder)) {
        struct stat entry {};
        if (::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(entry.st_mode) && depth < kDeepest) {
            const FileDescriptor inner(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (inner.get() >= 0) removed += RemoveScratchIn(inner.get(), depth + 1);
            continue;
        }
        const std::optional<std::string_view> own = OwnPartOfAudioScratch(name);
        const std::optional<int> writer = own ? ProcessOfNamePart(*own) : std::nullopt;
        if (S_ISREG(entry.st_mode) && writer && ProcessIsGone(*writer) && ::unlinkat(folder, name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace

std::optional<std::string> AudioExtensionOf(const std::string& format) {
    if (format == "wav" || format == "flac" || format == "ogg") return "." + format;
    return std::nullopt;
}

std::vector<std::filesystem::path> AudioTargets(const std::vector<std::string>& songs, const std::string& extension) {
    std::vector<std::filesystem::path> full;
    full.reserve(songs.size());
    for (const std::string& song : songs) {
        std::error_code ec;
        full.push_back(std::filesystem::absolute(song, ec).lexically_normal());
    }
    std::vector<std::filesystem::path> folders;
    folders.reserve(full.size());
    for (const std::filesystem::path& path : full) folders.push_back(path.parent_path());
    const std::filesystem::path common = CommonFolder(folders);

    std::vector<std::filesystem::path> targets;
    std::map<std::filesystem::path, int> uses;  // how many songs would have each file
    for (const std::filesystem::path& path : full) {
        std::filesystem::path target = path.lexically_relative(common);
        target.replace_extension(extension);
        ++uses[target];
        targets.push_back(std::move(target));
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (uses[targets[i]] < 2) continue;
        std::filesystem::path kept = full[i].lexically_relative(common);
        kept += extension;
        targets[i] = kept;
    }
    return targets;
}

bool MakeFoldersBelow(const std::filesystem::path& root, const std::filesystem::path& relative,
                      std::string& problem) {
    FileDescriptor at(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::path made = root;
    for (const std::filesystem::path& part : relative) {
        if (at.get() < 0) break;
        if (part.empty() || part == ".") continue;
        made /= part;
        if (part == ".." || (::mkdirat(at.get(), part.c_str(), 0777) != 0 && errno != EEXIST)) {
            problem = made.string() + " cannot be made: " + SystemReason(part == ".." ? EINVAL : errno);
            return false;
        }
        // O_NOFOLLOW: a link put where the folder should be is refused, never gone through.
        at = FileDescriptor(::openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (at.get() >= 0) return true;
    problem = made.string() + " cannot be used as a folder: " + SystemReason(errno);
    return false;
}

std::size_t RemoveLeftoverScratch(const std::filesystem::path& root) {
    const FileDescriptor folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() >= 0 ? RemoveScratchIn(folder.get(), 0) : 0;
}

std::optional<FileDescriptor> LockFolder(const std::filesystem::path& folder, bool& inUse) {
    inUse = false;
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        inUse = errno == EWOULDBLOCK;
        return std::nullopt;
    }
    return fd;
}

std::optional<SongRenderer> SongRenderer::Start(const std::filesystem::path& program,
                                                const std::optional<std::filesystem::path>& soundFont, int threads,
                                                std::string& problem) {
    std::vector<std::string> arguments{"render-many"};
    if (soundFont) arguments.insert(arguments.end(), {"--soundfont", soundFont->string()});
    arguments.push_back(std::to_string(std::max(1, threads)));
    std::optional<HelperSession> session = HelperSession::Start(program, arguments, problem);
    if (!session) return std::nullopt;
    const std::optional<std::string> first = session->ReadLine();
    if (first == "ready") return SongRenderer(program, std::move(arguments), std::move(*session));
    if (first && first->rfind("failed ", 0) == 0) {
        problem = first->substr(7);
    } else {
        problem = program.string() + " cannot render: it was built without FluidSynth, or it ended at its start";
    }
    return std::nullopt;
}

AudioFacts SongRenderer::Render(const std::string& song, const std::filesystem::path& target,
                                const std::string& shownTarget) {
    AudioFacts facts{shownTarget, std::nullopt, ""};
    kept_ = false;
    try {
        std::string problem;
        if (!session_) {
            // The program before died: a new one, which first loads its SoundFont.
            session_ = HelperSession::Start(program_, arguments_, problem);
            if (session_ && session_->ReadLine() != "ready") session_.reset();
        }
        const bool sent = session_ && session_->Send(song + '\0' + target.string() + '\0');
        const std::optional<std::string> answer = sent ? session_->ReadLine() : std::nullopt;
        if (!answer) {
            session_.reset();
            facts.error = shownTarget + " was not written: " + (problem.empty() ? program_.string() + " ended" : problem);
            return facts;
        }
        const std::size_t space = answer->find(' ');
        const std::string word = answer->substr(0, space);
        const std::string rest = space == std::string::npos ? "" : answer->substr(space + 1);
        if (word == "written" || word == "kept") {
            facts.seconds = SecondsOf(rest);
            kept_ = word == "kept";
        }
        if (!facts.seconds) facts.error = shownTarget + " " + (rest.empty() ? "was not written" : rest);
    } catch (const std::exception& e) {
        facts.error = shownTarget + " was not written: " + e.what();
    }
    return facts;
}

}  // namespace sonivex
