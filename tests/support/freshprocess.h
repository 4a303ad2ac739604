#pragma once

#include <string>

// Cases that need module-wide state as only a fresh process has it run in a
// child process of their own test program.
bool inFreshProcess();
// Runs the named case (Suite.Case) of this program in a child process; true
// when it ran and passed. Failures of the child are reported by the caller.
bool passesInFreshProcess(const char *testName, std::string &output);
