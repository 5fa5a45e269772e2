// Normal and chi-square quantiles; see quantiles.h for the contracts.
#include "plots/quantiles.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace robmat::host::plots {

double normal_quantile(double p) {
  if (std::isnan(p) || p < 0 || p > 1) return std::numeric_limits<double>::quiet_NaN();
  if (p == 0) return -std::numeric_limits<double>::infinity();
  if (p == 1) return std::numeric_limits<double>::infinity();
  // AS 241 (PPND16): rational approximations in three regions of q = p - 1/2.
  const double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    return q *
           (((((((2509.0809287301226727 * r + 33430.575583588128105) * r + 67265.770927008700853) * r +
                45921.953931549871457) *
                   r +
               13731.693765509461125) *
                  r +
              1971.5909503065514427) *
                 r +
             133.14166789178437745) *
                r +
            3.387132872796366608) /
           (((((((5226.495278852545925 * r + 28729.085735721942674) * r + 39307.89580009271061) * r +
                21213.794301586595867) *
                   r +
               5394.1960214247511077) *
                  r +
              687.1870074920579083) *
                 r +
             42.313330701600911252) *
                r +
            1.0);
  }
  double r = q < 0 ? p : 1 - p;
  r = std::sqrt(-std::log(r));
  double x;
  if (r <= 5.0) {
    r -= 1.6;
    x = (((((((7.7454501427834140764e-4 * r + 0.0227238449892691845833) * r + 0.24178072517745061177) * r +
             1.27045825245236838258) *
                r +
            3.64784832476320460504) *
               r +
           5.7694972214606914055) *
              r +
          4.6303378461565452959) *
             r +
         1.42343711074968357734) /
        (((((((1.05075007164441684324e-9 * r + 5.475938084995344946e-4) * r + 0.0151986665636164571966) * r +
             0.14810397642748007459) *
                r +
            0.68976733498510000455) *
               r +
           1.6763848301838038494) *
              r +
          2.05319162663775882187) *
             r +
         1.0);
  } else {
    r -= 5.0;
    x = (((((((2.01033439929228813265e-7 * r + 2.71155556874348757815e-5) * r + 0.0012426609473880784386) *
                 r +
             0.026532189526576123093) *
                r +
            0.29656057182850489123) *
               r +
           1.7848265399172913358) *
              r +
          5.4637849111641143699) *
             r +
         6.6579046435011037772) /
        (((((((2.04426310338993978564e-15 * r + 1.4215117583164458887e-7) * r + 1.8463183175100546818e-5) *
                 r +
             7.868691311456132591e-4) *
                r +
            0.0148753612908506148525) *
               r +
           0.13692988092273580531) *
              r +
          0.59983220655588793769) *
             r +
         1.0);
  }
  return q < 0 ? -x : x;
}

namespace {

// P(a, x) by its power series, which converges quickly for x < a + 1.
double gamma_series(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int k = 1; k < 1000; ++k) {
    term *= x / (a + k);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * 1e-17) break;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz), for x >= a + 1.
double gamma_fraction(double a, double x) {
  constexpr double tiny = 1e-300;
  double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int k = 1; k < 1000; ++k) {
    const double an = -k * (k - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-17) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

double chi_square_density(double x, double df) {
  const double a = df / 2;
  if (x <= 0) return 0;
  return std::exp((a - 1) * std::log(x / 2) - x / 2 - std::lgamma(a)) / 2;
}

}  // namespace

double chi_square_cdf(double x, double df) {
  if (std::isnan(x) || !(df > 0)) return std::numeric_limits<double>::quiet_NaN();
  if (x <= 0) return 0;
  if (std::isinf(x)) return 1;
  const double a = df / 2, h = x / 2;
  return h < a + 1 ? gamma_series(a, h) : 1 - gamma_fraction(a, h);
}

double chi_square_quantile(double p, double df) {
  if (std::isnan(p) || p < 0 || p >= 1 || !(df > 0)) return std::numeric_limits<double>::quiet_NaN();
  if (p == 0) return 0;
  // Wilson-Hilferty: (X/df)^(1/3) is nearly normal; a good start except in the far left tail.
  const double z = normal_quantile(p), v = 2 / (9 * df);
  double x = df * std::pow(std::max(1 - v + z * std::sqrt(v), 1e-3), 3);
  double lo = 0, hi = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 200; ++k) {
    const double f = chi_square_cdf(x, df) - p;
    if (f == 0) return x;
    (f < 0 ? lo : hi) = x;
    const double dens = chi_square_density(x, df);
    double next = dens > 0 ? x - f / dens : std::numeric_limits<double>::quiet_NaN();
    // A Newton step that leaves the bracket is replaced by bisection (or doubling).
    if (!(next > lo && next < hi)) next = std::isinf(hi) ? 2 * x + 1 : (lo + hi) / 2;
    if (std::fabs(next - x) <= 4 * std::numeric_limits<double>::epsilon() * x) return next;
    x = next;
  }
  return x;
}

double plotting_position(size_t i, size_t n) {
  const double a = n <= 10 ? 0.375 : 0.5;
  return (static_cast<double>(i) + 1 - a) / (static_cast<double>(n) + 1 - 2 * a);
}

}  // namespace robmat::host::plots
