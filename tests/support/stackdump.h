#pragma once

// Prints every thread's stack of this process on stderr, through gdb when it
// is installed: what a watchdog shows before it ends a hung run.
void printAllThreadStacks();
