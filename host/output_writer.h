// Writing result files so that a reader never sees a partial one: each file is written under a
// temporary name in its final folder and renamed into place once complete.
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zqx::host {

// A result file that could not be written; the message names the file or folder.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws OutputError unless dir exists (or can be created, with its parents) and is writable.
void ensureWritableDirectory(const std::string& dir);

// Writes content to path through a temporary file in the same folder and a rename. On failure the
// temporary file is removed, an existing file at path is left as it was, and OutputError is thrown.
void writeFileAtomically(const std::string& path, const std::string& content);

// A set of files that appear together or not at all: add() collects them, commit() checks that no
// folder or other non-file stands at a target, writes every one to its temporary name and renames
// them only when all are complete. The files they replace are moved aside until the whole set is
// in place, so a failure at any step leaves the previous set as it was and no temporary file.
class OutputBatch {
public:
    void add(std::string path, std::string content);
    // A file already complete under `temporary` (from temporaryPathFor(path)), renamed to path with
    // the others; a failure of the batch removes it too.
    void addWritten(std::string path, std::string temporary);
    void commit();

private:
    struct File {
        std::string path;
        std::string content;
        std::string temporary;  // set for files added complete
    };
    std::vector<File> m_files;
};

// A hidden name in path's folder, unique per process and call, for writing path's content before
// it is renamed into place.
std::string temporaryPathFor(const std::string& path);

// A file written through a large buffer, for results written piece by piece as they are produced.
// Errors throw OutputError naming `shownName`; a file destroyed before close() is removed.
class BufferedFile {
public:
    BufferedFile(std::string path, std::string shownName);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    void write(const char* data, std::size_t n);
    void write(const std::string& text) { write(text.data(), text.size()); }
    void put(char c) { write(&c, 1); }
    // Appends the whole content of the file at `path` (read in pieces).
    void append(const std::string& path);
    // Flushes and closes; the file stays.
    void close();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_shownName;
    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
};

// A float printed so that reading it back gives the same float ("%.9g").
std::string formatFloat(float value);
// A double printed round-trip exact ("%.17g").
std::string formatDouble(double value);
// The same into `out` (room for 32 characters); returns the end of the text. Neither allocates.
char* formatFloat(char* out, float value);
char* formatDouble(char* out, double value);

}  // namespace zqx::host
