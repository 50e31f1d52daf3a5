#include "config/launcher_text.h"

#include <gtest/gtest.h>

#include "config/known_servers.h"
#include "json/json_cursor.h"

namespace corvane {
namespace {

std::string known_host() { return std::string(known_servers()[0].host); }

std::string server_line(std::string_view host, std::string_view port) {
  return "    {\"id\":\"\",\"host\":\"" + std::string(host) + "\",\"port\":" + std::string(port) +
         ",\"name\":\"n\",\"at\":1}";
}

bool is_json(std::string_view text) {
  JsonCursor cursor(text);
  return cursor.skip_value(0) && cursor.at_end();
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
  EXPECT_TRUE(is_json(format_launcher_config(config)));
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
  EXPECT_TRUE(is_json(written));
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
