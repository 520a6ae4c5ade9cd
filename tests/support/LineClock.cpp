#include "tests/support/LineClock.h"

#include <cerrno>
#include <time.h>

namespace vantrel::test {

long long NowNs() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void SleepUntil(long long ns) {
    struct timespec ts {
        static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)
    };
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace vantrel::test
