// Keeping a library's code loaded for the rest of the process, for code that
// may still be called after its owner unloaded the library: the frame pool's
// allocator, which every delivered image calls when it is released.
#pragma once

namespace vdplatform {

// Pins the loaded library that holds address: no later unload, by whoever
// loaded it, removes it from the process. Idempotent; true once the module
// is pinned (also when it was already), false when address lies in no
// loaded library or the system refused.
bool pinModuleOf(const void *address);

} // namespace vdplatform
