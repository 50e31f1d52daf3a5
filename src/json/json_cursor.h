#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// A pull scanner over one JSON text. It builds no document: the caller drives the grammar,
// expecting punctuation, reading member names and typed values, and skipping what it does not
// know. Every operation returns false on a malformed construct and nothing else; after a false the
// position may have moved into the failed construct and the caller abandons the whole text.
namespace corvane {

class JsonCursor {
 public:
  // Copies `text`; a leading UTF-8 byte order mark (EF BB BF) is skipped.
  explicit JsonCursor(std::string_view text);

  // Moves over spaces, tabs, carriage returns and line feeds.
  void skip_whitespace();
  // After whitespace: takes `c` when it is the next byte. Otherwise false, leaving the position on
  // the byte that did not match.
  [[nodiscard]] bool expect_char(char c);
  // After whitespace: true when the whole text has been read.
  [[nodiscard]] bool at_end();
  // Reads one string into `out`, decoding escapes (\u escapes and surrogate pairs to UTF-8). Raw
  // bytes below 0x20 fail; bytes from 0x80 up are copied as they are.
  [[nodiscard]] bool read_string(std::string& out);
  // Reads an unsigned decimal integer of at most 19 digits (which always fits).
  [[nodiscard]] bool read_unsigned(std::uint64_t& out);
  // Reads over one value of any kind. `depth` counts the enclosing levels being skipped (0 for a
  // member's value); a value that would be skipped with a depth above 32 fails.
  [[nodiscard]] bool skip_value(std::int32_t depth);

  std::uint64_t pos() const { return pos_; }

 private:
  bool read_hex4(std::uint32_t& unit);
  bool read_unicode_escape(std::string& out);

  std::string text_;
  std::uint64_t pos_ = 0;
};

}  // namespace corvane
