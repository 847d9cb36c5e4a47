#include "duplicates.h"

#include <algorithm>
#include <tuple>

#include "json_writer.h"

namespace sonivex {

std::vector<DuplicateGroup> DuplicateGroups(std::vector<FingerprintedSong> songs) {
    std::erase_if(songs, [](const FingerprintedSong& s) { return s.noteCount == 0; });
    std::sort(songs.begin(), songs.end(), [](const FingerprintedSong& a, const FingerprintedSong& b) {
        return std::tie(a.notesHash, a.file) < std::tie(b.notesHash, b.file);
    });
    std::vector<DuplicateGroup> groups;
    for (std::size_t i = 0; i < songs.size();) {
        std::size_t end = i + 1;
        while (end < songs.size() && songs[end].notesHash == songs[i].notesHash) ++end;
        if (end - i >= 2) {
            DuplicateGroup group{songs[i].notesHash, {}};
            for (std::size_t k = i; k < end; ++k) group.files.push_back(std::move(songs[k].file));
            groups.push_back(std::move(group));
        }
        i = end;
    }
    std::sort(groups.begin(), groups.end(),
              [](const DuplicateGroup& a, const DuplicateGroup& b) { return a.files.front() < b.files.front(); });
    return groups;
}

std::string DuplicateGroupToJson(const DuplicateGroup& group) {
    JsonWriter w;
    w.BeginObject().Field("notes_hash", group.notesHash).Field("count", static_cast<std::int64_t>(group.files.size()));
    w.Key("files").BeginArray();
    for (const std::string& file : group.files) w.String(file);
    w.EndArray();
    return w.EndObject().Text();
}

}  // namespace sonivex
