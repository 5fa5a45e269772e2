// The progress of a long routine call: a thread that wakes while the call runs and, once the
// call has taken longer than a delay, reports the elapsed time and the percentage the
// routine last noted (if it notes any). A helper thread rather than the module's own
// service calls, because a long search may call no service for many seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "robmat/host/output.h"

namespace robmat::host {

struct ProgressState {
  std::string routine;
  double seconds = 0;  // since the call began
  int percent = -1;    // the routine's last progress note, -1 when it wrote none
  bool done = false;   // the call has ended: take the report away
};

class ProgressMeter {
 public:
  // show is called under the meter's lock, so never concurrently with itself or with a
  // function passed to write_around: from the meter's thread every `period` once the call has
  // run for `delay`, and from end() (or write_around) with done set to take the report away.
  using Show = std::function<void(const ProgressState&)>;
  explicit ProgressMeter(Show show,
                         std::chrono::milliseconds delay = std::chrono::milliseconds(1000),
                         std::chrono::milliseconds period = std::chrono::milliseconds(250));
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void begin(std::string_view routine);
  void note_percent(int percent);
  void end();

  // Runs write (which puts something on the same screen) with the report taken away first;
  // the next period shows it again.
  void write_around(const std::function<void()>& write);

 private:
  void run();
  void hide_locked();

  Show show_;
  std::chrono::milliseconds delay_;
  std::chrono::milliseconds period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool running_ = false;  // a call is in progress
  bool shown_ = false;    // the report is on the screen
  ProgressState state_;
  std::chrono::steady_clock::time_point start_;
};

// An OutputSink in front of another: passes the output on and feeds the meter from the
// call's beginning, progress notes and end. Output goes around the meter's report.
class ProgressSink : public OutputSink {
 public:
  ProgressSink(OutputSink& next, ProgressMeter& meter) : next_(next), meter_(meter) {}
  void emit(const OutputObject& object) override;
  void progress(int percent) override { meter_.note_percent(percent); }
  void call_begins(std::string_view routine) override {
    meter_.begin(routine);
    next_.call_begins(routine);
  }
  void call_ends() override {
    meter_.end();
    next_.call_ends();
  }

 private:
  OutputSink& next_;
  ProgressMeter& meter_;
};

// The report as one line of text, e.g. "MCD: running, 3 s" or "MVE: 40% done, 12 s".
std::string progress_text(const ProgressState& s);

}  // namespace robmat::host
