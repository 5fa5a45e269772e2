// The robust scales by their O(n^2) definitions, for the kernel and front-end tests: every
// pairwise distance for Qn, every point's full list of distances for Sn, full sorts for the
// MAD. The module's estimators return exact order statistics, so these are the same doubles.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace robmat::testing {

inline double kth(std::vector<double> v, long k) {  // k-th smallest, 1-based
  std::nth_element(v.begin(), v.begin() + (k - 1), v.end());
  return v[static_cast<size_t>(k - 1)];
}

inline double sn_brute(const std::vector<double>& x) {
  const long n = static_cast<long>(x.size());
  std::vector<double> inner(x.size()), d(x.size());
  for (long i = 0; i < n; ++i) {
    for (long j = 0; j < n; ++j) d[j] = std::fabs(x[i] - x[j]);
    inner[i] = kth(d, n / 2 + 1);  // himed
  }
  static const double cn[10] = {0, 0, 0.743, 1.851, 0.954, 1.351, 0.993, 1.198, 1.005, 1.131};
  const double c = n < 10 ? cn[n] : (n % 2 ? n / (n - 0.9) : 1.0);
  return (c * 1.1926) * kth(inner, (n + 1) / 2);  // lomed
}

inline double qn_brute(const std::vector<double>& x) {
  const long n = static_cast<long>(x.size());
  std::vector<double> d;
  for (long i = 0; i < n; ++i)
    for (long j = i + 1; j < n; ++j) d.push_back(std::fabs(x[i] - x[j]));
  const long h = n / 2 + 1;
  static const double dn[10] = {0, 0, 0.399, 0.994, 0.512, 0.844, 0.611, 0.857, 0.669, 0.872};
  const double c = n < 10 ? dn[n] : (n % 2 ? n / (n + 1.4) : n / (n + 3.8));
  return (c * 2.2219) * kth(d, h * (h - 1) / 2);
}

inline double mad_brute(const std::vector<double>& x) {
  std::vector<double> s = x;
  std::sort(s.begin(), s.end());
  const size_t n = s.size();
  auto med = [n](const std::vector<double>& v) { return n % 2 ? v[n / 2] : (v[n / 2] + v[n / 2 - 1]) * 0.5; };
  const double m = med(s);
  for (double& v : s) v = std::fabs(v - m);
  std::sort(s.begin(), s.end());
  return med(s);
}

}  // namespace robmat::testing
