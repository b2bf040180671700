// Parameter tables: clamping, quantising and typing Vamp values for the modules.
#include "vamp/parameter_table.h"

#include <algorithm>
#include <cmath>

namespace zqx::vamp {

Vamp::PluginBase::ParameterDescriptor wholeNumberParameter(const std::string& identifier, const std::string& name,
                                                           const std::string& description, const std::string& unit,
                                                           float minValue, float maxValue, float defaultValue) {
    Vamp::PluginBase::ParameterDescriptor d;
    d.identifier = identifier;
    d.name = name;
    d.description = description;
    d.unit = unit;
    d.minValue = minValue;
    d.maxValue = maxValue;
    d.defaultValue = defaultValue;
    d.isQuantized = true;
    d.quantizeStep = 1.0f;
    return d;
}

ParameterValues::ParameterValues(const std::vector<MappedParameter>& table) : m_table(table) {
    for (const MappedParameter& p : m_table) m_values.push_back(p.descriptor.defaultValue);
}

Vamp::PluginBase::ParameterList ParameterValues::descriptors() const {
    Vamp::PluginBase::ParameterList list;
    for (const MappedParameter& p : m_table) list.push_back(p.descriptor);
    return list;
}

float ParameterValues::get(const std::string& identifier) const {
    for (std::size_t i = 0; i < m_table.size(); ++i)
        if (m_table[i].descriptor.identifier == identifier) return m_values[i];
    return 0.0f;
}

bool ParameterValues::set(const std::string& identifier, float value) {
    if (std::isnan(value)) return false;
    for (std::size_t i = 0; i < m_table.size(); ++i) {
        const auto& d = m_table[i].descriptor;
        if (d.identifier != identifier) continue;
        float v = std::clamp(value, d.minValue, d.maxValue);
        if (d.isQuantized && d.quantizeStep > 0.0f)
            v = std::min(d.maxValue, d.minValue + std::round((v - d.minValue) / d.quantizeStep) * d.quantizeStep);
        m_values[i] = v;
        return true;
    }
    return false;
}

namespace {

host::ParameterMap::Value moduleValue(ModuleValueKind kind, float value) {
    switch (kind) {
    case ModuleValueKind::Int: return int(std::lround(value));
    case ModuleValueKind::Bool: return value >= 0.5f;
    case ModuleValueKind::Double: return double(value);
    }
    return double(value);
}

}  // namespace

host::ParameterList ParameterValues::moduleParameters() const {
    host::ParameterList list;
    for (std::size_t i = 0; i < m_table.size(); ++i)
        list.emplace_back(m_table[i].moduleName, moduleValue(m_table[i].kind, m_values[i]));
    return list;
}

int ParameterValues::moduleInt(const std::string& moduleName, int fallback) const {
    for (std::size_t i = 0; i < m_table.size(); ++i)
        if (m_table[i].moduleName == moduleName) return int(std::lround(m_values[i]));
    return fallback;
}

}  // namespace zqx::vamp
