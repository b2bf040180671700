// Writing result files so that a reader never sees a partial one: each file is written under a
// temporary name in its final folder and renamed into place once complete.
#pragma once

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
    void commit();
    const std::vector<std::pair<std::string, std::string>>& files() const { return m_files; }

private:
    std::vector<std::pair<std::string, std::string>> m_files;
};

// A float printed so that reading it back gives the same float ("%.9g").
std::string formatFloat(float value);
// A double printed round-trip exact ("%.17g").
std::string formatDouble(double value);

}  // namespace zqx::host
