// The settings store in the system registry, under HKEY_CURRENT_USER. Names
// and texts are in the host's ANSI code page; the registry holds them as
// UTF-16 string values.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "ui/FormStorage.h"
#include "win/RegKey.h"

namespace yol {

class RegistrySettingsStore final : public SettingsStore {
public:
    void Open(const std::string& key) override;
    void Close() noexcept override;
    bool ValueExists(const std::string& section, const std::string& name) override;
    std::optional<std::string> ReadText(const std::string& section,
                                        const std::string& name) override;
    void WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override;

private:
    // Opens the section for reading into `out`; ERROR_FILE_NOT_FOUND when
    // nothing is open.
    LSTATUS OpenSection(const std::string& section, RegKey& out) const;

    RegKey key_;
};

// The full path of the executable that started this process (the host's,
// not this module's own file), in the ANSI code page.
std::string HostExecutablePath();

}  // namespace yol
