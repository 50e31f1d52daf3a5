#include "os/fs_fault.h"

#include <memory>
#include <mutex>

namespace corvane::os {
namespace {

std::mutex g_hook_mutex;
std::shared_ptr<const FsFaultHook> g_hook;

}  // namespace

void set_fs_fault_hook(FsFaultHook hook) {
  std::lock_guard lock(g_hook_mutex);
  g_hook = hook ? std::make_shared<const FsFaultHook>(std::move(hook)) : nullptr;
}

ErrorCode injected_fs_fault(FsOp op, std::wstring_view path, std::wstring_view other) {
  std::shared_ptr<const FsFaultHook> hook;
  {
    std::lock_guard lock(g_hook_mutex);
    hook = g_hook;
  }
  return hook ? (*hook)(op, path, other) : kErrorSuccess;
}

}  // namespace corvane::os
