// Test-only control over the heap of the code linked into a test: make the
// Nth allocation fail, and see what is still allocated.
#pragma once

#include <cstddef>
#include <functional>

namespace alloc_hook {

// From now on, let `n` allocations succeed and fail the next one (and only
// that one). A negative `n` switches failing off.
void failAfter(long n);
// Whether the planned failure has happened since failAfter.
bool failed();
// Allocations made by the library (and not freed) since tracking started.
void startTracking();
size_t live();
void stopTracking();

// Runs `body` with the 1st, 2nd, 3rd ... allocation failing until it runs
// through without meeting a failure, checking after each run that nothing
// allocated during it is still alive. `body` must release whatever it got.
// Returns the number of failure points exercised.
int sweep(const std::function<void()> &body);

} // namespace alloc_hook
