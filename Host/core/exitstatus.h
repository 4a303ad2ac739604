#pragma once

// Exit statuses of the host programs (vandrel-host, vandrel-viewer).
enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1,       // a run-time failure (camera refused a setting, a file not written, no frame)
    ExitBadOptions = 2,
    ExitNoPlugin = 3,
    ExitNoCamera = 4,
    ExitBadSettings = 5,
    ExitInterrupted = 130,  // stopped by Ctrl-C or SIGTERM: the shell's 128 + SIGINT
};
