#include "save/save_dialog_model.h"

#include "app/app_state.h"

namespace brix {

namespace {

bool SameConnection(const CConnectionSettings& a, const CConnectionSettings& b) {
    return a.driver == b.driver && a.server == b.server && a.port == b.port && a.user == b.user &&
           a.password == b.password;
}

}  // namespace

CSaveDialogModel::CSaveDialogModel(CAppState& app, MessageFunction showMessage, TestFunction test)
    : app_(app), showMessage_(std::move(showMessage)), test_(std::move(test)) {}

void CSaveDialogModel::Open() {
    const std::u16string driver = connection.driver;
    connection = CConnectionSettings{};
    connection.driver = driver.empty() ? std::u16string(kDefaultOdbcDriver) : driver;
    auto either = [](const std::u16string& remembered, const char16_t* standard) {
        return remembered.empty() ? std::u16string(standard) : remembered;
    };
    connection.server = either(start.server, kDefaultServer);
    connection.port = either(start.port, kDefaultPort);
    connection.user = either(start.user, kDefaultUser);
    folder = start.folder;
    deletedRows = false;
    mode_ = SaveDestination::kDatabase;
    tested_.reset();
}

void CSaveDialogModel::RememberAccepted() {
    start.server = connection.server;
    start.port = connection.port;
    start.user = connection.user;
    if (mode_ == SaveDestination::kScript) start.folder = folder;
}

void CSaveDialogModel::FolderChosen(const std::optional<std::filesystem::path>& chosen) {
    folder = chosen ? chosen->u16string() : std::u16string();
}

bool CSaveDialogModel::TestConnectionNow() {
    tested_.reset();
    return TakeTestResult(connection, test_(connection));
}

bool CSaveDialogModel::TakeTestResult(const CConnectionSettings& tested,
                                      const CConnectionTestResult& result) {
    tested_.reset();
    showMessage_(result.message);
    if (result.tested) tested_ = tested;
    return result.tested;
}

bool CSaveDialogModel::connectionTested() const {
    return tested_ && SameConnection(*tested_, connection);
}

void CSaveDialogModel::HandOverConnection() {
    accepted_ = SaveDestination::kDatabase;
    app_.dbServer = connection.server;
    app_.dbUser = connection.user;
    app_.dbPort = connection.port;
    app_.dbPassword = connection.password;
}

bool CSaveDialogModel::Ok() {
    if (mode_ == SaveDestination::kDatabase) {
        if (connectionTested()) {
            HandOverConnection();
            return true;
        }
        OkTested(connection, test_(connection));
        return false;
    }
    accepted_ = SaveDestination::kScript;
    if (folder.empty()) {
        showMessage_(kFolderRefusal);
        return false;
    }
    app_.scriptFolder = folder;
    return true;
}

bool CSaveDialogModel::OkNeedsTest() const {
    return mode_ == SaveDestination::kDatabase && !connectionTested();
}

void CSaveDialogModel::OkTested(const CConnectionSettings& tested,
                                const CConnectionTestResult& result) {
    // The values handed over are those tested: fields edited while the test
    // ran count as untested, and the next OK tests them.
    if (!TakeTestResult(tested, result))
        showMessage_(kConnectionRefusal);
    else if (connectionTested())
        HandOverConnection();
}

CSaveSettings CSaveDialogModel::SaveSettings() const {
    CSaveSettings settings;
    settings.destination = accepted_;
    settings.scriptFolder = std::filesystem::path(app_.scriptFolder);
    settings.connection.driver = connection.driver;
    settings.connection.server = app_.dbServer;
    settings.connection.port = app_.dbPort;
    settings.connection.user = app_.dbUser;
    settings.connection.password = app_.dbPassword;
    settings.deletedRows = deletedRows;
    return settings;
}

}  // namespace brix
