// Adapter from host::Session to the interpreter's RoutineBackend; see session_backend.h.
#include "language/session_backend.h"

namespace robmat::lang {

SessionBackend::SessionBackend(host::Session& session, std::function<void(const host::LogEntry&)> log)
    : session_(session), log_(std::move(log)) {
  session_.set_log_handler([this](const host::LogEntry& entry) {
    if (entry.severity == host::LogEntry::Severity::kError) {
      held_errors_.push_back(entry);
    } else if (log_) {
      log_(entry);
    }
  });
}

SessionBackend::~SessionBackend() { session_.set_log_handler(nullptr); }

const host::RoutineInfo* SessionBackend::find(std::string_view name) const { return session_.find(name); }

host::CallResult SessionBackend::call(std::string_view name, std::span<const host::Value* const> args) {
  held_errors_.clear();
  host::CallResult result;
  try {
    result = session_.call(name, args);
  } catch (const host::RoutineError&) {
    held_errors_.clear();  // the message carries them
    throw;
  } catch (const host::Error&) {
    // Failures found by the host itself do not repeat the routine's error lines.
    if (log_) {
      for (const host::LogEntry& e : held_errors_) log_(e);
    }
    held_errors_.clear();
    throw;
  }
  result.log = std::move(held_errors_);
  held_errors_.clear();
  return result;
}

}  // namespace robmat::lang
