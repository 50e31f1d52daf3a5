#include "update/key_list.h"

#include <algorithm>

#include "json/json_cursor.h"
#include "update/key_text.h"

namespace corvane {
namespace {

bool parse_key(JsonCursor& cursor, os::P256PublicKey& key) {
  if (!cursor.expect_char('{')) return false;
  std::string id;
  std::string point;
  bool has_point = false;
  if (!cursor.expect_char('}')) {
    do {
      std::string name;
      if (!cursor.read_string(name) || !cursor.expect_char(':')) return false;
      if (name == "id") {
        if (!cursor.read_string(id)) return false;
      } else if (name == "public") {
        if (!cursor.read_string(point)) return false;
        has_point = true;
      } else if (!cursor.skip_value(0)) {
        return false;
      }
    } while (cursor.expect_char(','));
    if (!cursor.expect_char('}')) return false;
  }
  return has_point && bytes_of_hex(point, key.data(), key.size()) && key[0] == 0x04 && id == key_id_of(key);
}

bool parse_keys(JsonCursor& cursor, std::vector<os::P256PublicKey>& keys) {
  if (!cursor.expect_char('[')) return false;
  if (cursor.expect_char(']')) return true;
  do {
    if (keys.size() == kMaxReleaseKeys) return false;
    os::P256PublicKey key{};
    if (!parse_key(cursor, key)) return false;
    keys.push_back(key);
  } while (cursor.expect_char(','));
  return cursor.expect_char(']');
}

}  // namespace

bool parse_key_list(std::string_view text, KeyList& list) {
  list = KeyList{};
  if (text.size() > kKeyListLimit) return false;
  JsonCursor cursor(text);
  std::uint64_t format = 0;
  bool keys_seen = false;
  if (!cursor.expect_char('{')) return false;
  if (!cursor.expect_char('}')) {
    do {
      std::string name;
      if (!cursor.read_string(name) || !cursor.expect_char(':')) return false;
      if (name == "format") {
        if (!cursor.read_unsigned(format)) return false;
      } else if (name == "serial") {
        if (!cursor.read_unsigned(list.serial)) return false;
      } else if (name == "keys") {
        if (keys_seen || !parse_keys(cursor, list.keys)) return false;
        keys_seen = true;
      } else if (!cursor.skip_value(0)) {
        return false;
      }
    } while (cursor.expect_char(','));
    if (!cursor.expect_char('}')) return false;
  }
  return cursor.at_end() && format == 1 && !list.keys.empty();
}

std::string key_list_text(const KeyList& list) {
  std::string text = "{\n  \"format\": 1,\n  \"serial\": " + std::to_string(list.serial) + ",\n  \"keys\": [";
  for (std::size_t i = 0; i < list.keys.size(); ++i) {
    text += i == 0 ? "\n    " : ",\n    ";
    text += "{\"id\": \"" + key_id_of(list.keys[i]) + "\", \"public\": \"" +
            hex_of(list.keys[i].data(), list.keys[i].size()) + "\"}";
  }
  text += "\n  ]\n}\n";
  return text;
}

bool read_signature(std::string_view bytes, os::P256Signature& signature) {
  if (bytes.size() != signature.size()) return false;
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(signature.data()));
  return true;
}

}  // namespace corvane
