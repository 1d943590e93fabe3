// A small in-process stand-in for the registry keys the drive catalogue keeps
// its geometry cache in: keys named by backslash-separated paths, each with
// string values. Key paths and value names compare without regard to ASCII
// case, as the registry's do.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace dravik::platform {

class RegistryStore {
public:
    // Creates the key, and any missing parent keys, or opens it when it
    // exists. False when creation is denied.
    bool CreateKey(std::string_view path);
    // True when the key exists.
    bool OpenKey(std::string_view path) const;
    // Deletes a key that has no subkeys, with its values. False when it does
    // not exist or still has subkeys.
    bool DeleteKey(std::string_view path);

    // Writes a string value, creating the key first when it is missing.
    bool SetValue(std::string_view key, std::string_view name, std::string value);
    // The value, or nullopt when the key or the value is missing.
    std::optional<std::string> GetValue(std::string_view key, std::string_view name) const;

    // Makes every creation of this key (and below it) fail, as a locked
    // registry would; for tests of the failure paths.
    void DenyCreate(std::string_view path) { denied_.emplace(path); }

private:
    struct NoCaseLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };
    using Values = std::map<std::string, std::string, NoCaseLess>;

    bool Denied(std::string_view path) const;

    std::map<std::string, Values, NoCaseLess> keys_;
    std::set<std::string, NoCaseLess> denied_;
};

}  // namespace dravik::platform
