// The inputs of a corpus run: files as given, folders walked for audio files, and .m3u playlists,
// each with the name its results get inside the output folder.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zqx::host {

// A folder or playlist that cannot be read; the message names it.
class InputListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CorpusInput {
    std::string path;  // the file to read
    // Where its results go, relative to the output folder and without suffix, '/'-separated: the
    // file name without its suffix, after the sub-folders it lies in below a folder or playlist
    // given ("a/song" for <folder>/a/song.wav), so that a/song.wav and b/song.wav never collide.
    std::string name;
};

// Whether libsndfile reads files with this name's suffix (case-insensitive): the suffixes it lists
// for its formats, and the usual other spellings of them (".aif", ".ogg", ".mp3", ...).
bool hasAudioSuffix(const std::string& path);

// The inputs, in the order given. A folder gives every file with an audio suffix below it, sorted
// by path, leaving out files and folders whose names start with '.'; a file ending in ".m3u" or
// ".m3u8" gives the paths it lists, one per line (blank lines and lines starting with '#' are
// skipped; relative paths are taken from the playlist's folder). Any other argument is taken as an
// audio file as it is (the reader reports what is wrong with it). Throws InputListError for a
// folder or playlist that cannot be read.
std::vector<CorpusInput> expandCorpusInputs(const std::vector<std::string>& arguments);

}  // namespace zqx::host
