// Reading raw little-endian float32 data from a file or from standard input ("-").
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zqx::host {

class RawInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every float of the source, in order. Throws RawInputError naming the source when it cannot be
// opened or read, or when its length is not a whole number of 4-byte floats.
std::vector<float> readRawFloats(const std::string& source);

}  // namespace zqx::host
