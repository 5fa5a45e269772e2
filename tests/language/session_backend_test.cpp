// The interpreter over a real Session with the host's test module: every log line is shown
// once, whether the call succeeds or fails, and printed output reaches the display.
#include "language/session_backend.h"

#include <gtest/gtest.h>

#include <sstream>

#include "language/interpreter.h"
#include "listing.h"

namespace robmat::lang {
namespace {

struct LiveSession {
  host::Session session{ROBMAT_TESTMOD_PATH};
  std::ostringstream listing;
  host::ListingSink sink{listing, nullptr, host::ListingSink::Progress::kNone, 20};
  std::vector<std::string> log;
  std::function<void(const host::LogEntry&)> on_log = [this](const host::LogEntry& e) {
    log.push_back(e.text);
  };
  SessionBackend backend{session, on_log};
  Interpreter interp{&backend, &sink, on_log};

  LiveSession() { session.set_output(&sink); }
  ~LiveSession() { session.set_output(nullptr); }

  std::string error(const std::string& code) {
    try {
      interp.run(SourceFile("t.rm", code));
    } catch (const LanguageError& e) {
      return e.what();
    }
    return "(no error)";
  }
};

TEST(SessionBackend, ResultsNotesAndPrintedOutput) {
  LiveSession r;
  r.interp.run(SourceFile("t.rm", "x = echo([1 2], \"hi\"); [a, ~, c] = THREE([1 2]); m = MGR(1);"));
  EXPECT_EQ(r.log, (std::vector<std::string>{"echo hi"}));  // once
  EXPECT_EQ(std::get<host::Matrix>(*r.interp.get("x")).data, (std::vector<double>{1, 2}));
  EXPECT_EQ(std::get<host::Matrix>(*r.interp.get("c")).data, (std::vector<double>{3, 6}));
  EXPECT_EQ(r.interp.get("b"), nullptr);
  EXPECT_NE(r.listing.str().find("hello"), std::string::npos) << r.listing.str();
}

TEST(SessionBackend, ErrorLinesOfAFailureAppearOnlyInTheMessage) {
  LiveSession r;
  const std::string report = r.error("y = 1;\nz = BYE(y)");
  EXPECT_TRUE(r.log.empty());
  EXPECT_EQ(report.find("t.rm:2:5: error: "), 0u) << report;
  const size_t first = report.find("bye is leaving with 9999");
  EXPECT_NE(first, std::string::npos) << report;
  EXPECT_EQ(report.find("bye is leaving", first + 1), std::string::npos) << report;
  EXPECT_EQ(r.error("z = 1"), "(no error)");  // the session goes on
}

}  // namespace
}  // namespace robmat::lang
