#pragma once

// What the system's HTTP stack reports differently where the Windows tests run under Wine. Each
// test that depends on it says so where it uses it.
namespace corvane::test {

// A connection reset in the middle of a body may reach the client as the end of the body: Wine's
// WinHTTP sometimes reads 0 bytes where Windows and curl always report a failed read (it depends on
// whether the reset has arrived when the client reads). The transfer layer then sees a body cut
// short (a wrong byte count, fatal) instead of a failed transfer (not fatal).
bool reset_may_read_as_end_of_body();


}  // namespace corvane::test
