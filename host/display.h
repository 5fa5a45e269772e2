// Where the robmat program shows things: the module's output objects (through OutputSink) and
// the values the language displays. The listing and the JSON writer both implement it, and a
// tee lets one run feed both.
#pragma once

#include <string_view>
#include <vector>

#include "robmat/host/matrix.h"
#include "robmat/host/output.h"

namespace robmat::host {

class Display : public OutputSink {
 public:
  // An empty name shows the value bare (the language's disp).
  virtual void show_value(std::string_view name, const Value& value) = 0;
};

class DisplayTee : public Display {
 public:
  void add(Display* display) { targets_.push_back(display); }
  void emit(const OutputObject& object) override {
    for (Display* d : targets_) d->emit(object);
  }
  void progress(int percent) override {
    for (Display* d : targets_) d->progress(percent);
  }
  void show_value(std::string_view name, const Value& value) override {
    for (Display* d : targets_) d->show_value(name, value);
  }
  void call_begins(std::string_view routine) override {
    for (Display* d : targets_) d->call_begins(routine);
  }
  void call_ends() override {
    for (Display* d : targets_) d->call_ends();
  }

 private:
  std::vector<Display*> targets_;
};

}  // namespace robmat::host
