#include "app/read_only_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <fstream>

#include "app/block_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

TEST(ReadOnlyFileTest, PositionedReadsCountMissingBytesAsZero) {
    test::TempDir dir;
    const auto path = dir.path() / "data";
    test::WriteFile(path, test::Bytes({1, 2, 3, 4}));
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.Length(), 4u);
    uint8_t buf[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(file.ReadAt(2, buf, 6), 2u);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(file.ReadAtZeroFill(2, buf, 6), 2u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), test::Bytes({3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(file.ReadAtZeroFill(100, buf, 2), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_FALSE(file.Failed());
    EXPECT_EQ(file.ReadAll(3), test::Bytes({1, 2, 3}));
}

TEST(ReadOnlyFileTest, RefusesMissingFilesAndFolders) {
    test::TempDir dir;
    CReadOnlyFile file;
    EXPECT_FALSE(file.Open(dir.path() / "missing"));
    EXPECT_FALSE(file.Open(dir.path()));
    EXPECT_FALSE(file.IsOpen());
    uint8_t b = 7;
    EXPECT_EQ(file.ReadAt(0, &b, 1), 0u);
}

#ifndef _WIN32
TEST(ReadOnlyFileTest, OpensForReadingOnlyAndLeavesTheFileAsItWas) {
    test::TempDir dir;
    const auto path = dir.path() / "table.MYD";
    test::WriteFile(path, test::Bytes({1, 2, 3}));
    ::chmod(path.c_str(), 0444);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    // Find the descriptor the file layer holds and ask the kernel for its mode.
    int accessMode = -1;
    for (int fd = 3; fd < 1024; ++fd) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        std::error_code ec;
        if (std::filesystem::read_symlink(link, ec) == path) {
            accessMode = ::fcntl(fd, F_GETFL) & O_ACCMODE;
            break;
        }
    }
    EXPECT_EQ(accessMode, O_RDONLY);
    uint8_t buf[3];
    EXPECT_EQ(file.ReadAt(0, buf, 3), 3u);
    file.Close();

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(test::ReadFileBytes(path), test::Bytes({1, 2, 3}));
}
#endif

// A reader whose buffer was filled by a long read must not hand out what is
// left of it after a shorter one, near the end of the file or anywhere else.
TEST(ReadOnlyFileTest, BlockReadsGiveTheFileBytesWhateverCameBefore) {
    test::TempDir dir;
    const auto path = dir.path() / "data";
    constexpr size_t kLength = 200000;
    std::vector<uint8_t> bytes(kLength);
    for (size_t i = 0; i < kLength; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    test::WriteFile(path, bytes);
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    CBlockReader reader(file);
    auto expect = [&](uint64_t pos, size_t n, size_t got) {
        const ByteSpan span = reader.Read(pos, n);
        ASSERT_EQ(span.size(), got) << pos;
        EXPECT_TRUE(std::equal(span.begin(), span.end(), bytes.begin() + pos)) << pos;
    };
    expect(0, 10, 10);
    expect(65530, 100, 100);       // across the end of the first block
    expect(150000, 60000, 50000);  // longer than the block, cut at the end
    expect(199990, 100, 10);       // a short read after a long one
    expect(100, 1000, 1000);       // backwards
    expect(0, 190000, 190000);     // larger than any block so far
    expect(kLength, 5, 0);
    std::vector<uint8_t> out;
    reader.ReadZeroFilled(199998, 4, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{bytes[199998], bytes[199999], 0, 0}));
}

TEST(ReadOnlyFileTest, FilesPutInMemoryReadLikeFilesOnDisk) {
    test::TempDir dir;
    const std::filesystem::path path = dir.path() / "t.MYD";
    test::WriteFile(path, {9, 9});
    PutMemoryFile(path, {1, 2, 3, 4, 5});
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.Length(), 5u);
    std::array<uint8_t, 4> buf{};
    EXPECT_EQ(file.ReadAtZeroFill(3, buf.data(), buf.size()), 2u);
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{4, 5, 0, 0}));
    EXPECT_EQ(file.ReadAt(99, buf.data(), buf.size()), 0u);
    EXPECT_FALSE(file.Failed());
    // A file moved keeps its bytes; a closed one has none.
    CReadOnlyFile moved = std::move(file);
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(moved.ReadAll(100), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    // Lent bytes are read in place: a change to them shows in the next read.
    std::vector<uint8_t> lent{7, 8, 9};
    LendMemoryFile(path, lent);
    ASSERT_TRUE(file.Open(path));
    lent[1] = 0;
    EXPECT_EQ(file.ReadAll(100), (std::vector<uint8_t>{7, 0, 9}));
    file.Close();
    // Without them the file on disk is read again.
    ClearMemoryFiles();
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.ReadAll(100), (std::vector<uint8_t>{9, 9}));
}

}  // namespace
}  // namespace brix
