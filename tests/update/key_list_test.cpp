// keys.json as the builder writes it and the client reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_signing.h"
#include "update/key_list.h"
#include "update/key_text.h"

namespace corvane {
namespace {

TEST(KeyList, RoundTripsAndRefusesListsThatNameNoUsableKey) {
  KeyList list;
  list.serial = 4;
  ASSERT_TRUE(read_pem_public_keys(test::public_key_pem(test::TestKey::kRelease) +
                                       test::public_key_pem(test::TestKey::kReleaseNext),
                                   list.keys));
  const std::string text = key_list_text(list);
  KeyList read;
  ASSERT_TRUE(parse_key_list(text, read)) << text;
  EXPECT_EQ(read.serial, 4u);
  EXPECT_EQ(read.keys, list.keys);

  const std::string id = key_id_of(list.keys[0]);
  const std::string point = hex_of(list.keys[0].data(), list.keys[0].size());
  const auto key_object = [](const std::string& key_id, const std::string& key_point) {
    return "{\"id\": \"" + key_id + "\", \"public\": \"" + key_point + "\"}";
  };
  const auto with_key = [&](const std::string& key_id, const std::string& key_point) {
    return "{\"format\": 1, \"keys\": [" + key_object(key_id, key_point) + "]}";
  };
  std::string many = "{\"format\": 1, \"keys\": [";
  for (std::size_t i = 0; i <= kMaxReleaseKeys; ++i) many += (i ? "," : "") + key_object(id, point);
  many += "]}";
  std::string upper = point;
  const std::size_t letter = upper.find_first_of("abcdef", 2);
  upper[letter] = static_cast<char>(upper[letter] - 'a' + 'A');
  ASSERT_TRUE(parse_key_list(with_key(id, point), read));  // the text the cases below spoil

  const struct {
    const char* name;
    std::string text;
  } refused[] = {
      {"id of another key", with_key(key_id_of(list.keys[1]), point)},
      {"upper-case point", with_key(id, upper)},
      {"compressed point", with_key(id, "02" + point.substr(2, 64))},
      {"no keys", "{\"format\": 1, \"keys\": []}"},
      {"format 2", "{\"format\": 2, \"keys\": [" + key_object(id, point) + "]}"},
      {"keys twice", "{\"format\": 1, \"keys\": [" + key_object(id, point) + "], \"keys\": []}"},
      {"more keys than a list holds", many},
      {"text after the object", with_key(id, point) + "{}"},
  };
  for (const auto& r : refused) EXPECT_FALSE(parse_key_list(r.text, read)) << r.name << ": " << r.text;
}

}  // namespace
}  // namespace corvane
