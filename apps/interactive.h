// What the robmat program adds for a person at a terminal: help on routines and builtins,
// the REPL's own commands, tab completion, Ctrl-C, and the progress line of a long call.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "robmat/host/session.h"

namespace robmat::app {

// The REPL's start-up lines.
std::string banner(const std::string& version);

// `help`: the routines the module registered (with a line of help each), the builtins and
// the REPL's commands.
std::string overview_help(const host::Session& session);

// `help NAME`: a routine's full help, or a builtin's call forms; nullopt for an unknown name.
std::optional<std::string> topic_help(std::string_view name);

// A line the REPL handles itself rather than the language.
struct Command {
  enum Kind { kNone, kQuit, kHelp } kind = kNone;
  std::string topic;  // for kHelp; empty for the overview
};
Command parse_command(std::string_view line);

// Tab completion of variable, routine and builtin names (and command words) in readline.
// names() gives the current variables and routines; it is called at each completion.
void install_completion(std::function<std::vector<std::string>()> names);

// SIGINT while the REPL runs: sets a flag (read and cleared by take_sigint) and calls
// on_interrupt, which must be safe in a signal handler; a prompt waiting for a key returns at
// once (catch_sigint gives the line editor a key reader that watches for it, so call it before
// the editor initializes). restore puts the old handler back.
void catch_sigint(void (*on_interrupt)());
bool take_sigint();
void restore_sigint();

}  // namespace robmat::app
