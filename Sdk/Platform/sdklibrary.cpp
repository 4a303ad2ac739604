#include "sdklibrary.h"

#include <filesystem>
#include <system_error>

namespace vdsdk {
namespace {

namespace fs = std::filesystem;

template <typename F>
bool resolve(vdplatform::SharedLibrary &library, const char *name, F &slot, std::string &missing)
{
    slot = reinterpret_cast<F>(library.symbol(name));
    if (!slot && missing.empty())
        missing = name;
    return slot != nullptr;
}

} // namespace

bool SdkLibrary::load(const std::string &folder, const std::string &fileName)
{
    library.close();
    table = SdkFunctions();
    loaded = false;
    error.clear();

    const fs::path dir = fs::u8path(folder);
    const fs::path file = dir / fs::u8path(fileName);
    const std::string where = dir.u8string();
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "camera SDK " + fileName + " not found in " + (where.empty() ? std::string("?") : where);
        return false;
    }
    if (!library.open(file.u8string())) {
        // The file is there: what failed is the file itself, or a library
        // it needs that is neither beside it nor on the system's path.
        error = "camera SDK " + file.u8string() + " cannot be loaded: " + library.errorString();
        return false;
    }
    std::string missing;
    std::string why;
#define VDSDK_RESOLVE(name)                                                                                        \
    if (!resolve(library, #name, table.name, missing) && why.empty())                                              \
        why = library.errorString();
    VDSDK_FOR_EACH_FUNCTION(VDSDK_RESOLVE)
#undef VDSDK_RESOLVE
    if (!missing.empty()) {
        error = "camera SDK " + file.u8string() + " is not the SDK this driver was built for: it lacks " + missing
                + " (" + why + ")";
        table = SdkFunctions();
        library.close();
        return false;
    }
    loaded = true;
    return true;
}

} // namespace vdsdk
