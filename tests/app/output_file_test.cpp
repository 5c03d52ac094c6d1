#include "app/output_file.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/test_support.h"

namespace brix {
namespace {

bool WriteThrough(const std::filesystem::path& path, OutputMode mode, const std::string& text) {
    std::FILE* file = OpenOutputFile(path, mode);
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

TEST(OutputFileTest, CreatesNewFilesAppendsAndNeverFollowsALink) {
    test::TempDir dir;
    const auto path = dir.path() / "db.sql";
    const auto target = dir.path() / "target";
    test::WriteFile(target, {'k', 'e', 'e', 'p'});

    // A missing file is made; an old one is replaced by a new one.
    ASSERT_TRUE(WriteThrough(path, OutputMode::kCreate, "one"));
    ASSERT_TRUE(WriteThrough(path, OutputMode::kCreate, "two"));
    EXPECT_EQ(test::ReadFileText(path), "two");
    ASSERT_TRUE(WriteThrough(path, OutputMode::kAppend, "+three"));
    EXPECT_EQ(test::ReadFileText(path), "two+three");

    // A link in the file's place is refused in both modes; its target and
    // the link stay as they were.
    std::filesystem::remove(path);
    std::filesystem::create_symlink(target, path);
    for (OutputMode mode : {OutputMode::kCreate, OutputMode::kAppend}) {
        errno = 0;
        EXPECT_EQ(OpenOutputFile(path, mode), nullptr);
        EXPECT_EQ(errno, ELOOP);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(test::ReadFileText(target), "keep");

    // So is a dangling link, which would otherwise create its target.
    const auto dangling = dir.path() / "dangling.sql";
    std::filesystem::create_symlink(dir.path() / "made-by-link", dangling);
    EXPECT_EQ(OpenOutputFile(dangling, OutputMode::kCreate), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "made-by-link"));

    // And a folder.
    std::filesystem::create_directories(dir.path() / "folder.sql");
    EXPECT_EQ(OpenOutputFile(dir.path() / "folder.sql", OutputMode::kCreate), nullptr);
}

}  // namespace
}  // namespace brix
