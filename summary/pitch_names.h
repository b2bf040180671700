// The one spelling of pitch-class names used in every output: flats, C first.
#pragma once

#include <string>

namespace zqx::summary {

// "C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B" for pitch classes 0..11
// (0 is C). Throws std::out_of_range for any other value.
const char* pitchClassName(int pitchClass);

}  // namespace zqx::summary
