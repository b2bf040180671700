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
    if (fs::is_symlink(fs::symlink_status(dir, ec)) && !fs::exists(dir, ec))
        throw OutputError("output folder '" + dir + "' is a symbolic link to '" + fs::read_symlink(dir, ec).string() +
                          "', which does not exist");
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
    // Every target must be a place for a file before anything is written.
    for (const auto& [path, content] : m_files) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(path, ec);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status))
            throw OutputError("cannot write '" + path + "': something other than a file is in the way");
    }
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
    // The previous files step aside under temporary names until the whole new set is in place, so
    // a rename failing part-way can put every one of them back.
    std::vector<std::string> previous(m_files.size());
    std::size_t placed = 0;
    std::error_code failure;
    for (; placed < m_files.size(); ++placed) {
        const std::string& target = m_files[placed].first;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(target, ec))) {
            const std::string aside = temporaryNameFor(target);
            fs::rename(target, aside, failure);
            if (failure) break;
            previous[placed] = aside;
        }
        fs::rename(temporaries[placed], target, failure);
        if (failure) break;
    }
    if (failure) {
        const std::string failed = m_files[placed].first;
        for (std::size_t j = placed; j < temporaries.size(); ++j) removeQuietly(temporaries[j]);
        for (std::size_t j = 0; j <= placed && j < m_files.size(); ++j) {
            std::error_code ec;
            if (j < placed) removeQuietly(m_files[j].first);
            if (!previous[j].empty()) fs::rename(previous[j], m_files[j].first, ec);
        }
        throw OutputError("cannot write '" + failed + "': " + failure.message());
    }
    for (const std::string& aside : previous)
        if (!aside.empty()) removeQuietly(aside);
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
