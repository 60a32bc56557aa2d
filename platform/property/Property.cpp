#include "Property.h"

#include <fstream>
#include <sstream>

namespace {

const char* const kBlanks = " \t\f\r";

std::string Trim(const std::string& text) {
    auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

bool PropertyManager::LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return false;
    LoadText(text.str());
    return true;
}

void PropertyManager::LoadText(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == '!') continue;
        auto separator = line.find_first_of("=:");
        std::string key = Trim(line.substr(0, separator));
        if (key.empty()) continue;
        values_[key] = separator == std::string::npos ? "" : Trim(line.substr(separator + 1));
    }
}

bool PropertyManager::AddProperty(const std::string& type, const std::string& key,
                                  const std::string& defaultValue) {
    if (Trim(key).empty()) return false;
    types_[key] = type;
    values_.emplace(key, defaultValue);  // keeps a loaded value
    return true;
}

std::string PropertyManager::GetValue(const std::string& key) {
    auto found = values_.find(key);
    return found != values_.end() ? found->second : "";
}

Property* Property::GetInstance() {
    static auto* instance = new Property;
    return instance;
}

PropertyManager* Property::GetPropertyManager(std::string name) {
    auto& slot = managers_[name];
    if (!slot) slot = std::make_unique<PropertyManager>();
    return slot.get();
}
