#include "support/innodb_builder.h"

#include <cstring>
#include <fstream>

namespace brix::test {

namespace {

void Put16(PageBuffer& p, size_t at, uint32_t v) {
    p[at] = static_cast<uint8_t>(v >> 8);
    p[at + 1] = static_cast<uint8_t>(v);
}

void Put32(PageBuffer& p, size_t at, uint32_t v) {
    Put16(p, at, v >> 16);
    Put16(p, at + 2, v & 0xFFFF);
}

void Append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

// id as InnoDB stores a signed INT: big-endian with the sign bit inverted.
void AppendId(std::vector<uint8_t>& b, int32_t id) {
    Append32(b, static_cast<uint32_t>(id) ^ 0x80000000u);
}

void AppendSystemColumns(std::vector<uint8_t>& b) {
    b.insert(b.end(), 13, 0);  // transaction id and roll pointer
}

}  // namespace

CompactPage::CompactPage(uint32_t number, uint16_t level, uint32_t previous, uint32_t next,
                         uint16_t type) {
    Put32(bytes, 4, number);
    Put32(bytes, 8, previous);
    Put32(bytes, 12, next);
    Put16(bytes, 24, type);
    Put16(bytes, 38 + 4, 0x8000 | 2);  // compact, infimum and supremum
    Put16(bytes, 38 + 26, level);
    // Infimum: status 2, data "infimum\0"; supremum: status 3, "supremum".
    bytes[kCompactInfimum - 3] = 2;
    std::memcpy(bytes.data() + kCompactInfimum, "infimum", 8);
    bytes[kCompactSupremum - 3] = 3;
    std::memcpy(bytes.data() + kCompactSupremum, "supremum", 8);
    Link(kCompactInfimum, kCompactSupremum);
}

uint32_t CompactPage::Put(uint32_t origin, const std::vector<uint8_t>& extra,
                          const std::vector<uint8_t>& data, uint8_t infoBits, uint8_t status) {
    std::memcpy(bytes.data() + origin - 5 - extra.size(), extra.data(), extra.size());
    bytes[origin - 5] = infoBits;
    bytes[origin - 3] = status;
    std::memcpy(bytes.data() + origin, data.data(), data.size());
    return origin;
}

void CompactPage::Chain(const std::vector<uint32_t>& origins) {
    uint32_t from = kCompactInfimum;
    for (uint32_t o : origins) {
        Link(from, o);
        from = o;
    }
    Link(from, kCompactSupremum);
}

void CompactPage::Link(uint32_t from, uint32_t to) {
    Put16(bytes, from - 2, (to - from) & 0xFFFF);
}

RedundantPage::RedundantPage(uint32_t number, uint64_t indexId, uint16_t level) {
    Put32(bytes, 4, number);
    Put32(bytes, 8, kNoPage);
    Put32(bytes, 12, kNoPage);
    Put16(bytes, 24, kIndexPageType);
    Put16(bytes, 38 + 4, 2);  // redundant: no compact bit; infimum and supremum
    Put16(bytes, 38 + 26, level);
    Put32(bytes, 38 + 28, static_cast<uint32_t>(indexId >> 32));
    Put32(bytes, 38 + 32, static_cast<uint32_t>(indexId));
    std::memcpy(bytes.data() + kRedundantInfimum, "infimum", 8);
    std::memcpy(bytes.data() + kRedundantSupremum, "supremum", 9);
    Chain({});
}

uint32_t RedundantPage::Put(uint32_t origin,
                            const std::vector<std::optional<std::vector<uint8_t>>>& fields,
                            uint8_t infoBits) {
    size_t total = 0;
    for (const auto& f : fields) total += f ? f->size() : 0;
    const bool oneByte = total < 128;
    // End offsets below the 6-byte header, the first field's nearest to it.
    uint32_t end = 0;
    uint32_t entry = origin - 6;
    for (const auto& f : fields) {
        end += f ? static_cast<uint32_t>(f->size()) : 0;
        if (oneByte) {
            entry -= 1;
            bytes[entry] = static_cast<uint8_t>(end | (f ? 0 : 0x80));
        } else {
            entry -= 2;
            Put16(bytes, entry, end | (f ? 0 : 0x8000));
        }
        if (f) std::memcpy(bytes.data() + origin + end - f->size(), f->data(), f->size());
    }
    bytes[origin - 6] = infoBits;
    // heap number (13 bits) | field count (10 bits) | one-byte offsets (1 bit)
    const uint32_t bits = static_cast<uint32_t>(fields.size()) << 1 | (oneByte ? 1 : 0);
    bytes[origin - 5] = static_cast<uint8_t>(bits >> 16);
    bytes[origin - 4] = static_cast<uint8_t>(bits >> 8);
    bytes[origin - 3] = static_cast<uint8_t>(bits);
    return origin;
}

void RedundantPage::Chain(const std::vector<uint32_t>& origins) {
    uint32_t from = kRedundantInfimum;
    for (uint32_t o : origins) {
        Put16(bytes, from - 2, o);
        from = o;
    }
    Put16(bytes, from - 2, kRedundantSupremum);
}

void RedundantPage::PutChained(
    const std::vector<std::vector<std::optional<std::vector<uint8_t>>>>& records) {
    std::vector<uint32_t> origins;
    uint32_t at = 160;
    for (const auto& r : records) {
        origins.push_back(Put(at, r));
        at += 120;
    }
    Chain(origins);
}

std::vector<uint8_t> BigEndian(uint64_t value, size_t width) {
    std::vector<uint8_t> b(width);
    for (size_t i = 0; i < width; ++i) b[width - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
}

std::vector<uint8_t> TextBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

PageBuffer TestTableLeaf(uint32_t number, uint64_t indexId, int first, int last) {
    CompactPage page(number);
    for (int shift = 0; shift < 8; ++shift)
        page.bytes[38 + 28 + 7 - shift] = static_cast<uint8_t>(indexId >> (8 * shift));
    std::vector<uint32_t> origins;
    uint32_t at = 130;
    for (int id = first; id <= last; ++id) {
        const TestRecord r = MakeTestRecord(id, "v" + std::to_string(id));
        origins.push_back(page.Put(at, r.extra, r.data));
        at += 40;
    }
    page.Chain(origins);
    return page.bytes;
}

TestRecord MakeTestRecord(int32_t id, const std::optional<std::string>& v) {
    TestRecord r;
    AppendId(r.data, id);
    AppendSystemColumns(r.data);
    if (v) {
        // One length byte below 128; two, high byte first in address order
        // reversed, above.
        if (v->size() < 128) {
            r.extra.push_back(static_cast<uint8_t>(v->size()));
        } else {
            r.extra.push_back(static_cast<uint8_t>(v->size() & 0xFF));
            r.extra.push_back(static_cast<uint8_t>(0x80 | v->size() >> 8));
        }
        r.extra.push_back(0);  // null bitmap: v is not NULL
        r.data.insert(r.data.end(), v->begin(), v->end());
    } else {
        r.extra.push_back(1);
    }
    return r;
}

TestRecord MakeExternalRecord(int32_t id, const std::string& local, uint32_t page, uint32_t offset,
                              uint32_t length) {
    TestRecord r;
    AppendId(r.data, id);
    AppendSystemColumns(r.data);
    const size_t stored = local.size() + 20;
    r.extra.push_back(static_cast<uint8_t>(stored & 0xFF));
    r.extra.push_back(static_cast<uint8_t>(0xC0 | stored >> 8));
    r.extra.push_back(0);
    r.data.insert(r.data.end(), local.begin(), local.end());
    Append32(r.data, 0);  // space id
    Append32(r.data, page);
    Append32(r.data, offset);
    Append32(r.data, 0);
    Append32(r.data, length);
    return r;
}

TestRecord MakeNodePointer(int32_t id, uint32_t child) {
    TestRecord r;
    r.extra.push_back(0);  // null bitmap of the leaf records' nullable column
    AppendId(r.data, id);
    Append32(r.data, child);
    return r;
}

PageBuffer BlobPage(uint32_t number, uint32_t offset, const std::string& part, uint32_t next) {
    PageBuffer p{};
    Put32(p, 4, number);
    Put16(p, 24, 10);  // BLOB page
    Put32(p, offset, static_cast<uint32_t>(part.size()));
    Put32(p, offset + 4, next);
    std::memcpy(p.data() + offset + 8, part.data(), part.size());
    return p;
}

void WriteTablespace(const std::filesystem::path& path, const std::vector<PageBuffer>& pages) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const PageBuffer& p : pages)
        out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
}

}  // namespace brix::test
