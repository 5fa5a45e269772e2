// Determinant records: a mantissa in [1, 10) and a decimal exponent, so products of many
// pivots neither overflow nor underflow. Shared by the LU and UDU' factorizations.
#pragma once

#include <cmath>

#include "kernels/machine.h"

namespace robmat {

// det_mult: multiplies the record det = (mantissa, exponent) by d and renormalises.
// A record that underflowed (mantissa 0) stays (0, 1).
inline void det_mult(double* det, double d) {
  if (det[0] == 0.0) return;
  double m = det[0] * d;
  if (std::isinf(m) && std::isfinite(d)) {
    // |d| near the overflow threshold: taking one decade out first keeps the product finite.
    m = (det[0] / 10.0) * d;
    det[1] += 1.0;
  }
  if (std::fabs(m) <= kDblMin) {
    det[0] = 0.0;
    det[1] = 1.0;
    return;
  }
  while (std::fabs(m) < 1.0) {
    m *= 10.0;
    det[1] -= 1.0;
  }
  while (std::isfinite(m) && std::fabs(m) >= 10.0) {
    m /= 10.0;
    det[1] += 1.0;
  }
  det[0] = m;
}

}  // namespace robmat
