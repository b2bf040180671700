// Raw float32 input, independent of the byte order of the machine.
#include "host/raw_input.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace zqx::host {

std::vector<float> readRawFloats(const std::string& source) {
    const bool fromStdin = source == "-";
    const std::string shown = fromStdin ? std::string("standard input") : source;
    std::FILE* file = stdin;
    if (fromStdin) {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(source, ec)) throw RawInputError(source + ": is a folder, not a file");
        file = std::fopen(source.c_str(), "rb");
        if (!file) throw RawInputError(source + ": cannot be opened for reading: " + std::strerror(errno));
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = std::ferror(file) != 0;
    if (!fromStdin) std::fclose(file);
    if (failed) throw RawInputError(shown + ": read error");
    if (bytes.size() % 4 != 0)
        throw RawInputError(shown + ": " + std::to_string(bytes.size()) +
                            " bytes is not a whole number of float32 values (truncated?)");
    std::vector<float> values(bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const unsigned char* b = &bytes[i * 4];
        const std::uint32_t bits = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                                   std::uint32_t(b[3]) << 24;
        std::memcpy(&values[i], &bits, sizeof bits);
    }
    return values;
}

}  // namespace zqx::host
