// Starting and stopping the programs a start-up benchmark measures, and the virtual X server and
// window manager they run under.
#pragma once

#include <sys/types.h>
#include <vector>

// The descriptor on which a probe loaded into the measured program reports.
inline constexpr int kProbeFd = 3;

// Starts argv[0] (looked up in PATH) with the other arguments, in `directory` unless null, its
// output to /dev/null and `probeFd` (unless negative) as kProbeFd.
pid_t Spawn(const std::vector<const char*>& argv, const char* directory, int probeFd);
// Ends a program started by Spawn with `signal` and waits for it; pid becomes -1.
void Stop(pid_t& pid, int signal);
