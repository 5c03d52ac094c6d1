#include "app/log_file.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/text.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace brix {
namespace {

// UTF-16LE bytes of text, as the log file holds them.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

const std::string kBom = "\xFF\xFE";
const std::u16string kHeader = u"\r\n" + std::u16string(80, u'*') + u"\r\n";

std::tm Time(int day, int month, int year, int hour, int minute, int second) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

struct LogFixture {
    LogFixture() : app(kDefaultAnsiCodePage, test::SourceDir() / "data" / kCollationFileName) {}
    CAppState app;
    test::CRecordingUi ui{app};
};

TEST(LogFileTest, NamesTheFileAfterTheLocalStartTimeWithoutPadding) {
    EXPECT_EQ(test::U8(LogFileName(Time(5, 3, 2024, 9, 7, 3))),
              "KarvoMySQLDBRec_log_5-3-2024-9-7-3.txt");
    EXPECT_EQ(test::U8(LogFileName(Time(31, 12, 1999, 23, 59, 58))),
              "KarvoMySQLDBRec_log_31-12-1999-23-59-58.txt");
}

TEST(LogFileTest, WritesUtf16WithByteOrderMarkAndKeepsListOnlyAndFileOnlyLinesApart) {
    test::TempDir dir;
    LogFixture f;
    f.app.logFolder = dir.path().u16string();
    f.ui.StartLog(u"C:\\data\\", Time(5, 3, 2024, 9, 7, 3));
    f.ui.AppendLogLine(u"both");
    f.ui.AppendLogListLine(u"list only");
    f.ui.AppendLogFileLine(u"file only \u00e9");

    const auto path = dir.path() / "KarvoMySQLDBRec_log_5-3-2024-9-7-3.txt";
    EXPECT_EQ(test::U8(f.app.logFilePath), path.string());
    EXPECT_EQ(test::ReadFileText(path),
              kBom + Utf16Le(kHeader + u"C:\\data\\ File is selected for recovery....\r\n" +
                             u"both\r\nfile only \u00e9\r\n"));
    EXPECT_EQ(f.ui.logRows(),
              (std::vector<std::u16string>{u"C:\\data\\ File is selected for recovery....", u"both",
                                           u"list only"}));
    EXPECT_EQ(f.app.logLineCount, 3);

    f.ui.ResetLogList();
    EXPECT_TRUE(f.ui.logRows().empty());
    EXPECT_EQ(f.app.logLineCount, 0);

    // A second scan within the same second appends a header, no second mark.
    f.ui.StartLog(u"D:\\", Time(5, 3, 2024, 9, 7, 3));
    const std::string text = test::ReadFileText(path);
    EXPECT_EQ(text.rfind(kBom), 0u);
    EXPECT_EQ(text.substr(text.size() - Utf16Le(kHeader).size() -
                          Utf16Le(u"D:\\ File is selected for recovery....\r\n").size()),
              Utf16Le(kHeader + u"D:\\ File is selected for recovery....\r\n"));
}

TEST(LogFileTest, UnwritableLogFileKeepsTheListAndSaysSoOncePerList) {
    test::TempDir dir;
    LogFixture f;
    f.app.logFolder = (dir.path() / "removed").u16string();
    f.ui.StartLog(u"P", Time(1, 1, 2024, 0, 0, 0));
    EXPECT_FALSE(f.app.logFile.IsOpen());
    f.ui.AppendLogFileLine(u"file only");
    f.ui.AppendLogLine(u"second");
    const std::u16string note =
        kLogFileUnwritableNote +
        (dir.path() / "removed" / "KarvoMySQLDBRec_log_1-1-2024-0-0-0.txt").u16string();
    EXPECT_EQ(f.ui.logRows(), (std::vector<std::u16string>{u"P File is selected for recovery....",
                                                           note, u"second"}));

    // After the list is reset (a scan starts) the note comes again, after the
    // first line that should have reached the file.
    f.ui.ResetLogList();
    f.ui.AppendLogListLine(u"list only");
    f.ui.AppendLogFileLine(u"file only");
    f.ui.AppendLogLine(u"both");
    f.ui.AppendLogLine(u"both again");
    EXPECT_EQ(f.ui.logRows(),
              (std::vector<std::u16string>{u"list only", u"both", note, u"both again"}));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "removed"));
}

TEST(LogFileTest, NoLogFolderWritesNoFileAndNoNote) {
    LogFixture f;
    f.ui.StartLog(u"P", Time(1, 1, 2024, 0, 0, 0));
    f.ui.AppendLogLine(u"x");
    EXPECT_FALSE(f.app.logFile.IsOpen());
    EXPECT_TRUE(f.app.logFilePath.empty());
    EXPECT_EQ(f.ui.logRows(),
              (std::vector<std::u16string>{u"P File is selected for recovery....", u"x"}));
}

}  // namespace
}  // namespace brix
