#include "app/app_state.h"

namespace brix {

CAppState::CAppState(std::string_view ansiCodePage, const std::filesystem::path& collationFile)
    : ansiCodePage_(ansiCodePage), decoders_(std::make_unique<CTextDecoders>(ansiCodePage)) {
    std::filesystem::path file = collationFile.empty() ? FindCollationFile() : collationFile;
    if (!file.empty()) collations = LoadCollations(file, decoders_->Ansi());
    AddMySqlCollations(collations);
    decoders_->AddCollations(collations);
}

}  // namespace brix
