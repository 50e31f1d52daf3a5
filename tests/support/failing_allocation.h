#pragma once

// For a test program whose allocations fail on demand: failing_allocation.cpp, added to the
// program's own sources (never to a library), replaces the program's global operator new and
// delete, and asks allocation_should_fail(), which the program defines, before every allocation.
namespace corvane::test {

// True makes the allocation at hand fail: std::bad_alloc, or null from the nothrow forms.
bool allocation_should_fail() noexcept;

}  // namespace corvane::test
