#pragma once
// Runs a program of ours as a shell would, collecting its output and exit code.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

struct ProgramRun {
    int status = -1;  // exit code, or -1 when it was killed
    std::string out;
    std::string err;
};

// argv[0] is the program's path. onStart may act on the program while it runs (given its pid);
// a program still running after timeoutSeconds is killed.
ProgramRun RunProgram(std::vector<std::string> argv, const std::function<void(pid_t)>& onStart = {},
                      int timeoutSeconds = 90);

}  // namespace corvane::test
