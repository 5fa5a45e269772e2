// What the interpreter needs from the host to call the module's routines. The program adapts
// a host::Session to it (session_backend.h); tests use a fake with the same behaviour.
#pragma once

#include <span>
#include <string_view>

#include "robmat/host/session.h"

namespace robmat::lang {

class RoutineBackend {
 public:
  virtual ~RoutineBackend() = default;
  // The registered routine of that name (case-insensitive), or null.
  virtual const host::RoutineInfo* find(std::string_view name) const = 0;
  // Runs the routine. Throws host::Error for a bad call and host::RoutineError when the
  // routine fails; the log lines of the call come back in the result.
  virtual host::CallResult call(std::string_view name, std::span<const host::Value* const> args) = 0;
};

}  // namespace robmat::lang
