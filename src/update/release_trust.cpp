#include "update/release_trust.h"

#include <chrono>
#include <cstdio>

#include "net/http_client.h"
#include "update/key_list.h"

namespace corvane {
namespace {

constexpr const char* kNotSignedLine = "[!] Obnovlenie: podpis spiska faylov ne proverena, obnovlenie otkloneno.\n";
constexpr const char* kRolledBackLine = "[!] Obnovlenie: spisok faylov starshe ustanovlennogo, obnovlenie otkloneno.\n";
constexpr const char* kExpiredLine =
    "[!] Obnovlenie: srok deystviya spiska faylov istek, zapuskaem tekushchuyu versiyu.\n";
constexpr const char* kCorruptLine = "[!] Obnovlenie: manifest povrezhden, obnovlenie otkloneno.\n";

bool signed_by_any(const std::vector<os::P256PublicKey>& keys, std::string_view text, std::string_view signature) {
  os::P256Signature sig{};
  if (!read_signature(signature, sig)) return false;
  for (const os::P256PublicKey& key : keys) {
    if (os::p256_verify(key, text, sig)) return true;
  }
  return false;
}

// One of the channel's small files; empty when the server has none or it is over `limit` bytes
// (an empty file is no signature and no key list either).
std::string fetch(const UrlParts& channel, std::string_view name, std::size_t limit) {
  std::string body;
  std::uint32_t status = 0;
  if (!http_get_to_memory(channel, name, limit, body, &status)) return std::string();
  return body;
}

}  // namespace

TrustVerdict judge_release(const TrustRoots& roots, const SignedRelease& release, const InstalledSerials& installed,
                           std::int64_t now, InstalledSerials& accepted) {
  KeyList list;
  if (!signed_by_any(roots.keys, release.key_list, release.key_list_signature) ||
      !parse_key_list(release.key_list, list) ||
      !signed_by_any(list.keys, release.manifest, release.manifest_signature)) {
    return TrustVerdict::kNotSigned;
  }
  ReleaseBounds bounds;
  if (!read_release_bounds(release.manifest, bounds)) return TrustVerdict::kCorrupt;
  if (list.serial < installed.keys || bounds.serial < installed.manifest) return TrustVerdict::kRolledBack;
  if (bounds.expires_set && now >= bounds.expires) return TrustVerdict::kExpired;
  accepted = {bounds.serial, list.serial};
  return TrustVerdict::kTrusted;
}

bool admit_release(const TrustRoots& roots, const UrlParts& channel, std::string_view body,
                   std::wstring_view install_dir, InstalledSerials& accepted) {
  if (!roots.pinned) return true;
  const std::string manifest_signature = fetch(channel, "manifest.json.sig", kSignatureSize);
  const std::string key_list = manifest_signature.empty() ? std::string() : fetch(channel, "keys.json", kKeyListLimit);
  const std::string key_list_signature = key_list.empty() ? std::string() : fetch(channel, "keys.json.sig", kSignatureSize);
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const SignedRelease release{body, manifest_signature, key_list, key_list_signature};
  switch (judge_release(roots, release, read_installed_serials(install_dir), now, accepted)) {
    case TrustVerdict::kTrusted:
      return true;
    case TrustVerdict::kNotSigned:
      std::printf("%s", kNotSignedLine);
      return false;
    case TrustVerdict::kRolledBack:
      std::printf("%s", kRolledBackLine);
      return false;
    case TrustVerdict::kExpired:
      std::printf("%s", kExpiredLine);
      return false;
    case TrustVerdict::kCorrupt:
      break;
  }
  std::printf("%s", kCorruptLine);
  return false;
}

void record_release(const TrustRoots& roots, std::wstring_view install_dir, const InstalledSerials& accepted) {
  if (!roots.pinned) return;
  const InstalledSerials installed = read_installed_serials(install_dir);
  if (accepted.manifest == installed.manifest && accepted.keys == installed.keys) return;
  (void)write_installed_serials(install_dir, accepted);
}

}  // namespace corvane
