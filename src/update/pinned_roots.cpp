#include "update/key_text.h"
#include "update/release_trust.h"

// kPinnedRootsPem: the text of the CORVANE_ROOT_KEYS file, empty when the build pins no key.
#include "corvane_pinned_roots.inc"

namespace corvane {

const TrustRoots& pinned_roots() {
  static const TrustRoots roots = [] {
    TrustRoots made;
    made.pinned = sizeof(kPinnedRootsPem) > 1;
    // The build checked the file; should a block still be unreadable, the client trusts no key
    // rather than none being pinned.
    if (made.pinned && !read_pem_public_keys(kPinnedRootsPem, made.keys)) made.keys.clear();
    return made;
  }();
  return roots;
}

}  // namespace corvane
