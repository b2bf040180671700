// Temporary-name-and-rename writing of result files.
#include "host/output_writer.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define ZQX_GETPID _getpid
#else
#include <unistd.h>
#define ZQX_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace zqx::host {

namespace {

std::string temporaryNameFor(const std::string& path) {
    // Unique per process and per call, so parallel jobs writing into one folder never collide.
    static std::atomic<unsigned> counter{0};
    const fs::path target(path);
    return (target.parent_path() /
            ("." + target.filename().string() + ".tmp" + std::to_string(ZQX_GETPID()) + "-" +
             std::to_string(counter++)))
        .string();
}

void writeWhole(const std::string& path, const std::string& content, const std::string& shownName) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw OutputError("cannot write '" + shownName + "': " + std::strerror(errno));
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        throw OutputError("cannot write '" + shownName + "': " + std::strerror(written ? errno : writeErrno));
    }
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

}  // namespace

void ensureWritableDirectory(const std::string& dir) {
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec)) throw OutputError("output folder '" + dir + "' is not a folder");
    } else if (!fs::create_directories(dir, ec) || ec) {
        throw OutputError("cannot create output folder '" + dir + "': " + ec.message());
    }
    // Permission bits do not tell the whole story (read-only mounts, ACLs): try it.
    const std::string probe = temporaryNameFor((fs::path(dir) / "probe").string());
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) throw OutputError("output folder '" + dir + "' is not writable: " + std::strerror(errno));
    std::fclose(file);
    removeQuietly(probe);
}

void writeFileAtomically(const std::string& path, const std::string& content) {
    OutputBatch batch;
    batch.add(path, content);
    batch.commit();
}

void OutputBatch::add(std::string path, std::string content) {
    m_files.emplace_back(std::move(path), std::move(content));
}

void OutputBatch::commit() {
    std::vector<std::string> temporaries;
    try {
        for (const auto& [path, content] : m_files) {
            temporaries.push_back(temporaryNameFor(path));
            writeWhole(temporaries.back(), content, path);
        }
    } catch (...) {
        for (const std::string& t : temporaries) removeQuietly(t);
        throw;
    }
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        std::error_code ec;
        fs::rename(temporaries[i], m_files[i].first, ec);
        if (ec) {
            for (std::size_t j = i; j < temporaries.size(); ++j) removeQuietly(temporaries[j]);
            for (std::size_t j = 0; j < i; ++j) removeQuietly(m_files[j].first);
            throw OutputError("cannot write '" + m_files[i].first + "': " + ec.message());
        }
    }
}

std::string formatFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", double(value));
    return buffer;
}

std::string formatDouble(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

}  // namespace zqx::host
