#pragma once
#include <cstdint>
#include <span>
#include <string_view>

// The game servers that setup knows by name, compiled in. Used only to fill the "id" of the
// server entries written to launcher.json.
namespace corvane {

struct KnownServer {
  std::string_view id;
  std::string_view host;
  std::uint16_t port;
  std::string_view name;
  std::string_view mode;
  std::string_view region;
  std::uint32_t number;
};

std::span<const KnownServer> known_servers();

// The id of the row whose host (compared exactly, letter case included) and port equal these;
// empty when no row does.
std::string_view known_server_id(std::string_view host, std::uint16_t port);

}  // namespace corvane
