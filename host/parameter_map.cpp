// ParameterMap lookups with their type conversions, and the text form of values.
#include "host/parameter_map.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace zqx::host {

const ParameterMap::Value* ParameterMap::find(const std::string& name) {
    m_reads.push_back(name);
    const auto it = m_values.find(name);
    return it == m_values.end() ? nullptr : &it->second;
}

namespace {

// The value as the user most likely typed it: the shortest text that reads back as it.
std::string shortText(const ParameterMap::Value& value) {
    if (const auto* d = std::get_if<double>(&value)) {
        char buffer[32];
        for (int digits = 1; digits <= 17; ++digits) {
            std::snprintf(buffer, sizeof buffer, "%.*g", digits, *d);
            if (std::strtod(buffer, nullptr) == *d) break;
        }
        return buffer;
    }
    return formatParameterValue(value);
}

}  // namespace

void ParameterMap::unusable(const std::string& name, const Value& value, const char* wanted) {
    m_unusable.push_back(name + "=" + shortText(value) + " is not " + wanted);
}

std::vector<std::string> ParameterMap::unreadNames() const {
    std::vector<std::string> names;
    for (const auto& entry : m_values)
        if (std::find(m_reads.begin(), m_reads.end(), entry.first) == m_reads.end()) names.push_back(entry.first);
    return names;
}

bool ParameterMap::contains(const std::string& name) const { return m_values.count(name) != 0; }

std::string ParameterMap::getString(const std::string& name, const std::string& defaultValue) {
    const Value* v = find(name);
    if (const auto* s = v ? std::get_if<std::string>(v) : nullptr) return *s;
    return v ? formatParameterValue(*v) : defaultValue;
}

void ParameterMap::setString(const std::string& name, const std::string& value) { m_values[name] = value; }

bool ParameterMap::remove(const std::string& name) { return m_values.erase(name) != 0; }

int ParameterMap::getInt(const std::string& name, int defaultValue) {
    const Value* v = find(name);
    if (!v) return defaultValue;
    if (const auto* i = std::get_if<int>(v)) return *i;
    if (const auto* d = std::get_if<double>(v)) {
        if (std::trunc(*d) == *d && *d >= std::numeric_limits<int>::min() &&
            *d <= std::numeric_limits<int>::max())
            return static_cast<int>(*d);
    }
    unusable(name, *v, "a whole number");
    return defaultValue;
}

bool ParameterMap::getBool(const std::string& name) {
    const Value* v = find(name);
    if (!v) return false;
    if (const auto* b = std::get_if<bool>(v)) return *b;
    if (const auto* i = std::get_if<int>(v)) return *i != 0;
    unusable(name, *v, "true or false");
    return false;
}

double ParameterMap::getDouble(const std::string& name, double defaultValue) {
    const Value* v = find(name);
    if (!v) return defaultValue;
    if (const auto* d = std::get_if<double>(v)) return *d;
    if (const auto* i = std::get_if<int>(v)) return *i;
    unusable(name, *v, "a number");
    return defaultValue;
}

void ParameterMap::setBool(const std::string& name, bool value) { m_values[name] = value; }
void ParameterMap::setDouble(const std::string& name, double value) { m_values[name] = value; }
void ParameterMap::setInt(const std::string& name, int value) { m_values[name] = value; }

ParameterMap::Value parseParameterValue(const std::string& text) {
    if (text == "true") return true;
    if (text == "false") return false;
    if (!text.empty()) {
        errno = 0;
        char* end = nullptr;
        const long long whole = std::strtoll(text.c_str(), &end, 10);
        if (*end == '\0' && errno == 0 && whole >= std::numeric_limits<int>::min() &&
            whole <= std::numeric_limits<int>::max())
            return static_cast<int>(whole);
        errno = 0;
        const double number = std::strtod(text.c_str(), &end);
        if (*end == '\0' && errno == 0 && std::isfinite(number)) return number;
    }
    return text;
}

std::string formatParameterValue(const ParameterMap::Value& value) {
    if (const auto* i = std::get_if<int>(&value)) return std::to_string(*i);
    if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
    if (const auto* d = std::get_if<double>(&value)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        return buffer;
    }
    return std::get<std::string>(value);
}

}  // namespace zqx::host
