// Every front end on data at the limits of its shape, called directly (the host refuses empty
// data before a front end sees it, so only here do the front ends meet it): no rows, no
// columns, nothing at all, one value, and data far wider than tall. Property: the call returns
// (a result or a refusal), or ends by xexit, and holds no work space afterwards; under the
// sanitizer build nothing reads or copies through a null or out-of-range address. A routine
// joins with one line in kRoutines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontends/frontends.h"
#include "robmat/module_records.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

struct Routine {
  const char* name;
  RobmatFrontEnd entry;
  int data_arg;  // the argument that holds the data; the ones before it are empty option vectors
};

constexpr Routine kRoutines[] = {
    {"MAD", duxmad, 0},
    {"MCD", duxmcd, 1},
    {"MVE", duxmve, 1},
    {"LMS", duxlms, 1},
    {"LTS", duxlts, 1},
};

struct Shape {
  const char* name;
  int32_t rows;
  int32_t cols;
};

constexpr Shape kShapes[] = {
    {"no rows", 0, 3},
    {"no columns", 3, 0},
    {"0 x 0", 0, 0},
    {"one value", 1, 1},
    {"wide", 10, 20000},
    {"two rows, many columns", 2, 600},
};

TEST(FrontEndLimits, EmptyAndWideDataReturnCleanly) {
  for (const Routine& r : kRoutines) {
    for (const Shape& sh : kShapes) {
      SCOPED_TRACE(std::string(r.name) + ", " + sh.name);
      testing::Recording& rec = testing::install_recording_host();
      std::vector<double> data(static_cast<size_t>(sh.rows) * static_cast<size_t>(sh.cols), 1.0);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<double>(i % 7);
      DULSYM opt{}, x{};
      opt.type = 'n';
      x.type = 'n';
      x.rows = sh.rows;
      x.cols = sh.cols;
      x.elen = 8;
      x.addr = data.empty() ? nullptr : data.data();
      std::vector<DULSYM*> args;
      for (int i = 0; i < r.data_arg; ++i) args.push_back(&opt);
      args.push_back(&x);
      int32_t count = static_cast<int32_t>(args.size());
      int32_t status = -1;
      try {
        status = r.entry(args.data(), &count);
      } catch (const testing::FakeExit& e) {
        status = -e.code;
      }
      EXPECT_EQ(rec.host->live_blocks, 0) << "status " << status;
      if (sh.rows == 0 || sh.cols == 0) {
        EXPECT_NE(status, 0);
      }
    }
  }
}

}  // namespace
}  // namespace robmat
