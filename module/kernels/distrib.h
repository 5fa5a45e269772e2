// Distribution functions the engines need: normal distribution and quantile, chi-square
// quantile, t and F tail probabilities, and the special functions beneath them (erf/erfc,
// normal log-tail, incomplete beta and gamma, log-gamma, log-beta, ln(1+z)). None of them
// stops the run: bad input gives a documented sentinel that the caller tests for.
#pragma once

namespace robmat {

// calerf: Cody's rational Chebyshev approximations of the error functions.
//   arg   in  argument
//   jint  in  0: erf(arg); 1: erfc(arg); 2: exp(arg^2) * erfc(arg)
// Returns the requested function; erfc keeps full relative accuracy in the upper tail.
double calerf(double arg, int jint);

// zprbnrm: standard normal distribution function Phi(x), with full relative accuracy in
// the lower tail (Phi(x) = erfc(-x/sqrt 2)/2 for x <= 0).
double zprbnrm(double x);

// zmillsr: Mills' ratio R(x) = (1 - Phi(x)) / phi(x), accurate for large positive x.
double zmillsr(double x);

// zlognrm: logarithms of the normal distribution function and density.
//   x     in   argument
//   lcdf  out  ln Phi(x), by Mills' ratio in the far lower tail (no underflow down to
//              x = -1e154)
//   lpdf  out  ln phi(x) = -x^2/2 - ln sqrt(2 pi)
// Returns 0, or 1 when either result is not finite (NaN or extreme x).
int zlognrm(double x, double* lcdf, double* lpdf);

// zprobit: standard normal quantile Phi^-1(p).
//   p  in  probability. p = 0 (and p < 0) gives -37.64030867301702, p = 1 (and p > 1) gives
//          7.941345326170997; 0 < p < 1e-16 is solved by Newton's method on ln Phi, and
//          gives -37.51776241585513 when that fails. p = 0.5 gives -0.0; NaN gives NaN.
double zprobit(double p);

// zqc: chi-square quantile q with P(chi2_df <= q) = p, found as q = 2y with P(df/2, y) = p
// for the regularized lower incomplete gamma function (at most eleven evaluations).
//   p   in   probability, 0 <= p < 0.9999999999999
//   df  in   degrees of freedom, 0 < df < 1e14
//   q   out  the quantile (status 0 only); p = 0 gives 0
// Returns 0, or 1 for invalid input, an incomplete gamma failure or no convergence (to
// 1e-7 * min(p, 1-p) in probability).
int zqc(double p, double df, double* q);

// zpgt2: two-sided p-value P(|T| >= t) of Student's t with df degrees of freedom.
//   t2  in  t^2
//   df  in  degrees of freedom
// Returns I_x(df/2, 1/2) with x = df/(t2 + df), or -2.0 when the incomplete beta function
// fails (df <= 0, t2 < 0, NaN).
double zpgt2(double t2, long df);

// zprbf: upper tail P(F >= f) of Fisher's F with ndf and ddf degrees of freedom.
// Returns -1.0 when f < 0, ndf <= 0 or ddf <= 0; 1.0 when f = 0; 0.0 when
// x = ddf/(f*ndf + ddf) is 0; else I_x(ddf/2, ndf/2), or -2.0 when that fails.
double zprbf(double f, double ndf, double ddf);

// zibeta: regularized incomplete beta function and beta density.
//   x  in   point, 0 <= x <= 1
//   a  in   first shape, a > 0
//   b  in   second shape, b > 0
//   p  out  I_x(a, b), clamped to [0, 1]
//   d  out  density x^(a-1) (1-x)^(b-1) / B(a, b)
// Returns 0; 1 when a or b exceeds 2^53; -1 (with p = -1, d = 0) for x outside [0, 1],
// a <= 0, b <= 0 or NaN, or when the continued fraction does not converge in 400 terms and
// the parameters are not both large (one above 5000, the other above 100: then Paulson's
// normal approximation is returned with status 0). Relative error about 1e-15 for shapes
// below 1e4; near x = 1 with a large first shape it grows like 1e-16 / (1 - x) (2e-11 seen
// for I(1 - 4e-6; 5e5, 0.5)), the continued fraction's sensitivity to the rounding of x.
// Where the log density is below -708.3964185 the probability is 0 or 1 by the side of the
// mean a/(a+b) that x lies on.
int zibeta(double x, double a, double b, double* p, double* d);

// zigamma: regularized incomplete gamma functions and gamma density.
//   z   in   point, z >= 0
//   a   in   shape, a > 0
//   p   out  P(a, z), lower tail
//   pr  out  Q(a, z) = 1 - P(a, z), upper tail; the tail on the far side of z = a + 1 is
//            computed directly (full relative accuracy), the other as its complement
//   d   out  density z^(a-1) e^(-z) / Gamma(a)
// Returns 0; 1 when a exceeds 2^53; -1 (with p = pr = -1, d = 0) for z < 0, a <= 0 or NaN.
// Above a shape of 1e9 the Wilson-Hilferty approximation is used (error below 1e-10).
int zigamma(double z, double a, double* p, double* pr, double* d);

// zlgamma: ln Gamma(x) for x > 0 (absolute error below 1e-15 for x < 10, relative below
// 1e-15 beyond). x = 0 and +inf give +inf; x < 0 and NaN give NaN.
double zlgamma(double x);

// zlbeta: ln B(a, b) for a, b > 0, without cancellation when one or both shapes are large.
// a <= 0, b <= 0 or NaN give NaN.
double zlbeta(double a, double b);

// zln1px: ln(1 + z), accurate for small |z|; z = -1 gives -inf, z < -1 NaN.
double zln1px(double z);

}  // namespace robmat
