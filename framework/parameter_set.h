// ParameterSet: the host's source of named parameters, read by module constructors.
#pragma once

#include <string>

// The virtual layout is fixed: five operations that modules never call, then getInt, getBool,
// getDouble, two more that modules never call, then setInt. Modules pass -1 (or -1.0 / 10.0) as
// the default and get it back for a name the set does not hold; getBool answers false for such a
// name. setInt stores the value so that modules created later with the same set read it.
class ParameterSet {
public:
    virtual ~ParameterSet() = default;
    virtual bool contains(const std::string& name) const = 0;
    virtual std::string getString(const std::string& name, const std::string& defaultValue) = 0;
    virtual void setString(const std::string& name, const std::string& value) = 0;
    virtual bool remove(const std::string& name) = 0;

    virtual int getInt(const std::string& name, int defaultValue) = 0;
    virtual bool getBool(const std::string& name) = 0;
    virtual double getDouble(const std::string& name, double defaultValue) = 0;

    virtual void setBool(const std::string& name, bool value) = 0;
    virtual void setDouble(const std::string& name, double value) = 0;

    virtual void setInt(const std::string& name, int value) = 0;
};
