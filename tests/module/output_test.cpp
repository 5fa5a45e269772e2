// The printing layer as the host sees it: a recording wobmth decodes every record at the
// moment of the call (tag, kind, text behind a handle, values behind a pointer) and reads the
// bound variables of a row table at each append, as a real host does.
#include "reports/output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "reports/multivariate.h"
#include "robmat/services.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

struct CatalogueLine {
  int set;
  int number;
  const char* format;
};
const CatalogueLine kCatalogue[] = {
#include "../../host/catalogue/messages_host.inc"
#include "../../host/catalogue/messages_options_reports.inc"
};

struct Rec {
  int tag;
  int type;
  std::string text;  // kinds 1, 20, 66
  long i = 0;        // kind 3
  const void* p = nullptr;
};

struct Call {
  void* object;
  int method;
  std::vector<Rec> recs;
  std::vector<double> values;         // 388: the matrix as sent
  std::vector<std::string> colnames;  // 388
  std::vector<std::string> rownames;  // 388
};

struct Column {
  int type;
  const void* var;
};

std::vector<Call> g_calls;
std::deque<std::string> g_texts;  // text handles point here
std::deque<int> g_objects;        // object handles point here
std::map<void*, std::vector<Column>> g_columns;
std::map<void*, std::vector<std::vector<double>>> g_rows;

void* keep_text(std::string s) {
  g_texts.push_back(std::move(s));
  return &g_texts.back();
}

std::string catalogue_text(int set, int number, va_list ap) {
  for (const CatalogueLine& e : kCatalogue) {
    if (e.set != set || e.number != number) continue;
    const char* f = e.format;
    if (f[0] == '%' && f[2] == 'z') f += 3;
    char buf[512];
    std::vsnprintf(buf, sizeof buf, f, ap);
    return buf;
  }
  return "message " + std::to_string(set) + "/" + std::to_string(number);
}

void* f_rpxmsg(int32_t set, int32_t number) {
  for (const CatalogueLine& e : kCatalogue)
    if (e.set == set && e.number == number) return keep_text(e.format);
  return keep_text("message " + std::to_string(set) + "/" + std::to_string(number));
}
void* f_rpxmsgs(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  std::string s = catalogue_text(set, number, ap);
  va_end(ap);
  return keep_text(s);
}
void* f_rpxtxt(const char* t, int32_t len) { return keep_text(std::string(t, static_cast<size_t>(len))); }
void* f_rpxtxts(const char* fmt, int32_t len, ...) {
  std::string f(fmt, static_cast<size_t>(len));
  va_list ap;
  va_start(ap, len);
  char buf[256];
  std::vsnprintf(buf, sizeof buf, f.c_str(), ap);
  va_end(ap);
  return keep_text(buf);
}

std::string names_of(const U_SNAME* n, int count) {
  std::string s;
  for (int k = 0; k < count; ++k) s += (k ? "," : "") + std::string(n[k].name, static_cast<size_t>(n[k].len));
  return s;
}

int32_t f_wobmth(void* object, void*, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  Call c{object, method, {}, {}, {}, {}};
  if (method == 147) {
    g_objects.push_back(0);
    p[2].value.p = &g_objects.back();
  }
  if (method == 422) {
    g_objects.push_back(0);
    p[1].value.p = &g_objects.back();
  }
  long rows = 0, cols = 0;
  const double* values = nullptr;
  for (int k = 0; k < n; ++k) {
    Rec r{p[k].tag, p[k].type, "", 0, p[k].value.p};
    if (p[k].type == kWobChar) r.text = std::string(1, p[k].value.c);
    if (p[k].type == kWobInt) r.i = p[k].value.i;
    if (p[k].type == kWobText && p[k].value.p) r.text = *static_cast<std::string*>(p[k].value.p);
    if (p[k].type == kWobChars) {
      WOB_ARRAY_PARM_STR a;
      std::memcpy(&a, p[k].value.raw, sizeof a);
      r.text = std::string(a.ptr, static_cast<size_t>(a.len));
    }
    if (r.tag == 390) rows = r.i;
    if (r.tag == 391) cols = r.i;
    if (r.tag == 389) values = static_cast<const double*>(r.p);
    c.recs.push_back(r);
  }
  if (method == 388) {
    const std::string shape = c.recs.back().tag == 371 ? c.recs[c.recs.size() - 3].text : "";
    const long count = shape == "rb" ? rows * cols : rows * (rows + 1) / 2;
    c.values.assign(values, values + count);
    for (const Rec& r : c.recs) {
      if (r.tag == 402 && r.p)
        c.colnames.push_back(names_of(static_cast<const U_SNAME*>(r.p), static_cast<int>(cols)));
      if (r.tag == 412 && r.p)
        c.rownames.push_back(names_of(static_cast<const U_SNAME*>(r.p), static_cast<int>(rows)));
      if (r.tag == 399) {
        long clen = 0;
        for (const Rec& q : c.recs)
          if (q.tag == 400) clen = q.i;
        c.colnames.push_back(std::string(static_cast<const char*>(r.p), static_cast<size_t>(cols * clen)));
      }
    }
  }
  if (method == 338) g_columns[object].push_back({static_cast<int>(c.recs[0].i), c.recs[2].p});
  if (method == 329) {
    std::vector<double> row;
    for (const Column& col : g_columns[object]) {
      if (col.type == kColLong) row.push_back(static_cast<double>(*static_cast<const long*>(col.var)));
      if (col.type == kColDouble) row.push_back(*static_cast<const double*>(col.var));
    }
    g_rows[object].push_back(row);
  }
  g_calls.push_back(c);
  return 0;
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::install_fake_host();
    auto* o = const_cast<RzObjVector*>(static_cast<const RzObjVector*>(v_global_gcb_anchor->vec[kVecObj]));
    o->wobmth = f_wobmth;
    o->rpxmsg = f_rpxmsg;
    o->rpxmsgs = f_rpxmsgs;
    o->rpxtxt = f_rpxtxt;
    o->rpxtxts = f_rpxtxts;
    g_calls.clear();
    g_columns.clear();
    g_rows.clear();
  }
  int rpx_ = 0;
  void* rpx() { return &rpx_; }
};

std::string shape_of(const Call& c) {
  std::string s;
  for (const Rec& r : c.recs) s += std::to_string(r.tag) + ":" + std::to_string(r.type) + " ";
  return s;
}

U_SNAME name(const char* s) {
  U_SNAME n{};
  n.len = static_cast<int16_t>(std::strlen(s));
  std::memcpy(n.name, s, static_cast<size_t>(n.len));
  return n;
}

TEST_F(OutputTest, PmatSendsTwelveRecordsWithShapeByRowCount) {
  struct Case {
    const char* name;
    int nr;
    std::string shape;
    long rows_sent;
  };
  const Case cases[] = {{"rectangular", 2, "rb", 2}, {"symmetric", 0, "sb", 3}, {"db", -1, "db", 3}};
  const U_SNAME cn[3] = {name("VAR1"), name("VAR2"), name("Addition")};
  const double pd[6] = {1, 2, 3, 4, 5, 6};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_calls.clear();
    pmat(rpx(), "ClassicalCov", k.nr, 3, nullptr, cn, pd, 834, 835);
    ASSERT_EQ(g_calls.size(), 1u);
    const Call& c = g_calls[0];
    EXPECT_EQ(c.method, 388);
    EXPECT_EQ(c.object, rpx());
    EXPECT_EQ(shape_of(c), "339:66 138:66 296:66 267:66 389:11 390:3 391:3 412:7 402:7 105:20 280:3 371:3 ");
    EXPECT_EQ(c.recs[0].text, "Base.NLP.ClassicalCov");
    EXPECT_EQ(c.recs[1].text, "ClassicalCov");
    EXPECT_EQ(c.recs[2].text, "Classical Covariance");
    EXPECT_EQ(c.recs[3].text, "Classical Covariance Matrix");
    EXPECT_EQ(c.recs[5].i, k.rows_sent);
    EXPECT_EQ(c.recs[6].i, 3);
    EXPECT_EQ(c.recs[7].p, nullptr);
    EXPECT_EQ(c.colnames, std::vector<std::string>{"VAR1,VAR2,Addition"});
    EXPECT_EQ(c.recs[9].text, k.shape);
    EXPECT_EQ(c.recs[10].i, 1);
    EXPECT_EQ(c.recs[11].i, 1);
  }
}

TEST_F(OutputTest, Pmat2SendsFixedWidthNamesAndNoTitleForZero) {
  struct Case {
    const char* name;
    int titl;
    bool has_title;
  };
  const Case cases[] = {{"no title", 0, false}, {"title", 828, true}};
  const char* const names[2] = {"Median", "MuchTooLongName"};
  char buf[17] = {};
  fixed_width_names(buf, 8, names, 2);
  EXPECT_EQ(std::string(buf), "  MedianMuchTooL");
  const double pd[2] = {1.5, 2.5};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_calls.clear();
    pmat2(rpx(), "MedianMean", 1, 2, nullptr, buf, 8, pd, k.titl, 829);
    ASSERT_EQ(g_calls.size(), 1u);
    const Call& c = g_calls[0];
    EXPECT_EQ(shape_of(c),
              "339:66 138:66 296:66 267:66 389:11 390:3 391:3 412:7 399:6 400:3 401:3 105:20 280:3 371:3 ");
    EXPECT_EQ(c.recs[3].p != nullptr, k.has_title);
    EXPECT_EQ(c.recs[9].i, 8);
    EXPECT_EQ(c.recs[10].i, 8);
    EXPECT_EQ(c.colnames, std::vector<std::string>{"  MedianMuchTooL"});
    EXPECT_EQ(c.values, (std::vector<double>{1.5, 2.5}));
    EXPECT_EQ(c.recs[11].text, "rb");
  }
}

TEST_F(OutputTest, MultivariateMatricesHaveTheirShapes) {
  U_SNAME pnam[3] = {name("VAR1"), name("VAR2"), name("Addition")};
  LMTSTR str{};
  str.rpx = rpx();
  str.nvar = 2;
  str.pnam = pnam;
  const double loc[2] = {1, 2};
  const double packed[3] = {4, 1, 9};
  const long subset[3] = {0, 4, 2};
  double work[3];
  print_location(&str, kMveLoc, loc);
  print_scatter(&str, kRobustMveScatter, packed);
  print_best_subset(&str, kMveBestSubset, subset, 3, work);
  struct Want {
    const char* name;
    std::string onam;
    std::string shape;
    long rows;
    long cols;
    std::vector<double> values;
    std::vector<std::string> rownames;
    std::vector<std::string> colnames;
  };
  const Want want[] = {
      {"location", "MVELoc", "rb", 1, 2, {1, 2}, {}, {"VAR1,VAR2"}},
      {"scatter", "RobustMVEScatter", "sb", 2, 2, {4, 1, 9}, {"VAR1,VAR2"}, {"VAR1,VAR2"}},
      {"best subset", "BestSubset", "rb", 1, 3, {1, 5, 3}, {}, {}},
  };
  ASSERT_EQ(g_calls.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(want[k].name);
    const Call& c = g_calls[k];
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
    const char* name;
    long n;
    int width;
  };
  const Case cases[] = {
      {"no rows", 0, 3}, {"998 rows", 998, 3}, {"999 rows", 999, 4}, {"10000 rows", 10000, 5}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_calls.clear();
    g_rows.clear();
    std::vector<double> maha2(static_cast<size_t>(k.n)), rob2(static_cast<size_t>(k.n)),
        w(static_cast<size_t>(k.n), 1.0);
    for (long i = 0; i < k.n; ++i) {
      maha2[static_cast<size_t>(i)] = static_cast<double>(i * i);
      rob2[static_cast<size_t>(i)] = i == 1 ? -1e-17 : 4.0;
    }
    LMTSTR str{};
    str.rpx = rpx();
    str.ncas = k.n;
    print_distances(&str, &str.mrdist, maha2.data(), rob2.data(), w.data());

    std::vector<int> methods;
    for (const Call& c : g_calls) methods.push_back(c.method);
    std::vector<int> want = {147, 338, 338, 338, 338, 298, 422};
    want.insert(want.end(), static_cast<size_t>(k.n), 329);
    want.insert(want.end(), {299, 428});
    EXPECT_EQ(methods, want);

    const Call& create = g_calls[0];
    EXPECT_EQ(shape_of(create), "143:20 146:20 144:12 148:3 138:66 296:66 ");
    EXPECT_EQ(create.recs[0].text, "rpx");
    EXPECT_EQ(create.recs[1].text, "data");
    EXPECT_EQ(create.recs[3].i, -1);
    EXPECT_EQ(create.recs[4].text, "Distances");
    EXPECT_EQ(create.recs[5].text, "Distances");
    const Call& number = g_calls[1];
    EXPECT_EQ(shape_of(number), "103:3 138:66 285:17 272:3 ");
    EXPECT_EQ(number.recs[0].i, kColLong);
    EXPECT_EQ(number.recs[1].text, "Number");
    EXPECT_EQ(number.recs[3].i, k.width);
    for (int col = 2; col <= 4; ++col) {
      EXPECT_EQ(shape_of(g_calls[static_cast<size_t>(col)]), "103:3 138:66 285:17 ");
      EXPECT_EQ(g_calls[static_cast<size_t>(col)].recs[0].i, kColDouble);
    }
    EXPECT_EQ(g_calls[4].recs[1].text, "Weight");
    const Call& bind = g_calls[6];
    EXPECT_EQ(shape_of(bind), "0:12 0:12 339:66 ");
    EXPECT_EQ(bind.recs[0].p, str.mrdist);
    EXPECT_EQ(bind.recs[2].text, "Base.NLP.Distances");
    EXPECT_EQ(bind.recs[1].p, str.out);
    EXPECT_TRUE(g_calls[g_calls.size() - 2].recs.empty());
    EXPECT_EQ(g_calls.back().recs[0].p, str.out);

    const auto& rows = g_rows[str.mrdist];
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
    const char* name;
    NoteStyle style;
    char justify;
    std::string shape;
  };
  const Case cases[] = {
      {"opens", kNoteOpensSection, 'c', "577:66 280:3 371:3 273:1 "},
      {"within", kNoteInSection, 'c', "577:66 371:3 273:1 "},
      {"plain", kNotePlain, 'l', "577:66 273:1 "},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_calls.clear();
    text_line(rpx(), rpxmsg(549, 398), k.style, k.justify);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].method, 358);
    EXPECT_EQ(shape_of(g_calls[0]), k.shape);
    EXPECT_EQ(g_calls[0].recs[0].text, "It was given in the option vector.");
    EXPECT_EQ(g_calls[0].recs.back().text, std::string(1, k.justify));
  }
}

TEST_F(OutputTest, MveNotesMatchTheirCatalogueFormats) {
  mve_note(rpx(), 390);
  mve_note_count(rpx(), 391, 6L);
  mve_note_subsets(rpx(), 500L, 3L);
  mve_note_value(rpx(), 396, 2.5);
  mve_note_cutoff_df(rpx(), 2);
  mve_note_percent(rpx(), 25);
  mve_note_exchange(rpx(), 2);
  const std::vector<std::string> want = {
      "Minimum Volume Ellipsoid Estimation",
      "The ellipsoid is required to cover h = 6 observations.",
      "500 subsets were tried, 3 of them singular.",
      "The cutoff of the robust distances is 2.5.",
      "It is the square root of the 0.975 quantile of the chi-square distribution with 2 degrees of freedom.",
      "25 percent of the subsets are done.",
      "The best subsets are refined by pairwise exchange, variant 2.",
  };
  ASSERT_EQ(g_calls.size(), want.size());
  for (size_t k = 0; k < want.size(); ++k) {
    SCOPED_TRACE(want[k]);
    EXPECT_EQ(g_calls[k].recs[0].text, want[k]);
  }
  EXPECT_EQ(shape_of(g_calls[0]), "577:66 280:3 371:3 273:1 ");
}

TEST_F(OutputTest, DistanceSummaryOfRobustDistances) {
  struct Case {
    const char* name;
    std::vector<double> rob2;
    std::vector<double> want;
  };
  const Case cases[] = {
      {"1 2 3", {1, 4, 9}, {1, 1, 2, 2, 2, 3}},
      {"1 to 8 shuffled", {64, 1, 49, 4, 36, 9, 25, 16}, {1, 2.5, 4.5, 4.5, 6.5, 8}},
      {"single", {9}, {3, 3, 3, 3, 3, 3}},
      {"nonpositive prints 0", {0, -1, 16}, {0, 0, 0, 4.0 / 3.0, 0, 4}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_calls.clear();
    LMTSTR str{};
    str.rpx = rpx();
    str.ncas = static_cast<long>(k.rob2.size());
    std::vector<double> work(k.rob2.size());
    print_distance_summary(&str, k.rob2.data(), work.data());
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].recs[0].text, "Distribution of the robust distances:");
    const Call& m = g_calls[1];
    EXPECT_EQ(m.recs[1].text, "DistrRes");
    EXPECT_EQ(m.recs[2].text, "Distribution of Residuals");
    EXPECT_EQ(m.recs[3].p, nullptr);
    EXPECT_EQ(m.colnames,
              std::vector<std::string>{"     MinRes    1st Qu.     Median       Mean    3rd Qu.     MaxRes"});
    ASSERT_EQ(m.values.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(m.values[i], k.want[i]) << i;
  }
}

}  // namespace
}  // namespace robmat
