// FakeParameterSet: a ParameterSet for module tests that construct module classes directly, so that
// they need no host library. It answers reads the way the host's set does (an int, or a double
// holding a whole number, for getInt; a bool or a non-zero int for getBool; a double or an int for
// getDouble) and logs every read in order.
#pragma once

#include <cmath>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "framework/parameter_set.h"

namespace zqx::test {

class FakeParameterSet : public ParameterSet {
public:
    using Value = std::variant<int, bool, double, std::string>;

    FakeParameterSet() = default;
    FakeParameterSet(std::initializer_list<std::pair<const std::string, Value>> values) : m_values(values) {}

    bool contains(const std::string& name) const override { return m_values.count(name) > 0; }
    std::string getString(const std::string& name, const std::string& defaultValue) override {
        const Value* v = read(name);
        const std::string* s = v ? std::get_if<std::string>(v) : nullptr;
        return s ? *s : defaultValue;
    }
    void setString(const std::string& name, const std::string& value) override { m_values[name] = value; }
    bool remove(const std::string& name) override { return m_values.erase(name) > 0; }

    int getInt(const std::string& name, int defaultValue) override {
        const Value* v = read(name);
        if (!v) return defaultValue;
        if (const int* i = std::get_if<int>(v)) return *i;
        const double* d = std::get_if<double>(v);
        if (d && std::trunc(*d) == *d && *d >= -2147483648.0 && *d <= 2147483647.0) return static_cast<int>(*d);
        return defaultValue;
    }
    bool getBool(const std::string& name) override {
        const Value* v = read(name);
        if (!v) return false;
        if (const bool* b = std::get_if<bool>(v)) return *b;
        const int* i = std::get_if<int>(v);
        return i && *i != 0;
    }
    double getDouble(const std::string& name, double defaultValue) override {
        const Value* v = read(name);
        if (!v) return defaultValue;
        if (const double* d = std::get_if<double>(v)) return *d;
        if (const int* i = std::get_if<int>(v)) return *i;
        return defaultValue;
    }

    void setBool(const std::string& name, bool value) override { m_values[name] = value; }
    void setDouble(const std::string& name, double value) override { m_values[name] = value; }
    void setInt(const std::string& name, int value) override { m_values[name] = value; }

    void set(const std::string& name, Value value) { m_values[name] = std::move(value); }
    const std::map<std::string, Value>& values() const { return m_values; }
    // The names read through the four getters, in call order.
    const std::vector<std::string>& readLog() const { return m_reads; }

private:
    const Value* read(const std::string& name) {
        m_reads.push_back(name);
        const auto found = m_values.find(name);
        return found == m_values.end() ? nullptr : &found->second;
    }

    std::map<std::string, Value> m_values;
    std::vector<std::string> m_reads;
};

}  // namespace zqx::test
