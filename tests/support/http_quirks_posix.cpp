#include "support/http_quirks.h"

namespace corvane::test {

// curl reports a reset as a failed receive.
bool reset_may_read_as_end_of_body() { return false; }

}  // namespace corvane::test
