// Expanding folders and playlists into the inputs of a corpus run, and the result names they get.
#include <gtest/gtest.h>

#include "host/corpus_inputs.h"
#include "tests/host/cli_test_support.h"

namespace {

using namespace zqx::host;
using zqx::test::ScratchDir;
namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<CorpusInput>& inputs) {
    std::vector<std::string> result;
    for (const CorpusInput& input : inputs) result.push_back(input.name);
    return result;
}

TEST(CorpusInputs, AudioSuffixesComeFromLibsndfileAndTheirUsualSpellings) {
    for (const char* path : {"a.wav", "a.WAV", "a.flac", "a.aif", "a.aiff", "a.ogg", "a.mp3", "dir.x/b.au"})
        EXPECT_TRUE(hasAudioSuffix(path)) << path;
    for (const char* path : {"a.txt", "a.raw", "a", "wav", "a.wav.part", ".wav"}) EXPECT_FALSE(hasAudioSuffix(path)) << path;
}

TEST(CorpusInputs, FoldersPlaylistsAndFilesGiveSortedInputsWithSubFolderNames) {
    ScratchDir dir("corpus");
    for (const char* file : {"in/b/song.wav", "in/a/song.wav", "in/a/deep/x.FLAC", "in/top.ogg", "in/notes.txt",
                             "in/.hidden.wav", "in/.cache/y.wav", "in/a/cover.jpg", "other/z.wav"}) {
        fs::create_directories(fs::path(dir.file(file)).parent_path());
        zqx::test::writeText(dir.file(file), "x");
    }
    zqx::test::writeText(dir.file("in/list.m3u"),
                         "\xEF\xBB\xBF#EXTM3U\n a/song.wav \r\n\n# a comment\n./b/../b/song.wav\n../other/z.wav\n" +
                             dir.file("other/z.wav") + "\n");

    const auto walked = expandCorpusInputs({dir.file("in")});
    EXPECT_EQ(names(walked), (std::vector<std::string>{"a/deep/x", "a/song", "b/song", "top"}));
    EXPECT_EQ(walked[1].path, (fs::path(dir.file("in")) / "a/song.wav").string());

    // Playlist entries below its folder keep their sub-folders; others keep their file name only.
    const auto listed = expandCorpusInputs({dir.file("in/list.m3u")});
    EXPECT_EQ(names(listed), (std::vector<std::string>{"a/song", "b/song", "z", "z"}));
    EXPECT_EQ(listed[0].path, (fs::path(dir.file("in")) / "a/song.wav").string());
    EXPECT_EQ(listed[3].path, dir.file("other/z.wav"));

    // Files are taken as given, whatever their suffix; the order of the arguments is kept.
    const auto given = expandCorpusInputs({dir.file("in/notes.txt"), dir.file("other"), "missing.wav"});
    EXPECT_EQ(names(given), (std::vector<std::string>{"notes", "z", "missing"}));

    EXPECT_THROW(expandCorpusInputs({dir.file("gone.m3u")}), InputListError);
}

}  // namespace
