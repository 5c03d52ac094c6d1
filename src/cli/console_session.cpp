#include "cli/console_session.h"

#include <vector>

#include "app/app_state.h"
#include "app/text.h"

namespace brix {

void CConsoleSession::Scan(const std::string& dataDir, bool onWorkerThread) {
    app_.databasePath = Utf8ToUtf16(dataDir);
    scanner.StartScan(onWorkerThread);
}

TreeItem CConsoleSession::FindNode(std::string_view path) const {
    const std::vector<TreeItem> roots = ui.rootItems();
    if (roots.empty()) return kNoTreeItem;
    const std::vector<TreeItem> dataPaths = ui.Children(roots.front());
    if (dataPaths.empty()) return kNoTreeItem;
    std::vector<std::u16string> texts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        texts.push_back(Utf8ToUtf16(path.substr(start, end - start)));
        start = end + 1;
    }
    return ui.FindItem(dataPaths.front(), texts);
}

int CConsoleSession::Select(TreeItem item) {
    ui.SelectItem(item);
    return browser.OnTreeSelection(item);
}

}  // namespace brix
