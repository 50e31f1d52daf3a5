#include "os/shell.h"

#include <string>

#include "os/fs.h"
#include "os/known_folders.h"
#include "os/text.h"

namespace corvane::os {
namespace {

// The escapes of a desktop entry's string values: backslash, line feed, tab, carriage return, and
// a leading blank (which a reader would otherwise drop).
std::string escape_value(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ':
        out += i == 0 ? "\\s" : " ";
        break;
      default: out.push_back(c);
    }
  }
  return out;
}

// One argument of an Exec line, quoted in whole: '"', '`', '$' and '\' get a backslash before
// them, and '%' is doubled so that it is not read as a field code. The value escapes apply on top.
std::string quote_exec_argument(std::string_view argument) {
  std::string out = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '%') {
      out += "%%";
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace

ThreadApartment::ThreadApartment() : initialized_(true) {}

ThreadApartment::~ThreadApartment() = default;

bool save_shell_link(std::wstring_view path, const ShellLink& link) {
  if (path.empty()) return false;
  const std::string description = escape_value(to_utf8(link.description));
  std::string text = "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Name=" + description + "\n";
  text += "Comment=" + description + "\n";
  text += "Exec=" + escape_value(quote_exec_argument(to_utf8(link.target))) + "\n";
  text += "Path=" + escape_value(to_utf8(link.working_dir)) + "\n";
  text += "Icon=" + escape_value(to_utf8(link.icon)) + "\n";
  text += "Terminal=false\n";
  return write_file_atomically(path, text) == kErrorSuccess;
}

std::wstring default_install_parent() { return known_folder_path(KnownFolder::Profile); }

}  // namespace corvane::os
