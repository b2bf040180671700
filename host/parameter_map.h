// ParameterMap: the host's ParameterSet, holding typed values by name and logging every read.
#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "framework/parameter_set.h"

namespace zqx::host {

class ParameterMap : public ParameterSet {
public:
    using Value = std::variant<int, bool, double, std::string>;

    ParameterMap() = default;
    ParameterMap(std::initializer_list<std::pair<const std::string, Value>> values) : m_values(values) {}

    bool contains(const std::string& name) const override;
    std::string getString(const std::string& name, const std::string& defaultValue) override;
    void setString(const std::string& name, const std::string& value) override;
    bool remove(const std::string& name) override;

    // An int, or a double holding a whole number in int range; otherwise defaultValue.
    int getInt(const std::string& name, int defaultValue) override;
    // A bool, or an int (non-zero is true); false for a missing name or another type.
    bool getBool(const std::string& name) override;
    // A double or an int; otherwise defaultValue.
    double getDouble(const std::string& name, double defaultValue) override;

    void setBool(const std::string& name, bool value) override;
    void setDouble(const std::string& name, double value) override;
    void setInt(const std::string& name, int value) override;

    void set(const std::string& name, Value value) { m_values[name] = std::move(value); }
    const std::map<std::string, Value>& values() const { return m_values; }
    // The names read through getInt, getBool, getDouble and getString, in call order.
    const std::vector<std::string>& readLog() const { return m_reads; }
    void clearReadLog() { m_reads.clear(); }
    // Reads that found a value of a type they could not use, as "name=value is not a whole
    // number" (getInt), "... is not true or false" (getBool), "... is not a number" (getDouble).
    const std::vector<std::string>& unusableReads() const { return m_unusable; }
    // The names of values that no read has asked for since the read log was last cleared.
    std::vector<std::string> unreadNames() const;

private:
    const Value* find(const std::string& name);
    void unusable(const std::string& name, const Value& value, const char* wanted);

    std::map<std::string, Value> m_values;
    std::vector<std::string> m_reads;
    std::vector<std::string> m_unusable;
};

// Reads "name=value" text as a typed value: true/false as bool, a whole number as int, another
// number as double, anything else as string.
ParameterMap::Value parseParameterValue(const std::string& text);
// The value as text, round-trip exact for doubles.
std::string formatParameterValue(const ParameterMap::Value& value);

}  // namespace zqx::host
