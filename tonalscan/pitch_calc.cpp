// The two functions tonalscan exports: creation and release of the analysis object.
#include "tonalscan/pitch_calc.h"

#include "tonalscan/multi_resolution_pitch_calc.h"

bool InitPitchCalc(CPitchCalc*& calc, int samplingRate) {
    std::unique_ptr<tonalscan::MultiResolutionPitchCalc> made =
        tonalscan::MultiResolutionPitchCalc::create(samplingRate);
    if (!made) return false;
    calc = made.release();
    return true;
}

bool DestroyPitchCalc(CPitchCalc* calc) {
    if (calc == nullptr) return false;
    delete calc;
    return true;
}
