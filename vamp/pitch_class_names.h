// The names of the twelve pitch classes, C first, spelt as the zqx command's result files spell
// them.
#pragma once

namespace zqx::vamp {

inline constexpr const char* kPitchClassNames[12] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                     "Gb", "G",  "Ab", "A",  "Bb", "B"};

}  // namespace zqx::vamp
