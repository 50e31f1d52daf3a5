#include "support/http_quirks.h"

#include "support/wine_win32.h"

namespace corvane::test {

// Windows' WinHTTP fails the read of a reset connection; Wine's reads the end of the body.
bool reset_reads_as_end_of_body() { return running_under_wine(); }

}  // namespace corvane::test
