#pragma once

// The monotonic clock the test lines pace their bytes by.

namespace vantrel::test {

// Now, in nanoseconds of the monotonic clock.
long long NowNs();
// Sleeps until the monotonic clock reaches ns (at once when it has).
void SleepUntil(long long ns);

} // namespace vantrel::test
