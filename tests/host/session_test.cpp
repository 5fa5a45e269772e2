// Dispatch and the host's call checks, driven through a test module whose routines break
// the rules on purpose, and the loader's refusals of files that are not modules.
#include "robmat/host/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/calls.h"

namespace {

using robmat::host::Error;
using robmat::host::Matrix;
using robmat::host::RoutineError;
using robmat::host::Session;
using robmat::host::Value;

Value mat(std::initializer_list<double> v) {
  Matrix m(1, static_cast<int64_t>(v.size()));
  std::copy(v.begin(), v.end(), m.data.begin());
  return m;
}

std::string error_of(Session& s, std::string_view name, std::vector<const Value*> args) {
  try {
    s.call(name, args);
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

TEST(Loader, RefusesWhatIsNotAModule) {
  std::string text = testing::TempDir() + "/not_a_module.so";
  std::ofstream(text) << "plain text\n";
  struct Case {
    std::string path;
    std::string message_part;
  } cases[] = {
      {"/nonexistent/librobmat.so", "does not exist"},
      {text, "could not be loaded as a module"},
      {ROBMAT_BADMAGIC_PATH, "magic is 0xDEADBEEF where 0xB0BDEBED was expected"},
      {"/lib/x86_64-linux-gnu/libm.so.6", "does not export vi_mcn"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      Session s(c.path);
      ADD_FAILURE() << "loaded";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(Dispatch, RefusesBadArgumentsBeforeTheFrontEndRuns) {
  Session s(ROBMAT_MODULE_PATH);
  Value x = mat({1, 2, 3});
  Value text = std::string("qn");
  struct Case {
    const char* routine;
    std::vector<const Value*> args;
    const char* message;
  } cases[] = {
      {"MAD", {}, "The routine MAD takes 1 to 2 arguments, but 0 were given."},
      {"MAD", {&x, &text, &x}, "The routine MAD takes 1 to 2 arguments, but 3 were given."},
      {"MAD", {&text}, "Argument 1 of MAD must be a numeric matrix, but a character value was given."},
      {"MAD", {&x, &x}, "Argument 2 of MAD must be a character value, but a numeric matrix was given."},
      {"LTS", {&x}, "The routine LTS takes 2 to 4 arguments, but 1 was given."},
      {"MCD", {&x, &text}, "Argument 2 of MCD must be a numeric matrix, but a character value was given."},
      {"NOPE", {&x}, "There is no routine named NOPE."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(error_of(s, c.routine, c.args), c.message);
  }
}

TEST(Dispatch, ResultsAndLogReachTheCaller) {
  Session s(ROBMAT_TESTMOD_PATH);
  Value x = mat({1, 2});
  Value note = std::string("hi");
  auto r = s.call("echo", std::vector<const Value*>{&x, &note});
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(r.results[0].data, std::get<Matrix>(x).data);
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0].text, "echo hi");
  auto t = s.call("THREE", std::vector<const Value*>{&x});
  ASSERT_EQ(t.results.size(), 3u);
  EXPECT_EQ(t.results[2].data, (std::vector<double>{3, 6}));
}

TEST(Dispatch, HostChecksCatchRuleBreakers) {
  Session s(ROBMAT_TESTMOD_PATH);
  Value x = mat({1});
  EXPECT_EQ(error_of(s, "LEAK", {&x}),
            "Internal error: the routine LEAK left 1 block(s) of work space (64 bytes) allocated when it "
            "returned.");
  EXPECT_EQ(
      error_of(s, "STALE", {&x}),
      "Internal error: the routine STALE wrote to a result through an address that was no longer valid.");
  // The session goes on after each of them.
  EXPECT_EQ(s.call("ECHO", std::vector<const Value*>{&x}).results[0].data[0], 1.0);
}

TEST(Dispatch, ExitUnwindsTheCallOnly) {
  Session s(ROBMAT_TESTMOD_PATH);
  Value x = mat({1});
  try {
    s.call("BYE", std::vector<const Value*>{&x});
    FAIL() << "no error";
  } catch (const RoutineError& e) {
    EXPECT_EQ(e.exit_code, 9999);
    ASSERT_EQ(e.log.size(), 1u);
    EXPECT_EQ(e.log[0].text, "bye is leaving with 9999");
    EXPECT_EQ(std::string(e.what()), "The routine BYE ended with code 9999.\n  bye is leaving with 9999");
  }
  // Its work space was freed by the host (no leak report on the next call) and calls go on.
  EXPECT_EQ(s.call("ECHO", std::vector<const Value*>{&x}).results[0].data[0], 1.0);
}

TEST(Dispatch, EveryFailedRequestIsCleanedUp) {
  Session s(ROBMAT_TESTMOD_PATH);
  Value x = mat({1});
  EXPECT_EQ(robmat::testing::fail_each_request(s, [&] { return robmat::testing::call(s, "ALLOC", {&x}); }),
            4);
  EXPECT_EQ(s.call("ALLOC", std::vector<const Value*>{&x}).results[0].data[0], 7.0);
}

// Large blocks are kept from call to call; the checks see them as they see fresh ones.
TEST(Dispatch, KeptWorkSpaceIsCheckedAsFreshWorkSpace) {
  Session s(ROBMAT_TESTMOD_PATH);
  const Value big = mat({1 << 20}), bigger = mat({3 << 20});
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(s.call("ALLOC", std::vector<const Value*>{&big}).results[0].data[0], 7.0);
  // A leak is found also when the leaked block was a kept one, and a larger call after the
  // kept blocks still gets blocks of its own size.
  EXPECT_EQ(
      error_of(s, "LEAK", {&big}),
      "Internal error: the routine LEAK left 1 block(s) of work space (1048576 bytes) allocated when it "
      "returned.");
  EXPECT_EQ(s.call("ALLOC", std::vector<const Value*>{&bigger}).results[0].data[0], 7.0);
  EXPECT_EQ(robmat::testing::fail_each_request(s, [&] { return robmat::testing::call(s, "ALLOC", {&big}); }),
            4);
  EXPECT_EQ(s.call("ALLOC", std::vector<const Value*>{&big}).results[0].data[0], 7.0);
}

// Kept blocks hold what the last call left in them: a call that follows larger ones on the
// same blocks must give bit for bit what it gives in a fresh session.
TEST(Dispatch, ACallAfterLargerOnesGivesWhatAFreshSessionGives) {
  auto data = [](int64_t n, int64_t p, uint64_t seed) {
    Matrix m(n, p);
    for (double& v : m.data) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      v = static_cast<double>(seed >> 11) * 0x1p-53 - 0.5;
    }
    return Value(std::move(m));
  };
  const Value qn = std::string("qn"), none = Matrix();
  struct Case {
    const char* routine;
    Value large, small;
    bool options_first;
  } cases[] = {
      {"MAD", data(50000, 1, 1), data(30000, 1, 2), false},
      {"MCD", data(4000, 4, 3), data(3000, 4, 4), true},
  };
  Session warm(ROBMAT_MODULE_PATH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.routine);
    auto args = [&](const Value& x) {
      return c.options_first ? std::vector<const Value*>{&none, &x} : std::vector<const Value*>{&x, &qn};
    };
    for (int k = 0; k < 2; ++k) warm.call(c.routine, args(c.large));
    const auto reused = warm.call(c.routine, args(c.small)).results;
    Session fresh(ROBMAT_MODULE_PATH);
    const auto expected = fresh.call(c.routine, args(c.small)).results;
    ASSERT_EQ(reused.size(), expected.size());
    for (size_t k = 0; k < reused.size(); ++k)
      EXPECT_EQ(0, std::memcmp(reused[k].data.data(), expected[k].data.data(), expected[k].data.size() * 8))
          << "result " << k + 1;
  }
}

TEST(Dispatch, FailingOutputManager) {
  Session s(ROBMAT_TESTMOD_PATH);
  Value x = mat({1});
  s.fail_manager_creation(1);
  try {
    s.call("MGR", std::vector<const Value*>{&x});
    FAIL();
  } catch (const RoutineError& e) {
    EXPECT_EQ(e.status, 100);
  }
  s.fail_manager_creation(-1);
  try {
    s.call("MGR", std::vector<const Value*>{&x});
    FAIL();
  } catch (const RoutineError& e) {
    EXPECT_EQ(e.exit_code, -7);
  }
  EXPECT_EQ(s.call("MGR", std::vector<const Value*>{&x}).results[0].data[0], 1.0);
}

}  // namespace
