#pragma once
// The one place that knows which platform this build is for. Callers use these constants and never
// test the platform themselves.

namespace corvane::os {

#ifdef _WIN32
inline constexpr wchar_t kSep = L'\\';
inline constexpr bool kIsWindows = true;
#else
inline constexpr wchar_t kSep = L'/';
inline constexpr bool kIsWindows = false;
#endif

}  // namespace corvane::os
