#pragma once
// Small statistics for benchmark figures.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The p-quantile (0..1) by nearest rank; 0 for no values.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
  return values[index];
}

}  // namespace bench
