// Text at the Windows API's edge: UTF-8 inside, UTF-16 in the calls, and the
// system's own wording of an error code. Windows only; private to this folder.
#pragma once

#include <string>

#include <windows.h>

namespace vdplatform {

inline std::wstring widen(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], n);
    return wide;
}

inline std::string narrow(const wchar_t *text, size_t length)
{
    if (length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

// "The specified module could not be found. (error 126)"
inline std::string systemMessage(DWORD code)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::string text = buffer ? narrow(buffer, length) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "system error";
    return text + " (error " + std::to_string(code) + ")";
}

// The full path of a loaded module, however long.
inline std::string moduleFileName(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, &path[0], DWORD(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size())
            return narrow(path.data(), n);
        path.resize(path.size() * 2);
    }
}

} // namespace vdplatform
