// A run descriptor for the MVE engine carved as the front end carves it (mve_sizes and
// mve_carve), with canaries after every block, and the objective of a subset computed
// independently of the engine (long double moments, Gauss-Jordan inverse and determinant).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "mve/mve.h"
#include "robmat/services.h"
#include "support/matrices.h"
#include "support/recording_host.h"

namespace robmat::testing {

constexpr double kMveCanary = -1.2345e-301;

struct MveRun {
  LMTSTR s{};
  std::vector<double> dbl, est, dist;
  std::vector<long> lng;
  std::vector<U_SNAME> names;
  Recording* rec;
  int rpx = 0;

  // x: n rows of p values (row-major).
  MveRun(const std::vector<double>& x, long n, int p, int ipri = 0) : rec(&install_recording_host()) {
    s.nvar = p;
    s.ncas = n;
    s.nnva = p * (p + 1L) / 2;
    s.ipri = ipri;
    s.sing = 1e-10;
    s.trex = 0.05;
    const MveSizes z = mve_sizes(n, p, 1);
    s.ocor = 1;
    dbl.assign(static_cast<size_t>(z.doubles + 8), kMveCanary);
    lng.assign(static_cast<size_t>(z.longs + 8), -777);
    mve_carve(&s, dbl.data(), lng.data());
    std::copy(x.begin(), x.begin() + n * p, s.a);
    est.assign(static_cast<size_t>(2 * p), missing_value());
    dist.assign(static_cast<size_t>(3 * n), missing_value());
    s.xmve = est.data();
    s.eval = est.data() + p;
    s.maha = dist.data();
    s.dmve = dist.data() + n;
    s.wgts = dist.data() + 2 * n;
    names.resize(static_cast<size_t>(p + 1));
    for (int j = 0; j <= p; ++j)
      names[j].len =
          static_cast<int16_t>(std::snprintf(names[j].name, 32, j < p ? "VAR%d" : "Addition", j + 1));
    s.pnam = names.data();
    s.rpx = &rpx;
  }
  MveRun(const MveRun&) = delete;

  bool intact() const {
    return std::all_of(dbl.end() - 8, dbl.end(), [](double d) { return d == kMveCanary; }) &&
           std::all_of(lng.end() - 8, lng.end(), [](long v) { return v == -777; });
  }
  std::vector<double> weights() const { return {s.wgts, s.wgts + s.ncas}; }
  std::vector<double> robust2() const { return {s.dmve, s.dmve + s.ncas}; }
  std::vector<long> best() const { return {s.jbst, s.jbst + s.nvar + 1}; }
  // Box entry e: its objective and its subset.
  std::vector<long> entry(int e) const {
    const long k = s.nvar + 1;
    return {s.lwim + e * k, s.lwim + (e + 1) * k};
  }
};

// The mean and the covariance (divisor p) of the subset J of n rows x, in long double, with
// the inverse and the determinant of the covariance by Gauss-Jordan with partial pivoting
// (determinant 0 when a pivot vanishes).
struct SubsetMoments {
  std::vector<long double> mu, cov, inv;
  long double det = 1.0L;
  SubsetMoments(const std::vector<double>& x, int p, const std::vector<long>& J)
      : mu(static_cast<size_t>(p), 0.0L), cov(static_cast<size_t>(p * p), 0.0L), inv(cov) {
    for (long i : J)
      for (int j = 0; j < p; ++j) mu[j] += x[i * p + j];
    for (long double& m : mu) m /= static_cast<long double>(p + 1);
    for (long i : J)
      for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b) cov[a * p + b] += (x[i * p + a] - mu[a]) * (x[i * p + b] - mu[b]) / p;
    std::vector<long double> c = cov;
    for (int i = 0; i < p; ++i) inv[i * p + i] = 1.0L;
    for (int k = 0; k < p; ++k) {
      int piv = k;
      for (int i = k + 1; i < p; ++i)
        if (std::fabs(c[i * p + k]) > std::fabs(c[piv * p + k])) piv = i;
      if (c[piv * p + k] == 0.0L) {
        det = 0.0L;
        return;
      }
      if (piv != k) {
        det = -det;
        for (int j = 0; j < p; ++j) {
          std::swap(c[k * p + j], c[piv * p + j]);
          std::swap(inv[k * p + j], inv[piv * p + j]);
        }
      }
      const long double d = c[k * p + k];
      det *= d;
      for (int j = 0; j < p; ++j) {
        c[k * p + j] /= d;
        inv[k * p + j] /= d;
      }
      for (int i = 0; i < p; ++i) {
        if (i == k) continue;
        const long double f = c[i * p + k];
        for (int j = 0; j < p; ++j) {
          c[i * p + j] -= f * c[k * p + j];
          inv[i * p + j] -= f * inv[k * p + j];
        }
      }
    }
  }
};

// The MVE objective of the subset J (p + 1 indices) of n rows x: with the mean and the
// covariance (divisor p) of J, d the square root of the h-th smallest squared distance of
// all rows, d^p sqrt(det). Also the squared distances, when d2 is given. NaN when singular.
inline double reference_objective(const std::vector<double>& x,
                                  long n,
                                  int p,
                                  long h,
                                  const std::vector<long>& J,
                                  std::vector<double>* d2 = nullptr) {
  const SubsetMoments m(x, p, J);
  if (m.det == 0.0L) return NAN;
  std::vector<double> q(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    long double s = 0.0L;
    for (int a = 0; a < p; ++a)
      for (int b = 0; b < p; ++b) s += (x[i * p + a] - m.mu[a]) * m.inv[a * p + b] * (x[i * p + b] - m.mu[b]);
    q[i] = static_cast<double>(s);
  }
  if (d2 != nullptr) *d2 = q;
  std::nth_element(q.begin(), q.begin() + (h - 1), q.end());
  return std::pow(std::sqrt(q[h - 1]), p) * std::sqrt(static_cast<double>(m.det));
}

// The condition number (1-norm) of the covariance (divisor p) of the subset J: how much a
// relative rounding error in its factor may grow in the distances it gives.
inline double subset_condition(const std::vector<double>& x, int p, const std::vector<long>& J) {
  const SubsetMoments m(x, p, J);
  if (m.det == 0.0L) return INFINITY;
  double na = 0.0, ni = 0.0;
  for (int j = 0; j < p; ++j) {
    double sa = 0.0, si = 0.0;
    for (int i = 0; i < p; ++i) {
      sa += static_cast<double>(std::fabs(m.cov[i * p + j]));
      si += static_cast<double>(std::fabs(m.inv[i * p + j]));
    }
    na = std::max(na, sa);
    ni = std::max(ni, si);
  }
  return na * ni;
}

}  // namespace robmat::testing
