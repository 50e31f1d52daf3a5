#include "ui/embedded_resources.h"

#include <windows.h>

#include <string>

namespace corvane {

// RCDATA resources of the executable, found by name and type only (any language). A loaded
// resource stays mapped with the image, so the view is good for the whole process.
std::string_view load_embedded_resource(std::wstring_view name) {
  const std::wstring zname(name);
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, zname.c_str(), RT_RCDATA);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return {};
  const void* data = LockResource(loaded);
  const DWORD size = SizeofResource(module, info);
  if (!data || size == 0) return {};
  return {static_cast<const char*>(data), size};
}

}  // namespace corvane
