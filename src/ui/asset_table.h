#pragma once
#include <array>
#include <string_view>

#include "os/platform.h"

// The page and its assets as the web view asks for them: a fixed table from the path below the
// virtual origin to the embedded resource's name and the Content-Type of the answer.
namespace corvane {

// The origin the page is served from. On Windows an https host that exists on no network; on
// Linux a custom URI scheme registered with the web view as secure and CORS-enabled.
inline constexpr std::wstring_view kVirtualOrigin =
    os::kIsWindows ? L"https://setup.corvane.invalid/" : L"corvane-setup://app/";

struct AssetEntry {
  std::wstring_view path;           // relative to kVirtualOrigin, no leading '/'
  std::wstring_view resource_name;  // the embedded resource holding the bytes
  std::wstring_view mime_type;      // the Content-Type header's value
};

inline constexpr std::size_t kAssetCount = 23;
extern const std::array<AssetEntry, kAssetCount> kAssetTable;

// The entry for a request address: the address must start with kVirtualOrigin (exact case); the
// rest, cut at the first '?' or '#', must equal an entry's path exactly (case-sensitive, no
// decoding or dot-segment removal). Null when nothing matches.
const AssetEntry* find_asset_entry(std::wstring_view address);

}  // namespace corvane
