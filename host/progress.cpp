// The progress meter's thread and the sink that feeds it.
#include "progress.h"

#include <cmath>

namespace robmat::host {

ProgressMeter::ProgressMeter(Show show, std::chrono::milliseconds delay, std::chrono::milliseconds period)
    : show_(std::move(show)), delay_(delay), period_(period) {}

ProgressMeter::~ProgressMeter() { end(); }

void ProgressMeter::begin(std::string_view routine) {
  end();
  std::lock_guard lock(mutex_);
  running_ = true;
  shown_ = false;
  state_ = ProgressState{std::string(routine), 0, -1, false};
  start_ = std::chrono::steady_clock::now();
  thread_ = std::thread([this] { run(); });
}

void ProgressMeter::note_percent(int percent) {
  std::lock_guard lock(mutex_);
  state_.percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

void ProgressMeter::end() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard lock(mutex_);
  if (shown_) {
    state_.done = true;
    show_(state_);
    shown_ = false;
  }
}

void ProgressMeter::write_around(const std::function<void()>& write) {
  std::lock_guard lock(mutex_);
  hide_locked();
  write();
}

void ProgressMeter::hide_locked() {
  if (!shown_) return;
  ProgressState hidden = state_;
  hidden.done = true;
  show_(hidden);
  shown_ = false;
}

void ProgressMeter::run() {
  std::unique_lock lock(mutex_);
  if (wake_.wait_for(lock, delay_, [this] { return !running_; })) return;
  do {
    state_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    show_(state_);
    shown_ = true;
  } while (!wake_.wait_for(lock, period_, [this] { return !running_; }));
}

void ProgressSink::emit(const OutputObject& object) {
  meter_.write_around([&] { next_.emit(object); });
}

std::string progress_text(const ProgressState& s) {
  const long seconds = std::lround(std::floor(s.seconds));
  std::string text = s.routine + ": ";
  if (s.percent >= 0)
    text += std::to_string(s.percent) + "% done, ";
  else
    text += "running, ";
  if (seconds >= 60)
    text += std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
  else
    text += std::to_string(seconds) + " s";
  return text;
}

}  // namespace robmat::host
