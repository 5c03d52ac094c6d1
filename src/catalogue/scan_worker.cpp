#include "catalogue/scan_worker.h"

#include "app/app_state.h"
#include "app/log_file.h"
#include "catalogue/tablespace_catalogue.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"

namespace brix {

namespace {

constexpr char16_t kLogDatabasePath[] = u"MySql database File Path:\t";
constexpr char16_t kLogFinding[] = u"Finding Database and tables";
constexpr char16_t kLogProcessingIbdata[] = u"Processing ibdata1 File";
constexpr char16_t kLogIbdataNotOpened[] = u"ibdata1 File cannot be open";
constexpr char16_t kLogChosenIbdataNotOpened[] = u"Manually browse ibdata1 File cannot be open";
constexpr char16_t kLogScanCompleted[] = u"scanning completed.";
constexpr char16_t kScanCompletedCaption[] = u"Scanning completed for selected database file(s).";
constexpr char kSystemTablespaceName[] = "ibdata1";

TreeItem InsertFolderNode(CUiOperations& ui, std::u16string_view text, TreeItem parent) {
    const TreeItem item = ui.InsertItem(text, TreeImage::kFolder, parent);
    ui.SetItemData(item, ItemData::kFolder);
    return item;
}

// Tells the log of each finding of a read the scan makes.
struct CLogSink : CDamageSink {
    explicit CLogSink(CUiOperations& ui) : ui(ui) {}
    void Report(DamageFinding finding) override { ui.AppendDamageLine(finding); }
    CUiOperations& ui;
};

// Reads the view and trigger files found, telling the log of each damaged one.
void ReportDamagedDefinitions(const CAppState& app, CUiOperations& ui, const CCatalogue& found) {
    CLogSink sink(ui);
    for (const std::filesystem::path& view : found.catalogueViews)
        ReadViewDefinition(view, app, &sink);
    for (const CatalogueTrigger& trigger : found.catalogueTriggers)
        ReadTriggerFile(trigger.folderPath / std::filesystem::path(trigger.fileName), app, &sink);
}

// Adds a database node and its "Tables" node under pathNode and catalogues
// the folder: its .frm tables, views and triggers, then the tables MySQL 8.0
// and later describe in their tablespaces and .sdi files.
void CatalogueDatabase(const CAppState& app, CUiOperations& ui, CFrameState& frame,
                       const std::filesystem::path& folder, std::u16string_view name,
                       TreeItem pathNode, int32_t number) {
    const TreeItem database = InsertFolderNode(ui, name, pathNode);
    const TreeItem tables = InsertFolderNode(ui, kTablesNodeText, database);
    CatalogueDatabaseFolder(frame.catalogue, ui, folder, database, tables, number);
    CatalogueTablespaceTables(frame.catalogue, ui, app, folder, database, tables, number);
}

// The data path taken as the only database: the folder without trailing
// separators, named after its last component. A path that names no folder
// (the file system's root) catalogues nothing.
void CatalogueSingleDatabase(const CAppState& app, CUiOperations& ui, CFrameState& frame,
                             const std::filesystem::path& dataPath, TreeItem pathNode) {
    std::filesystem::path folder = dataPath;
    while (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    // "." and ".." and relative names are named by the folder they stand for.
    std::error_code ec;
    std::filesystem::path named = std::filesystem::absolute(folder, ec).lexically_normal();
    if (ec) named = folder;
    while (!named.has_filename() && named.has_relative_path()) named = named.parent_path();
    if (!named.has_filename() || folder.empty()) return;
    frame.catalogue.databaseFolders.push_back(folder);
    CatalogueDatabase(app, ui, frame, folder, PathComponentText(named), pathNode, 0);
}

void OpenSystemTablespace(CAppState& app, CUiOperations& ui, CFrameState& frame,
                          const std::filesystem::path& dataPath) {
    ui.AppendLogLine(kLogProcessingIbdata);
    CLogSink sink(ui);
    if (frame.dictionary.Open(dataPath / kSystemTablespaceName, app, &sink)) return;
    ui.AppendLogFileLine(kLogIbdataNotOpened);
    if (!ui.AskYesNo(kAskBrowseIbdata, MessageIcon::kNone)) return;
    const std::optional<std::filesystem::path> chosen = ui.ChooseFileToOpen();
    if (chosen && !frame.dictionary.Open(*chosen, app, &sink))
        ui.AppendLogFileLine(kLogChosenIbdataNotOpened);
}

// Marks the InnoDB tables that have no .ibd and that the system
// tablespace's dictionary does not know either: their rows are nowhere. Those
// it knows get their "Deleted rows" node.
void MarkTablesWithoutData(CUiOperations& ui, CFrameState& frame) {
    const CCatalogue& catalogue = frame.catalogue;
    for (const CatalogueTable& table : catalogue.catalogueTables) {
        if (!table.noOwnTablespace || table.databaseNumber < 0 ||
            static_cast<size_t>(table.databaseNumber) >= catalogue.databaseFolders.size())
            continue;
        bool known = false;
        if (frame.dictionary.IsOpen()) {
            std::filesystem::path folder =
                catalogue.databaseFolders[static_cast<size_t>(table.databaseNumber)];
            if (!folder.has_filename()) folder = folder.parent_path();
            known = frame.dictionary.FindTableId(PathComponentText(folder) + u"/" +
                                                 table.tableName) != 0;
        }
        if (!known) {
            ui.MarkTreeItem(table.item, kDataFileMissing);
        } else if (table.item != kNoTreeItem) {
            InsertDeletedRowsNode(ui, table.item);
        }
    }
}

}  // namespace

void ResetCatalogue(CUiOperations& ui, CFrameState& frame) {
    ui.ResetLogList();
    frame.catalogue.Clear();
    ui.DeleteAllItems();
    ui.ClearGrid(frame.gridColumnCount);
    frame.gridColumnCount = 0;
    frame.openTable.reset();
    frame.dictionary.Close();
}

int ScanWorker(CAppState& app, CUiOperations& ui, CFrameState& frame, CBusyGuard busy) {
    ResetCatalogue(ui, frame);
    frame.currentDatabasePath = app.databasePath;
    const std::u16string& dataPathText = frame.currentDatabasePath;
    if (!dataPathText.empty()) {
        std::u16string line = kLogDatabasePath;
        line += dataPathText;
        ui.AppendLogFileLine(line);
    }
    const std::filesystem::path dataPath(dataPathText);

    const TreeItem root = InsertFolderNode(ui, kRootNodeText, kNoTreeItem);
    const TreeItem pathNode = InsertFolderNode(ui, dataPathText, root);
    ui.AppendLogListLine(kLogFinding);
    if (!dataPath.empty()) ListDatabaseFolders(frame.catalogue, dataPath);
    if (!dataPath.empty()) ReadMysqlDictionary(frame.catalogue, ui, app, dataPath);

    bool stopped = false;
    const std::vector<std::filesystem::path> folders = frame.catalogue.databaseFolders;
    if (!folders.empty()) {
        for (size_t i = 0; i < folders.size(); ++i) {
            if (frame.stopRequested) {
                stopped = true;
                break;
            }
            CatalogueDatabase(app, ui, frame, folders[i], PathComponentText(folders[i]), pathNode,
                              static_cast<int32_t>(i));
        }
    } else if (!dataPath.empty()) {
        CatalogueSingleDatabase(app, ui, frame, dataPath, pathNode);
    }
    ui.Expand(root);
    ui.Expand(pathNode);

    if (!stopped) {
        ReportDamagedDefinitions(app, ui, frame.catalogue);
        OpenSystemTablespace(app, ui, frame, dataPath);
        MarkTablesWithoutData(ui, frame);
    }

    busy.Release();
    ui.RedrawTree();
    ui.AppendLogListLine(kLogScanCompleted);
    ui.ShowMessage(kScanCompletedMessage);
    ui.ShowProgress(false);
    std::u16string caption = kScanCompletedCaption;
    ui.AppendLogFileLine(caption);
    caption += u"\r\n";
    ui.ShowCaptionMessage(caption);
    return 1;
}

CScanner::~CScanner() {
    Wait();
}

bool CScanner::StartScan(bool onWorkerThread) {
    return StartScan(LocalTimeNow(), onWorkerThread);
}

bool CScanner::StartScan(const std::tm& now, bool onWorkerThread) {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.ShowMessage(kWaitForRunningProcess);
        return false;
    }
    // The worker clears busy before its closing message; it may still be
    // showing it.
    Wait();
    frame_.stopRequested = false;
    frame_.currentDatabasePath = app_.databasePath;
    ui_.DeleteAllItems();
    ui_.SetTextBoxText(u"");
    ui_.EnablePrevious(false);
    ui_.EnableNext(false);
    ui_.ShowCaptionMessage(frame_.currentDatabasePath);
    ui_.ShowProgress(true);
    ui_.StartLog(frame_.currentDatabasePath, now);
    auto run = [this](CBusyGuard held) {
        try {
            ScanWorker(app_, ui_, frame_, std::move(held));
        } catch (...) {
            // Out of memory or a failure of the platform: the scan ends
            // where it is (its hold on busy is gone with it), and the program
            // stays usable.
            ui_.ShowProgress(false);
        }
    };
    if (onWorkerThread) {
        running_ = true;
        worker_ = std::thread([this, run, held = std::move(busy)]() mutable {
            run(std::move(held));
            running_ = false;
        });
    } else {
        run(std::move(busy));
    }
    return true;
}

void CScanner::StopCommand() {
    if (app_.busy == 0) return;
    if (ui_.AskYesNo(kAskStop, MessageIcon::kInformation)) frame_.stopRequested = true;
}

void CScanner::Wait() {
    if (worker_.joinable()) worker_.join();
}

}  // namespace brix
