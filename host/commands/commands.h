// The zqx subcommands: their options and entry points. Each returns the process exit status and
// reports failures on stderr as one line per problem; none lets an exception escape.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zqx::host {

struct RunOptions {
    std::string chain;
    std::string globals;
    std::string input;
    bool raw = false;
    unsigned block = 0;        // 0: the chain's "windowSize"
    std::string matrix;        // "ROWSxCOLS", empty for vector blocks
    bool endOfStream = false;
    std::vector<std::string> pluginDirs;
};
int runCommand(const RunOptions& options);

struct InfoOptions {
    std::string plugin;
    std::string parameters;
    std::string globals;
    bool create = false;
    std::vector<std::string> pluginDirs;
};
int infoCommand(const InfoOptions& options);

struct ExtractOptions {
    std::vector<std::string> inputs;
    std::string outputDir = ".";
    int rate = 0;              // 0: keep each file's rate
    int jobs = 1;
    std::vector<std::string> settings;  // "plugin:key=value,..." overrides of the defaults
    std::vector<std::string> pluginDirs;
    bool quiet = false;
    bool skipExisting = false;  // leave out inputs whose complete result set is in outputDir
};
int extractCommand(const ExtractOptions& options);

struct DemoOptions {
    std::string outputDir;     // empty: do not keep result files
    std::string saveAudio;     // empty: do not write the synthesised audio
    double seconds = 20.0;
    std::vector<std::string> pluginDirs;
};
int demoCommand(const DemoOptions& options);

// A bad option value found after parsing (a --matrix shape, --raw missing for standard input):
// reported like any error, with the usage status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "zqx: <message>" on stderr.
void reportError(const std::string& message);

}  // namespace zqx::host
