// Loading a library by file and finding its symbols, and which loaded module
// holds an address: dlopen and dladdr on Linux, LoadLibraryEx and
// GetModuleHandleEx on Windows. Paths are UTF-8 on Windows and the file
// system's bytes elsewhere.
#pragma once

#include <string>

namespace vdplatform {

// One library loaded by this object; unloaded when it is destroyed or
// closed. Not thread-safe; the symbols it hands out stay valid until then.
class SharedLibrary
{
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary &&other) noexcept;
    SharedLibrary &operator=(SharedLibrary &&other) noexcept;
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    // Loads the library at path, closing any loaded before. On Windows the
    // library's own imports are looked for in its folder first, so that an
    // SDK's helper DLLs beside it are found there and not on PATH.
    bool open(const std::string &path);
    bool isOpen() const { return handle != nullptr; }
    // The address of an exported symbol, or null (the reason in errorString()).
    void *symbol(const char *name);
    void close();

    const std::string &path() const { return file; }
    // Why the last open or symbol lookup failed, in the system's words.
    const std::string &errorString() const { return error; }

private:
    void *handle = nullptr;
    std::string file;
    std::string error;
};

// The file of the loaded module (program or library) whose code or data
// holds address; empty if none does.
std::string moduleFileOf(const void *address);
// Its folder, without a trailing separator; empty if none.
std::string moduleDirOf(const void *address);

} // namespace vdplatform
