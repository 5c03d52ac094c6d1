#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/text.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_session.h"
#include "cli/damage_output.h"
#include "save/connection_test.h"
#include "save/save_run.h"

namespace brix {

namespace {

// The environment variable that may hold the server password.
constexpr char kPasswordVariable[] = "BRIXTALLOW_PASSWORD";

struct ServerArgs {
    std::string server;
    std::string port = "3306";
    std::string user = "root";
    std::string passwordFile;
    std::string driver = "MySql ODBC 5.1 Driver";
};

struct SaveArgs {
    std::string dataDir;
    std::string scriptFolder;
    ServerArgs server;
    std::vector<std::string> objects;
    std::string answer = "no";
    std::string ibdata;
    std::string damageReport;
    bool deleted = false;
};

void PrintLine(std::FILE* stream, std::u16string_view text) {
    const std::string line = Utf16ToUtf8(text);
    std::fprintf(stream, "%s\n", line.c_str());
}

// The password from --password-file (its first line) or else from the
// environment; empty when neither gives one. It never comes from the command
// line, where other users of the machine could read it.
std::u16string ReadPassword(const std::string& passwordFile) {
    if (!passwordFile.empty()) return Utf8ToUtf16(ReadPasswordFile(passwordFile));
    const char* value = std::getenv(kPasswordVariable);
    return value ? Utf8ToUtf16(value) : std::u16string();
}

CConnectionSettings ConnectionSettings(const ServerArgs& args) {
    CConnectionSettings settings;
    settings.driver = Utf8ToUtf16(args.driver);
    settings.server = Utf8ToUtf16(args.server);
    settings.port = Utf8ToUtf16(args.port);
    settings.user = Utf8ToUtf16(args.user);
    settings.password = ReadPassword(args.passwordFile);
    return settings;
}

void AddServerOptions(CLI::App* command, ServerArgs& args) {
    command->add_option("--port", args.port, "server port")->capture_default_str();
    command->add_option("--user", args.user, "user name")->capture_default_str();
    command->add_option("--password-file", args.passwordFile,
                        "file whose first line is the password (else the environment variable "
                        "BRIXTALLOW_PASSWORD)");
    command->add_option("--driver", args.driver, "name of the MySQL ODBC driver")
        ->capture_default_str();
}

void RunSaveCommand(const SaveArgs& args, CliContext& context) {
    CAppState& app = context.App();
    CSaveSettings settings;
    if (args.scriptFolder.empty() && args.server.server.empty())
        throw CommandFailed("say where to save: --script FOLDER or --server HOST");
    CheckDataDirectory(args.dataDir);
    if (!args.ibdata.empty()) CheckPathText(args.ibdata, "the --ibdata path");
    if (!args.damageReport.empty()) CheckPathText(args.damageReport, "the --damage-report path");
    CDamageReport damage;
    settings.damage = &damage;
    settings.deletedRows = args.deleted;
    if (!args.scriptFolder.empty()) {
        CheckPathText(args.scriptFolder, "the --script folder");
        settings.destination = SaveDestination::kScript;
        settings.scriptFolder = args.scriptFolder;
    } else {
        settings.destination = SaveDestination::kDatabase;
        settings.connection = ConnectionSettings(args.server);
        const std::u16string refusal = CheckConnectionSettings(settings.connection);
        if (!refusal.empty()) throw CommandFailed(Utf16ToUtf8(refusal));
    }
    // The objects are found as the window's Open command finds them, with
    // the system tablespace it opens.
    ConsoleUiOptions scanOptions;
    scanOptions.answerYes = args.answer == "yes";
    scanOptions.chosenFile = args.ibdata;
    CConsoleSession session(app, stdout, scanOptions);
    session.Scan(args.dataDir, false);
    const std::vector<CSaveObject> all = SaveObjectsOfCatalogue(session.frame.catalogue);
    std::vector<CSaveObject> objects = all;
    if (!args.objects.empty()) {
        std::vector<std::u16string> selection;
        for (const std::string& object : args.objects) selection.push_back(Utf8ToUtf16(object));
        std::vector<std::u16string> missing;
        objects = SelectSaveObjects(all, selection, missing);
        if (!missing.empty())
            throw CommandFailed("no such object in " + args.dataDir + ": " +
                                Utf16ToUtf8(missing.front()));
    }
    if (objects.empty()) throw CommandFailed("nothing to save in " + args.dataDir);
    // The run's log lines and messages, as "[log] TEXT" and "[message] TEXT".
    ConsoleUiOptions saveOptions;
    saveOptions.showLog = true;
    saveOptions.showMessages = true;
    // Findings go to stderr, one line each, as the rows command prints them.
    saveOptions.damageStream = stderr;
    CConsoleUi ui(app, stdout, saveOptions);
    const CInnoDictionary* dictionary =
        session.frame.dictionary.IsOpen() ? &session.frame.dictionary : nullptr;
    const CSaveResult result =
        RunSave(objects, settings, app, dictionary, ui, &session.frame.stopRequested);
    std::fflush(stdout);
    if (!args.damageReport.empty() && !WriteDamageJson(args.damageReport, damage))
        throw CommandFailed("cannot write the damage report " + args.damageReport);
    if (result.damaged > 0) {
        std::string summary = "saved " + std::to_string(result.damaged) +
                              (result.damaged == 1 ? " table" : " tables") +
                              " with damage: " + std::to_string(result.findings) + " findings";
        if (result.rowsLost > 0)
            summary += ", about " + std::to_string(result.rowsLost) + " rows lost";
        std::fprintf(stderr, "%s\n", summary.c_str());
    }
    if (result.refused) throw CommandFailed("nothing was saved");
    if (result.failed > 0)
        throw CommandFailed(std::to_string(result.failed) + " objects were not saved");
    // Saved, but with what could be read of damaged tables.
    if (!damage.Empty()) context.exitStatus = ExitStatus::kSomethingSkipped;
}

}  // namespace

void AddSaveCommand(CLI::App& program, CliContext& context) {
    auto args = std::make_shared<SaveArgs>();
    CLI::App* command = program.add_subcommand(
        "save", "Save tables, views and triggers as SQL scripts or into a MySQL server");
    command->add_option("DATADIR", args->dataDir, "MySQL data directory")->required();
    command->add_option("OBJECT", args->objects,
                        "DB, DB/TABLE, DB/Views/VIEW or DB/Trigger/TABLE (default: everything)");
    auto* script = command->add_option("--script", args->scriptFolder,
                                       "write one script per database, FOLDER/DB.sql");
    auto* server = command->add_option("--server", args->server.server,
                                       "save into this server through its ODBC driver");
    script->excludes(server);
    AddServerOptions(command, args->server);
    AddTreeOptions(command, args->answer, args->ibdata);
    command->add_option("--damage-report", args->damageReport,
                        "write what the readers skipped or could not read to FILE as JSON lines, "
                        "one object a line");
    command->add_flag("--deleted", args->deleted,
                      "also save each table's deleted rows that its files still hold into a "
                      "table of their own, TABLE__deleted, with the columns _source and _unknown "
                      "as rows --deleted prints them");
    command->callback([args, &context] { RunSaveCommand(*args, context); });
}

void AddTestConnectionCommand(CLI::App& program) {
    auto args = std::make_shared<ServerArgs>();
    CLI::App* command = program.add_subcommand(
        "test-connection", "Test a connection to a MySQL server as the Save Database dialog does");
    command->add_option("--server", args->server, "server name")->required();
    AddServerOptions(command, *args);
    command->callback([args] {
        const CConnectionTestResult result = TestConnection(ConnectionSettings(*args));
        std::u16string message = result.message;
        if (!message.empty() && message.back() == u'\n') message.pop_back();
        PrintLine(result.tested ? stdout : stderr, message);
        if (!result.tested) throw CommandFailed("the connection test failed");
    });
}

}  // namespace brix
