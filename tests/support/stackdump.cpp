#include "stackdump.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

void printAllThreadStacks()
{
    std::fflush(stdout);
    std::fflush(stderr);
    // Lets a child attach even where ptrace is restricted to descendants.
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    const std::string pid = std::to_string(getpid());
    const pid_t child = fork();
    if (child == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execlp("gdb", "gdb", "-p", pid.c_str(), "-batch", "-nx", "-ex", "set pagination off", "-ex",
               "thread apply all bt", static_cast<char *>(nullptr));
        std::fprintf(stderr, "(no gdb to print the threads' stacks)\n");
        std::_Exit(127);
    }
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
    }
}
