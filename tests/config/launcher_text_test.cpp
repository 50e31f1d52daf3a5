#include "config/launcher_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "config/known_servers.h"
#include "support/strict_json.h"

namespace corvane {

void PrintTo(const SettingPair& pair, std::ostream* out) { *out << pair.key << "=" << pair.value; }

namespace {

std::string known_host() { return std::string(known_servers()[0].host); }

std::string server_line(std::string_view host, std::string_view port) {
  return "    {\"id\":\"\",\"host\":\"" + std::string(host) + "\",\"port\":" + std::string(port) +
         ",\"name\":\"n\",\"at\":1}";
}

// The written file as a strict JSON parser reads it (compact, non-ASCII as \u escapes).
std::string strictly_parsed(std::string_view written) {
  const test::StrictJson parsed = test::strict_json(written);
  EXPECT_TRUE(parsed.valid) << parsed.text << "\n" << written;
  return parsed.text;
}

// The compact JSON of the "settings" object in a strictly parsed file.
std::string settings_of(std::string_view parsed) {
  const std::size_t start = parsed.find(",\"settings\":");
  const std::size_t end = parsed.find(",\"history\":");
  if (start == std::string_view::npos || end == std::string_view::npos) return "?";
  return std::string(parsed.substr(start + 12, end - start - 12));
}

TEST(LauncherText, WritesTheFixedLayoutByteForByte) {
  LauncherConfig config;
  config.gamePath = "D:\\Games\\GTA \"V\"";
  config.clientVersion = "1.4.2";
  config.channel = "release";
  config.serial = "ab\tc";
  config.resources = {{"maps", "res.example.org", 443}, {"cars", "10.0.0.1", 80}};
  config.settings = {{"theme", "\"dark\""}, {"volume", "5"}};
  config.history = {{known_host(), 22005, "Corvane RP", -3}, {"127.0.0.1", 22005, "lo\"cal", 1700000000}};
  config.favorites = {{known_host(), 22006, "other port", 0}};
  EXPECT_EQ(format_launcher_config(config),
            "{\n"
            "  \"gamePath\":\"D:\\\\Games\\\\GTA \\\"V\\\"\",\n"
            "  \"clientVersion\":\"1.4.2\",\n"
            "  \"channel\":\"release\",\n"
            "  \"serial\":\"abc\",\n"
            "  \"resources\": [\n"
            "    {\"folder\":\"maps\",\"host\":\"res.example.org\",\"port\":443},\n"
            "    {\"folder\":\"cars\",\"host\":\"10.0.0.1\",\"port\":80}\n"
            "  ],\n"
            "  \"settings\": {\n"
            "    \"theme\":\"dark\",\n"
            "    \"volume\":5\n"
            "  },\n"
            "  \"history\": [\n"
            "    {\"id\":\"s1\",\"host\":\"" + known_host() + "\",\"port\":22005,\"name\":\"Corvane RP\",\"at\":-3},\n"
            "    {\"id\":\"\",\"host\":\"127.0.0.1\",\"port\":22005,\"name\":\"lo\\\"cal\",\"at\":1700000000}\n"
            "  ],\n"
            "  \"favorites\": [\n"
            "    {\"id\":\"\",\"host\":\"" + known_host() + "\",\"port\":22006,\"name\":\"other port\",\"at\":0}\n"
            "  ]\n"
            "}\n");
  strictly_parsed(format_launcher_config(config));
  std::string upper = known_host();
  upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
  EXPECT_EQ(known_server_id(upper, 22005), "");  // the id needs the host exactly
}

TEST(LauncherText, SettingsKeepRawValuesUnlessTheyWouldBreakTheFile) {
  const LauncherConfig config = parse_launcher_config(
      "{\n  \"settings\": {\n"
      "    \"theme\":\"dark\",\n"
      "  \t\"volume\": 5 ,\t\r\n"
      "    \"nested\":{\"a\": [1, 2]},\n"
      "    \"empty\": ,\n"
      "    noquote: 1,\n"
      "    \"window\": {\n"       // the first line of a value spread over several lines
      "    \"after\":1 }\n"
      "    \"a\\\":1\n"        // a key cut at an escaped quote
      "  },\n}\n");
  ASSERT_EQ(config.settings.size(), 3u);
  EXPECT_EQ(config.settings[0], (SettingPair{"theme", "\"dark\""}));
  EXPECT_EQ(config.settings[1], (SettingPair{"volume", "5"}));
  EXPECT_EQ(config.settings[2], (SettingPair{"nested", "{\"a\": [1, 2]}"}));
  const std::string written = format_launcher_config(config);
  EXPECT_NE(written.find("    \"volume\":5,\n"), std::string::npos);
  EXPECT_EQ(settings_of(strictly_parsed(written)), R"({"theme":"dark","volume":5,"nested":{"a":[1,2]}})");
}

TEST(LauncherText, AValueSpreadOverLinesIsPassedOverWhole) {
  const LauncherConfig config = parse_launcher_config(
      "{\n  \"settings\": {\n"
      "    \"window\": {\n"
      "      \"x\": 10,\n"
      "      \"theme\": \"light\",\n"
      "      \"history\": [\n"          // a top-level name inside the value starts no section
      "        {\"host\":\"inner\",\"port\":1}\n"
      "      ],\n"
      "      \"pos\": {\"a\": \"}]\"}\n"  // brackets inside strings do not count
      "    },\n"
      "    \"theme\": \"dark\",\n"
      "    \"list\":\n"                  // opened on the next line
      "    [\n"
      "      1\n"
      "    ],\n"
      "    \"volume\": 5\n"
      "  },\n"
      "  \"history\": [\n"
      "    {\"host\":\"outer\",\"port\":2}\n"
      "  ]\n}\n");
  EXPECT_EQ(config.settings, (std::vector<SettingPair>{{"theme", "\"dark\""}, {"volume", "5"}}));
  ASSERT_EQ(config.history.size(), 1u);
  EXPECT_EQ(config.history[0].host, "outer");
  EXPECT_EQ(settings_of(strictly_parsed(format_launcher_config(config))), R"({"theme":"dark","volume":5})");

  // A value that never closes costs only its own line: what follows is still read.
  const LauncherConfig open = parse_launcher_config(
      "  \"settings\": {\n    \"broken\": {\n    \"kept\": 1\n  \"history\": [\n    {\"host\":\"h\",\"port\":3}\n");
  EXPECT_EQ(open.settings, (std::vector<SettingPair>{{"kept", "1"}}));
  EXPECT_EQ(open.history.size(), 1u);

  // Many values that never close are read in one pass, not one pass each.
  std::string unclosed = "  \"settings\": {\n";
  for (int i = 0; i < 50000; ++i) unclosed += "    \"a\": {\n";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(parse_launcher_config(unclosed).settings.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST(LauncherText, OnlyValidJsonValuesAndEachNameOnceAreWrittenBack) {
  const LauncherConfig config = parse_launcher_config(
      "  \"settings\": {\n"
      "    \"a\":nul,\n    \"b\":-,\n    \"c\":e,\n    \"d\":01,\n    \"e\":1.,\n    \"f\":.5,\n"
      "    \"g\":+1,\n    \"h\":[nul],\n    \"i\":tru,\n    \"j\":\"caf\xE9\",\n    \"k\":\"\\ud800\",\n"
      "    \"l\":{\"x\" 1},\n    \"m\":1e,\n    \"n\":NaN,\n    \"o\\\":1,\n    \"caf\xE9\":1,\n"
      "    \"theme\":\"light\",\n"
      "    \"ok1\": -0.5E+3,\n    \"ok2\": [true, false, null, \"\\ud83d\\ude00\\u00e9\"],\n"
      "    \"ok3\":{\"\xC3\xA9\":{}},\n"
      "    \"\\u0074heme\":\"dark\"\n"   // the same name as "theme": its value replaces the first
      "  },\n");
  EXPECT_EQ(config.settings, (std::vector<SettingPair>{{"theme", "\"dark\""},
                                                       {"ok1", "-0.5E+3"},
                                                       {"ok2", "[true, false, null, \"\\ud83d\\ude00\\u00e9\"]"},
                                                       {"ok3", "{\"\xC3\xA9\":{}}"}}));
  EXPECT_EQ(settings_of(strictly_parsed(format_launcher_config(config))),
            R"({"theme":"dark","ok1":-500.0,"ok2":[true,false,null,"\ud83d\ude00\u00e9"],"ok3":{"\u00e9":{}}})");

  // The writer keeps the same rules for a configuration built in code.
  LauncherConfig built;
  built.gamePath = "C:\\caf\xE9\xFF";
  built.history = {{"h", 1, "n\xC3", 0}};
  built.settings = {{"x", "nul"}, {"y", "1"}, {"y", "2"}, {"", "1"}, {"z", ""}};
  const std::string parsed = strictly_parsed(format_launcher_config(built));
  EXPECT_NE(parsed.find(R"("gamePath":"C:\\caf\ufffd\ufffd")"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find(R"("name":"n\ufffd")"), std::string::npos) << parsed;
  EXPECT_EQ(settings_of(parsed), R"({"y":2})");
}

TEST(LauncherText, WhateverTheFileHeldTheWrittenFileIsStrictJson) {
  // Lines a hand, another program or a damaged disk may leave in the file, mixed at random.
  const std::string_view pieces[] = {
      "{", "}", "  \"settings\": {", "  \"history\": [", "  \"favorites\": [", "  \"resources\": [", "  ],",
      "  },", "    \"a\": {", "    \"a\": [", "    \"b\": 1,", "    \"b\": nul,", "    \"c\": \"x\\\"}\",",
      "    \"d\": {\"e\": [1, {\"f\": 2}]},", "    \"\\u0062\": true,", "    \"g\":", "    [", "    {",
      "    \"h\": \"\xFF\xFE\",", "  \"gamePath\":\"C:\\\\x\xE9\",", "  \"serial\":\"s\\u0000\",",
      "    {\"host\":\"h\",\"port\":1,\"name\":\"n\xC0\",\"at\":-1}",
      "    {\"folder\":\"f\\\\\",\"host\":\"r\",\"port\":2}", "\xEF\xBB\xBF{", "    \"i\": 1e400,",
      "    \"j\": -0,", "    \"k\": \"\t\",", "    \"l\": [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]],",
  };
  std::mt19937 random(7);
  std::string all_written = "[";
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const std::size_t lines = 1 + random() % 40;
    for (std::size_t i = 0; i < lines; ++i) text.append(pieces[random() % std::size(pieces)]).append("\n");
    const std::string written = format_launcher_config(parse_launcher_config(text));
    all_written.append(round == 0 ? "" : ",").append(written);
  }
  all_written.append("]");
  const test::StrictJson parsed = test::strict_json(all_written);
  EXPECT_TRUE(parsed.valid) << parsed.text;
}

TEST(LauncherText, SectionNamesSwitchSectionsWhereALineStarts) {
  const LauncherConfig config = parse_launcher_config(
      "{\n"
      "  \"settings\": {\n"
      "    \"history\": [\n"
      "    {\"host\":\"h1\",\"port\":1}\n"
      "  ],\n"
      "  \"gamePath\":\"G\",\"clientVersion\":\"V\",\n"
      "    {\"host\":\"h2\",\"port\":2}\n"
      "  \"favorites\": [{\"host\":\"ignored\",\"port\":3}\n"
      "    {\"host\":\"f1\",\"port\":4}\n"
      "  \"channel\" : \"spaced\",\n"
      "  \"serial\": \"spaced\",\n"
      "}\n");
  EXPECT_TRUE(config.settings.empty());
  ASSERT_EQ(config.history.size(), 2u);
  EXPECT_EQ(config.history[1].host, "h2");  // a closing bracket does not end a section
  ASSERT_EQ(config.favorites.size(), 1u);
  EXPECT_EQ(config.favorites[0].host, "f1");
  EXPECT_EQ(config.gamePath, "G");
  EXPECT_EQ(config.clientVersion, "");  // one member a line: the first key of the line wins
  EXPECT_EQ(config.channel, "");
  EXPECT_EQ(config.serial, "");         // "serial" matches, but the getter needs ":\""
}

TEST(LauncherText, SingleLineFileAndCrLfLines) {
  // Every member sits on the one line, which begins with a brace: nothing is read.
  EXPECT_EQ(parse_launcher_config(
                R"({"gamePath":"C:\\G","history":[{"host":"a","port":1}],"settings":{"a":1}})"),
            LauncherConfig{});

  LauncherConfig config;
  config.gamePath = "C:\\G";
  config.settings = {{"volume", "5"}};
  config.history = {{"a", 1, "n", 2}};
  std::string crlf;
  for_each_line(format_launcher_config(config), [&](std::string_view line) {
    crlf.append(line).append("\r\n");
  });
  EXPECT_EQ(parse_launcher_config(crlf), config);
}

TEST(LauncherText, ListLimitsAndEntryValidity) {
  std::string text = "  \"history\": [\n";
  for (int i = 1; i <= 31; ++i) text += server_line("h" + std::to_string(i), "1") + ",\n";
  text += "  ],\n  \"favorites\": [\n";
  for (int i = 1; i <= 201; ++i) text += server_line("f" + std::to_string(i), "1") + ",\n";
  text += "  ],\n  \"resources\": [\n";
  for (int i = 1; i <= 51; ++i) {
    text += "    {\"folder\":\"d" + std::to_string(i) + "\",\"host\":\"r\",\"port\":2},\n";
  }
  const LauncherConfig config = parse_launcher_config(text);
  ASSERT_EQ(config.history.size(), 30u);
  EXPECT_EQ(config.history.back().host, "h30");
  ASSERT_EQ(config.favorites.size(), 200u);
  EXPECT_EQ(config.favorites.back().host, "f200");
  ASSERT_EQ(config.resources.size(), 50u);
  EXPECT_EQ(config.resources.back().folder, "d50");

  // Invalid lines do not count against the limit.
  std::vector<ServerEntry> list;
  for (const std::string& line :
       {server_line("ok", "0"), server_line("ok", "65536"), server_line("ok", "-5"),
        server_line("ok", "\"22005\""), server_line("bad_host", "1"), server_line("", "1"),
        server_line(std::string(254, 'a'), "1"), server_line("a b", "1"),
        server_line(std::string(253, 'a'), "65535"), server_line("Ok-1.example", "1")}) {
    add_server_entry(list, 3, line);
  }
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].port, 65535);
  EXPECT_EQ(list[1].host, "Ok-1.example");

  const LauncherConfig resources = parse_launcher_config(
      "\"resources\": [\n"
      "{\"folder\":\"\",\"host\":\"r\",\"port\":2}\n"
      "{\"folder\":\"f\",\"host\":\"r_\",\"port\":2}\n"
      "{\"folder\":\"f\",\"host\":\"r\",\"port\":0}\n"
      "{\"folder\":\"f\\\"g\",\"host\":\"r\",\"port\":65535}\n");
  ASSERT_EQ(resources.resources.size(), 1u);
  EXPECT_EQ(resources.resources[0].folder, "f\"g");
}

TEST(LauncherText, ControlBytesAreDroppedOnLoadAsTheWriterWould) {
  const LauncherConfig config = parse_launcher_config(
      "  \"gamePath\":\"C:\\G\tx\",\n"
      "  \"history\": [\n"
      "    {\"host\":\"a\",\"port\":1,\"name\":\"n\x01m\",\"at\":5}\n"
      "  \"resources\": [\n"
      "    {\"folder\":\"\x02\",\"host\":\"r\",\"port\":2}\n");
  EXPECT_EQ(config.gamePath, "C:Gx");
  ASSERT_EQ(config.history.size(), 1u);
  EXPECT_EQ(config.history[0].name, "nm");
  EXPECT_TRUE(config.resources.empty());
  EXPECT_EQ(parse_launcher_config(format_launcher_config(config)), config);
}

TEST(LauncherText, LineHasKeyAndMemberSplitting) {
  EXPECT_TRUE(line_has_key(" \t\"history\": [", "history"));
  EXPECT_FALSE(line_has_key("\"history\" : [", "history"));
  EXPECT_FALSE(line_has_key("\"historyX\": [", "history"));
  EXPECT_FALSE(line_has_key("x\"history\": [", "history"));
  EXPECT_FALSE(line_has_key("", "history"));

  EXPECT_EQ(split_member_line("  \"a\":  \"x, y\" ,,\r"), (SettingPair{"a", "\"x, y\""}));
  EXPECT_EQ(split_member_line("\"a\":b\":1"), std::nullopt);  // key a, and b":1 is no JSON value
  EXPECT_EQ(split_member_line("a\":1"), std::nullopt);
  EXPECT_EQ(split_member_line("\"a\" :1"), std::nullopt);
  EXPECT_EQ(split_member_line("\"a\":\xEF\xBB\xBF" "1"), std::nullopt);
}

}  // namespace
}  // namespace corvane
