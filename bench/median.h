// Medians of timings taken on a shared machine: now and then a run waits for
// a busy processor; the median is the run itself, a mean would carry the
// waits too.
#pragma once

#include <algorithm>
#include <vector>

namespace bench {

inline double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace bench
