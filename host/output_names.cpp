// Unique, stable output names.
#include "host/output_names.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace zqx::host {

namespace {

std::string folded(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

}  // namespace

std::vector<std::string> uniqueOutputNames(const std::vector<std::string>& wanted) {
    std::set<std::string> claimed;
    for (const std::string& name : wanted) claimed.insert(folded(name.empty() ? "input" : name));
    std::set<std::string> taken;
    std::vector<std::string> names;
    names.reserve(wanted.size());
    for (const std::string& want : wanted) {
        const std::string base = want.empty() ? "input" : want;
        std::string name = base;
        // A name is free for a later input only when no input wants it for itself.
        for (int k = 2; taken.count(folded(name)) != 0; ++k) {
            name = base + "-" + std::to_string(k);
            if (claimed.count(folded(name)) != 0) name = base;
        }
        taken.insert(folded(name));
        names.push_back(name);
    }
    return names;
}

}  // namespace zqx::host
