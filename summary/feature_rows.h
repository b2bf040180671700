// A read-only view of a feature stream held row by row: rows of values in time order, each row
// `stride` values after the previous one. The view never owns or copies the values.
#pragma once

#include <cstddef>

namespace zqx::summary {

struct FeatureRows {
    const float* data = nullptr;  // the first value of row 0
    std::size_t rows = 0;
    std::size_t stride = 0;  // values from the start of one row to the start of the next

    const float* row(std::size_t r) const { return data + r * stride; }
};

}  // namespace zqx::summary
