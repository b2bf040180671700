// Pitch-class names. Flats, because the chroma columns of the result files were already named
// with them; mir_eval reads both spellings.
#include "summary/pitch_names.h"

#include <stdexcept>

namespace zqx::summary {

const char* pitchClassName(int pitchClass) {
    static const char* const kNames[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
    if (pitchClass < 0 || pitchClass > 11)
        throw std::out_of_range("pitch class " + std::to_string(pitchClass) + " is not in 0..11");
    return kNames[pitchClass];
}

}  // namespace zqx::summary
