// The encoder binding's rules, proved with fake encoder modules.
//
// Seam: each scenario is a folder of fake modules built from FakeEncoder.cpp
// (liblame_enc.so and/or libbladeenc.so, see CMakeLists.txt). The test points the
// module search at that folder only (platform::SetModuleSearchPath, no system
// search) and returns the binding to its start state between tests
// (ResetEncoderBindingForTesting). A fake answers fakeEncoderId() with its variant.
#include <gtest/gtest.h>

#include <string>

#include "encode/EncoderBinding.h"
#include "platform/Modules.h"

using namespace encode;

namespace {

class BindingTest : public ::testing::Test {
  protected:
    void UseFolder(const std::string& scenario) {
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({std::string(FAKE_ENCODERS) + "/" + scenario}, false);
    }
    void TearDown() override {
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({}, true);
    }
    static std::string Id(platform::ModuleHandle m) {
        auto fn = reinterpret_cast<const char* (*)()>(platform::GetProcAddress(m, "fakeEncoderId"));
        return fn ? fn() : "";
    }
};

TEST_F(BindingTest, OnlyLameGivesLame) {
    UseFolder("only_lame");
    EXPECT_EQ(BindEncoder(), 1);
    EXPECT_EQ(EncoderType(), kEncoderLame);
    EXPECT_EQ(BladeModule(), nullptr);
    EXPECT_NE(BoundEncoder().initStream, nullptr);
    EXPECT_EQ(Id(LameModule()), "only-lame");
    EXPECT_EQ(LameTooOld(), 0);
}

TEST_F(BindingTest, BothCompletePrefersBladeAndASecondBindChangesNothing) {
    UseFolder("both");
    EXPECT_EQ(BindEncoder(), 1);
    EXPECT_EQ(EncoderType(), kEncoderBlade);
    const auto entries = BoundEncoder();
    EXPECT_EQ(reinterpret_cast<void*>(entries.initStream),
              platform::GetProcAddress(BladeModule(), "beInitStream"));
    EXPECT_EQ(BindEncoder(), 1);
    EXPECT_EQ(EncoderType(), kEncoderBlade);
    EXPECT_EQ(BoundEncoder().initStream, entries.initStream);
}

TEST_F(BindingTest, BladeLackingCloseStreamIsReleasedAndLameIsBound) {
    UseFolder("blade_no_close");
    EXPECT_EQ(BindEncoder(), 1);
    EXPECT_EQ(EncoderType(), kEncoderLame);
    EXPECT_EQ(BladeModule(), nullptr);
    EXPECT_EQ(Id(LameModule()), "noclose-lame");
    EXPECT_EQ(reinterpret_cast<void*>(BoundEncoder().closeStream),
              platform::GetProcAddress(LameModule(), "beCloseStream"));
}

TEST_F(BindingTest, NothingToLoadOrNothingCompleteBindsNothing) {
    UseFolder("no_such_folder");
    EXPECT_EQ(BindEncoder(), 0);
    EXPECT_EQ(EncoderType(), kEncoderNone);
    EXPECT_EQ(BoundEncoder().initStream, nullptr);

    UseFolder("lame_no_close");
    EXPECT_EQ(BindEncoder(), 0);
    EXPECT_EQ(EncoderType(), kEncoderNone);
    EXPECT_EQ(LameModule(), nullptr);
    EXPECT_EQ(BoundEncoder().encodeChunk, nullptr);
    EXPECT_EQ(ResolveEncoder(kEncoderLame), 0);
    EXPECT_EQ(ResolveEncoder(7), 0);
}

TEST_F(BindingTest, LameVersionTestChoosesTheRecord) {
    UseFolder("lame_353");
    ASSERT_EQ(BindEncoder(), 1);
    EXPECT_EQ(LameTooOld(), 1);  // encoder 3.53

    UseFolder("lame_354_lib_14");
    ASSERT_EQ(BindEncoder(), 1);
    EXPECT_EQ(LameTooOld(), 0);  // encoder 3.54, library 1.4

    UseFolder("lame_40_lib_13");
    ASSERT_EQ(BindEncoder(), 1);
    EXPECT_EQ(LameTooOld(), 1);  // encoder 4.0 but library 1.3

    UseFolder("no_such_folder");
    EXPECT_EQ(LameTooOld(), 1);  // no LAME module at all
}

TEST_F(BindingTest, RealModuleReportsARecentEnoughLibrary) {
    ResetEncoderBindingForTesting();
    platform::SetModuleSearchPath({PROGRAM_FOLDER}, false);
    ASSERT_EQ(BindEncoder(), 1);
    EXPECT_EQ(EncoderType(), kEncoderLame);
    EXPECT_NE(BoundEncoder().writeVbrHeader, nullptr);
    EXPECT_EQ(LameTooOld(), 0);
}

}  // namespace
