#include "comparison.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace velmora::bench {

double timeIt(const std::function<void()>& setup, const std::function<void()>& body) {
  setup();
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, double ours, double reference) {
  std::printf("%s ours=%.4f reference=%.4f ratio=%.2f\n", name, ours, reference, ours / reference);
  std::fflush(stdout);
}

void compare(const char* name, int rounds, const std::function<void(bool)>& setup, const std::function<void()>& ours,
             const std::function<void()>& reference) {
  double bestOurs = 1e30, bestRef = 1e30;
  for (int r = 0; r < rounds; ++r) {
    bestRef = std::min(bestRef, timeIt([&] { setup(false); }, reference));
    bestOurs = std::min(bestOurs, timeIt([&] { setup(true); }, ours));
  }
  report(name, bestOurs, bestRef);
}

}  // namespace velmora::bench
