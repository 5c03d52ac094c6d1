// Every data file of the fixture data directory, cut short at a spread of
// lengths and overwritten at a spread of places, read the way the program
// reads a table: the first window, every window after it, in display and in
// export mode. Each read must end, within a bound set by the file's size, and
// without a sanitizer report.

#include <gtest/gtest.h>

#include <random>

#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "innodb/tablespace.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

// Rows a table can give at most: a record takes at least a byte of a MyISAM
// file, and an InnoDB page holds at most 1501 records; a damaged file whose
// windows go past that is paging in a circle.
uint64_t RowBound(uint64_t fileBytes) {
    return 2 * (fileBytes + (fileBytes / kPageSize + 1) * 1501) + kWindowRows;
}

// What one read of a table gave: every row of every window as one line of
// text, in display and in export mode, and what the damage report heard.
struct ReadResult {
    std::vector<std::string> lines;
    size_t findings = 0;
};

ReadResult ReadEverything(const fs::path& folder, const std::u16string& name,
                          const CInnoDictionary* dictionary, uint64_t bound,
                          const fs::path& spill) {
    const std::unique_ptr<CAppState> owned = test::NewTestApp();
    CAppState& app = *owned;
    CDamageReport damage;
    CReadOptions options;
    options.spillFolder = spill;
    options.damage = &damage;
    ReadResult result;
    auto take = [&result](const CRowWindow& window) {
        for (size_t r = 0; r < window.rowCount(); ++r) {
            std::u16string line;
            for (size_t c = 0; c < window.columnCount(); ++c) {
                // A spill file's name differs from read to read.
                if (window.IsNull(r, c))
                    line += u"\\N";
                else if (window.IsSpilled(r, c))
                    line += u"(spilled)";
                else
                    line += window.Text(r, c);
                line += u'\t';
            }
            result.lines.push_back(test::U8(line));
        }
    };
    for (bool exportMode : {false, true}) {
        options.exportMode = exportMode;
        CTableRows table;
        table.Open(folder, name, app, options, dictionary);
        take(table.rows());
        while (result.lines.size() <= bound && table.ReadNextWindow(app)) take(table.rows());
    }
    result.findings = damage.Count();
    std::error_code ignored;
    fs::remove_all(spill, ignored);
    return result;
}

// The damaged versions of a file: cut at lengths across it, and with runs of
// random bytes written over it at places across it.
// The first kCuts versions of Damaged are the cuts.
constexpr size_t kCuts = 5;

std::vector<std::vector<uint8_t>> Damaged(const std::vector<uint8_t>& bytes, uint32_t seed,
                                          size_t variants) {
    std::vector<std::vector<uint8_t>> out;
    const size_t n = bytes.size();
    for (size_t cut : {size_t{0}, size_t{1}, n / 7, n / 2, n - std::min<size_t>(n, 1)})
        out.emplace_back(bytes.begin(),
                         bytes.begin() + static_cast<std::ptrdiff_t>(std::min(cut, n)));
    std::mt19937 random(seed);
    for (size_t v = 0; v < variants && n > 0; ++v) {
        std::vector<uint8_t> copy = bytes;
        for (int run = 0; run < 4; ++run) {
            const size_t at = random() % n;
            const size_t length = 1 + random() % 24;
            for (size_t i = at; i < std::min(n, at + length); ++i)
                copy[i] = static_cast<uint8_t>(random());
        }
        out.push_back(std::move(copy));
    }
    return out;
}

TEST(CorruptionSweepTest, EveryDamagedDataFileReadsToAnEnd) {
    const fs::path datadir = test::FixtureDataDir();
    test::TempDir scratch;
    size_t files = 0;
    uint32_t seed = 1;
    for (const auto& db : fs::directory_iterator(datadir)) {
        if (!db.is_directory()) continue;
        for (const auto& entry : fs::directory_iterator(db.path())) {
            const fs::path file = entry.path();
            std::string extension = file.extension().string();
            for (char& c : extension) c = static_cast<char>(std::tolower(c));
            if (extension != ".frm" && extension != ".myi" && extension != ".myd" &&
                extension != ".ibd")
                continue;
            // Large tablespaces are swept with fewer variants: each read of
            // them takes long under the sanitizers.
            const uint64_t size = fs::file_size(file);
            const size_t variants = size > (1u << 20) ? 1 : 4;
            const std::u16string table = file.stem().u16string();
            // The table's files in a folder of their own, one of them damaged.
            const fs::path folder = scratch.path() / db.path().filename();
            fs::remove_all(folder);
            fs::create_directories(folder);
            for (const auto& sibling : fs::directory_iterator(db.path()))
                if (sibling.path().stem() == file.stem())
                    fs::copy_file(sibling.path(), folder / sibling.path().filename());
            ++files;
            const ReadResult intact =
                ReadEverything(folder, table, nullptr, RowBound(size), scratch.path() / "spill");
            const std::vector<std::vector<uint8_t>> damaged =
                Damaged(test::ReadFileBytes(file), seed++, variants);
            for (size_t v = 0; v < damaged.size(); ++v) {
                test::WriteFile(folder / file.filename(), damaged[v]);
                const ReadResult read = ReadEverything(folder, table, nullptr, RowBound(size),
                                                       scratch.path() / "spill");
                EXPECT_LE(read.lines.size(), RowBound(size)) << file;
                // A file cut short, and any change to an InnoDB page (each
                // has a checksum), is either reported or changes nothing the
                // reader gives. Bytes overwritten inside a MyISAM row or a
                // name in a .frm cannot be told from data.
                if (v < kCuts || extension == ".ibd") {
                    EXPECT_TRUE(read.findings > 0 || read.lines == intact.lines)
                        << file << " variant " << v << ": rows changed without a finding";
                }
            }
        }
    }
    EXPECT_GT(files, 150u);
}

TEST(CorruptionSweepTest, ADamagedSystemTablespaceReadsToAnEnd) {
    const fs::path datadir = test::FixtureDataDir();
    const std::vector<uint8_t> original = test::ReadFileBytes(datadir / "ibdata1");
    test::TempDir scratch;
    // The dictionary sits in the first pages: damage lands there.
    std::vector<uint8_t> head(original.begin(),
                              original.begin() + std::min<size_t>(original.size(), 64 * kPageSize));
    uint32_t seed = 1000;
    for (std::vector<uint8_t> bytes : Damaged(head, seed, 6)) {
        bytes.insert(bytes.end(), original.begin() + static_cast<std::ptrdiff_t>(head.size()),
                     original.end());
        if (bytes.size() < original.size()) bytes.resize(original.size(), 0);
        test::WriteFile(scratch.path() / "ibdata1", bytes);
        CInnoDictionary dictionary;
        dictionary.Open(scratch.path() / "ibdata1", test::TestApp());
        for (const char* table : {"sys_t", "sys_redundant_t"}) {
            const ReadResult read =
                ReadEverything(datadir / "formats", Utf8ToUtf16(table), &dictionary,
                               RowBound(original.size()), scratch.path() / "spill");
            EXPECT_LE(read.lines.size(), RowBound(original.size()));
        }
    }
}

}  // namespace
}  // namespace brix
