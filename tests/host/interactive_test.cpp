// What the host offers a person at a terminal: interrupting a call (it unwinds like xexit and
// the session goes on), the progress meter of a long call, and the routines' help texts (whose
// MAD and MCD texts are golden listings: cli_help_mad, cli_help_routine).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "help.h"
#include "progress.h"
#include "robmat/host/session.h"

namespace {

using robmat::host::Interrupted;
using robmat::host::Matrix;
using robmat::host::ProgressMeter;
using robmat::host::ProgressState;
using robmat::host::Session;
using robmat::host::Value;
using namespace std::chrono_literals;

Value scalar(double v) {
  Matrix m(1, 1);
  m.data[0] = v;
  return m;
}

TEST(Interrupt, UnwindsTheCallAndTheSessionGoesOn) {
  const Value x = scalar(7);
  // SPIN runs for as many seconds as it is given unless interrupted: 600 s would show as a
  // test timeout, not as a slow pass.
  const Value forever = scalar(600);
  struct Case {
    const char* name;
    const char* routine;
    const Value* arg;
    bool during;  // interrupt from another thread while the call runs; else before it starts
  } cases[] = {
      {"a service-calling loop, interrupted while it runs", "SPIN", &forever, true},
      {"a pending interrupt stops the next call at its first service", "THREE", &x, false},
      {"a pending interrupt stops a call that returns before asking for anything", "ECHO", &x, false},
  };
  Session s(ROBMAT_TESTMOD_PATH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::thread interrupter;
    if (c.during) {
      interrupter = std::thread([&s] {
        std::this_thread::sleep_for(100ms);
        s.interrupt();
      });
    } else {
      s.interrupt();
    }
    const Value* args[] = {c.arg};
    EXPECT_THROW(s.call(c.routine, args), Interrupted);
    if (interrupter.joinable()) interrupter.join();
    EXPECT_FALSE(s.take_interrupt()) << "the interrupted call consumes the interrupt";
    // The next call runs normally (and a leaked block would fail it in the leak check).
    const Value* echo_args[] = {&x};
    auto r = s.call("ECHO", echo_args);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].data[0], 7.0);
  }
}

TEST(Interrupt, MessageNamesTheRoutine) {
  Session s(ROBMAT_TESTMOD_PATH);
  const Value x = scalar(1);
  const Value* args[] = {&x};
  s.interrupt();
  try {
    s.call("three", args);
    FAIL() << "no exception";
  } catch (const Interrupted& e) {
    EXPECT_STREQ(e.what(), "The routine THREE was interrupted; its results were discarded.");
  }
}

// The meter's reports of one call, recorded.
struct Recorder {
  std::mutex m;
  std::vector<ProgressState> states;
  ProgressMeter::Show show() {
    return [this](const ProgressState& p) {
      std::lock_guard lock(m);
      states.push_back(p);
    };
  }
};

TEST(Progress, ReportsALongCallAndTakesTheReportAway) {
  Recorder rec;
  ProgressMeter meter(rec.show(), 0ms, 5ms);
  meter.begin("MVE");
  std::this_thread::sleep_for(30ms);
  meter.note_percent(40);
  std::this_thread::sleep_for(30ms);
  meter.end();
  ASSERT_GE(rec.states.size(), 3u);
  EXPECT_EQ(rec.states.front().routine, "MVE");
  EXPECT_EQ(rec.states.front().percent, -1) << "no note yet: elapsed time only";
  EXPECT_FALSE(rec.states.front().done);
  EXPECT_TRUE(rec.states.back().done);
  EXPECT_EQ(rec.states[rec.states.size() - 2].percent, 40);
  for (size_t i = 1; i < rec.states.size(); ++i) EXPECT_GE(rec.states[i].seconds, rec.states[i - 1].seconds);
}

TEST(Progress, AShortCallShowsNothing) {
  Recorder rec;
  ProgressMeter meter(rec.show(), 3600s, 5ms);
  meter.begin("MCD");
  meter.note_percent(50);
  meter.end();
  meter.end();  // a second end is harmless
  EXPECT_TRUE(rec.states.empty());
}

TEST(Progress, OutputTakesTheReportAwayFirst) {
  Recorder rec;
  ProgressMeter meter(rec.show(), 0ms, 5ms);
  meter.begin("MCD");
  std::this_thread::sleep_for(30ms);
  size_t before = 0;
  meter.write_around([&] {
    before = rec.states.size();
    ASSERT_GE(before, 2u);
    EXPECT_TRUE(rec.states.back().done) << "the report is cleared before the output is written";
  });
  meter.end();
}

TEST(Progress, Text) {
  struct Case {
    const char* name;
    ProgressState state;
    const char* text;
  } cases[] = {
      {"elapsed time only", {"MCD", 3.9, -1, false}, "MCD: running, 3 s"},
      {"with the routine's note", {"MVE", 12.2, 40, false}, "MVE: 40% done, 12 s"},
      {"minutes", {"LTS", 125.0, -1, false}, "LTS: running, 2 min 5 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(robmat::host::progress_text(c.state), c.text);
  }
}

TEST(Help, EveryRegisteredRoutineHasHelpThatFitsATerminal) {
  Session s(ROBMAT_MODULE_PATH);
  for (const auto& r : s.routines()) {
    SCOPED_TRACE(r.name);
    auto text = robmat::host::routine_help(r.name);
    ASSERT_TRUE(text.has_value());
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_NE(text->find(r.name + "("), std::string::npos) << "the call form names the routine";
    EXPECT_NE(text->find("Arguments"), std::string::npos);
  }
}

}  // namespace
