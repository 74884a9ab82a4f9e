#include "ui/RegistryStore.h"

#include "win/RegKey.h"
#include "win/TextConv.h"

namespace yol {
namespace {

bool IsMissing(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

[[noreturn]] void FailCreate(const std::string& key) {
    throw SettingsError("Failed to create key " + key);
}
[[noreturn]] void FailGet(const std::string& name) {
    throw SettingsError("Failed to get data for '" + name + "'");
}
[[noreturn]] void FailType(const std::string& name) {
    throw SettingsError("Invalid data type for '" + name + "'");
}

}  // namespace

std::string HostExecutablePath() {
    // Long paths run past MAX_PATH; the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return AnsiFromWide(path);
        }
        if (path.size() >= 0x10000) return {};
        path.resize(path.size() * 2);
    }
}

void RegistrySettingsStore::Open(const std::string& key) {
    Close();
    const std::wstring name = WideFromAnsi(key);
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &handle, nullptr) == ERROR_SUCCESS) {
        key_.reset(handle);
        return;
    }
    // A key the user may only read still serves a restore; writes then fail.
    if (RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS) {
        key_.reset(handle);
        return;
    }
    FailCreate(key);
}

void RegistrySettingsStore::Close() noexcept { key_.reset(); }

LSTATUS RegistrySettingsStore::OpenSection(const std::string& section, RegKey& out) const {
    if (!key_) return ERROR_FILE_NOT_FOUND;
    HKEY handle = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(key_.get(), WideFromAnsi(section).c_str(), 0, KEY_QUERY_VALUE, &handle);
    if (status == ERROR_SUCCESS) out.reset(handle);
    return status;
}

bool RegistrySettingsStore::ValueExists(const std::string& section, const std::string& name) {
    RegKey sectionKey;
    if (OpenSection(section, sectionKey) != ERROR_SUCCESS) return false;
    return RegQueryValueExW(sectionKey.get(), WideFromAnsi(name).c_str(), nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

std::optional<std::string> RegistrySettingsStore::ReadText(const std::string& section,
                                                           const std::string& name) {
    RegKey sectionKey;
    LSTATUS status = OpenSection(section, sectionKey);
    if (IsMissing(status)) return std::nullopt;
    if (status != ERROR_SUCCESS) FailGet(name);

    const std::wstring wideName = WideFromAnsi(name);
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExW(sectionKey.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
    // The value may change between asking its size and reading it; a few
    // rounds settle it.
    for (int round = 0; round < 4; ++round) {
        if (IsMissing(status)) return std::nullopt;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) FailGet(name);
        if (!IsText(type)) FailType(name);
        if (size > 0x7FFFFFF0) FailGet(name);

        // Room for a terminating zero that the stored bytes may lack.
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegQueryValueExW(sectionKey.get(), wideName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(text.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (IsMissing(status)) return std::nullopt;
        if (status != ERROR_SUCCESS) FailGet(name);
        if (!IsText(type)) FailType(name);
        text.resize(got / sizeof(wchar_t));
        const std::size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        return AnsiFromWide(text);
    }
    FailGet(name);
}

void RegistrySettingsStore::WriteText(const std::string& section, const std::string& name,
                                      const std::string& value) {
    if (!key_) FailCreate(section);
    HKEY handle = nullptr;
    if (RegCreateKeyExW(key_.get(), WideFromAnsi(section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        FailCreate(section);
    const RegKey sectionKey(handle);

    const std::wstring text = WideFromAnsi(value);
    if (text.size() >= 0x7FFFFFF0 / sizeof(wchar_t))
        throw SettingsError("Failed to set data for '" + name + "'");
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(sectionKey.get(), WideFromAnsi(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()), bytes) != ERROR_SUCCESS)
        throw SettingsError("Failed to set data for '" + name + "'");
}

}  // namespace yol
