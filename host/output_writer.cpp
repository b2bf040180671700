// Temporary-name-and-rename writing of result files.
#include "host/output_writer.h"

#include <atomic>
#include <charconv>
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

std::string temporaryPathFor(const std::string& path) {
    // Unique per process and per call, so parallel jobs writing into one folder never collide.
    static std::atomic<unsigned> counter{0};
    const fs::path target(path);
    return (target.parent_path() /
            ("." + target.filename().string() + ".tmp" + std::to_string(ZQX_GETPID()) + "-" +
             std::to_string(counter++)))
        .string();
}

namespace {

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
    } else {
        const bool created = fs::create_directories(dir, ec);
        // Another job may have made it since the check above (create_directories then answers
        // false without an error): a folder there now is as good.
        if (ec || (!created && !fs::is_directory(dir, ec)))
            throw OutputError("cannot create output folder '" + dir + "': " +
                              (ec ? ec.message() : std::string("something else is in the way")));
    }
    // Permission bits do not tell the whole story (read-only mounts, ACLs): try it.
    const std::string probe = temporaryPathFor((fs::path(dir) / "probe").string());
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
    m_files.push_back({std::move(path), std::move(content), {}});
}

void OutputBatch::addWritten(std::string path, std::string temporary) {
    m_files.push_back({std::move(path), {}, std::move(temporary)});
}

void OutputBatch::commit() {
    // Every target must be a place for a file before anything is written.
    for (const File& file : m_files) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(file.path, ec);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
            for (const File& f : m_files)
                if (!f.temporary.empty()) removeQuietly(f.temporary);
            throw OutputError("cannot write '" + file.path + "': something other than a file is in the way");
        }
    }
    try {
        for (File& file : m_files) {
            if (!file.temporary.empty()) continue;
            file.temporary = temporaryPathFor(file.path);
            writeWhole(file.temporary, file.content, file.path);
        }
    } catch (...) {
        for (const File& file : m_files)
            if (!file.temporary.empty()) removeQuietly(file.temporary);
        throw;
    }
    // The previous files step aside under temporary names until the whole new set is in place, so
    // a rename failing part-way can put every one of them back.
    std::vector<std::string> previous(m_files.size());
    std::size_t placed = 0;
    std::error_code failure;
    for (; placed < m_files.size(); ++placed) {
        const std::string& target = m_files[placed].path;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(target, ec))) {
            const std::string aside = temporaryPathFor(target);
            fs::rename(target, aside, failure);
            if (failure) break;
            previous[placed] = aside;
        }
        fs::rename(m_files[placed].temporary, target, failure);
        if (failure) break;
    }
    if (failure) {
        const std::string failed = m_files[placed].path;
        for (std::size_t j = placed; j < m_files.size(); ++j) removeQuietly(m_files[j].temporary);
        for (std::size_t j = 0; j <= placed && j < m_files.size(); ++j) {
            std::error_code ec;
            if (j < placed) removeQuietly(m_files[j].path);
            if (!previous[j].empty()) fs::rename(previous[j], m_files[j].path, ec);
        }
        throw OutputError("cannot write '" + failed + "': " + failure.message());
    }
    for (const std::string& aside : previous)
        if (!aside.empty()) removeQuietly(aside);
}

BufferedFile::BufferedFile(std::string path, std::string shownName)
    : m_path(std::move(path)), m_shownName(std::move(shownName)), m_buffer(std::size_t{1} << 16) {
    m_file = std::fopen(m_path.c_str(), "wb");
    if (!m_file) throw OutputError("cannot write '" + m_shownName + "': " + std::strerror(errno));
    std::setvbuf(m_file, m_buffer.data(), _IOFBF, m_buffer.size());
}

BufferedFile::~BufferedFile() {
    if (!m_file) return;
    std::fclose(m_file);
    removeQuietly(m_path);
}

void BufferedFile::write(const char* data, std::size_t n) {
    if (std::fwrite(data, 1, n, m_file) != n)
        throw OutputError("cannot write '" + m_shownName + "': " + std::strerror(errno));
}

void BufferedFile::append(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) throw OutputError("cannot read back '" + path + "': " + std::strerror(errno));
    char piece[1 << 15];
    std::size_t n = 0;
    while ((n = std::fread(piece, 1, sizeof piece, in)) > 0) {
        if (std::fwrite(piece, 1, n, m_file) != n) {
            std::fclose(in);
            throw OutputError("cannot write '" + m_shownName + "': " + std::strerror(errno));
        }
    }
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) throw OutputError("cannot read back '" + path + "'");
}

void BufferedFile::close() {
    std::FILE* file = m_file;
    m_file = nullptr;
    if (std::fclose(file) != 0) {
        removeQuietly(m_path);
        throw OutputError("cannot write '" + m_shownName + "': " + std::strerror(errno));
    }
}

// std::to_chars with a precision prints as printf's %.*g does, without the locale or a format
// string to parse.
char* formatFloat(char* out, float value) {
    return std::to_chars(out, out + 32, double(value), std::chars_format::general, 9).ptr;
}

char* formatDouble(char* out, double value) {
    return std::to_chars(out, out + 32, value, std::chars_format::general, 17).ptr;
}

std::string formatFloat(float value) {
    char buffer[32];
    return std::string(buffer, formatFloat(buffer, value));
}

std::string formatDouble(double value) {
    char buffer[32];
    return std::string(buffer, formatDouble(buffer, value));
}

}  // namespace zqx::host
