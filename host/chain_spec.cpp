// Parsing chain and parameter-list texts.
#include "host/chain_spec.h"

#include <algorithm>
#include <cctype>

namespace zqx::host {

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

bool isKeyChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool isPluginChar(char c) {
    return isKeyChar(c) || c == '-' || c == '.' || c == '/' || c == '\\' || c == '~' || c == '+';
}

}  // namespace

ParameterList parseParameterList(const std::string& text) {
    ParameterList list;
    if (trim(text).empty()) return list;
    for (const std::string& rawItem : split(text, ',')) {
        const std::string item = trim(rawItem);
        const auto equals = item.find('=');
        if (item.empty()) throw ChainSpecError("empty item in parameter list '" + text + "'");
        if (equals == std::string::npos)
            throw ChainSpecError("parameter '" + item + "' has no value (expected key=value)");
        const std::string key = trim(item.substr(0, equals));
        const std::string valueText = trim(item.substr(equals + 1));
        if (key.empty() || !std::all_of(key.begin(), key.end(), isKeyChar))
            throw ChainSpecError("bad parameter name '" + key + "' in '" + item + "'");
        if (valueText.empty()) throw ChainSpecError("parameter '" + key + "' has an empty value");
        const ParameterMap::Value value = parseParameterValue(valueText);
        if (std::holds_alternative<std::string>(value))
            throw ChainSpecError("value '" + valueText + "' of parameter '" + key +
                                 "' is not an int, a double or true/false");
        const bool repeated = std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.first == key; });
        if (repeated) throw ChainSpecError("parameter '" + key + "' is given twice");
        list.emplace_back(key, value);
    }
    return list;
}

std::vector<ChainStage> parseChainSpec(const std::string& text) {
    if (trim(text).empty()) throw ChainSpecError("the chain is empty");
    std::vector<ChainStage> chain;
    for (const std::string& rawStage : split(text, '|')) {
        const std::string stageText = trim(rawStage);
        if (stageText.empty()) throw ChainSpecError("empty stage in chain '" + text + "'");
        // A Windows drive letter ("C:\...") is part of a path, not a parameter separator.
        std::string::size_type colon = stageText.find(':');
        if (colon == 1 && stageText.size() > 2 && (stageText[2] == '\\' || stageText[2] == '/'))
            colon = stageText.find(':', 2);
        ChainStage stage;
        stage.plugin = trim(stageText.substr(0, colon));
        if (stage.plugin.empty()) throw ChainSpecError("stage '" + stageText + "' has no plug-in name");
        if (!std::all_of(stage.plugin.begin(), stage.plugin.end(), isPluginChar))
            throw ChainSpecError("bad plug-in name '" + stage.plugin + "' in chain '" + text + "'");
        if (colon != std::string::npos) {
            try {
                stage.parameters = parseParameterList(stageText.substr(colon + 1));
            } catch (const ChainSpecError& error) {
                throw ChainSpecError(stage.plugin + ": " + error.what());
            }
        }
        chain.push_back(std::move(stage));
    }
    return chain;
}

void applyParameters(ParameterMap& map, const ParameterList& parameters) {
    for (const auto& [key, value] : parameters) map.set(key, value);
}

}  // namespace zqx::host
