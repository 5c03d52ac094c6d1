#include "support/browse_session.h"

#include "app/text.h"
#include "support/test_support.h"

namespace brix::test {

std::tm FixedScanTime() {
    std::tm time{};
    time.tm_mday = 5;
    time.tm_mon = 2;
    time.tm_year = 2024 - 1900;
    time.tm_hour = 9;
    time.tm_min = 7;
    time.tm_sec = 3;
    return time;
}

std::filesystem::path CatalogueFixtureDir() {
    return SourceDir() / "tests" / "fixtures" / "catalogue";
}

BrowseSession::BrowseSession(const std::filesystem::path& dataPath)
    : app(kDefaultAnsiCodePage, SourceDir() / "data" / kCollationFileName) {
    app.databasePath = dataPath.u16string();
}

bool BrowseSession::Scan(bool onWorkerThread) {
    const bool started = scanner.StartScan(FixedScanTime(), onWorkerThread);
    scanner.Wait();
    return started;
}

int BrowseSession::Select(const std::string& path) {
    const TreeItem item = ui.FindNode(path);
    if (item == kNoTreeItem) return -1;
    ui.SelectItem(item);
    return browser.OnTreeSelection(item);
}

}  // namespace brix::test
