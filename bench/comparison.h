// How every benchmark line is measured and printed: both sides in the same
// run, alternating, the best of each, as "NAME ours=… reference=… ratio=…".
#pragma once

#include <functional>

namespace velmora::bench {

// Seconds `body` takes, after the untimed `setup`.
double timeIt(const std::function<void()>& setup, const std::function<void()>& body);
void report(const char* name, double ours, double reference);
// Runs both sides `rounds` times, alternating, and reports the best of each.
// `setup(true)` prepares our side's data, `setup(false)` the reference's.
void compare(const char* name, int rounds, const std::function<void(bool)>& setup, const std::function<void()>& ours,
             const std::function<void()>& reference);

}  // namespace velmora::bench
