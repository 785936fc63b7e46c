// Module loading: the Windows module name maps to the platform's file name, and the
// folders are searched in order before the system's own search.
#include <gtest/gtest.h>

#include "platform/Modules.h"
#include "platform/Paths.h"

namespace {

using ProbeFunction = int (*)();

int LoadedFolder(platform::ModuleHandle module) {
    auto probe = reinterpret_cast<ProbeFunction>(platform::GetProcAddress(module, "ProbeFolder"));
    return probe ? probe() : -1;
}

class ModuleSearch : public ::testing::Test {
  protected:
    void TearDown() override {
        platform::SetModuleSearchPath({}, true);
        platform::SetExecutablePathForTesting("");
    }
};

}  // namespace

TEST(ModuleName, MapsWindowsNamesToSharedLibraryFiles) {
    EXPECT_EQ(platform::ModuleFileName("LAME_ENC.DLL"), "liblame_enc.so");
    EXPECT_EQ(platform::ModuleFileName("BladeEnc.dll"), "libbladeenc.so");
    EXPECT_EQ(platform::ModuleFileName("DLL_ORVAM.dll"), "libdll_orvam.so");
    EXPECT_EQ(platform::ModuleFileName("C:\\Program Files\\x\\TM_PROBE.DLL"), "libtm_probe.so");
    EXPECT_EQ(platform::ModuleFileName("tm_probe"), "libtm_probe.so");
}

TEST_F(ModuleSearch, FirstFolderInTheListWins) {
    platform::SetModuleSearchPath({PROBE_FOLDER_1, PROBE_FOLDER_2}, false);
    platform::ModuleHandle a = platform::LoadModule("TM_PROBE.DLL");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(LoadedFolder(a), 1);
    platform::FreeModule(a);

    platform::SetModuleSearchPath({PROBE_FOLDER_2, PROBE_FOLDER_1}, false);
    platform::ModuleHandle b = platform::LoadModule("TM_PROBE.DLL");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(LoadedFolder(b), 2);
    platform::FreeModule(b);
}

TEST_F(ModuleSearch, ProgramFolderIsSearchedByDefault) {
    platform::SetExecutablePathForTesting(std::string(PROBE_FOLDER_2) + "/trackmill");
    platform::ModuleHandle m = platform::LoadModule("tm_probe.dll");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(LoadedFolder(m), 2);
    EXPECT_EQ(platform::GetProcAddress(m, "NoSuchEntryPoint"), nullptr);
    platform::FreeModule(m);
}

TEST_F(ModuleSearch, InstalledLayoutLoadsFromLibTrackmillAfterTheProgramFolder) {
    // modules2 holds its own copy, so the program folder wins over ../lib/trackmill.
    platform::SetExecutablePathForTesting(std::string(PROBE_FOLDER_2) + "/trackmill");
    platform::ModuleHandle beside = platform::LoadModule("TM_PROBE.DLL");
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(LoadedFolder(beside), 2);
    platform::FreeModule(beside);

    // <prefix>/bin has no module: <prefix>/lib/trackmill is next.
    platform::SetExecutablePathForTesting(std::string(PROBE_PREFIX) + "/bin/trackmill");
    platform::ModuleHandle installed = platform::LoadModule("TM_PROBE.DLL");
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(LoadedFolder(installed), 3);
    platform::FreeModule(installed);
}

TEST_F(ModuleSearch, MissingModuleGivesNoHandle) {
    platform::SetModuleSearchPath({PROBE_FOLDER_1}, false);
    EXPECT_EQ(platform::LoadModule("NOT_THERE.DLL"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "ProbeFolder"), nullptr);
}
