#include "os/folder_security.h"

#include "os/fs_fault.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "os/win32/win32_common.h"

// windows.h makes this name a macro for its A/W functions, which would rename FsOp's member.
#undef CreateDirectory

namespace corvane::os {
namespace {

using win32::KernelHandle;
using win32::last_error;

// Memory that the system allocated with LocalAlloc, freed when the owner goes.
struct LocalMemory {
  void* p = nullptr;
  ~LocalMemory() {
    if (p != nullptr) ::LocalFree(p);
  }
};

// The current user's SID (TokenUser of the process token) in `buffer`.
ErrorCode current_user_sid(std::vector<BYTE>& buffer, PSID& sid) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return last_error();
  const KernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return last_error();
  buffer.assign(size, 0);
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return last_error();
  sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return kErrorSuccess;
}

// The security descriptor of a private folder: a protected DACL with full access for the user,
// SYSTEM and Administrators, each entry inherited by files and folders inside.
ErrorCode private_descriptor(LocalMemory& descriptor) {
  std::vector<BYTE> buffer;
  PSID user = nullptr;
  if (const ErrorCode e = current_user_sid(buffer, user)) return e;
  LocalMemory text;
  LPWSTR sid_text = nullptr;
  if (!::ConvertSidToStringSidW(user, &sid_text)) return last_error();
  text.p = sid_text;
  const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid_text + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
    return last_error();
  }
  descriptor.p = sd;
  return kErrorSuccess;
}

}  // namespace

ErrorCode create_private_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::CreateDirectory, path)) return fault;
  const auto native = win32::native_path(path);
  if (!native) return win32::kErrorBadPathName;
  LocalMemory descriptor;
  if (const ErrorCode e = private_descriptor(descriptor)) return e;
  // Created with its final DACL: there is no moment at which others could open it.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.p, FALSE};
  return ::CreateDirectoryW(native->c_str(), &attributes) ? kErrorSuccess : last_error();
}

ErrorCode make_directory_private(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::SetAttributes, path)) return fault;
  const auto native = win32::native_path(path);
  if (!native) return win32::kErrorBadPathName;
  // The folder itself, never what a reparse point at its name leads to.
  const KernelHandle folder(::CreateFileW(native->c_str(), READ_CONTROL | WRITE_DAC,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) return last_error();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder.get(), &info)) return last_error();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return kErrorReparsePointEncountered;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return kErrorAccessDenied;

  std::vector<BYTE> buffer;
  PSID user = nullptr;
  if (const ErrorCode e = current_user_sid(buffer, user)) return e;
  PSID owner = nullptr;
  LocalMemory owner_descriptor;
  PSECURITY_DESCRIPTOR od = nullptr;
  if (const DWORD e = ::GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                        nullptr, nullptr, &od)) {
    return static_cast<ErrorCode>(e);
  }
  owner_descriptor.p = od;
  if (owner == nullptr || !::EqualSid(owner, user)) return kErrorAccessDenied;

  LocalMemory descriptor;
  if (const ErrorCode e = private_descriptor(descriptor)) return e;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.p, &present, &dacl, &defaulted) || !present) return last_error();
  return static_cast<ErrorCode>(::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                                  nullptr, nullptr, dacl, nullptr));
}

}  // namespace corvane::os
