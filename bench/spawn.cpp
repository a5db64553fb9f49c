// Starting and stopping the programs the start-up benchmarks measure.
#include "bench/spawn.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

pid_t Spawn(const std::vector<const char*>& argv, const char* directory, int probeFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (probeFd == kProbeFd)
        fcntl(kProbeFd, F_SETFD, 0);
    else if (probeFd >= 0)
        dup2(probeFd, kProbeFd); // the copy is kept across exec
    if (directory && chdir(directory) != 0) _exit(127);
    std::vector<char*> args;
    for (const char* arg : argv)
        args.push_back(const_cast<char*>(arg));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

void Stop(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
    pid = -1;
}
