// Running the PostgreSQL programs: as this user, or (when this tool runs as root, which
// PostgreSQL refuses) under an unprivileged account through runuser.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kessmar::backoffice_server {

struct ProgramResult {
  int exitCode = -1;   // -signal when a signal ended it
  std::string output;  // standard output and error together
};

// Runs argv[0] (a path, or a name looked up in PATH) with argv, as asUser when given (through
// "runuser -u asUser --"), waits for it and collects its output. Throws std::runtime_error when
// it cannot be started.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::optional<std::string>& asUser = std::nullopt);

// Starts argv in the background, detached from this process (its own session, standard input
// from /dev/null, output appended to logFile). Returns once it runs. Throws std::runtime_error.
void StartDetached(const std::vector<std::string>& argv, const std::string& logFile);

// The account this tool runs under.
std::string CurrentUserName();
bool RunningAsRoot();

// uid and gid of an account; throws std::runtime_error when there is no such account.
struct Account {
  uid_t uid;
  gid_t gid;
};
Account LookUpAccount(const std::string& name);

// Gives path to account. Throws std::runtime_error naming the path.
void GiveTo(const std::string& path, const Account& account);

// Whether a process with that id runs.
bool ProcessRuns(pid_t pid);
// Sends SIGTERM and waits up to 5 s for the process to end.
void Terminate(pid_t pid);

// The path of the running executable.
std::string SelfPath();

}  // namespace kessmar::backoffice_server
