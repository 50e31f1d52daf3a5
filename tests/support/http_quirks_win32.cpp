#include "support/http_quirks.h"

#include "support/wine_win32.h"

namespace corvane::test {

// Windows' WinHTTP fails the read of a reset connection; Wine's may read the end of the body.
bool reset_may_read_as_end_of_body() { return running_under_wine(); }

}  // namespace corvane::test
