#pragma once
#include <cstdint>
#include <string_view>

#include "os/registry.h"
#include "install/install_request.h"

// The client's entry in the current user's list of installed programs.
namespace corvane {

inline constexpr wchar_t kProgramsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane";

// Creates or opens the key and writes, in this order, "DisplayName", "DisplayVersion" (the
// UTF-8 release version), "Publisher", "DisplayIcon", "InstallLocation", "UninstallString",
// "NoModify", "NoRepair" and "EstimatedSize"; other values of the key stay. Stops at the first
// value that fails. True only when all nine were written.
bool write_programs_entry(const InstallRequest& request, std::string_view version);

// One REG_SZ / REG_DWORD value of an open key; true when written.
bool set_string_value(os::RegistryKey& key, std::wstring_view name, std::wstring_view text);
bool set_dword_value(os::RegistryKey& key, std::wstring_view name, std::uint32_t value);

// Total size in bytes of the files below `folder`. Links are neither followed nor counted, so the
// count ends even when a link leads back into the tree; a folder that cannot be read counts 0.
std::uint64_t folder_size(std::wstring_view folder);

// "EstimatedSize": whole KiB of a byte total, capped at 0xFFFFFFFF.
std::uint32_t estimated_size_kib(std::uint64_t bytes);

}  // namespace corvane
