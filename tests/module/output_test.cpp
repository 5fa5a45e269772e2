// The printing layer as the host sees it, through the recording host's decoder: every record
// at the moment of the call (tag, kind, text behind a handle, values behind a pointer) and
// the bound variables of a row table at each append, as a real host reads them.
#include "reports/output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mve/mve_report.h"
#include "reports/multivariate.h"
#include "robmat/services.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

using testing::WobCall;
using testing::WobRecord;

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { rec = &testing::install_recording_host(); }
  void* rpx() { return &rec->rpx; }
  testing::Recording* rec = nullptr;
};

// The method and its records in order, "tag:kind" with the value of each record: text, an
// integer, or "null" for a null pointer.
std::string dump(const WobCall& c) {
  std::string s = std::to_string(c.method);
  for (const WobRecord& r : c.recs) {
    s += (s.size() > 3 ? ", " : " ") + std::to_string(r.tag) + ":" + std::to_string(r.type);
    if (r.type == kWobInt) {
      s += "=" + std::to_string(r.i);
    } else if (r.type == kWobChar || r.type == kWobChars || (r.type == kWobText && r.p)) {
      s += "=" + r.text;
    } else if (!r.p) {
      s += "=null";
    }
  }
  return s;
}

U_SNAME name(const char* s) {
  U_SNAME n{};
  n.len = static_cast<int16_t>(std::strlen(s));
  std::memcpy(n.name, s, static_cast<size_t>(n.len));
  return n;
}

TEST_F(OutputTest, MatrixRecordsWithShapeByRowCountAndFixedWidthNames) {
  const U_SNAME cn[3] = {name("VAR1"), name("VAR2"), name("Addition")};
  const double pd[6] = {1, 2, 3, 4, 5, 6}, pd2[2] = {1.5, 2.5};
  for (int nr : {2, 0, -1}) pmat(rpx(), "ClassicalCov", nr, 3, nullptr, cn, pd, 834, 835);
  const char* const names[2] = {"Median", "MuchTooLongName"};
  char buf[17] = {};
  fixed_width_names(buf, 8, names, 2);
  EXPECT_EQ(std::string(buf), "  MedianMuchTooL");
  for (int title : {0, 828}) pmat2(rpx(), "MedianMean", 1, 2, nullptr, buf, 8, pd2, title, 829);
  const std::string cov =
      "388 339:66=Base.NLP.ClassicalCov, 138:66=ClassicalCov, 296:66=Classical Covariance, 267:66=Classical "
      "Covariance Matrix, 389:11, 390:3=";
  const std::string median =
      "388 339:66=Base.NLP.MedianMean, 138:66=MedianMean, 296:66=Median and Mean, 267:66=";
  const std::string median_tail =
      ", 389:11, 390:3=1, 391:3=2, 412:7=null, 399:6, 400:3=8, 401:3=8, 105:20=rb, 280:3=1, 371:3=1";
  const std::string want[] = {
      cov + "2, 391:3=3, 412:7=null, 402:7, 105:20=rb, 280:3=1, 371:3=1",
      cov + "3, 391:3=3, 412:7=null, 402:7, 105:20=sb, 280:3=1, 371:3=1",
      cov + "3, 391:3=3, 412:7=null, 402:7, 105:20=db, 280:3=1, 371:3=1",
      median + "null" + median_tail,  // no title for 0
      median + "Estimated Coefficients" + median_tail,
  };
  ASSERT_EQ(rec->calls.size(), std::size(want));
  for (size_t k = 0; k < std::size(want); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(dump(rec->calls[k]), want[k]);
    EXPECT_EQ(rec->calls[k].object, rpx());
    EXPECT_EQ(rec->calls[k].colnames,
              std::vector<std::string>{k < 3 ? "VAR1,VAR2,Addition" : "  MedianMuchTooL"});
  }
  EXPECT_EQ(rec->calls[4].values, (std::vector<double>{1.5, 2.5}));
}

TEST_F(OutputTest, MultivariateMatricesHaveTheirShapes) {
  U_SNAME pnam[3] = {name("VAR1"), name("VAR2"), name("Addition")};
  LMTSTR str{};
  str.rpx = rpx();
  str.nvar = 2;
  str.pnam = pnam;
  const double loc[2] = {1, 2}, packed[3] = {4, 1, 9};
  const long subset[3] = {0, 4, 2};
  double work[3];
  print_location(&str, kMveLoc, loc);
  print_scatter(&str, kRobustMveScatter, packed);
  print_best_subset(&str, kMveBestSubset, subset, 3, work);
  struct Want {
    std::string onam, shape;
    long rows, cols;
    std::vector<double> values;
    std::vector<std::string> rownames, colnames;
  };
  const Want want[] = {
      {"MVELoc", "rb", 1, 2, {1, 2}, {}, {"VAR1,VAR2"}},
      {"RobustMVEScatter", "sb", 2, 2, {4, 1, 9}, {"VAR1,VAR2"}, {"VAR1,VAR2"}},
      {"BestSubset", "rb", 1, 3, {1, 5, 3}, {}, {}},
  };
  ASSERT_EQ(rec->calls.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(want[k].onam);
    const WobCall& c = rec->calls[k];
    EXPECT_EQ(c.recs[1].text, want[k].onam);
    EXPECT_EQ(c.recs[9].text, want[k].shape);
    EXPECT_EQ(c.recs[5].i, want[k].rows);
    EXPECT_EQ(c.recs[6].i, want[k].cols);
    EXPECT_EQ(c.values, want[k].values);
    EXPECT_EQ(c.rownames, want[k].rownames);
    EXPECT_EQ(c.colnames, want[k].colnames);
  }
}

TEST_F(OutputTest, DistancesTableRowsAndNumberWidth) {
  struct Case {
    long n;
    int width;
  };
  for (const Case& k : {Case{0, 3}, Case{998, 3}, Case{999, 4}, Case{10000, 5}}) {
    SCOPED_TRACE(k.n);
    rec->calls.clear();
    std::vector<double> maha2, rob2, w(static_cast<size_t>(k.n), 1.0);
    for (long i = 0; i < k.n; ++i) {
      maha2.push_back(static_cast<double>(i * i));
      rob2.push_back(i == 1 ? -1e-17 : 4.0);
    }
    LMTSTR str{};
    str.rpx = rpx();
    str.ncas = k.n;
    print_distances(&str, &str.mrdist, maha2.data(), rob2.data(), w.data());

    // Create, four columns, open, bind, a row per observation, close, release.
    std::vector<std::string> got,
        want = {"147 143:20=rpx, 146:20=data, 144:12, 148:3=-1, 138:66=Distances, 296:66=Distances",
                "338 103:3=4, 138:66=Number, 285:17, 272:3=" + std::to_string(k.width),
                "338 103:3=5, 138:66=Mahalanobis, 285:17",
                "338 103:3=5, 138:66=Robust, 285:17",
                "338 103:3=5, 138:66=Weight, 285:17",
                "298",
                "422 0:12, 0:12, 339:66=Base.NLP.Distances"};
    want.insert(want.end(), static_cast<size_t>(k.n), "329");
    want.insert(want.end(), {"299", "428 0:12"});
    for (const WobCall& c : rec->calls) got.push_back(dump(c));
    ASSERT_EQ(got, want);
    EXPECT_EQ(rec->calls[6].recs[0].p, str.mrdist);
    EXPECT_EQ(rec->calls[6].recs[1].p, str.out);
    EXPECT_EQ(rec->calls.back().recs[0].p, str.out);

    const auto& rows = rec->table_rows[str.mrdist];
    ASSERT_EQ(rows.size(), static_cast<size_t>(k.n));
    if (k.n >= 3) {
      EXPECT_EQ(rows[0], (std::vector<double>{1, 0, 2, 1}));
      EXPECT_EQ(rows[1], (std::vector<double>{2, 1, 0, 1}));  // a squared distance below 0 prints 0
      EXPECT_EQ(rows[2], (std::vector<double>{3, 2, 2, 1}));
    }
  }
}

TEST_F(OutputTest, NoteFlagsFollowItsPlaceInTheSection) {
  struct Case {
    NoteStyle style;
    char justify;
    std::string flags;
  };
  const Case cases[] = {
      {kNoteOpensSection, 'c', "280:3=1, 371:3=1, 273:1=c"},
      {kNoteInSection, 'c', "371:3=1, 273:1=c"},
      {kNotePlain, 'l', "273:1=l"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.flags);
    rec->calls.clear();
    text_line(rpx(), rpxmsg(549, 398), k.style, k.justify);
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(dump(rec->calls[0]), "358 577:66=It was given in the option vector., " + k.flags);
  }
}

TEST_F(OutputTest, DistanceSummaryOfRobustDistances) {
  struct Case {
    std::vector<double> rob2, want;
  };
  const Case cases[] = {
      {{1, 4, 9}, {1, 1, 2, 2, 2, 3}},
      {{64, 1, 49, 4, 36, 9, 25, 16}, {1, 2.5, 4.5, 4.5, 6.5, 8}},
      {{9}, {3, 3, 3, 3, 3, 3}},
      {{0, -1, 16}, {0, 0, 0, 4.0 / 3.0, 0, 4}},  // nonpositive prints 0
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.rob2.size());
    rec->calls.clear();
    LMTSTR str{};
    str.rpx = rpx();
    str.ncas = static_cast<long>(k.rob2.size());
    std::vector<double> work(k.rob2.size());
    print_distance_summary(&str, k.rob2.data(), work.data());
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(dump(rec->calls[0]), "358 577:66=Distribution of the robust distances:, 273:1=c");
    EXPECT_EQ(dump(rec->calls[1]),
              "388 339:66=Base.NLP.DistrRes, 138:66=DistrRes, 296:66=Distribution of Residuals, 267:66=null, "
              "389:11, 390:3=1, 391:3=6, 412:7=null, 399:6, 400:3=11, 401:3=11, 105:20=rb, 280:3=1, 371:3=1");
    EXPECT_EQ(rec->calls[1].colnames,
              std::vector<std::string>{"     MinRes    1st Qu.     Median       Mean    3rd Qu.     MaxRes"});
    ASSERT_EQ(rec->calls[1].values.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(rec->calls[1].values[i], k.want[i]) << i;
  }
}

}  // namespace
}  // namespace robmat
