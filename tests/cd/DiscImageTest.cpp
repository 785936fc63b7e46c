// Disc images: the generated demo disc gives exactly the tracks its
// generator wrote, its audio sits at the addresses the table of contents gives, and
// missing, truncated or corrupt images fail to open without harming the process.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cd/DiscSession.h"
#include "cdaccess/Drive.h"

using namespace cd;

namespace fs = std::filesystem;

namespace {

const std::string kDemoDir = TRACKMILL_DEMO_DIR;

struct ExpectedTrack {
    int number;
    std::uint32_t start, length;
    int data;
};

std::vector<ExpectedTrack> ReadExpected() {
    std::ifstream in(kDemoDir + "/demo.expected");
    std::vector<ExpectedTrack> tracks;
    ExpectedTrack t{};
    while (in >> t.number >> t.start >> t.length >> t.data) tracks.push_back(t);
    return tracks;
}

std::string ReadBytes(const fs::path& path, std::uint64_t offset, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}

std::string Time(std::uint32_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u", frames / 75 / 60, frames / 75 % 60);
    return text;
}

class DiscImage : public ::testing::Test {
  protected:
    void SetUp() override {
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
        dir_ = fs::temp_directory_path() /
               ("tm_images_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        CloseDisc(disc_);
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(true);
        fs::remove_all(dir_);
    }

    fs::path Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    // The first `bytes` bytes of the demo .bin under a new name.
    fs::path CopyBin(const std::string& name, std::uint64_t bytes) {
        std::ifstream in(kDemoDir + "/demo.bin", std::ios::binary);
        std::ofstream out(dir_ / name, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (bytes > 0 && in) {
            in.read(buffer.data(),
                    static_cast<std::streamsize>(std::min<std::uint64_t>(bytes, buffer.size())));
            out.write(buffer.data(), in.gcount());
            bytes -= static_cast<std::uint64_t>(in.gcount());
        }
        return dir_ / name;
    }
    std::string DemoCue() const {
        std::ifstream in(kDemoDir + "/demo.cue");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static bool Opens(const fs::path& path) {
        return cdaccess::MakeImageDrive(path.string())->Open();
    }

    fs::path dir_;
    DiscState disc_;
};

std::string Random(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// An NRG image is described by chunks at its end; the last 12 bytes say where they
// start. These point libcdio's parser at impossible places.
std::string NrgWithFooter(std::size_t size, std::uint64_t footerOffset, const std::string& chunks) {
    std::string bytes(size, '\0');
    bytes.replace(size - 12 - chunks.size(), chunks.size(), chunks);
    std::string footer = "NER5";
    for (int i = 7; i >= 0; --i) footer += static_cast<char>((footerOffset >> (8 * i)) & 0xFF);
    bytes.replace(size - 12, 12, footer);
    return bytes;
}

}  // namespace

TEST_F(DiscImage, DemoDiscGivesTheTracksItsGeneratorWrote) {
    const auto expected = ReadExpected();
    ASSERT_GE(expected.size(), 6u);
    std::string error;
    ASSERT_TRUE(OpenDisc({"--disc", kDemoDir + "/demo.cue"}, disc_, error)) << error;
    EXPECT_EQ(disc_.driveName, kDemoDir + "/demo.cue");
    ASSERT_EQ(disc_.rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ExpectedTrack& t = expected[i];
        SCOPED_TRACE("track " + std::to_string(t.number));
        EXPECT_EQ(disc_.rows[i].number, std::to_string(i + 1));
        EXPECT_EQ(disc_.rows[i].name, t.data ? "Data Track" : "Track " + std::to_string(t.number));
        EXPECT_EQ(disc_.rows[i].time, Time(t.length));
        EXPECT_EQ(disc_.table[i].startLba, t.start);
        EXPECT_EQ(disc_.table[i].lengthFrames, t.length);
        EXPECT_EQ(disc_.table[i].isData, t.data);
    }
    // An enhanced CD: the data track is last, after the gap.
    EXPECT_EQ(expected.back().data, 1);
    const ExpectedTrack& lastAudio = expected[expected.size() - 2];
    EXPECT_EQ(expected.back().start, lastAudio.start + lastAudio.length + 11400);
}

TEST_F(DiscImage, DemoAudioSitsAtTheTableOfContentsAddresses) {
    const auto expected = ReadExpected();
    ASSERT_GE(expected.size(), 2u);
    std::string error;
    ASSERT_TRUE(OpenDisc({"--disc", kDemoDir + "/demo.cue"}, disc_, error)) << error;
    const fs::path bin = kDemoDir + "/demo.bin";

    std::vector<unsigned char> buffer(sizeof(ReadBlock) + 3 * 2352);
    auto* block = reinterpret_cast<ReadBlock*>(buffer.data());
    for (std::uint32_t lba : {expected[1].start, expected[1].start + expected[1].length - 3}) {
        std::memset(buffer.data(), 0, buffer.size());
        block->startLba = lba;
        block->frameCount = 3;
        block->capacity = 3 * 2352;
        ASSERT_EQ(ReadCDAudioLBA(disc_.handle, block), 1);
        ASSERT_EQ(block->dataLength, 3u * 2352);
        const std::string want = ReadBytes(bin, std::uint64_t{lba} * 2352, 3 * 2352);
        EXPECT_EQ(std::memcmp(block->data(), want.data(), want.size()), 0) << lba;
    }
    // Nothing lies past the lead-out.
    const auto& data = expected.back();
    block->startLba = data.start + data.length - 1;
    block->frameCount = 2;
    EXPECT_EQ(ReadCDAudioLBA(disc_.handle, block), 4);
}

TEST_F(DiscImage, BinNameFindsItsCueSheet) {
    auto drive = cdaccess::MakeImageDrive(kDemoDir + "/demo.bin");
    ASSERT_TRUE(drive->Open());
    cdaccess::DiscToc toc;
    ASSERT_TRUE(drive->ReadToc(toc));
    EXPECT_EQ(toc.tracks.size(), ReadExpected().size());
    EXPECT_TRUE(drive->Ready());
    EXPECT_TRUE(drive->Open());  // opening again re-reads the image
}

TEST_F(DiscImage, MissingOrMisnamedBinFailsToOpen) {
    // A cue sheet alone.
    EXPECT_FALSE(Opens(Write("alone.cue", DemoCue())));
    // A cue whose FILE holds far fewer frames than its tracks need cannot be opened.
    CopyBin("demo.bin", 2352 * 100);
    EXPECT_FALSE(Opens(Write("other.cue", DemoCue())));
    EXPECT_FALSE(Opens(dir_ / "nothing-here.cue"));
    fs::create_directories(dir_ / "folder.cue");
    EXPECT_FALSE(Opens(dir_ / "folder.cue"));
}

TEST_F(DiscImage, TruncatedBinFailsToOpen) {
    const auto expected = ReadExpected();
    // Cut inside a frame.
    Write("cut.cue", DemoCue());
    CopyBin("cut.bin", 2352 * 1000 + 100);
    EXPECT_FALSE(Opens(dir_ / "cut.cue"));
    // Cut on a frame boundary before the last tracks begin: the lead-out comes first.
    Write("short.cue", DemoCue());
    CopyBin("short.bin", std::uint64_t{2352} * (expected[2].start + 10));
    EXPECT_FALSE(Opens(dir_ / "short.cue"));
    Write("empty.cue", DemoCue());
    Write("empty.bin", "");
    EXPECT_FALSE(Opens(dir_ / "empty.cue"));
}

TEST_F(DiscImage, CorruptImagesFailToOpenWithoutHarm) {
    CopyBin("junk.bin", 2352 * 50);
    EXPECT_FALSE(Opens(Write("junk.cue", Random(5000, 1))));
    EXPECT_FALSE(Opens(Write("junk.nrg", Random(100000, 2))));
    EXPECT_FALSE(Opens(Write("junk.toc", Random(3000, 3))));
    EXPECT_FALSE(Opens(Write("text.toc", "CD_DA\nTRACK AUDIO\nFILE \"none.wav\" 0 10:00:00\n")));
    EXPECT_FALSE(Opens(Write("empty.nrg", "")));
    EXPECT_FALSE(Opens(Write("junk.img", Random(70000, 4))));
    // NRG footers that make libcdio's parser assert, or read through a null pointer
    // or past its buffer: chunks larger than it allows, a footer beyond the end of
    // the file, a CUEX chunk of a length it refuses, a DAOX chunk that claims 2 GB
    // (this one crashes libcdio even with a log handler that does not abort).
    EXPECT_FALSE(Opens(Write("big.nrg", NrgWithFooter(20000, 0, ""))));
    EXPECT_FALSE(Opens(Write("past.nrg", NrgWithFooter(20000, 1u << 30, ""))));
    std::string cuex = "CUEX";
    cuex += std::string("\x00\x00\x00\x13", 4) + std::string(64, '\x7F');
    EXPECT_FALSE(Opens(Write("cuex.nrg", NrgWithFooter(20000, 20000 - 12 - cuex.size(), cuex))));
    std::string daox = "DAOX";
    daox += std::string("\x7F\xFF\xFF\xFF", 4) + std::string(16, '\x01');
    EXPECT_FALSE(Opens(Write("daox.nrg", NrgWithFooter(20000, 20000 - 12 - daox.size(), daox))));

    // The process is still whole: the demo disc opens as before.
    EXPECT_TRUE(Opens(kDemoDir + "/demo.cue"));
}

TEST_F(DiscImage, ABrokenImageGivesACleanFailureToTheCommand) {
    const fs::path junk = Write("junk.nrg", Random(4096, 9));
    std::string error;
    EXPECT_FALSE(OpenDisc({"--list", "--disc", junk.string()}, disc_, error));
    EXPECT_EQ(disc_.handle, 0u);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_NE(error.find("cannot open the disc image " + junk.string()), std::string::npos)
        << error;
}
