#pragma once

struct HostOptions;

// Runs the command the options name: configures the simulated SDK, loads
// the plug-in, then info, list, params or grab. Prints the command's output
// and, on failure, its one line of reason; returns the exit status.
// Main thread only: the cameras belong to the thread that creates them.
int runHostCommand(const HostOptions &options);
