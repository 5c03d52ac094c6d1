#include "app/damage_report.h"

#include <nlohmann/json.hpp>

namespace brix {

void CFindingsOnce::Report(CDamageSink* sink, std::string file, int64_t offset, DamageWhat what,
                           std::string why, int64_t rowsLost, bool rowsStillRead) {
    if (!sink || reported_.size() >= kMaxRemembered) return;
    if (!reported_.emplace(offset, why).second) return;
    sink->Report(
        DamageFinding{std::move(file), offset, -1, what, std::move(why), rowsLost, rowsStillRead});
}

std::string_view DamageWhatName(DamageWhat what) {
    switch (what) {
        case DamageWhat::kRecord:
            return "record";
        case DamageWhat::kBlock:
            return "block";
        case DamageWhat::kPage:
            return "page";
        case DamageWhat::kChain:
            return "chain";
        case DamageWhat::kDefinition:
            return "definition";
        case DamageWhat::kFile:
            return "file";
        case DamageWhat::kTable:
            return "table";
    }
    return "record";
}

void CDamageReport::Report(DamageFinding finding) {
    std::lock_guard lock(mutex_);
    ++count_;
    if (!finding.rowsStillRead) {
        ++losses_;
        if (finding.rowsLost > 0) rowsLost_ += finding.rowsLost;
    }
    if (kept_.size() < kMaxKept) kept_.push_back(std::move(finding));
}

std::vector<DamageFinding> CDamageReport::Findings() const {
    std::lock_guard lock(mutex_);
    return kept_;
}

size_t CDamageReport::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

size_t CDamageReport::Dropped() const {
    std::lock_guard lock(mutex_);
    return count_ - kept_.size();
}

size_t CDamageReport::LossCount() const {
    std::lock_guard lock(mutex_);
    return losses_;
}

int64_t CDamageReport::RowsLost() const {
    std::lock_guard lock(mutex_);
    return rowsLost_;
}

void CDamageReport::Clear() {
    std::lock_guard lock(mutex_);
    kept_.clear();
    count_ = 0;
    losses_ = 0;
    rowsLost_ = 0;
}

std::string DamageLine(const DamageFinding& finding) {
    std::string line = finding.file.empty() ? std::string("(no file)") : finding.file;
    if (finding.page >= 0) line += ": page " + std::to_string(finding.page);
    if (finding.offset >= 0) line += ": offset " + std::to_string(finding.offset);
    line += ": ";
    line += DamageWhatName(finding.what);
    line += ": ";
    line += finding.why;
    if (finding.rowsStillRead)
        line += " (its rows were read)";
    else if (finding.rowsLost > 0)
        line += " (about " + std::to_string(finding.rowsLost) + " rows lost)";
    return line;
}

std::string DamageJson(const DamageFinding& finding) {
    nlohmann::ordered_json object;
    object["file"] = finding.file;
    object["offset"] = finding.offset >= 0 ? nlohmann::ordered_json(finding.offset) : nullptr;
    object["page"] = finding.page >= 0 ? nlohmann::ordered_json(finding.page) : nullptr;
    object["what"] = DamageWhatName(finding.what);
    object["why"] = finding.why;
    object["rows_lost"] =
        finding.rowsLost >= 0 ? nlohmann::ordered_json(finding.rowsLost) : nullptr;
    object["rows_still_read"] = finding.rowsStillRead;
    // Replacement characters for bytes that are not UTF-8 (file names from
    // copies made on other systems) rather than an exception.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace brix
