// The programs-list entry in the real registry: every value with the type and bytes that
// Windows' list of installed programs reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "base/paths.h"
#include "install/programs_entry.h"
#include "install_env.h"

namespace corvane {
namespace {

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

std::optional<RawValue> raw_value(const wchar_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(kProgramsKey).c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  RawValue value;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = ::RegQueryValueExW(key, name, nullptr, &value.type, value.bytes.data(), &size);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

RawValue text_value(const std::wstring& text) {
  RawValue value{REG_SZ, {}};
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  value.bytes.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));  // with the NUL
  return value;
}

RawValue dword_value(DWORD number) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&number);
  return {REG_DWORD, std::vector<BYTE>(bytes, bytes + 4)};
}

bool operator==(const RawValue& a, const RawValue& b) { return a.type == b.type && a.bytes == b.bytes; }

using ProgramsEntryWin32 = test::InstallEnv;

TEST_F(ProgramsEntryWin32, TheNineValuesHaveTheirTypesAndTerminatedTexts) {
  const InstallRequest request{root_ / L"D\u00e9j\u00e0\\Corvane", L"", true, true};
  test::make_dirs(request.install_dir);
  test::write_text(join_path(request.install_dir, L"Corvane.exe"), std::string(3000, 'c'));
  ASSERT_TRUE(write_programs_entry(request, "2.0.1"));
  const std::wstring dir = request.install_dir;
  const std::pair<const wchar_t*, RawValue> expected[] = {
      {L"DisplayName", text_value(L"Corvane")},
      {L"DisplayVersion", text_value(L"2.0.1")},
      {L"Publisher", text_value(L"Corvane")},
      {L"DisplayIcon", text_value(L"\"" + dir + L"\\Corvane.exe\",0")},
      {L"InstallLocation", text_value(dir)},
      {L"UninstallString", text_value(L"\"" + dir + L"\\uninstall.exe\" /uninstall")},
      {L"NoModify", dword_value(1)},
      {L"NoRepair", dword_value(1)},
      {L"EstimatedSize", dword_value(2)},
  };
  for (const auto& [name, value] : expected) {
    const auto stored = raw_value(name);
    ASSERT_TRUE(stored) << name;
    EXPECT_TRUE(*stored == value) << name;
  }
}

}  // namespace
}  // namespace corvane
