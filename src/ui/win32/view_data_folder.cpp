#include "ui/win32/view_data_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>

namespace corvane::win32 {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

std::wstring sid_text(PSID sid) {
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
  const std::unique_ptr<void, LocalFreer> owned(text);
  return text;
}

std::wstring token_user_sid(HANDLE process) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return {};
  const UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) return {};
  return sid_text(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// Whether `sid` (text) is the owner of `folder`.
bool owned_by_one_of(const std::wstring& folder, const std::vector<std::wstring>& sids) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  const std::wstring text = sid_text(owner);
  for (const std::wstring& sid : sids) {
    if (!text.empty() && text == sid) return true;
  }
  return false;
}

}  // namespace

std::wstring process_user_sid() { return token_user_sid(GetCurrentProcess()); }

std::wstring desktop_user_sid() {
  HWND shell = GetShellWindow();
  DWORD id = 0;
  if (!shell || !GetWindowThreadProcessId(shell, &id) || id == 0) return {};
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  return process ? token_user_sid(process.get()) : std::wstring();
}

std::wstring shared_folder_access(const std::vector<std::wstring>& sids) {
  // System and administrators, then each account: full control, for the folder and all below;
  // protected, so nothing is inherited from the common folder above.
  std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  for (const std::wstring& sid : sids) sddl += L"(A;OICI;FA;;;" + sid + L")";
  return sddl;
}

bool make_shared_folder(const std::wstring& folder, const std::vector<std::wstring>& sids) {
  const std::wstring sddl = shared_folder_access(sids);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const std::size_t slash = folder.find_last_of(L"\\/");
  if (slash != std::wstring::npos) CreateDirectoryW(folder.substr(0, slash).c_str(), nullptr);
  if (CreateDirectoryW(folder.c_str(), &attributes)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  // Made earlier by one of the two, or by an administrator: ours. Anyone else's is not used, as
  // its owner could read or change what the view keeps there.
  const DWORD kind = GetFileAttributesW(folder.c_str());
  if (kind == INVALID_FILE_ATTRIBUTES || !(kind & FILE_ATTRIBUTE_DIRECTORY) || (kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  std::vector<std::wstring> owners = sids;
  owners.push_back(L"S-1-5-32-544");  // the administrators
  owners.push_back(L"S-1-5-18");      // the system
  return owned_by_one_of(folder, owners);
}

ViewDataFolder choose_view_data_folder(const std::wstring& process_sid, const std::wstring& desktop_sid,
                                       const std::wstring& local_app_data, const std::wstring& program_data) {
  if (desktop_sid.empty() || process_sid.empty() || desktop_sid == process_sid) {
    if (local_app_data.empty()) return {};
    return {local_app_data + (local_app_data.back() == L'\\' ? L"" : L"\\") + L"Corvane-Setup", false};
  }
  if (program_data.empty()) return {{}, true};
  const std::wstring folder =
      program_data + (program_data.back() == L'\\' ? L"" : L"\\") + L"Corvane-Setup\\" + desktop_sid;
  if (!make_shared_folder(folder, {process_sid, desktop_sid})) return {{}, true};
  return {folder, true};
}

}  // namespace corvane::win32
