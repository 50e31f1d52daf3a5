#pragma once
#include <optional>
#include <string>

// The tests' small program that records how it was started (see record_launch_main.cpp).
namespace corvane::test {

// Full path of the built recording program.
std::wstring record_launch_program();

// Copies the recording program to `path`, keeping its executable bit.
void install_record_launch_program(const std::wstring& path);

// A started copy keeps running (up to a minute) while a file "hold" is in its current folder.
inline constexpr wchar_t kHoldFileName[] = L"hold";

// Waits up to 20 s for the record that a started copy writes in `folder` (its current folder);
// the arguments it got, one a line, or nothing when none appears.
std::optional<std::string> wait_for_launch_record(const std::wstring& folder);

}  // namespace corvane::test
