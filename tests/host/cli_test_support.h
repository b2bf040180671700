// Helpers for tests of the zqx command: scratch folders, generated audio files and running the
// built executable with its output captured.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zqx::test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("zqx_test_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Writes interleaved frames with libsndfile; format is an SF_FORMAT_* combination.
inline bool writeAudio(const std::string& path, const std::vector<float>& interleaved, int channels,
                       int sampleRate, int format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = sf_count_t(interleaved.size() / std::size_t(channels));
    const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
    sf_close(file);
    return ok;
}

inline void writeRawFloats(const std::string& path, const std::vector<float>& values) {
    std::ofstream out(path, std::ios::binary);
    for (float v : values) {
        unsigned char bytes[4];
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
        out.write(reinterpret_cast<const char*>(bytes), 4);
    }
}

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line and captures both streams.
inline CommandResult runShell(const std::string& commandLine) {
    ScratchDir capture("capture");
    const std::string outPath = capture.file("out"), errPath = capture.file("err");
    const std::string command = commandLine + " >\"" + outPath + "\" 2>\"" + errPath + "\"";
    const int raw = std::system(command.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

#ifdef ZQX_EXECUTABLE
// Runs the built zqx with the given argument text (shell syntax) and captures both streams.
inline CommandResult runZqx(const std::string& arguments, const std::string& environment = "") {
    return runShell(environment + " \"" ZQX_EXECUTABLE "\" " + arguments);
}

// The folder of the built zqx, where the plug-ins are built too.
inline const std::filesystem::path kBinDir = std::filesystem::path(ZQX_EXECUTABLE).parent_path();

// Skips the test unless every named plug-in is built (a partial build runs the rest).
#define REQUIRE_PLUGINS(...)                                                                            \
    for (const char* plugin : {__VA_ARGS__})                                                            \
        if (!std::filesystem::exists(zqx::test::kBinDir / (std::string(plugin) + ".so")))               \
            GTEST_SKIP() << plugin << " is not built yet";
#endif

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) result.push_back(line);
    return result;
}

inline std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace zqx::test
