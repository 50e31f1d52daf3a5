#include "os/registry.h"

#include <cstdlib>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

#include "os/fs.h"
#include "os/posix/path_posix.h"
#include "os/text.h"

// The registry store: one folder per key below $XDG_DATA_HOME/corvane/registry/<HKCU|HKLM>/,
// folder names in lower case (keys compare without regard to case), and in each key folder a file
// "values" with one value a line:  <type> <TAB> <escaped name> <TAB> <escaped data>
// where type is "sz", "expand_sz" or "dword" (decimal data), and escaping turns a backslash, a
// tab, a line feed and a carriage return into \\, \t, \n and \r.
namespace corvane::os {
namespace {

struct Value {
  std::string type;
  std::wstring name;
  std::wstring data;
};

std::wstring store_root() {
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  return posix::wide_path(base + "/corvane/registry");
}

// Key path -> folder below the store: lower case, '%' and '/' encoded so a name stays one folder.
std::wstring key_dir(RegistryRoot root, std::wstring_view subkey) {
  std::wstring dir = store_root();
  if (dir.empty()) return {};
  dir += root == RegistryRoot::CurrentUser ? L"/hkcu" : L"/hklm";
  std::wstring component;
  auto flush = [&] {
    if (!component.empty()) dir += L'/' + component;
    component.clear();
  };
  for (const wchar_t c : subkey) {
    if (c == L'\\') {
      flush();
    } else if (c == L'/') {
      component += L"%2f";
    } else if (c == L'%') {
      component += L"%25";
    } else {
      component.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
    }
  }
  flush();
  return dir;
}

std::wstring lower(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

std::string escape(std::wstring_view text) {
  std::string out;
  for (const char c : to_utf8(text)) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::wstring unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char e = text[++i];
      out.push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e);
    } else {
      out.push_back(text[i]);
    }
  }
  return from_utf8(out);
}

std::vector<Value> load_values(const std::wstring& dir) {
  std::vector<Value> values;
  std::string text;
  if (!read_file(dir + L"/values", text)) return values;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) continue;
    values.push_back({std::string(line.substr(0, tab1)), unescape(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                      unescape(line.substr(tab2 + 1))});
  }
  return values;
}

bool save_values(const std::wstring& dir, const std::vector<Value>& values) {
  std::string text;
  for (const Value& v : values) text += v.type + '\t' + escape(v.name) + '\t' + escape(v.data) + '\n';
  return write_file_atomically(dir + L"/values", text) == kErrorSuccess;
}

const Value* find_value(const std::vector<Value>& values, std::wstring_view name) {
  const std::wstring wanted = lower(name);
  for (const Value& v : values) {
    if (lower(v.name) == wanted) return &v;
  }
  return nullptr;
}

bool delete_tree(const std::wstring& path) {
  const auto info = file_info(path);
  if (!info) return true;
  if (!info->is_directory || info->is_link) return delete_file(path) == kErrorSuccess;
  std::vector<DirEntry> entries;
  bool ok = true;
  if (list_directory(path, entries)) {
    for (const DirEntry& e : entries) ok = delete_tree(path + L'/' + e.name) && ok;
  }
  return remove_directory(path) == kErrorSuccess && ok;
}

struct OpenKey {
  std::wstring dir;
};

}  // namespace

std::wstring read_registry_string(RegistryRoot root, std::wstring_view subkey, std::wstring_view value) {
  const std::wstring dir = key_dir(root, subkey);
  if (dir.empty()) return {};
  const auto values = load_values(dir);
  const Value* v = find_value(values, value);
  if (!v || v->type != "sz") return {};
  std::wstring text = v->data;
  if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
  return text;
}

std::optional<std::uint32_t> read_registry_dword(RegistryRoot root, std::wstring_view subkey,
                                                 std::wstring_view value) {
  const std::wstring dir = key_dir(root, subkey);
  if (dir.empty()) return std::nullopt;
  const auto values = load_values(dir);
  const Value* v = find_value(values, value);
  if (!v || v->type != "dword") return std::nullopt;
  const std::string digits = to_utf8(v->data);
  char* end = nullptr;
  const unsigned long long n = std::strtoull(digits.c_str(), &end, 10);
  if (digits.empty() || *end != '\0' || n > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

void RegistryKey::close() {
  delete static_cast<OpenKey*>(handle_);
  handle_ = nullptr;
}

bool RegistryKey::create(RegistryRoot root, std::wstring_view subkey) {
  close();
  const std::wstring dir = key_dir(root, subkey);
  if (dir.empty()) return false;
  // Create every folder from the store's root down.
  for (std::size_t slash = 1; slash != std::wstring::npos; slash = dir.find(L'/', slash + 1)) {
    (void)create_directory(dir.substr(0, slash));
  }
  (void)create_directory(dir);
  const auto info = file_info(dir);
  if (!info || !info->is_directory) return false;
  handle_ = new OpenKey{dir};
  return true;
}

namespace {
bool set_value(void* handle, std::string type, std::wstring_view name, std::wstring data) {
  if (!handle) return false;
  const std::wstring& dir = static_cast<OpenKey*>(handle)->dir;
  auto values = load_values(dir);
  const std::wstring wanted = lower(name);
  bool replaced = false;
  for (Value& v : values) {
    if (lower(v.name) == wanted) {
      v = {std::move(type), std::wstring(name), std::move(data)};
      replaced = true;
      break;
    }
  }
  if (!replaced) values.push_back({std::move(type), std::wstring(name), std::move(data)});
  return save_values(dir, values);
}
}  // namespace

bool RegistryKey::set_string(std::wstring_view name, std::wstring_view text) {
  return set_value(handle_, "sz", name, std::wstring(text));
}

bool RegistryKey::set_expand_string(std::wstring_view name, std::wstring_view text) {
  return set_value(handle_, "expand_sz", name, std::wstring(text));
}

bool RegistryKey::set_dword(std::wstring_view name, std::uint32_t value) {
  return set_value(handle_, "dword", name, std::to_wstring(value));
}

bool delete_registry_tree(RegistryRoot root, std::wstring_view subkey) {
  const std::wstring dir = key_dir(root, subkey);
  if (dir.empty() || !file_info(dir)) return false;
  return delete_tree(dir);
}

}  // namespace corvane::os
