// MCD end to end through the host: the hbk outliers, the shapes and rows of the three
// results, every refusal with its status, a failed engine, and that no request for work
// space or a result can fail without the call cleaning up after itself.
#include <gtest/gtest.h>

#include <cmath>

#include "robmat/host/session.h"

namespace {

using namespace robmat::host;

// Hawkins, Bradu and Kass (1984), regressors X1-X3; cases 1-14 are planted outliers.
const double kHbk[75][3] = {
    {10.1, 19.6, 28.3}, {9.5, 20.5, 28.9},  {10.7, 20.2, 31},  {9.9, 21.5, 31.7}, {10.3, 21.1, 31.1},
    {10.8, 20.4, 29.2}, {10.5, 20.9, 29.1}, {9.9, 19.6, 28.8}, {9.7, 20.7, 31},   {9.3, 19.7, 30.3},
    {11, 24, 35},       {12, 23, 37},       {12, 26, 34},      {11, 34, 34},      {3.4, 2.9, 2.1},
    {3.1, 2.2, 0.3},    {0, 1.6, 0.2},      {2.3, 1.6, 2},     {0.8, 2.9, 1.6},   {3.1, 3.4, 2.2},
    {2.6, 2.2, 1.9},    {0.4, 3.2, 1.9},    {2, 2.3, 0.8},     {1.3, 2.3, 0.5},   {1, 0, 0.4},
    {0.9, 3.3, 2.5},    {3.3, 2.5, 2.9},    {1.8, 0.8, 2},     {1.2, 0.9, 0.8},   {1.2, 0.7, 3.4},
    {3.1, 1.4, 1},      {0.5, 2.4, 0.3},    {1.5, 3.1, 1.5},   {0.4, 0, 0.7},     {3.1, 2.4, 3},
    {1.1, 2.2, 2.7},    {0.1, 3, 2.6},      {1.5, 1.2, 0.2},   {2.1, 0, 1.2},     {0.5, 2, 1.2},
    {3.4, 1.6, 2.9},    {0.3, 1, 2.7},      {0.1, 3.3, 0.9},   {1.8, 0.5, 3.2},   {1.9, 0.1, 0.6},
    {1.8, 0.5, 3},      {3, 0.1, 0.8},      {3.1, 1.6, 3},     {3.1, 2.5, 1.9},   {2.1, 2.8, 2.9},
    {2.3, 1.5, 0.4},    {3.3, 0.6, 1.2},    {0.3, 0.4, 3.3},   {1.1, 3, 0.3},     {0.5, 2.4, 0.9},
    {1.8, 3.2, 0.9},    {1.8, 0.7, 0.7},    {2.4, 3.4, 1.5},   {1.6, 2.1, 3},     {0.3, 1.5, 3.3},
    {0.4, 3.4, 3},      {0.9, 0.1, 0.3},    {1.1, 2.7, 0.2},   {2.8, 3, 2.9},     {2, 0.7, 2.7},
    {0.2, 1.8, 0.8},    {1.6, 2, 1.2},      {0.1, 0, 1.1},     {2, 0.6, 0.3},     {1, 2.2, 2.9},
    {2.2, 2.5, 2.3},    {0.6, 2, 1.5},      {0.3, 1.7, 2.2},   {0, 2.2, 1.6},     {0.3, 0.4, 2.6}};

Matrix hbk() {
  Matrix m(75, 3);
  for (int i = 0; i < 75; ++i)
    for (int j = 0; j < 3; ++j) m.at(i, j) = kHbk[i][j];
  return m;
}

Matrix row(std::initializer_list<double> v) {
  Matrix m(1, static_cast<int64_t>(v.size()));
  std::copy(v.begin(), v.end(), m.data.begin());
  return m;
}

class RecordingSink : public OutputSink {
 public:
  void emit(const OutputObject& o) override { objects.push_back(o); }
  std::vector<OutputObject> objects;
  bool has(const std::string& name) const {
    for (const auto& o : objects) {
      if (auto* m = std::get_if<MatrixOutput>(&o); m && m->name == name) return true;
      if (auto* t = std::get_if<TableOutput>(&o); t && t->name == name) return true;
    }
    return false;
  }
};

class Mcd : public ::testing::Test {
 protected:
  CallResult run(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    Value vo = opt, vx = x;
    std::optional<Value> vs;
    std::vector<const Value*> args{&vo, &vx};
    if (start) {
      vs = *start;
      args.push_back(&*vs);
    }
    return s.call("MCD", args);
  }
  int status_of(const Matrix& opt, const Matrix& x, const Matrix* start = nullptr) {
    try {
      run(opt, x, start);
    } catch (const RoutineError& e) {
      return e.status;
    }
    return 0;
  }
  Session s{ROBMAT_MODULE_PATH};
};

TEST_F(Mcd, HbkOutliersGetWeightZero) {
  auto r = run(Matrix(), hbk());
  ASSERT_EQ(r.results.size(), 3u);
  const Matrix& sc = r.results[0];
  const Matrix& est = r.results[1];
  const Matrix& dist = r.results[2];
  EXPECT_EQ(sc.rows, 7);
  EXPECT_EQ(est.rows, 5);
  EXPECT_EQ(est.cols, 3);
  EXPECT_EQ(dist.rows, 3);
  EXPECT_EQ(dist.cols, 75);
  EXPECT_EQ(sc.data[0], 39.0);  // h = (n + p + 1) / 2
  EXPECT_EQ(sc.data[3], 14.0);  // observations of weight 0
  for (int i = 0; i < 75; ++i) EXPECT_EQ(dist.at(2, i), i < 14 ? 0.0 : 1.0) << "case " << i + 1;
  // Scatter rows are symmetric; robust distances of the outliers dwarf the others.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(est.at(2 + i, j), est.at(2 + j, i));
  for (int i = 0; i < 14; ++i) EXPECT_GT(dist.at(1, i), dist.at(1, 20));
  // The cutoff is the square root of the 0.975 chi-square quantile with 3 degrees of freedom.
  EXPECT_NEAR(sc.data[6], std::sqrt(9.348403604496145), 1e-12);
}

TEST_F(Mcd, CorrelationRowsAndPrinting) {
  RecordingSink sink;
  s.set_output(&sink);
  auto quiet = run(row({0, 0, 2}), hbk());
  EXPECT_EQ(quiet.results[1].rows, 8);  // 2p + 2
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(quiet.results[1].at(5 + i, i), 1.0, 1e-14);
  EXPECT_TRUE(sink.objects.empty());
  run(row({2, 0, 3}), hbk());
  EXPECT_TRUE(sink.has("Distances"));
  EXPECT_FALSE(sink.objects.empty());
  s.set_output(nullptr);
}

TEST_F(Mcd, RefusalsWithTheirStatus) {
  Matrix x = hbk();
  Matrix with_missing = x;
  with_missing.at(4, 1) = missing();
  Matrix square(2, 2, 0.0);
  Matrix short_start = row({1, 2, 3});
  Matrix bad_start = row({1, 2, 3, 76});
  Matrix zero_start = row({0, 2, 3, 4});
  Matrix good_start = row({20, 30, 40, 50});
  EXPECT_EQ(status_of(square, x), 6);
  EXPECT_EQ(status_of(Matrix(), with_missing), 17);
  EXPECT_EQ(status_of(Matrix(), x, &short_start), 6);
  EXPECT_EQ(status_of(Matrix(), x, &bad_start), 6);
  EXPECT_EQ(status_of(Matrix(), x, &zero_start), 6);
  EXPECT_EQ(status_of(Matrix(), x, &good_start), 0);
}

TEST_F(Mcd, FailedEngineLeavesResultsMissing) {
  Matrix x(3, 3, 1.0);  // n <= p
  auto r = run(Matrix(), x);
  for (const auto& m : r.results)
    for (double v : m.data) EXPECT_TRUE(is_missing(v));
  bool logged = false;
  for (const auto& e : r.log) logged |= e.severity == LogEntry::Severity::kError;
  EXPECT_TRUE(logged);
  EXPECT_TRUE(r.engine_failed);
  EXPECT_FALSE(run(Matrix(), hbk()).engine_failed);
}

TEST_F(Mcd, EveryRefusedRequestIsCleanedUp) {
  Matrix x = hbk();
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    s.fail_nth_allocation(n);
    EXPECT_EQ(status_of(Matrix(), x), 1);
  }
  EXPECT_EQ(status_of(Matrix(), x), 0);
}

}  // namespace
