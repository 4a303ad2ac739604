#pragma once

#include <QString>

// The camera SDK library that the plug-in brought into this process, and
// whether it is the simulated SDK (the simulator answers a query of its own
// that no vendor SDK has). Read after the plug-in is loaded; any thread.
struct SdkIdentity
{
    QString library;       // its file as loaded; empty when no loaded library is the SDK
    bool simulated = false;
    QString description;   // what the simulator says it is; empty otherwise

    static SdkIdentity ofThisProcess();
    // For people, after the labels "SDK library:" and "simulated SDK:".
    QString libraryText() const;
    QString simulatedText() const;
};
