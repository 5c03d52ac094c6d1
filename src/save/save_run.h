#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/busy.h"
#include "app/damage_report.h"
#include "save/odbc_connection.h"
#include "save/save_objects.h"

namespace brix {

class CAppState;
class CInnoDictionary;
class CUiOperations;

enum class SaveDestination { kScript, kDatabase };

// Where a save run writes: a folder of scripts or a server.
struct CSaveSettings {
    SaveDestination destination = SaveDestination::kScript;
    std::filesystem::path scriptFolder;
    // The largest INSERT statement of a script, in bytes: what the client
    // that loads it takes.
    size_t scriptStatementBytes = size_t{1} << 20;
    CConnectionSettings connection;
    // Also told every finding of the run's reads (the console's JSON
    // report); null when nobody else listens.
    CDamageSink* damage = nullptr;
    // Also save each table's deleted rows, those its files still hold, into
    // a table of their own, TABLE__deleted (see DeletedRowsTableDef), after
    // the table itself; a table without any gets none.
    bool deletedRows = false;
};

// How a save run went.
struct CSaveResult {
    size_t saved = 0;
    size_t failed = 0;
    // Objects a stopped run did not come to (counted in failed too).
    size_t notTried = 0;
    // Tables saved with what could be read of them, while the readers found
    // damage (counted in saved too), with the findings of their reads and
    // the rows those findings say were lost.
    size_t damaged = 0;
    size_t findings = 0;
    int64_t rowsLost = 0;
    // The run did not start (busy, no folder, no connection); nothing was
    // saved.
    bool refused = false;
};

// Texts of the save run.
inline constexpr char16_t kBusyRefusal[] = u"Please wait for the running process.";
inline constexpr char16_t kConnectionRefusal[] =
    u"Test connection is unsuccessful.Saving in database cannot be done.";
inline constexpr char16_t kFolderRefusal[] = u"Please select valid destination folder path.";
inline constexpr char16_t kTriggerCreated[] = u"Trigger Created Successfully.";
inline constexpr char16_t kTriggerFailed[] = u"Error executing Trigger.";

// Saves the objects (database by database in the order they first appear;
// within a database the tables, then the views, then the triggers) into
// scripts in settings.scriptFolder or into the server of settings.connection.
//
// A table gets its CREATE TABLE statement and then every row, read window by
// window in export mode and written as multi-row INSERT statements no larger
// than the destination takes. A view gets the CREATE VIEW statement that
// ViewStatement builds from its file (its algorithm, definer, SQL SECURITY
// and check option kept) with the view's real name; views that use other
// views of the run come after them. A trigger file is read by its structure
// (ReadTriggerFile): each trigger that can be taken is created in its own
// session mode (SET SQL_MODE before it and back after it), in a script in a
// DELIMITER block (TriggerScript), on a server as one statement logged as
// "Trigger Created Successfully." or "Error executing Trigger."; each one
// that cannot is logged with the reason and makes the file count as failed.
// Views and triggers are created unqualified, so only in their own database.
// Each object is logged ("Saving table DB.T" and the rows written); an object
// whose statement fails is logged with the server's or the file system's
// message and counted as failed, and the run goes on with the next one. The
// end message gives the counts.
//
// What the readers find damaged or cannot read goes to the log as damage
// lines (AppendDamageLine), after the table's "Saving table" line. A table
// whose read gives no rows while some finding lost rows (a missing data
// file) fails with that reason; a table with rows and findings is saved with
// the rows that were read, logged and counted as damaged.
//
// With settings.deletedRows, each table's deleted rows are read after its
// live rows (CReadOptions::deleted) and, when there are any, saved as the
// table TABLE__deleted, logged and counted as a table of its own; "No
// deleted rows found in DB.T" is logged otherwise. The findings of that
// second read of the same files are not logged again.
//
// The run holds the busy flag (refused with a message when it is already
// set), shows the progress indicator and reads every table in export mode,
// whatever the process-wide state holds. Script mode creates the folder
// and its blobdata folder for off-page values when missing (a symbolic link
// in the blobdata folder's place is refused with a message); server mode
// spills into a temporary folder that it removes again. Server mode opens
// its own connection first and saves nothing when that fails. stop, when
// given, is looked at between objects and windows.
CSaveResult RunSave(const std::vector<CSaveObject>& objects, const CSaveSettings& settings,
                    CAppState& app, const CInnoDictionary* dictionary, CUiOperations& ui,
                    const std::atomic<bool>* stop = nullptr);

// RunSave for a caller that has taken the busy flag itself (the Save command,
// before it starts the worker thread) and hands its guard over; the flag is
// released at the end.
CSaveResult RunSaveHoldingBusy(const std::vector<CSaveObject>& objects,
                               const CSaveSettings& settings, CAppState& app,
                               const CInnoDictionary* dictionary, CUiOperations& ui,
                               CBusyGuard busy, const std::atomic<bool>* stop = nullptr);

// The text that ends a run.
std::u16string SaveEndMessage(const CSaveResult& result);

}  // namespace brix
