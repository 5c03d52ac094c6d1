#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/damage_report.h"

namespace brix {

// Exit statuses of the console program.
namespace ExitStatus {
inline constexpr int kAllRead = 0;
// Nothing could be read: an error, or no rows and a finding that lost some.
inline constexpr int kNothingRead = 1;
inline constexpr int kWrongUsage = 2;
// Rows were read but the readers skipped or doubted something.
inline constexpr int kSomethingSkipped = 3;
}  // namespace ExitStatus

// The text of the statuses, for the end of --help.
extern const char kExitStatusHelp[];

// A sink that prints each finding as one line on a stream as it comes
// ("damage: " and DamageLine) and keeps it in a report. Prints at most
// CDamageReport::kMaxKept lines, then one line that says the rest are only
// counted, so that a file of nothing but damage cannot flood the terminal.
class CPrintingDamageSink : public CDamageSink {
  public:
    explicit CPrintingDamageSink(std::FILE* stream) : stream_(stream) {}

    void Report(DamageFinding finding) override;
    const CDamageReport& report() const { return report_; }

  private:
    std::FILE* stream_;
    std::mutex mutex_;
    size_t printed_ = 0;
    CDamageReport report_;
};

// The one-line summary of a read with findings: "read 10 412 rows; 2 pages
// damaged, about 230 rows lost". Counts are given per kind of finding; rows
// lost only when some finding says how many.
std::string DamageSummary(int64_t rowsRead, const CDamageReport& report);

// Writes the kept findings to path as JSON lines: one DamageJson object per
// line, in the order they came. False when the file cannot be written.
bool WriteDamageJson(const std::string& path, const CDamageReport& report);

// The status of a read: kNothingRead when no rows came and some finding lost
// rows, kSomethingSkipped when rows came and there was any finding, else
// kAllRead.
int ReadStatus(int64_t rowsRead, const CDamageReport& report);

}  // namespace brix
