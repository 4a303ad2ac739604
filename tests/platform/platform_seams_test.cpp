// The platform seams, on whichever system the tests run: Linux natively,
// Windows under wine64 in CI. Each case states what a Windows or a Linux
// implementation would get wrong, not how the seam is written.
#include "alignedmemory.h"
#include "modulepin.h"
#include "sdklibrary.h"
#include "sharedlibrary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

extern "C" size_t vandrelTestCRecordSize(int which);

namespace {

using vdplatform::SharedLibrary;

void ownAnchor() {}

std::string testDir()
{
    return vdplatform::moduleDirOf(reinterpret_cast<const void *>(&ownAnchor));
}

std::string besideTests(const std::string &name)
{
    return testDir() + "/" + name;
}

// Whether the system still has the library in this process, asked without
// loading it.
bool stillLoaded(const std::string &path)
{
#if defined(_WIN32)
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], n);
    return GetModuleHandleW(wide.c_str()) != nullptr;
#else
    void *handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
#endif
}

using CountFn = int (*)();
using PinFn = bool (*)();

// ------------------------------------------------------------ aligned memory

TEST(AlignedMemory, EverySizeAtEveryAlignmentIsAlignedWritableAndFreedTheMatchingWay)
{
    // Freed with the wrong function (free() for _aligned_malloc's blocks)
    // or sized short of the rounding, this corrupts the heap or faults.
    for (size_t alignment : {sizeof(void *), size_t(16), size_t(64), size_t(4096)}) {
        for (size_t size : {size_t(0), size_t(1), alignment - 1, alignment, alignment + 1, size_t(3) << 20}) {
            void *block = vdplatform::alignedAllocate(alignment, size);
            ASSERT_NE(block, nullptr) << alignment << " " << size;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << alignment << " " << size;
            std::memset(block, 0x5a, size ? size : 1);
            vdplatform::alignedFree(block);
        }
    }
    vdplatform::alignedFree(nullptr);
}

TEST(AlignedMemory, RefusesWhatNoAllocatorCanHonour)
{
    EXPECT_EQ(vdplatform::alignedAllocate(48, 100), nullptr);   // not a power of two
    EXPECT_EQ(vdplatform::alignedAllocate(2, 100), nullptr);    // below a pointer's alignment
    EXPECT_EQ(vdplatform::alignedAllocate(64, SIZE_MAX - 10), nullptr);  // rounding would wrap
}

TEST(AlignedMemory, BlocksAreIndependent)
{
    std::vector<unsigned char *> blocks;
    for (int i = 0; i < 64; ++i) {
        auto *b = static_cast<unsigned char *>(vdplatform::alignedAllocate(64, 1000));
        ASSERT_NE(b, nullptr);
        std::memset(b, i, 1000);
        blocks.push_back(b);
    }
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(blocks[size_t(i)][0], i);
        EXPECT_EQ(blocks[size_t(i)][999], i);
        vdplatform::alignedFree(blocks[size_t(i)]);
    }
}

// ----------------------------------------------------------- library loading

TEST(SharedLibrary, LoadsFindsCallsAndUnloads)
{
    const std::string path = besideTests(VANDREL_TEST_MODULE);
    SharedLibrary lib;
    ASSERT_TRUE(lib.open(path)) << lib.errorString();
    EXPECT_TRUE(lib.isOpen());
    EXPECT_EQ(lib.path(), path);
    auto count = reinterpret_cast<CountFn>(lib.symbol("vandrelTestCount"));
    ASSERT_NE(count, nullptr) << lib.errorString();
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(count(), 2);

    // The module that holds an address is the library it was found in.
    const std::string holder = vdplatform::moduleFileOf(reinterpret_cast<const void *>(count));
    ASSERT_FALSE(holder.empty());
    EXPECT_TRUE(stillLoaded(holder));
    EXPECT_EQ(vdplatform::moduleDirOf(reinterpret_cast<const void *>(count)), testDir());

    EXPECT_EQ(lib.symbol("noSuchSymbolHere"), nullptr);
    EXPECT_FALSE(lib.errorString().empty());
    EXPECT_TRUE(lib.isOpen());

    lib.close();
    EXPECT_FALSE(lib.isOpen());
    EXPECT_FALSE(stillLoaded(holder));
    EXPECT_EQ(lib.symbol("vandrelTestCount"), nullptr);
}

TEST(SharedLibrary, MovedKeepsTheLibraryLoadedOnce)
{
    SharedLibrary first;
    ASSERT_TRUE(first.open(besideTests(VANDREL_TEST_MODULE))) << first.errorString();
    const std::string holder =
        vdplatform::moduleFileOf(first.symbol("vandrelTestCount"));
    SharedLibrary second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    ASSERT_TRUE(second.isOpen());
    EXPECT_NE(second.symbol("vandrelTestCount"), nullptr);
    SharedLibrary third;
    third = std::move(second);
    EXPECT_TRUE(stillLoaded(holder));
    third.close();
    EXPECT_FALSE(stillLoaded(holder));
}

TEST(SharedLibrary, FailuresSayWhyAndLeaveNothingLoaded)
{
    SharedLibrary lib;
    EXPECT_FALSE(lib.open(besideTests("no-such-library-here.bin")));
    EXPECT_FALSE(lib.isOpen());
    EXPECT_FALSE(lib.errorString().empty());

    // A file that is no library at all.
    const std::string bogus = besideTests("not-a-library.bin");
    std::ofstream(bogus) << "this is text, not a library\n";
    EXPECT_FALSE(lib.open(bogus));
    EXPECT_FALSE(lib.isOpen());
    EXPECT_FALSE(lib.errorString().empty());
}

TEST(SharedLibrary, NamesTheProgramAndNoModuleForStrayAddresses)
{
    const std::string self = vdplatform::moduleFileOf(reinterpret_cast<const void *>(&ownAnchor));
    ASSERT_FALSE(self.empty());
    EXPECT_NE(self.find("platform_seams_test"), std::string::npos) << self;
    int onTheStack = 0;
    EXPECT_EQ(vdplatform::moduleFileOf(&onTheStack), "");
    EXPECT_EQ(vdplatform::moduleDirOf(&onTheStack), "");
}

// ----------------------------------------------------------------- the pin

TEST(ModulePin, APinnedLibraryOutlivesItsUnloadAndItsCodeStillRuns)
{
    // The frame pool's case: a host unloads the plug-in while it still holds
    // frames whose release calls the plug-in's code.
    const std::string path = besideTests(VANDREL_TEST_PINNED_MODULE);
    SharedLibrary lib;
    ASSERT_TRUE(lib.open(path)) << lib.errorString();
    auto pin = reinterpret_cast<PinFn>(lib.symbol("vandrelTestPinSelf"));
    auto count = reinterpret_cast<CountFn>(lib.symbol("vandrelTestCount"));
    ASSERT_NE(pin, nullptr);
    ASSERT_NE(count, nullptr);
    const std::string holder = vdplatform::moduleFileOf(reinterpret_cast<const void *>(count));
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(pin());
    EXPECT_TRUE(pin());   // again: no harm
    lib.close();
    EXPECT_TRUE(stillLoaded(holder));
    EXPECT_EQ(count(), 2);   // its code and its data are still there

    // Loading it again finds the same module, not a fresh copy.
    SharedLibrary again;
    ASSERT_TRUE(again.open(path)) << again.errorString();
    auto countAgain = reinterpret_cast<CountFn>(again.symbol("vandrelTestCount"));
    EXPECT_EQ(countAgain, count);
    EXPECT_EQ(countAgain(), 3);
}

TEST(ModulePin, AnAddressOutsideEveryModuleIsNotPinned)
{
    std::vector<char> heap(4096);
    EXPECT_FALSE(vdplatform::pinModuleOf(heap.data()));
}

// ------------------------------------------------------------ the SDK, loaded

TEST(SdkLibrary, ResolvesEveryFunctionOfARealSdkAndCallsThrough)
{
    const std::string file = VANDREL_TEST_SDK_FILE;
    if (file.empty())
        GTEST_SKIP() << "this build has no SDK library of its own to load";
    vdsdk::SdkLibrary sdk;
    ASSERT_TRUE(sdk.load(besideTests(VANDREL_TEST_SDK_DIR), file)) << sdk.errorString();
    EXPECT_TRUE(sdk.isLoaded());
    EXPECT_TRUE(sdk.errorString().empty());
#define VDSDK_EXPECT_RESOLVED(name) EXPECT_NE(sdk.functions().name, nullptr) << #name;
    VDSDK_FOR_EACH_FUNCTION(VDSDK_EXPECT_RESOLVED)
#undef VDSDK_EXPECT_RESOLVED
    // The library's own functions, not look-alikes: they find its cameras.
    ASSERT_EQ(sdk.functions().VdSdkInit(0), VD_OK);
    VdDeviceInfo devices[20];
    int count = 20;
    ASSERT_EQ(sdk.functions().VdEnumerateDevice(devices, &count), VD_OK);
    ASSERT_GE(count, 1);
    EXPECT_NE(std::string(devices[0].productName).find("VD-"), std::string::npos) << devices[0].productName;
}

TEST(SdkLibrary, AMissingSdkNamesTheFileAndTheFolder)
{
    vdsdk::SdkLibrary sdk;
    const std::string dir = besideTests("no-sdk-here");
    EXPECT_FALSE(sdk.load(dir, "VDCAMSDK_X64.dll"));
    EXPECT_FALSE(sdk.isLoaded());
    EXPECT_NE(sdk.errorString().find("VDCAMSDK_X64.dll"), std::string::npos) << sdk.errorString();
    EXPECT_NE(sdk.errorString().find("no-sdk-here"), std::string::npos) << sdk.errorString();
    EXPECT_EQ(sdk.functions().VdSdkInit, nullptr);
}

TEST(SdkLibrary, ALibraryThatIsNotTheSdkNamesWhatItLacks)
{
    vdsdk::SdkLibrary sdk;
    EXPECT_FALSE(sdk.load(testDir(), VANDREL_TEST_MODULE));
    EXPECT_FALSE(sdk.isLoaded());
    EXPECT_NE(sdk.errorString().find("lacks VdSdkInit"), std::string::npos) << sdk.errorString();
    EXPECT_NE(sdk.errorString().find(VANDREL_TEST_MODULE), std::string::npos) << sdk.errorString();
    EXPECT_EQ(sdk.functions().VdEnumerateDevice, nullptr);
}

TEST(SdkLibrary, AFileThatIsNoLibrarySaysItCannotBeLoaded)
{
    const std::string name = "VDCAMSDK_bogus.dll";
    std::ofstream(besideTests(name)) << "MZ but nothing behind it\n";
    vdsdk::SdkLibrary sdk;
    EXPECT_FALSE(sdk.load(testDir(), name));
    EXPECT_NE(sdk.errorString().find("cannot be loaded"), std::string::npos) << sdk.errorString();
    EXPECT_NE(sdk.errorString().find(name), std::string::npos) << sdk.errorString();
}

// --------------------------------------------------------- the SDK's records

TEST(SdkHeader, CAndCppSeeTheSameRecords)
{
    const size_t cpp[] = {sizeof(VdDeviceInfo), sizeof(VdFrameHead), sizeof(VdCapability), sizeof(VdResolution),
                          offsetof(VdDeviceInfo, serialNumber), offsetof(VdFrameHead, timeStamp),
                          offsetof(VdCapability, monoSensor), offsetof(VdResolution, height)};
    for (int i = 0; i < int(sizeof cpp / sizeof cpp[0]); ++i)
        EXPECT_EQ(vandrelTestCRecordSize(i), cpp[i]) << "record item " << i;
}

} // namespace
