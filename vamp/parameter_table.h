// The Vamp parameters of an adapted plug-in and the module parameters they stand for: one table
// per plug-in, built once, and the values one plug-in instance currently holds.
#pragma once

#include <string>
#include <vector>

#include <vamp-sdk/Plugin.h>

#include "host/chain_spec.h"

namespace zqx::vamp {

// How a Vamp value (always a float) reaches the module.
enum class ModuleValueKind {
    Int,     // rounded to the nearest whole number
    Bool,    // true when the value is at least 0.5
    Double,  // the float value widened
};

// One Vamp parameter and the module parameter it sets.
struct MappedParameter {
    Vamp::PluginBase::ParameterDescriptor descriptor;
    std::string moduleName;
    ModuleValueKind kind = ModuleValueKind::Int;
};

// A descriptor for a whole-number parameter (quantised in steps of 1).
Vamp::PluginBase::ParameterDescriptor wholeNumberParameter(const std::string& identifier, const std::string& name,
                                                           const std::string& description, const std::string& unit,
                                                           float minValue, float maxValue, float defaultValue);

// The current values of one instance, initially the defaults of the table (which must outlive
// this object). Not thread-safe: one instance, one caller.
class ParameterValues {
public:
    explicit ParameterValues(const std::vector<MappedParameter>& table);

    Vamp::PluginBase::ParameterList descriptors() const;
    // The value of a parameter; 0 for an identifier the table does not hold.
    float get(const std::string& identifier) const;
    // Sets a parameter, clamped into its range and rounded to its quantisation step. Returns
    // false (and changes nothing) for an identifier the table does not hold or a NaN.
    bool set(const std::string& identifier, float value);

    // Every parameter as the module reads it, in table order.
    host::ParameterList moduleParameters() const;
    // The module value of one parameter as an int (rounded); fallback for an unknown name.
    int moduleInt(const std::string& moduleName, int fallback) const;

private:
    const std::vector<MappedParameter>& m_table;
    std::vector<float> m_values;
};

}  // namespace zqx::vamp
