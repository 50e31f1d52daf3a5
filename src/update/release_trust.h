#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "net/url.h"
#include "os/signature.h"
#include "update/release_bounds.h"

// Whether a channel's manifest may be installed. Beside manifest.json the channel holds
// manifest.json.sig (a detached signature over the manifest's exact bytes), keys.json (the current
// release keys) and keys.json.sig (signed by a root key). A build that pins root keys installs a
// manifest only when its key list is signed by a pinned root, the manifest by a key of that list,
// neither serial is lower than what the client folder has installed, and the manifest has not
// expired. A build that pins none checks nothing.
namespace corvane {

struct TrustRoots {
  bool pinned = false;                   // the build pins keys; with no readable key nothing passes
  std::vector<os::P256PublicKey> keys;
};

// The root keys this build pins (CORVANE_ROOT_KEYS).
const TrustRoots& pinned_roots();

enum class TrustVerdict {
  kTrusted,
  kNotSigned,   // unsigned, signed by no current key, key list not signed by a root, bad signature file
  kRolledBack,  // a serial below the installed one
  kExpired,
  kCorrupt,     // signed, but its serial or expiry cannot be read
};

// The channel's signed files as fetched. An empty signature is a missing one.
struct SignedRelease {
  std::string_view manifest;
  std::string_view manifest_signature;
  std::string_view key_list;
  std::string_view key_list_signature;
};

// The rules alone. On kTrusted, `accepted` holds the serials to record once the release is in place.
TrustVerdict judge_release(const TrustRoots& roots, const SignedRelease& release, const InstalledSerials& installed,
                           std::int64_t now, InstalledSerials& accepted);

// Fetches the signature files and the key list from the channel and judges the manifest `body`
// against the client folder's serials and the clock, printing the line of a refusal. True when the
// manifest may be installed (always, when nothing is pinned); `accepted` is then what to record.
[[nodiscard]] bool admit_release(const TrustRoots& roots, const UrlParts& channel, std::string_view body,
                                 std::wstring_view install_dir, InstalledSerials& accepted);

// Keeps the serials of a release that is now in place (nothing when nothing is pinned). A failure
// leaves the folder's earlier serials, which still refuse everything older than those.
void record_release(const TrustRoots& roots, std::wstring_view install_dir, const InstalledSerials& accepted);

}  // namespace corvane
