// The text forms of chains and parameter lists: "name:key=value,key=value | name:..." and
// "key=value,key=value", with values typed as int, double or bool.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/parameter_map.h"

namespace zqx::host {

// Text that is not a valid chain or parameter list; the message quotes the offending part.
class ChainSpecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using ParameterList = std::vector<std::pair<std::string, ParameterMap::Value>>;

// One plug-in of a chain and the parameters it is given, in the order written.
struct ChainStage {
    std::string plugin;
    ParameterList parameters;
};

// "key=value,key=value" (blanks around items ignored; empty text gives an empty list). Keys are
// letters, digits and '_' and may not repeat; values are true/false, whole numbers (int) or other
// numbers (double). Throws ChainSpecError.
ParameterList parseParameterList(const std::string& text);

// Stages separated by '|'; each is a plug-in name (letters, digits, '_', '-', '.', or a path
// containing '/'), optionally followed by ':' and a parameter list. Throws ChainSpecError for an
// empty chain, an empty stage or a bad parameter list.
std::vector<ChainStage> parseChainSpec(const std::string& text);

// Copies the list into the map, later entries overriding earlier ones.
void applyParameters(ParameterMap& map, const ParameterList& parameters);

}  // namespace zqx::host
