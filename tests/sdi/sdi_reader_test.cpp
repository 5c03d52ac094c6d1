#include "sdi/sdi_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "app/read_only_file.h"
#include "support/test_support.h"

namespace brix {
namespace {

using Json = nlohmann::json;

// --- the real files ----------------------------------------------------------

std::filesystem::path MysqlDataDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/datadir";
}
std::filesystem::path MysqlExpectedDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/expected";
}

bool HasFinding(const SdiReadResult& r, const std::string& part) {
    return std::any_of(r.findings.begin(), r.findings.end(),
                       [&](const std::string& f) { return f.find(part) != std::string::npos; });
}

std::string Findings(const SdiReadResult& r) {
    std::string all;
    for (const std::string& f : r.findings) all += f + "\n";
    return all;
}

// The tablespace id of a file: bytes 34-37 of its first page.
uint32_t SpaceIdOf(const std::filesystem::path& file) {
    CReadOnlyFile f;
    std::vector<uint8_t> bytes(38, 0);
    if (!f.Open(file)) return 0;
    f.ReadAt(0, bytes.data(), bytes.size());
    return LoadU32be(bytes, 34);
}

TEST(SdiFixture, EveryTablespaceFlagsAsTheServerReportsThem) {
    // SPACE NAME FLAG ROW_FORMAT PAGE_SIZE ZIP_PAGE_SIZE SPACE_TYPE
    std::map<uint32_t, std::vector<std::string>> spaces;
    for (const auto& row : test::ReadTsv(MysqlExpectedDir() / "tablespaces.tsv")) {
        if (row[0] == "SPACE") continue;
        spaces[static_cast<uint32_t>(std::stoul(row[0]))] = row;
    }
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(MysqlDataDir())) {
        if (entry.path().extension() != ".ibd") continue;
        SCOPED_TRACE(entry.path().string());
        const auto found = spaces.find(SpaceIdOf(entry.path()));
        ASSERT_NE(found, spaces.end());
        const auto& row = found->second;
        const SdiReadResult r = ReadSdi(entry.path());
        EXPECT_TRUE(r.flags.valid);
        EXPECT_EQ(r.flags.raw, std::stoul(row[2]));
        EXPECT_EQ(r.flags.pageSize, std::stoul(row[4]));
        const uint32_t zip = static_cast<uint32_t>(std::stoul(row[5]));
        EXPECT_EQ(r.flags.compressed, zip != 0);
        EXPECT_EQ(r.flags.physicalSize, zip != 0 ? zip : r.flags.pageSize);
        EXPECT_EQ(r.flags.shared, row[6] == "General");
        EXPECT_EQ(r.flags.atomicBlobs, row[3] == "Dynamic" || row[3] == "Compressed");
        EXPECT_TRUE(r.flags.hasSdi);
        EXPECT_FALSE(r.flags.encrypted);
        EXPECT_EQ(r.rootPage, 3u);
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(spaces.size()));
}

// Every table's SDI carries its own name and schema; the tables found across
// the files are the server's InnoDB tables. The tables of a partitioned table
// keep their definition in the first partition's file only; later ones hold
// just their tablespace object.
TEST(SdiFixture, EveryTableFileYieldsItsDefinition) {
    std::set<std::string> expected;
    for (const auto& row : test::ReadTsv(MysqlExpectedDir() / "tables.tsv")) {
        if (row[2] != "InnoDB") continue;
        expected.insert(row[0] + "." + row[1]);
    }

    // The files of the database folders, and the general tablespace (which
    // belongs to no folder: db empty).
    std::vector<std::pair<std::filesystem::path, std::string>> files = {
        {MysqlDataDir() / "shared_ts.ibd", ""}};
    for (const std::string db : {"types", "evolve", "lobs", "layout", "shop"}) {
        for (const auto& entry : std::filesystem::directory_iterator(MysqlDataDir() / db)) {
            if (entry.path().extension() == ".ibd") files.emplace_back(entry.path(), db);
        }
    }

    std::set<std::string> found;
    for (const auto& [path, db] : files) {
        SCOPED_TRACE(path.string());
        const SdiReadResult r = ReadSdi(path);
        const std::string stem = path.stem().string();
        // Compressed tablespaces: their dictionary pages are rebuilt and read.
        if (r.flags.compressed) {
            EXPECT_FALSE(r.objects.empty());
        }
        EXPECT_TRUE(r.findings.empty()) << Findings(r);
        int tables = 0, tablespaces = 0;
        for (const SdiObject& o : r.objects) {
            const Json j = Json::parse(o.json);
            const Json& object = j.at("dd_object");
            if (o.type == kSdiTypeTable) {
                ++tables;
                EXPECT_EQ(j.at("dd_object_type"), "Table");
                const std::string name = object.at("name");
                const std::string schema = object.at("schema_ref");
                found.insert(schema + "." + name);
                if (db.empty()) continue;
                EXPECT_EQ(schema, db);
                const size_t part = stem.find("#p#");
                if (stem.find('@') == std::string::npos) {
                    EXPECT_EQ(name, stem.substr(0, part));
                }
                EXPECT_GT(object.at("columns").size(), 0u);
            } else {
                ++tablespaces;
                EXPECT_EQ(o.type, kSdiTypeTablespace);
                EXPECT_EQ(j.at("dd_object_type"), "Tablespace");
            }
        }
        EXPECT_EQ(tablespaces, 1);
        const bool laterPartition = stem.find("#p#") != std::string::npos &&
                                    stem.find("#p#p2020") == std::string::npos &&
                                    stem.find("#sp#losp0") == std::string::npos;
        EXPECT_EQ(tables, db.empty() ? 2 : laterPartition ? 0 : 1);
    }
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(found.count("types.odd name-ü"));
}

// The wide table's definition is too long for its index page: it continues
// on the dictionary's own BLOB pages.
TEST(SdiFixture, LongDefinitionContinuesOffPage) {
    const SdiReadResult r = ReadSdi(MysqlDataDir() / "layout/wide.ibd");
    EXPECT_TRUE(r.findings.empty()) << Findings(r);
    const auto table = std::find_if(r.objects.begin(), r.objects.end(),
                                    [](const SdiObject& o) { return o.type == kSdiTypeTable; });
    ASSERT_NE(table, r.objects.end());
    const Json j = Json::parse(table->json);
    const Json& columns = j.at("dd_object").at("columns");
    ASSERT_GE(columns.size(), 301u);  // id, c1..c300, then the system columns
    EXPECT_EQ(columns.at(300).at("name"), "c300");
    EXPECT_EQ(columns.at(300).at("comment").get<std::string>().size(), 128u);
}

// mysql.ibd holds the dictionary tables' definitions, in a tree of more than
// one level, and the shared tablespace the dictionary's own.
TEST(SdiFixture, DictionaryTablespaceHoldsTheDictionaryTables) {
    const SdiReadResult r = ReadSdi(MysqlDataDir() / "mysql.ibd");
    EXPECT_TRUE(r.findings.empty()) << Findings(r);
    EXPECT_TRUE(r.flags.shared);
    std::set<std::string> names;
    for (const SdiObject& o : r.objects) {
        const Json j = Json::parse(o.json);
        if (o.type == kSdiTypeTable) names.insert(j.at("dd_object").at("name"));
    }
    EXPECT_GT(names.size(), 30u);
    for (const char* name : {"tables", "columns", "indexes", "schemata", "triggers", "tablespaces",
                             "routines", "view_table_usage"})
        EXPECT_TRUE(names.count(name)) << name;
    // Two tables in the general tablespace, and the tablespace itself.
    const SdiReadResult shared = ReadSdi(MysqlDataDir() / "shared_ts.ibd");
    EXPECT_TRUE(shared.findings.empty()) << Findings(shared);
    EXPECT_EQ(shared.objects.size(), 3u);
}

// --- byte-built tablespaces -------------------------------------------------

constexpr uint32_t kSdiFlag = 1u << 14;
constexpr uint16_t kInfimum = 99;
constexpr uint16_t kSupremum = 112;

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    PutU16(b, at, v >> 16);
    PutU16(b, at + 2, v & 0xFFFF);
}
void PutU64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    PutU32(b, at, static_cast<uint32_t>(v >> 32));
    PutU32(b, at + 4, static_cast<uint32_t>(v));
}

std::string Deflate(const std::string& text) {
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(text.data()), text.size(), 6);
    out.resize(size);
    return out;
}

// A tablespace of dictionary pages built byte by byte, pages of any size.
struct SdiSpace {
    uint32_t pageSize;
    std::vector<uint8_t> bytes;

    SdiSpace(uint32_t pageSize_, uint32_t pages, uint32_t flags)
        : pageSize(pageSize_), bytes(static_cast<size_t>(pageSize_) * pages, 0) {
        // Page size code: 3 for 4 KiB up to 7 for 64 KiB; 16 KiB written as 5.
        uint32_t shift = 0;
        while ((512u << shift) < pageSize) ++shift;
        PutU32(bytes, 38 + 16, flags | shift << 6 | 1 | 1 << 5);
        PutU16(bytes, 24, 8);
        const uint32_t extent = pageSize == 4096 ? 256 : pageSize == 8192 ? 128 : 64;
        const size_t at = 150 + (24 + extent * 2 / 8) * (pageSize / extent) + 115;
        PutU32(bytes, at, 1);      // SDI version
        PutU32(bytes, at + 4, 3);  // root page
    }

    size_t Base(uint32_t page) const { return static_cast<size_t>(page) * pageSize; }

    void IndexPage(uint32_t page, uint16_t level, uint32_t next = 0xFFFFFFFF) {
        const size_t b = Base(page);
        PutU32(bytes, b + 4, page);
        PutU32(bytes, b + 8, 0xFFFFFFFF);
        PutU32(bytes, b + 12, next);
        PutU16(bytes, b + 24, kSdiPageType);
        PutU16(bytes, b + 38 + 4, 0x8000 | 2);
        PutU16(bytes, b + 38 + 26, level);
        PutU64(bytes, b + 38 + 28, 77);
        bytes[b + kInfimum - 3] = 2;
        std::copy_n("infimum", 8, bytes.begin() + b + kInfimum);
        bytes[b + kSupremum - 3] = 3;
        std::copy_n("supremum", 8, bytes.begin() + b + kSupremum);
    }

    // Links the records of a page in the order given, then the supremum.
    void Chain(uint32_t page, const std::vector<uint32_t>& origins) {
        uint32_t from = kInfimum;
        for (uint32_t to : origins) {
            PutU16(bytes, Base(page) + from - 2, (to - from) & 0xFFFF);
            from = to;
        }
        PutU16(bytes, Base(page) + from - 2, (kSupremum - from) & 0xFFFF);
    }

    // A leaf record at origin holding data (the compressed bytes, or their
    // local part and a reference when external).
    void Leaf(uint32_t page, uint32_t origin, uint32_t type, uint64_t id, uint32_t uncompressed,
              uint32_t compressed, const std::string& data, bool external = false) {
        const size_t o = Base(page) + origin;
        const uint32_t length = static_cast<uint32_t>(data.size());
        if (length < 128 && !external) {
            bytes[o - 6] = static_cast<uint8_t>(length);
        } else {
            bytes[o - 6] = static_cast<uint8_t>(0x80 | (external ? 0x40 : 0) | length >> 8);
            bytes[o - 7] = static_cast<uint8_t>(length);
        }
        PutU32(bytes, o, type);
        PutU64(bytes, o + 4, id);
        PutU32(bytes, o + 25, uncompressed);
        PutU32(bytes, o + 29, compressed);
        std::copy(data.begin(), data.end(), bytes.begin() + o + 33);
    }

    void Object(uint32_t page, uint32_t origin, uint64_t id, const std::string& json) {
        const std::string z = Deflate(json);
        Leaf(page, origin, kSdiTypeTable, id, static_cast<uint32_t>(json.size()),
             static_cast<uint32_t>(z.size()), z);
    }

    void NodePointer(uint32_t page, uint32_t origin, uint64_t id, uint32_t child) {
        const size_t o = Base(page) + origin;
        bytes[o - 3] = 1;
        PutU32(bytes, o, kSdiTypeTable);
        PutU64(bytes, o + 4, id);
        PutU32(bytes, o + 12, child);
    }

    void BlobPage(uint32_t page, const std::string& part, uint32_t next) {
        const size_t b = Base(page);
        PutU32(bytes, b + 4, page);
        PutU16(bytes, b + 24, kSdiBlobPageType);
        PutU32(bytes, b + 38, static_cast<uint32_t>(part.size()));
        PutU32(bytes, b + 42, next);
        std::copy(part.begin(), part.end(), bytes.begin() + b + 46);
    }
};

std::string JsonNamed(const std::string& name) {
    return R"({"dd_object_type":"Table","dd_object":{"name":")" + name + R"(","columns":[]}})";
}

// One leaf (page 3) with two objects.
SdiSpace TwoObjects(uint32_t pageSize = 16384, uint32_t flags = kSdiFlag) {
    SdiSpace s(pageSize, 6, flags);
    s.IndexPage(3, 0);
    s.Object(3, 200, 1, JsonNamed("first"));
    s.Object(3, 400, 2, JsonNamed("second"));
    s.Chain(3, {200, 400});
    return s;
}

std::vector<std::string> Names(const SdiReadResult& r) {
    std::vector<std::string> names;
    for (const SdiObject& o : r.objects)
        names.push_back(Json::parse(o.json).at("dd_object").at("name"));
    return names;
}

TEST(SdiPages, EveryPageSize) {
    for (uint32_t size : {4096u, 8192u, 16384u, 32768u, 65536u}) {
        SCOPED_TRACE(size);
        const SdiSpace s = TwoObjects(size);
        const SdiReadResult r = ReadSdi(ByteSpan(s.bytes));
        EXPECT_EQ(r.flags.pageSize, size);
        EXPECT_TRUE(r.findings.empty()) << Findings(r);
        EXPECT_EQ(Names(r), (std::vector<std::string>{"first", "second"}));
    }
}

TEST(SdiPages, FlagsDecode) {
    struct Case {
        uint32_t raw;
        bool valid;
        uint32_t page, physical;
        bool shared, encrypted, sdi;
    };
    const Case cases[] = {
        {16417, true, 16384, 16384, false, false, true},  // dynamic file-per-table
        {16384, true, 16384, 16384, false, false, true},  // compact or redundant
        {16425, true, 16384, 8192, false, false, true},   // compressed, 8 KiB
        {16423, true, 16384, 4096, false, false, true},   // compressed, 4 KiB
        {18432, true, 16384, 16384, true, false, true},   // general tablespace
        {33 | 7 << 6, true, 65536, 65536, false, false, false},
        {33 | 3 << 6 | 1 << 13, true, 4096, 4096, false, true, false},
        {33 | 1 << 6, false, 0, 0, false, false, false},  // 1 KiB pages do not exist
        {33 | 8 << 6, false, 0, 0, false, false, false},
        {33 | 7 << 6 | 4 << 1, false, 65536, 0, false, false, false},  // no zip over 16 KiB
        {33 | 6 << 1, false, 16384, 16384, false, false, false},       // zip bigger than page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        const TablespaceFlags f = DecodeTablespaceFlags(c.raw);
        EXPECT_EQ(f.valid, c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(f.pageSize, c.page);
        EXPECT_EQ(f.physicalSize, c.physical);
        EXPECT_EQ(f.shared, c.shared);
        EXPECT_EQ(f.encrypted, c.encrypted);
        EXPECT_EQ(f.hasSdi, c.sdi);
    }
}

TEST(SdiPages, TwoLevelsAndLeafChain) {
    SdiSpace s(16384, 7, kSdiFlag);
    s.IndexPage(3, 1);
    s.NodePointer(3, 200, 1, 4);
    s.NodePointer(3, 300, 3, 5);
    s.Chain(3, {200, 300});
    s.IndexPage(4, 0, 5);
    s.Object(4, 200, 1, JsonNamed("a"));
    s.Object(4, 500, 2, JsonNamed("b"));
    s.Chain(4, {200, 500});
    s.IndexPage(5, 0);
    s.Object(5, 150, 3, JsonNamed("c"));
    s.Chain(5, {150});
    const SdiReadResult r = ReadSdi(ByteSpan(s.bytes));
    EXPECT_TRUE(r.findings.empty()) << Findings(r);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"a", "b", "c"}));
}

// A JSON text whose compressed form continues on two BLOB pages.
TEST(SdiPages, OffPageData) {
    std::string json = R"({"dd_object":{"name":"long","comment":")";
    for (int i = 0; i < 3000; ++i) json += std::to_string(i * 7919 % 10007);
    json += R"("}})";
    const std::string z = Deflate(json);
    ASSERT_GT(z.size(), 6000u);
    SdiSpace s(16384, 8, kSdiFlag);
    s.IndexPage(3, 0);
    std::string reference(20, '\0');
    std::vector<uint8_t> ref(20, 0);
    PutU32(ref, 4, 5);
    PutU32(ref, 8, 38);
    PutU32(ref, 16, static_cast<uint32_t>(z.size()));
    reference.assign(ref.begin(), ref.end());
    s.Leaf(3, 200, kSdiTypeTable, 9, static_cast<uint32_t>(json.size()),
           static_cast<uint32_t>(z.size()), reference, true);
    s.Chain(3, {200});
    s.BlobPage(5, z.substr(0, 4000), 6);
    s.BlobPage(6, z.substr(4000), 0xFFFFFFFF);

    SdiReadResult r = ReadSdi(ByteSpan(s.bytes));
    EXPECT_TRUE(r.findings.empty()) << Findings(r);
    ASSERT_EQ(r.objects.size(), 1u);
    EXPECT_EQ(r.objects[0].json, json);
    EXPECT_EQ(r.objects[0].id, 9u);

    // The chain loops back on itself.
    s.BlobPage(6, z.substr(4000, 10), 5);
    r = ReadSdi(ByteSpan(s.bytes));
    EXPECT_TRUE(r.objects.empty());
    EXPECT_TRUE(HasFinding(r, "off-page")) << Findings(r);

    // The chain ends early.
    s.BlobPage(6, z.substr(4000, 10), 0xFFFFFFFF);
    r = ReadSdi(ByteSpan(s.bytes));
    EXPECT_TRUE(r.objects.empty());
    EXPECT_TRUE(HasFinding(r, "breaks at page")) << Findings(r);
}

// Damage of every kind ends in findings, with what could be read kept.
TEST(SdiPages, DamagedPages) {
    struct Case {
        const char* name;
        std::function<void(SdiSpace&)> damage;
        std::vector<std::string> names;  // read in spite of the damage
        const char* finding;
    };
    const std::string json = JsonNamed("first");
    const Case cases[] = {
        {"intact", [](SdiSpace&) {}, {"first", "second"}, nullptr},
        {"truncated within the root page",
         [](SdiSpace& s) { s.bytes.resize(s.Base(3) + 300); },
         {},
         "no dictionary root"},
        {"truncated to the header", [](SdiSpace& s) { s.bytes.resize(100); }, {}, "too short"},
        {"no SDI flag",
         [](SdiSpace& s) { PutU32(s.bytes, 54, 33 | 5 << 6); },
         {},
         "carries no dictionary"},
        {"encrypted",
         [](SdiSpace& s) { PutU32(s.bytes, 54, kSdiFlag | 1 << 13 | 33 | 5 << 6); },
         {},
         "keyring"},
        {"page size code 15",
         [](SdiSpace& s) { PutU32(s.bytes, 54, kSdiFlag | 15 << 6); },
         {},
         "no page size"},
        {"root is not a dictionary page",
         [](SdiSpace& s) { PutU16(s.bytes, s.Base(3) + 24, 17855); },
         {},
         "not a dictionary index page"},
        {"root carries another number",
         [](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 4, 9); },
         {},
         "carries the number"},
        {"leaf chain loops",
         [](SdiSpace& s) {
             PutU32(s.bytes, s.Base(3) + 12, 4);
             s.IndexPage(4, 0, 3);
             s.Chain(4, {});
         },
         {"first", "second"},
         "loops back to page 3"},
        {"leaf chain leaves the file",
         [](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 12, 4000); },
         {"first", "second"},
         "past the end of the file"},
        {"record links to itself",
         [](SdiSpace& s) { PutU16(s.bytes, s.Base(3) + 400 - 2, 0); },
         {"first", "second"},
         "points outside"},
        {"records loop",
         [](SdiSpace& s) { PutU16(s.bytes, s.Base(3) + 400 - 2, (200 - 400) & 0xFFFF); },
         {"first", "second"},
         "loop"},
        {"bad zlib data",
         [](SdiSpace& s) { s.bytes[s.Base(3) + 200 + 33] ^= 0xFF; },
         {"second"},
         "damaged"},
        {"declared shorter than it inflates",
         [&](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 200 + 25, uint32_t(json.size() - 1)); },
         {"second"},
         "more than the"},
        {"declared longer than it inflates",
         [&](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 200 + 25, uint32_t(json.size() + 1)); },
         {"second"},
         "where"},
        {"declared absurdly long",
         [](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 200 + 25, 0xFFFFFFF0); },
         {"second"},
         "bytes of JSON"},
        {"compressed length beyond its JSON",
         [](SdiSpace& s) { PutU32(s.bytes, s.Base(3) + 200 + 29, 0x7FFFFFFF); },
         {"second"},
         "compressed bytes"},
        {"data length past the page",
         [](SdiSpace& s) {
             s.bytes[s.Base(3) + 400 - 6] = 0xBF;
             s.bytes[s.Base(3) + 400 - 7] = 0xFF;
         },
         {"first"},
         "past the end of the page"},
        {"descent loops",
         [](SdiSpace& s) {
             s.IndexPage(3, 1);
             s.NodePointer(3, 200, 1, 3);
             s.Chain(3, {200});
         },
         {},
         "loops or is deeper"},
        {"node pointer to a page of the wrong level",
         [](SdiSpace& s) {
             s.IndexPage(3, 2);
             s.NodePointer(3, 200, 1, 4);
             s.Chain(3, {200});
             s.IndexPage(4, 0);
         },
         {},
         "where 1 was expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SdiSpace s = TwoObjects();
        c.damage(s);
        const SdiReadResult r = ReadSdi(ByteSpan(s.bytes));
        EXPECT_EQ(Names(r), c.names);
        if (c.finding == nullptr)
            EXPECT_TRUE(r.findings.empty()) << Findings(r);
        else
            EXPECT_TRUE(HasFinding(r, c.finding)) << Findings(r);
    }
}

// However many records are damaged, the findings stay bounded.
TEST(SdiPages, FindingsAreBounded) {
    SdiSpace s(65536, 5, kSdiFlag);
    s.IndexPage(3, 0);
    std::vector<uint32_t> origins;
    for (uint32_t origin = 200; origin + 100 < 65536; origin += 100) {
        s.Leaf(3, origin, kSdiTypeTable, origin, 10, 10, "not zlib!!");
        origins.push_back(origin);
    }
    s.Chain(3, origins);
    const SdiReadResult r = ReadSdi(ByteSpan(s.bytes));
    EXPECT_TRUE(r.objects.empty());
    EXPECT_EQ(r.findings.size(), kMaxSdiFindings);
    EXPECT_NE(r.findings.back().find("more problems"), std::string::npos);
}

// Damaged dictionary pages of a MySQL tablespace are reported with their
// page: a changed byte as a checksum mismatch whose objects are still read,
// a zeroed root as lost.
TEST(SdiReaderTest, DamagedDictionaryPagesAreReported) {
    const std::filesystem::path source = MysqlDataDir() / "layout/wide.ibd";
    const SdiReadResult sound = ReadSdi(source);
    ASSERT_NE(sound.rootPage, 0u);
    ASSERT_FALSE(sound.objects.empty());
    const size_t root = sound.rootPage * 16384;
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        bool stillRead;
    };
    const Case cases[] = {
        {"changed byte in free space", [&](std::vector<uint8_t>& f) { f[root + 16000] ^= 1; },
         true},
        {"zeroed root",
         [&](std::vector<uint8_t>& f) { std::fill_n(f.begin() + root, 16384, uint8_t{0}); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = test::ReadFileBytes(source);
        c.damage(bytes);
        CDamageReport report;
        const SdiReadResult r = ReadSdi(ByteSpan(bytes), &report);
        const std::vector<DamageFinding> findings = report.Findings();
        ASSERT_FALSE(findings.empty());
        EXPECT_EQ(findings.front().page, static_cast<int64_t>(sound.rootPage));
        EXPECT_EQ(findings.front().what, DamageWhat::kPage);
        EXPECT_EQ(findings.front().rowsStillRead, c.stillRead);
        EXPECT_EQ(r.objects.size(), c.stillRead ? sound.objects.size() : 0u);
    }
    // A sound tablespace reports nothing.
    CDamageReport report;
    ReadSdi(source, &report);
    EXPECT_TRUE(report.Empty());
}

}  // namespace
}  // namespace brix
