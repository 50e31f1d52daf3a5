#pragma once
#include <cstddef>

// The built page compiled into the binary (Linux): one record per file, by its path relative to
// the page's folder. The table is generated at build time by cmake/embed_page.cmake.
namespace corvane {

struct EmbeddedFile {
  const wchar_t* path;
  const char* begin;
  const char* end;
};

extern const EmbeddedFile kEmbeddedPage[];
extern const std::size_t kEmbeddedPageCount;

}  // namespace corvane
