// Quantiles for the plots: normal and chi-square, and the plotting positions of a QQ plot.
// The host computes them itself (the module's kernels are the module's), to double precision.
#pragma once

#include <cstddef>

namespace robmat::host::plots {

// normal_quantile: x with Phi(x) = p, for 0 < p < 1 (Wichura's algorithm AS 241, relative
// error about 1e-16). Returns -inf at 0, +inf at 1 and NaN outside [0, 1].
double normal_quantile(double p);

// chi_square_cdf: P(X <= x) for X chi-square with df > 0 degrees of freedom (the regularized
// lower incomplete gamma function P(df/2, x/2)).
double chi_square_cdf(double x, double df);

// chi_square_quantile: x with chi_square_cdf(x, df) = p, for 0 <= p < 1 and df > 0; Newton
// steps from the Wilson-Hilferty approximation, kept inside a bracket. NaN for bad arguments.
double chi_square_quantile(double p, double df);

// plotting_position: the probability at which the i-th (0-based) of n ordered values is
// plotted, (i + 1 - a) / (n + 1 - 2a) with a = 3/8 for n <= 10 and 1/2 otherwise (Blom's
// positions for small samples, Hazen's for larger ones).
double plotting_position(size_t i, size_t n);

}  // namespace robmat::host::plots
