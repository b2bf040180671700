// Expanding folders and playlists into the files of a corpus run.
#include "host/corpus_inputs.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

namespace zqx::host {

namespace fs = std::filesystem;

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// libsndfile lists one suffix per format; files in the wild use a few other spellings of them.
// "raw" is left out: header-less data cannot be read without being told its format.
const std::set<std::string>& audioSuffixes() {
    static const std::set<std::string> suffixes = [] {
        std::set<std::string> listed;
        int count = 0;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
        for (int i = 0; i < count; ++i) {
            SF_FORMAT_INFO info{};
            info.format = i;
            if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension)
                listed.insert(lowerCase(info.extension));
        }
        listed.erase("raw");
        const std::pair<const char*, const char*> otherSpellings[] = {
            {"aiff", "aif"}, {"aiff", "aifc"}, {"au", "snd"}, {"oga", "ogg"}, {"oga", "opus"},
            {"m1a", "mp3"},  {"m1a", "mp2"},   {"m1a", "mpga"}, {"wav", "wave"}};
        for (const auto& [format, spelling] : otherSpellings)
            if (listed.count(format)) listed.insert(spelling);
        return listed;
    }();
    return suffixes;
}

// The results' name: the sub-folders and the file name without its suffix.
std::string resultName(const fs::path& relative) {
    const fs::path stem = relative.stem();
    const fs::path name = relative.parent_path() / (stem.empty() ? fs::path("input") : stem);
    return name.lexically_normal().generic_string();
}

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

void addFolder(const fs::path& folder, std::vector<CorpusInput>& inputs) {
    std::vector<fs::path> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (isHidden(it->path())) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(error) && hasAudioSuffix(it->path().string())) files.push_back(it->path());
    }
    if (error) throw InputListError("cannot read folder '" + folder.string() + "': " + error.message());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.generic_string() < b.generic_string(); });
    for (const fs::path& file : files) inputs.push_back({file.string(), resultName(file.lexically_relative(folder))});
}

void addPlaylist(const fs::path& playlist, std::vector<CorpusInput>& inputs) {
    std::ifstream in(playlist, std::ios::binary);
    if (!in) throw InputListError("cannot read playlist '" + playlist.string() + "'");
    const fs::path base = playlist.parent_path();
    std::string line;
    for (bool first = true; std::getline(in, line); first = false) {
        if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a UTF-8 byte order mark
        const auto begin = line.find_first_not_of(" \t\r");
        if (begin == std::string::npos || line[begin] == '#') continue;
        const auto last = line.find_last_not_of(" \t\r");
        const fs::path entry = fs::path(line.substr(begin, last - begin + 1));
        const fs::path normal = entry.lexically_normal();
        // Entries below the playlist's folder keep their sub-folders in the result name.
        const bool below = entry.is_relative() && !normal.empty() && *normal.begin() != "..";
        inputs.push_back({(entry.is_relative() ? base / entry : entry).string(),
                          resultName(below ? normal : entry.filename())});
    }
    if (in.bad()) throw InputListError("cannot read playlist '" + playlist.string() + "'");
}

}  // namespace

bool hasAudioSuffix(const std::string& path) {
    const std::string suffix = fs::path(path).extension().string();
    return suffix.size() > 1 && audioSuffixes().count(lowerCase(suffix.substr(1))) > 0;
}

std::vector<CorpusInput> expandCorpusInputs(const std::vector<std::string>& arguments) {
    std::vector<CorpusInput> inputs;
    for (const std::string& argument : arguments) {
        const fs::path path(argument);
        std::error_code error;
        const std::string suffix = lowerCase(path.extension().string());
        if (fs::is_directory(path, error))
            addFolder(path, inputs);
        else if (suffix == ".m3u" || suffix == ".m3u8")
            addPlaylist(path, inputs);
        else
            inputs.push_back({argument, resultName(path.filename())});
    }
    return inputs;
}

}  // namespace zqx::host
