#include "config/known_servers.h"

#include <array>

namespace corvane {
namespace {

constexpr std::array<KnownServer, 1> kKnownServers{{
    {"s1", "play.corvane.net", 22005, "Corvane RP", "Role Play", "RU", 1000},
}};

}  // namespace

std::span<const KnownServer> known_servers() { return kKnownServers; }

std::string_view known_server_id(std::string_view host, std::uint16_t port) {
  for (const KnownServer& server : kKnownServers) {
    if (server.host == host && server.port == port) return server.id;
  }
  return {};
}

}  // namespace corvane
