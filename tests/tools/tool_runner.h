// Runs a companion tool as a separate process and collects what it printed
// on standard output and its exit status. The tools are found in the folder
// named by LOGSPLIT_TOOLS_DIR, else in the build folder the test program was
// built in.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tt {

struct ToolRun {
  int exitStatus = -1;  // the program's exit status; -1 when it did not exit normally
  std::string out;      // standard output
};

inline std::string ToolPath(const std::string& tool) {
  const char* dir = std::getenv("LOGSPLIT_TOOLS_DIR");
#ifdef LOGSPLIT_TOOLS_BUILD_DIR
  if (dir == nullptr) dir = LOGSPLIT_TOOLS_BUILD_DIR;
#endif
  return std::string(dir != nullptr ? dir : ".") + "/" + tool;
}

// Single-quotes an argument for the shell.
inline std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `tool args...`; standard error is discarded unless keepStderr.
inline ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args,
                       bool keepStderr = false) {
  std::string cmd = Quote(ToolPath(tool));
  for (const std::string& a : args) cmd += " " + Quote(a);
  cmd += keepStderr ? " 2>&1" : " 2>/dev/null";
  ToolRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  const int st = pclose(p);
  if (st != -1 && WIFEXITED(st)) run.exitStatus = WEXITSTATUS(st);
  return run;
}

}  // namespace tt
