#include "platform/registry_store.h"

#include <algorithm>

namespace dravik::platform {

namespace {
constexpr char kSeparator = '\\';

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NoCaseEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// True when `key` lies strictly below `parent`.
bool IsBelow(std::string_view key, std::string_view parent) {
    return key.size() > parent.size() + 1 && key[parent.size()] == kSeparator &&
           NoCaseEqual(key.substr(0, parent.size()), parent);
}
}  // namespace

bool RegistryStore::NoCaseLess::operator()(std::string_view a, std::string_view b) const noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool RegistryStore::Denied(std::string_view path) const {
    return std::any_of(denied_.begin(), denied_.end(),
                       [&](const std::string& d) { return NoCaseEqual(path, d) || IsBelow(path, d); });
}

bool RegistryStore::CreateKey(std::string_view path) {
    if (path.empty()) return false;
    if (keys_.find(path) != keys_.end()) return true;
    if (Denied(path)) return false;
    // Parents first, so that every key's ancestors exist.
    for (std::size_t at = path.find(kSeparator); at != std::string_view::npos; at = path.find(kSeparator, at + 1))
        keys_.try_emplace(std::string(path.substr(0, at)));
    keys_.try_emplace(std::string(path));
    return true;
}

bool RegistryStore::OpenKey(std::string_view path) const {
    return keys_.find(path) != keys_.end();
}

bool RegistryStore::DeleteKey(std::string_view path) {
    auto it = keys_.find(path);
    if (it == keys_.end()) return false;
    // Subkeys sort right after path + separator.
    auto below = keys_.lower_bound(std::string(path) + kSeparator);
    if (below != keys_.end() && IsBelow(below->first, path)) return false;
    keys_.erase(it);
    return true;
}

bool RegistryStore::SetValue(std::string_view key, std::string_view name, std::string value) {
    if (!CreateKey(key)) return false;
    auto it = keys_.find(key);
    it->second.insert_or_assign(std::string(name), std::move(value));
    return true;
}

std::optional<std::string> RegistryStore::GetValue(std::string_view key, std::string_view name) const {
    auto it = keys_.find(key);
    if (it == keys_.end()) return std::nullopt;
    auto v = it->second.find(name);
    if (v == it->second.end()) return std::nullopt;
    return v->second;
}

}  // namespace dravik::platform
