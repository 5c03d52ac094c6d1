#include "cli/damage_output.h"

#include <array>
#include <memory>

namespace brix {

const char kExitStatusHelp[] =
    "Exit status:\n"
    "  0  everything was read (and written)\n"
    "  1  nothing could be read: an error, or a table whose rows are all lost\n"
    "  2  wrong usage: an unknown option, a missing argument, an unknown code page\n"
    "  3  rows were read, but damage was found and something was skipped;\n"
    "     each finding is a line on standard error starting \"damage: \",\n"
    "     and --damage-report FILE writes them as JSON lines (one object a line)";

void CPrintingDamageSink::Report(DamageFinding finding) {
    {
        std::lock_guard lock(mutex_);
        if (printed_ < CDamageReport::kMaxKept) {
            std::fprintf(stream_, "damage: %s\n", DamageLine(finding).c_str());
        } else if (printed_ == CDamageReport::kMaxKept) {
            std::fprintf(stream_, "damage: further findings are counted but not printed\n");
        }
        if (printed_ <= CDamageReport::kMaxKept) ++printed_;
        std::fflush(stream_);
    }
    report_.Report(std::move(finding));
}

namespace {

// A count with its digits in groups of three, as "10 412".
std::string Grouped(int64_t n) {
    std::string digits = std::to_string(n < 0 ? 0 : n);
    for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, ' ');
    return digits;
}

std::string Counted(size_t n, std::string_view word) {
    std::string text = Grouped(static_cast<int64_t>(n)) + " " + std::string(word);
    if (n != 1) text += "s";
    return text;
}

}  // namespace

std::string DamageSummary(int64_t rowsRead, const CDamageReport& report) {
    constexpr std::array kinds = {DamageWhat::kRecord, DamageWhat::kBlock,      DamageWhat::kPage,
                                  DamageWhat::kChain,  DamageWhat::kDefinition, DamageWhat::kFile,
                                  DamageWhat::kTable};
    std::array<size_t, kinds.size()> counts{};
    for (const DamageFinding& finding : report.Findings())
        ++counts[static_cast<size_t>(finding.what)];
    std::string text = "read " + Grouped(rowsRead) + (rowsRead == 1 ? " row" : " rows");
    std::string parts;
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (counts[i] == 0) continue;
        if (!parts.empty()) parts += ", ";
        parts += Counted(counts[i], DamageWhatName(kinds[i]));
        // A whole file or table is not read; smaller parts are damaged.
        parts += kinds[i] == DamageWhat::kFile || kinds[i] == DamageWhat::kTable ? " not read"
                                                                                 : " damaged";
    }
    if (report.Dropped() > 0)
        parts += ", " + Grouped(static_cast<int64_t>(report.Dropped())) + " more findings";
    if (!parts.empty()) text += "; " + parts;
    if (report.RowsLost() > 0) text += ", about " + Grouped(report.RowsLost()) + " rows lost";
    return text;
}

bool WriteDamageJson(const std::string& path, const CDamageReport& report) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) return false;
    bool ok = true;
    for (const DamageFinding& finding : report.Findings()) {
        const std::string line = DamageJson(finding) + "\n";
        ok = ok && std::fwrite(line.data(), 1, line.size(), file.get()) == line.size();
    }
    ok = std::fflush(file.get()) == 0 && ok;
    return std::fclose(file.release()) == 0 && ok;
}

int ReadStatus(int64_t rowsRead, const CDamageReport& report) {
    if (rowsRead == 0 && report.LossCount() > 0) return ExitStatus::kNothingRead;
    if (report.Count() > 0) return ExitStatus::kSomethingSkipped;
    return ExitStatus::kAllRead;
}

}  // namespace brix
