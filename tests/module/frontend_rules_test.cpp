// The front-end skeleton's argument rules on argument records as the host builds them: each
// check against an argument that passes and one that fails, optional arguments skipped when
// not given, and the order in which a table reports the first failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontends/common.h"
#include "robmat/services.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

DULSYM numeric(int32_t rows, int32_t cols, std::vector<double>& v) {
  DULSYM d{};
  d.type = 'n';
  d.rows = rows;
  d.cols = cols;
  d.elen = 8;
  d.addr = v.data();
  return d;
}

DULSYM text(const std::string& s) {
  DULSYM d{};
  d.type = 'c';
  d.rows = d.cols = 1;
  d.elen = static_cast<int64_t>(s.size());
  d.addr = const_cast<char*>(s.data());
  return d;
}

TEST(FrontEndRules, EachCheckAndTheOrderOfATable) {
  testing::install_fake_host();
  std::vector<double> col(5, 1.0), wide(10, 1.0), four(4, 2.0), holes = {1, missing_value(), 3};
  const std::string word = "qn", nine = "qnqnqnqnq";
  DULSYM y = numeric(5, 1, col), x = numeric(5, 2, wide), x4 = numeric(4, 1, four),
         gap = numeric(3, 1, holes), start = numeric(1, 3, four), kw = text(word), long_kw = text(nine),
         empty = numeric(0, 0, col);
  struct Case {
    const char* name;
    std::vector<DULSYM*> args;
    ArgCheck check;
    int8_t ref;
    bool passes;
  };
  const Case cases[] = {
      {"numeric", {&y}, kArgNumeric, 0, true},
      {"text is not numeric", {&kw}, kArgNumeric, 0, false},
      {"not given is not numeric", {nullptr}, kArgNumeric, 0, false},
      {"column vector", {&y}, kArgVector, 0, true},
      {"matrix is no vector", {&x}, kArgVector, 0, false},
      {"one column", {&y}, kArgColumn, 0, true},
      {"two columns", {&x}, kArgColumn, 0, false},
      {"non-empty", {&y}, kArgNonEmpty, 0, true},
      {"empty", {&empty}, kArgNonEmpty, 0, false},
      {"no missing value", {&y}, kArgNoMissing, 0, true},
      {"a missing value", {&gap}, kArgNoMissing, 0, false},
      {"rows of y", {&x, &y}, kArgRowsOf, 1, true},
      {"other rows", {&x4, &y}, kArgRowsOf, 1, false},
      {"p + 1 points", {&start, &x}, kArgPoints, 1, true},
      {"p points", {&start, &y}, kArgPoints, 1, false},
      {"keyword", {&kw}, kArgKeyword, 0, true},
      {"empty matrix for a keyword", {&empty}, kArgKeyword, 0, true},
      {"keyword of nine characters", {&long_kw}, kArgKeyword, 0, false},
      {"number for a keyword", {&y}, kArgKeyword, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<DULSYM*> args = c.args;
    Arg fetched[2];
    fetch_arguments(args.data(), static_cast<int32_t>(args.size()), fetched, static_cast<int>(args.size()));
    const ArgRule rule[] = {{0, c.check, c.ref, 42}};
    EXPECT_EQ(check_arguments(rule, args.data(), fetched), c.passes ? 0 : 42);
  }
  // An optional argument not given skips its rules; given, they apply in order, and the
  // first failing rule of the table decides.
  const ArgRule table[] = {{0, kArgNumeric, 0, 13},
                           {1, kArgOptional, 0, 0},
                           {1, kArgNoMissing, 0, 17},
                           {1, kArgNumeric, 0, 13},
                           {1, kArgColumn, 0, 6}};
  struct Order {
    std::vector<DULSYM*> args;
    int32_t status;
  };
  for (const Order& o : {Order{{&y}, 0},
                         Order{{&y, nullptr}, 0},
                         Order{{&y, &gap}, 17},
                         Order{{&y, &kw}, 13},
                         Order{{&y, &x}, 6},
                         Order{{&kw, &gap}, 13}}) {
    std::vector<DULSYM*> args = o.args;
    Arg fetched[2];
    fetch_arguments(args.data(), static_cast<int32_t>(args.size()), fetched, 2);
    EXPECT_EQ(check_arguments(table, args.data(), fetched), o.status);
  }
}

}  // namespace
}  // namespace robmat
