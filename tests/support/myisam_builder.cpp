#include "support/myisam_builder.h"

namespace brix::test {

Bytes_& Bytes_::u8(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
}
Bytes_& Bytes_::u16be(uint32_t v) {
    return u8(v >> 8).u8(v);
}
Bytes_& Bytes_::u24be(uint32_t v) {
    return u8(v >> 16).u16be(v);
}
Bytes_& Bytes_::u32be(uint32_t v) {
    return u16be(v >> 16).u16be(v);
}
Bytes_& Bytes_::u64be(uint64_t v) {
    return u32be(static_cast<uint32_t>(v >> 32)).u32be(static_cast<uint32_t>(v));
}
Bytes_& Bytes_::u16le(uint32_t v) {
    return u8(v).u8(v >> 8);
}
Bytes_& Bytes_::u32le(uint32_t v) {
    return u16le(v).u16le(v >> 16);
}
Bytes_& Bytes_::raw(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}
Bytes_& Bytes_::text(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
}
Bytes_& Bytes_::zeros(size_t n) {
    bytes.insert(bytes.end(), n, 0);
    return *this;
}

std::vector<uint8_t> BuildMyi(uint16_t options, const std::vector<MyiEntry>& entries,
                              uint32_t packRecLength, uint32_t minPackLength, uint16_t packBits,
                              const std::vector<int>& keySegments,
                              const std::vector<int>& uniqueSegments) {
    constexpr uint16_t kBasePos = 24 + 40;  // the state information sits between
    Bytes_ b;
    b.u32be(0xFEFE0700).u16be(options).u16be(0).u16be(0).u16be(100).u16be(kBasePos);
    b.u16be(0)
        .u16be(0)
        .u8(static_cast<uint32_t>(keySegments.size()))
        .u8(static_cast<uint32_t>(uniqueSegments.size()))
        .zeros(4);
    b.zeros(kBasePos - b.bytes.size());
    // Base information: 100 bytes.
    b.zeros(5 * 8).u32be(0).u32be(0).u32be(packRecLength).u32be(minPackLength).u32be(0).u32be(0);
    b.u32be(static_cast<uint32_t>(entries.size())).u32be(0).u8(6).u8(6);
    b.u8(static_cast<uint32_t>(keySegments.size())).u8(0).u16be(packBits);
    b.zeros(100 - (5 * 8 + 8 * 4 + 4 + 2));
    for (int segments : keySegments) {
        b.u8(static_cast<uint32_t>(segments)).zeros(11);
        for (int s = 0; s < segments; ++s) b.u8(0xEE).zeros(17);  // bytes no reader may take
    }
    for (int segments : uniqueSegments) {
        b.u16be(static_cast<uint32_t>(segments)).zeros(2);
        for (int s = 0; s < segments; ++s) b.u8(0xEE).zeros(17);
    }
    for (const MyiEntry& e : entries)
        b.u16be(static_cast<uint32_t>(e.kind))
            .u16be(static_cast<uint32_t>(e.length))
            .u8(static_cast<uint32_t>(e.nullBit))
            .u16be(static_cast<uint32_t>(e.nullPos));
    return b.bytes;
}

std::vector<uint8_t> Block1(const std::vector<uint8_t>& record) {
    return Bytes_().u8(1).u16be(static_cast<uint32_t>(record.size())).raw(record).bytes;
}
std::vector<uint8_t> Block3(const std::vector<uint8_t>& record, uint8_t unused) {
    return Bytes_()
        .u8(3)
        .u16be(static_cast<uint32_t>(record.size()))
        .u8(unused)
        .raw(record)
        .zeros(unused)
        .bytes;
}
std::vector<uint8_t> Block5(uint16_t recordLength, const std::vector<uint8_t>& data,
                            uint64_t next) {
    return Bytes_()
        .u8(5)
        .u16be(recordLength)
        .u16be(static_cast<uint32_t>(data.size()))
        .u64be(next)
        .raw(data)
        .bytes;
}
std::vector<uint8_t> Block7(const std::vector<uint8_t>& data) {
    return Bytes_().u8(7).u16be(static_cast<uint32_t>(data.size())).raw(data).bytes;
}
std::vector<uint8_t> Block11(const std::vector<uint8_t>& data, uint64_t next) {
    return Bytes_().u8(11).u16be(static_cast<uint32_t>(data.size())).u64be(next).raw(data).bytes;
}
std::vector<uint8_t> Block13(uint32_t recordLength, const std::vector<uint8_t>& data,
                             uint64_t next) {
    return Bytes_()
        .u8(13)
        .u32be(recordLength)
        .u24be(static_cast<uint32_t>(data.size()))
        .u64be(next)
        .raw(data)
        .bytes;
}
std::vector<uint8_t> DeletedBlock(uint32_t blockLength) {
    Bytes_ b;
    b.u8(0).u24be(blockLength).u64be(~0ULL).u64be(~0ULL);
    if (blockLength > 20) b.zeros(blockLength - 20);
    return b.bytes;
}

CColumnDef MakeColumn(std::u16string name, int type, int length, int recordPos, int nullFlagBit) {
    CColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.recordPos = recordPos;
    c.nullable = nullFlagBit >= 0;
    c.nullFlagBit = nullFlagBit;
    c.signedness = Signedness::kSigned;
    return c;
}

}  // namespace brix::test
