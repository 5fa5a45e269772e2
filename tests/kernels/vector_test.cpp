// Vector kernels: the unrolled loops against naive twins at every tail length, the packed
// row walk against the full matrix, and the norm on data that would overflow or underflow
// if squared directly.
#include "kernels/vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/matrices.h"

namespace robmat {
namespace {

using testing::random_vector;

TEST(VectorKernels, UnrolledLoopsEqualPlainLoopsAtEveryTail) {
  std::mt19937_64 gen(7);
  for (long n = 0; n <= 11; ++n) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const auto a = random_vector(gen, n), b = random_vector(gen, n);
    double dot = 0.0, asum = 0.0;
    for (long i = 0; i < n; ++i) {
      dot += a[i] * b[i];
      asum += std::fabs(a[i]);
    }
    EXPECT_EQ(zvdot11(a.data(), b.data(), n), dot);
    EXPECT_EQ(zvasumj(a.data(), 1, n), asum);
    auto y = a;
    zvxay11(y.data(), b.data(), n, -0.75);
    for (long i = 0; i < n; ++i) EXPECT_EQ(y[i], a[i] + -0.75 * b[i]);
  }
}

TEST(VectorKernels, StridedKernelsVisitEveryJthElement) {
  // Elements of interest at multiples of the stride; the gaps hold values that would
  // dominate every result if they were read.
  const long n = 5;
  for (long j : {1L, 2L, 3L, 7L}) {
    SCOPED_TRACE("stride " + std::to_string(j));
    std::vector<double> a(static_cast<size_t>(n * j), 1e6);
    for (long i = 0; i < n; ++i) a[i * j] = (i % 2 ? -1.0 : 1.0) * static_cast<double>(i + 1);
    EXPECT_EQ(zvasumj(a.data(), j, n), 15.0);
    EXPECT_EQ(zvamxj(a.data(), j, n), 5.0);
    EXPECT_DOUBLE_EQ(zvenorm(n, j, a.data()), std::sqrt(55.0));
  }
  const double v[] = {-3.0, 2.0, -7.5, 7.0};
  EXPECT_EQ(zvamx(v, 4), 7.5);
  EXPECT_EQ(zvamx(v, 0), 0.0);
}

TEST(VectorKernels, PackedRowDotEqualsFullRowDot) {
  std::mt19937_64 gen(11);
  for (long n : {1L, 2L, 3L, 6L, 13L}) {
    const auto full = random_vector(gen, n * n);
    std::vector<double> packed;  // lower triangle by rows of the symmetrised matrix
    for (long i = 0; i < n; ++i)
      for (long j = 0; j <= i; ++j) packed.push_back(full[i * n + j]);
    const auto b = random_vector(gen, n);
    for (long jcol = 0; jcol < n; ++jcol) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", row " + std::to_string(jcol));
      double want = 0.0;
      for (long i = 0; i < n; ++i) want += full[std::max(jcol, i) * n + std::min(jcol, i)] * b[i];
      const double got = zvdots1(packed.data() + jcol * (jcol + 1) / 2, jcol, b.data(), n);
      EXPECT_NEAR(got, want, 1e-14 * n * (1.0 + std::fabs(want)));
    }
  }
}

TEST(VectorKernels, AxpyNoOpsAndAliasing) {
  std::vector<double> a = {1.0, -2.0, 4.0};
  const std::vector<double> poison = {NAN, NAN, NAN};
  zvxay11(a.data(), poison.data(), 3, 0.0);  // alpha = 0 must not even read b
  EXPECT_EQ(a, (std::vector<double>{1.0, -2.0, 4.0}));
  zvxay11(a.data(), poison.data(), 0, 1.0);
  EXPECT_EQ(a, (std::vector<double>{1.0, -2.0, 4.0}));
  zvxay11(a.data(), a.data(), 3, 0.5);
  EXPECT_EQ(a, (std::vector<double>{1.5, -3.0, 6.0}));
}

TEST(VectorKernels, RotationIsOrthogonalOnStridedVectors) {
  const double c = std::cos(0.3), s = std::sin(0.3);
  double x[6] = {1.0, 99.0, 2.0, 99.0, -1.0, 99.0}, y[3] = {0.5, -4.0, 3.0}, before = 0.0, after = 0.0;
  for (int i = 0; i < 3; ++i) before += x[2 * i] * x[2 * i] + y[i] * y[i];
  zvrotg(x, 2, y, 1, 3, c, s);
  for (int i = 0; i < 3; ++i) after += x[2 * i] * x[2 * i] + y[i] * y[i];
  EXPECT_NEAR(after, before, 1e-14 * before);
  EXPECT_EQ(x[1], 99.0);
  EXPECT_NEAR(x[0], c * 1.0 + s * 0.5, 1e-15);
  EXPECT_NEAR(y[0], c * 0.5 - s * 1.0, 1e-15);
}

TEST(VectorKernels, NormSurvivesExtremeMagnitudes) {
  struct Case {
    const char* name;
    std::vector<double> x;
    double want;
  };
  const double big = 1e300, tiny = 1e-300;
  const Case cases[] = {
      {"empty", {}, 0.0},
      {"zeros", {0.0, 0.0, -0.0}, 0.0},
      {"3-4-5", {3.0, -4.0}, 5.0},
      {"near overflow", {3 * big, 4 * big}, 5 * big},
      {"near underflow", {3 * tiny, -4 * tiny}, 5 * tiny},
      {"subnormal", {3 * DBL_TRUE_MIN, 4 * DBL_TRUE_MIN}, 5 * DBL_TRUE_MIN},
      {"max double", {DBL_MAX, 0.0}, DBL_MAX},
      // Next to 1e10 an element of 1e-12 cannot change the norm; it is skipped.
      {"negligible tail", {1e10, 1e-12, -1e-12}, 1e10},
      {"many equal", std::vector<double>(100, 2.0), 20.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double got = zvenorm(static_cast<long>(c.x.size()), 1, c.x.data());
    EXPECT_TRUE(std::isfinite(got));
    EXPECT_NEAR(got, c.want, 4 * DBL_EPSILON * c.want);
  }
}

}  // namespace
}  // namespace robmat
