// Help, commands, completion and Ctrl-C of the REPL; see interactive.h.
#include "interactive.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <set>
// clang-format off
#include <cstdio>
#include <editline/readline.h>
// clang-format on

#include "help.h"
#include "language/builtins.h"

namespace robmat::app {

namespace {

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && (std::isspace(static_cast<unsigned char>(s[e - 1])) || s[e - 1] == ';')) --e;
  return std::string(s.substr(b, e - b));
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

const char* const kCommands[] = {"help", "quit", "exit"};

}  // namespace

std::string banner(const std::string& version) {
  return "robmat " + version +
         ": robust statistics in a small matrix language.\n"
         "Type 'help' for the routines and builtins, 'help MCD' for one of them, and 'quit' (or "
         "Ctrl-D) to leave.\nCtrl-C clears the line, or cancels a routine call that is running.\n";
}

std::string overview_help(const host::Session& session) {
  std::string out = "Routines of the module (help NAME for the call, options and results):\n";
  const auto& summaries = host::routine_summaries();
  for (const auto& r : session.routines()) {
    std::string line = "  " + r.name;
    line.resize(std::max<size_t>(line.size() + 2, 8), ' ');
    auto it = std::find_if(summaries.begin(), summaries.end(), [&](const host::RoutineSummary& s) {
      return upper(s.name) == upper(r.name);
    });
    if (it != summaries.end()) {
      line += it->summary;
      if (!it->available) line += " (not available in this build yet)";
    } else {
      line += r.call_routine ? "call routine" : "function";
    }
    out += line + '\n';
  }
  out += "\nBuiltins:\n";
  for (const auto& b : lang::builtins()) out += "  " + std::string(b.usage) + '\n';
  out +=
      "\nCommands: help, help NAME, quit (or exit, or Ctrl-D). A statement left open by a "
      "parenthesis\nor bracket continues on the next line; Tab completes names.\n";
  return out;
}

std::optional<std::string> topic_help(std::string_view name) {
  if (auto text = host::routine_help(name)) return text;
  if (const lang::Builtin* b = lang::find_builtin(name)) return "builtin: " + std::string(b->usage) + '\n';
  return std::nullopt;
}

Command parse_command(std::string_view line) {
  const std::string t = trim(line);
  if (t == "quit" || t == "exit") return {Command::kQuit, {}};
  if (t == "help") return {Command::kHelp, {}};
  if (t.rfind("help", 0) == 0 && t.size() > 4 && std::isspace(static_cast<unsigned char>(t[4]))) {
    std::string topic = trim(t.substr(4));
    // "help x = 1" is not a command; a topic is one name.
    if (!topic.empty() &&
        std::all_of(topic.begin(), topic.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; }))
      return {Command::kHelp, topic};
  }
  return {};
}

namespace {

std::function<std::vector<std::string>()> g_names;
std::vector<std::string> g_candidates;
size_t g_next = 0;

char* next_candidate(const char* text, int state) {
  if (state == 0) {
    std::set<std::string> all;
    if (g_names)
      for (auto& n : g_names()) all.insert(std::move(n));
    for (const auto& b : lang::builtins()) all.insert(std::string(b.name));
    for (const char* c : kCommands) all.insert(c);
    g_candidates.clear();
    const size_t len = std::strlen(text);
    for (const auto& n : all)
      if (n.compare(0, len, text) == 0) g_candidates.push_back(n);
    g_next = 0;
  }
  if (g_next >= g_candidates.size()) return nullptr;
  return strdup(g_candidates[g_next++].c_str());
}

char** complete(const char* text, int, int) {
  // Names only: no file names when nothing matches.
  rl_attempted_completion_over = 1;
  return rl_completion_matches(text, next_candidate);
}

volatile std::sig_atomic_t g_sigint = 0;
void (*g_on_interrupt)() = nullptr;
struct sigaction g_previous {};
// The self-pipe: a Ctrl-C writes a byte, so the prompt's wait for a key sees it even when the
// signal came before the wait began (a flag alone would be missed there, and the prompt would
// hang with its line already dropped by the terminal).
int g_wake[2] = {-1, -1};

void on_sigint(int) {
  const int saved = errno;
  g_sigint = 1;
  if (g_wake[1] >= 0) {
    const char byte = 1;
    (void)!write(g_wake[1], &byte, 1);
  }
  if (g_on_interrupt != nullptr) g_on_interrupt();
  errno = saved;
}

void drain_wake() {
  char buf[64];
  if (g_wake[0] >= 0)
    while (read(g_wake[0], buf, sizeof buf) > 0) {
    }
}

// One byte of the terminal, or -1 after a Ctrl-C or at the end of input.
int read_byte(int fd) {
  for (;;) {
    if (g_sigint != 0) return -1;
    pollfd fds[2] = {{fd, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
    const int n = poll(fds, g_wake[0] >= 0 ? 2 : 1, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (g_wake[0] >= 0 && (fds[1].revents & POLLIN) != 0) {
      drain_wake();
      if (g_sigint != 0) return -1;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      unsigned char c = 0;
      const ssize_t got = read(fd, &c, 1);
      if (got == 1) return c;
      if (got < 0 && errno == EINTR) continue;
      return -1;
    }
  }
}

// The line editor's key reader: a character (UTF-8 decoded, as the editor wants characters,
// not bytes), or -1, which the editor takes as the end of the line's input.
int read_key(FILE* in) {
  const int fd = fileno(in != nullptr ? in : stdin);
  const int lead = read_byte(fd);
  if (lead < 0x80) return lead;
  int more = lead >= 0xf0 ? 3 : lead >= 0xe0 ? 2 : lead >= 0xc0 ? 1 : 0;
  int code = lead & (0x3f >> more);
  for (; more > 0; --more) {
    const int next = read_byte(fd);
    if (next < 0) return -1;
    code = (code << 6) | (next & 0x3f);
  }
  return code;
}

}  // namespace

void install_completion(std::function<std::vector<std::string>()> names) {
  g_names = std::move(names);
  static char breaks[] = " \t\n\"\\'`@$><=;|&{(,[+-*/.^:~";
  rl_basic_word_break_characters = breaks;
  rl_attempted_completion_function = complete;
}

void catch_sigint(void (*on_interrupt)()) {
  g_on_interrupt = on_interrupt;
  struct sigaction sa {};
  sa.sa_handler = on_sigint;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: the terminal read at the prompt must return so the line can be cleared.
  sa.sa_flags = 0;
  sigaction(SIGINT, &sa, &g_previous);
  if (g_wake[0] < 0 && pipe2(g_wake, O_NONBLOCK | O_CLOEXEC) != 0) g_wake[0] = g_wake[1] = -1;
  rl_getc_function = read_key;
}

bool take_sigint() {
  const bool got = g_sigint != 0;
  g_sigint = 0;
  drain_wake();
  return got;
}

void restore_sigint() { sigaction(SIGINT, &g_previous, nullptr); }

}  // namespace robmat::app
