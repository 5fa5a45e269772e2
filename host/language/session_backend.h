// The interpreter's RoutineBackend over a real host::Session. Notes and warnings reach the log
// handler as the routine logs them, so a long computation shows its progress notes while it
// runs. Error lines are held until the call ends: a failing call already repeats them in its
// RoutineError message, and a call that succeeds hands them on afterwards. Either way every
// line is shown once.
#pragma once

#include <functional>
#include <vector>

#include "language/backend.h"
#include "robmat/host/session.h"

namespace robmat::lang {

class SessionBackend : public RoutineBackend {
 public:
  SessionBackend(host::Session& session, std::function<void(const host::LogEntry&)> log);
  ~SessionBackend() override;
  SessionBackend(const SessionBackend&) = delete;
  SessionBackend& operator=(const SessionBackend&) = delete;

  const host::RoutineInfo* find(std::string_view name) const override;
  // The result's log holds only the held error lines; the rest were already handed on.
  host::CallResult call(std::string_view name, std::span<const host::Value* const> args) override;

 private:
  host::Session& session_;
  std::function<void(const host::LogEntry&)> log_;
  std::vector<host::LogEntry> held_errors_;
};

}  // namespace robmat::lang
