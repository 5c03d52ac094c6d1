#include "schema/frm_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "app/app_state.h"
#include "app/byte_reader.h"
#include "app/file_names.h"
#include "app/read_only_file.h"
#include "app/text.h"
#include "schema/frm_extra2.h"
#include "schema/frm_legacy.h"

namespace brix {

namespace {

// A .frm larger than this is not a table definition; nothing beyond it is read.
constexpr size_t kFrmFileLimit = 64u << 20;

// Header (the first 64 bytes).
constexpr size_t kHeaderSize = 64;
constexpr size_t kHdrVersion = 2;
constexpr size_t kHdrEngine = 3;
constexpr size_t kHdrNamesLength = 4;  // bytes between the header and the form positions
constexpr size_t kHdrKeyPos = 6;
constexpr size_t kHdrKeyBlockLength = 14;  // 0xFFFF: the length is at kHdrKeyBlockLength32
constexpr size_t kHdrFormCount = 8;
constexpr size_t kHdrRecordLength = 16;
constexpr size_t kHdrKeyLength = 28;
constexpr size_t kHdrCreateOptions = 30;
constexpr size_t kHdrCharsetMode = 32;
constexpr size_t kHdrCharsetLow = 38;
constexpr size_t kHdrRowType = 40;
constexpr size_t kHdrCharsetHigh = 41;
constexpr size_t kHdrServerVersion = 51;
constexpr size_t kHdrKeyBlockLength32 = 47;
constexpr size_t kHdrExtraLength = 55;
// A partitioned table names the partitioning engine in kHdrEngine and the
// engine of its partitions here.
constexpr size_t kHdrPartitionEngine = 61;
constexpr uint8_t kPartitioningEngine = 20;
constexpr size_t kHdrKeyBlockSize = 62;
constexpr uint16_t kCreatePackRecord = 1 << 0;

// Form information.
constexpr size_t kFormInfoSize = 288;
constexpr size_t kFormTableCommentLength = 46;  // 255: the comment is in the extra data
constexpr size_t kFormTableComment = 47;
constexpr uint8_t kLongTableComment = 255;
constexpr size_t kFormFieldCount = 258;
constexpr size_t kFormScreenLength = 260;
constexpr size_t kFormRecordLength = 266;
constexpr size_t kFormNamesLength = 268;
constexpr size_t kFormIntervalCount = 270;
constexpr size_t kFormIntervalLength = 274;
constexpr size_t kFormCommentLength = 284;
constexpr size_t kFormExpressionLength = 286;

// Column records of 17 bytes (layouts from MySQL 4.1 on).
constexpr size_t kColumnRecordSize = 17;
constexpr size_t kColLength = 3;
constexpr size_t kColRecordPos = 5;
constexpr size_t kColPackFlags = 8;
constexpr size_t kColUniregType = 10;
constexpr size_t kColCharsetHigh = 11;
constexpr size_t kColInterval = 12;
constexpr size_t kColType = 13;
constexpr size_t kColCharsetLow = 14;
constexpr size_t kColCommentLength = 15;

// Pack flags of a column record:
// bit 0 signed number (clear: UNSIGNED) | bit 2 ZEROFILL | bits 8-12 decimals |
// bit 12 BIT stored as bytes | bit 14 no default | bit 15 nullable
constexpr uint16_t kPackSigned = 1 << 0;
constexpr uint16_t kPackZerofill = 1 << 2;
constexpr uint16_t kPackBitAsChar = 1 << 12;
constexpr uint16_t kPackNoDefault = 1 << 14;
constexpr uint16_t kPackNullable = 1 << 15;
constexpr int kPackDecimalsShift = 8;
constexpr int kPackDecimalsMask = 31;
constexpr int kDecimalsNotFixed = 31;
constexpr int kMaxDecimalPrecision = 65;

// Key section.
constexpr size_t kKeySectionHead = 6;
constexpr size_t kKeyHeaderSize = 8;
constexpr size_t kOldKeyHeaderSize = 4;
constexpr size_t kKeyPartSize = 9;
constexpr size_t kOldestKeyPartSize = 7;
constexpr uint16_t kKeyPartFieldMask = 0x3FFF;

// Splits a name list: a separator byte, then every name followed by the
// separator, then a zero byte. A list starting with a zero byte is empty. The
// reader ends after the list; an unterminated list yields the names whose
// separator was found and leaves the reader at the end.
std::vector<ByteSpan> ParseNameList(ByteReader& r) {
    std::vector<ByteSpan> names;
    if (r.atEnd()) return names;
    const uint8_t separator = r.u8();
    if (separator == 0) return names;
    const size_t start = r.pos();
    const ByteSpan rest = r.bytes(r.remaining());
    size_t nameStart = 0;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != separator) continue;
        names.push_back(rest.subspan(nameStart, i - nameStart));
        nameStart = i + 1;
        if (nameStart >= rest.size() || rest[nameStart] == 0) {
            r.seek(start + std::min(nameStart + 1, rest.size()));
            return names;
        }
    }
    return names;
}

// Names and comments in a .frm are UTF-8; files from servers that wrote them
// in the ANSI code page are read that way when the bytes are not UTF-8.
std::u16string DecodeFrmText(ByteSpan bytes, const CTextDecoders& decoders) {
    std::u16string out;
    if (IsValidUtf8(bytes)) {
        AppendUtf8(out, bytes);
    } else {
        decoders.Ansi().Append(bytes, out, false);
    }
    return out;
}

bool EqualsIgnoreCaseAscii(std::u16string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != static_cast<unsigned char>(upper[i])) return false;
    }
    return true;
}

// The key section: key headers with their parts, the key names and the key
// comments. The header and part loops stop when the bytes they take reach the
// section length.
// MariaDB keeps the expressions of generated columns, DEFAULT expressions and
// CHECK constraints in a section of their own after the column comments: a
// 16-byte head, then entries of kind (1 byte), column number (2), expression
// length (2), name length (1), name and expression. Kind 0 is a VIRTUAL
// column, computed when read and never stored by the engine; kind 1 a stored
// generated column, kind 2 a DEFAULT expression, kind 3 a CHECK constraint
// of the column and kind 4 one of the table (these two with their names).
// Each keeps its text.
void ReadGeneratedColumns(CTableDef& table, ByteSpan frm, size_t at, size_t length, int version,
                          size_t firstColumn, size_t fieldCount, const CTextDecoders& decoders) {
    constexpr size_t kHead = 16;
    constexpr size_t kEntryHead = 6;
    constexpr uint8_t kVirtual = 0;
    constexpr uint8_t kStored = 1;
    constexpr uint8_t kDefault = 2;
    constexpr uint8_t kColumnCheck = 3;
    constexpr uint8_t kTableCheck = 4;
    if (version < 11 || length <= kHead || at >= frm.size()) return;
    const ByteSpan section = frm.subspan(at, std::min(length, frm.size() - at));
    for (size_t pos = kHead; pos + kEntryHead <= section.size();) {
        const uint8_t kind = section[pos];
        const size_t column = LoadU16le(section, pos + 1);
        const size_t expressionLength = LoadU16le(section, pos + 3);
        const size_t nameLength = section[pos + 5];
        const size_t expressionAt = pos + kEntryHead + nameLength;
        if (kind == kDefault && column < fieldCount && expressionAt < section.size()) {
            table.columns[firstColumn + column].defaultExpression = DecodeFrmText(
                section.subspan(expressionAt,
                                std::min(expressionLength, section.size() - expressionAt)),
                decoders);
        }
        if ((kind == kVirtual || kind == kStored) && column < fieldCount) {
            CColumnDef& c = table.columns[firstColumn + column];
            (kind == kVirtual ? c.isVirtual : c.isStoredGenerated) = true;
            if (expressionAt < section.size()) {
                c.generationExpression = DecodeFrmText(
                    section.subspan(expressionAt,
                                    std::min(expressionLength, section.size() - expressionAt)),
                    decoders);
            }
        }
        if ((kind == kColumnCheck && column < fieldCount) || kind == kTableCheck) {
            const size_t nameAt = std::min(pos + kEntryHead, section.size());
            CCheckDef check;
            check.name = DecodeFrmText(
                section.subspan(nameAt, std::min(nameLength, section.size() - nameAt)), decoders);
            if (expressionAt < section.size())
                check.expression = DecodeFrmText(
                    section.subspan(expressionAt,
                                    std::min(expressionLength, section.size() - expressionAt)),
                    decoders);
            check.column = kind == kColumnCheck ? static_cast<int32_t>(firstColumn + column) : -1;
            if (!check.expression.empty()) table.checks.push_back(std::move(check));
        }
        pos = expressionAt + expressionLength;
    }
}

// Where the key section's block ends: the default record starts there.
size_t DefaultRecordAt(ByteSpan frm) {
    const size_t keyBlock = LoadU16le(frm, kHdrKeyBlockLength) == 0xFFFF
                                ? LoadU32le(frm, kHdrKeyBlockLength32)
                                : LoadU16le(frm, kHdrKeyBlockLength);
    return LoadU16le(frm, kHdrKeyPos) + keyBlock;
}

// The default record: a row image of the header's record length; what the
// file does not hold of it stays out.
std::vector<uint8_t> ReadDefaultRecord(ByteSpan frm) {
    const size_t at = DefaultRecordAt(frm);
    if (at >= frm.size()) return {};
    const size_t length = std::min<size_t>(LoadU16le(frm, kHdrRecordLength), frm.size() - at);
    return std::vector<uint8_t>(frm.begin() + static_cast<std::ptrdiff_t>(at),
                                frm.begin() + static_cast<std::ptrdiff_t>(at + length));
}

// The extra data that follows the default-values record, from just after
// the connection string and the engine name: where the partitioning text
// starts. Empty when the file has no extra data.
ByteReader ExtraDataAfterEngine(ByteSpan frm) {
    const size_t keyBlock = LoadU16le(frm, kHdrKeyBlockLength) == 0xFFFF
                                ? LoadU32le(frm, kHdrKeyBlockLength32)
                                : LoadU16le(frm, kHdrKeyBlockLength);
    const size_t extraAt = LoadU16le(frm, kHdrKeyPos) + keyBlock + LoadU16le(frm, kHdrRecordLength);
    const size_t extraLength = LoadU32le(frm, kHdrExtraLength);
    if (extraAt >= frm.size() || extraLength == 0) return ByteReader(ByteSpan());
    ByteReader r(frm.subspan(extraAt, std::min(extraLength, frm.size() - extraAt)));
    r.skip(r.u16le());  // connection string
    r.skip(r.u16le());  // engine name
    return r;
}

// The table comment: in the form information when short, else in the extra
// data that follows the default-values record, after the connection string,
// the engine name, the partitioning text, a byte of servers from 5.1.11 on and
// the names of the full-text parsers that keys use.
std::u16string ReadTableComment(ByteSpan frm, ByteSpan form, const std::vector<CKeyDef>& keys,
                                uint32_t serverVersion, const CTextDecoders& decoders) {
    const uint8_t inlineLength = form[kFormTableCommentLength];
    if (inlineLength != kLongTableComment) {
        const ByteSpan text = form.subspan(
            kFormTableComment, std::min<size_t>(inlineLength, form.size() - kFormTableComment));
        return DecodeFrmText(text, decoders);
    }
    ByteReader r = ExtraDataAfterEngine(frm);
    if (r.atEnd()) return {};
    const uint32_t partitioning = r.u32le();
    r.skip(partitioning + 1);
    constexpr uint32_t kAutoPartitionedFrom = 50110;
    if (serverVersion >= kAutoPartitionedFrom) r.skip(1);
    for (const CKeyDef& key : keys) {
        if (!(key.flags & CKeyDef::kHasParser)) continue;
        while (!r.atEnd() && r.u8() != 0) {
        }
    }
    if (r.overrun() || r.remaining() < 2) return {};
    const uint16_t length = r.u16le();
    return DecodeFrmText(r.bytes(std::min<size_t>(length, r.remaining())), decoders);
}

// The partitioning clause: in the extra data after the connection string and
// the engine name, a 32-bit length and the text (written with a closing zero
// byte that the length leaves out). Empty when the table has none or the
// extra data is cut short.
std::u16string ReadPartitioningText(ByteSpan frm, const CTextDecoders& decoders) {
    ByteReader r = ExtraDataAfterEngine(frm);
    if (r.atEnd()) return {};
    const uint32_t length = r.u32le();
    if (r.overrun() || length == 0 || length > r.remaining()) return {};
    return DecodeFrmText(r.bytes(length), decoders);
}

std::vector<CKeyDef> ParseKeySection(ByteSpan section, int generation,
                                     const CTextDecoders& decoders) {
    std::vector<CKeyDef> keys;
    ByteReader r(section);
    uint8_t b0 = r.u8();
    uint8_t b1 = r.u8();
    uint32_t keyCount;
    if (b0 & 0x80) {
        keyCount = static_cast<uint32_t>(b1) << 7 | (b0 & 0x7F);
        r.u16le();  // key-part count
    } else {
        keyCount = b0;
        r.u16le();
    }
    r.seek(kKeySectionHead);
    const size_t budget = section.size();
    size_t taken = 0;
    for (uint32_t k = 0; k < keyCount && taken < budget && !r.atEnd(); ++k) {
        CKeyDef key;
        if (generation >= 3) {
            key.flags = r.u16le() ^ CKeyDef::kUnique;
            key.keyLength = r.u16le();
            key.partCount = r.u8();
            key.algorithm = r.u8();
            key.blockSize = r.u16le();
            taken += kKeyHeaderSize;
        } else {
            key.flags = r.u8() ^ CKeyDef::kUnique;
            key.keyLength = r.u16le();
            key.partCount = r.u8();
            taken += kOldKeyHeaderSize;
        }
        for (int32_t p = 0; p < key.partCount && taken < budget && !r.atEnd(); ++p) {
            CKeyPartDef part;
            part.fieldNumber = r.u16le() & kKeyPartFieldMask;
            part.offset = static_cast<int32_t>(r.u16le()) - 1;
            if (generation >= 1) {
                part.flags = r.u8();
                part.keyType = r.u16le();
                part.length = r.u16le();
                taken += kKeyPartSize;
            } else {
                uint8_t length = r.u8();
                part.keyType = r.u16le();
                if (length > 128) {
                    length &= 0x7F;
                    part.flags = CKeyPartDef::kDescending;
                }
                part.length = length;
                taken += kOldestKeyPartSize;
            }
            part.storeLength = part.length;
            key.parts.push_back(part);
        }
        keys.push_back(std::move(key));
    }
    std::vector<ByteSpan> names = ParseNameList(r);
    for (size_t k = 0; k < keys.size() && k < names.size(); ++k)
        keys[k].name = DecodeFrmText(names[k], decoders);
    for (CKeyDef& key : keys) {
        if (!(key.flags & CKeyDef::kHasComment)) continue;
        if (r.remaining() < 2) break;
        uint16_t length = r.u16le();
        key.comment = DecodeFrmText(r.bytes(length), decoders);
    }
    return keys;
}

}  // namespace

bool ReadTableDefinition(CTableDef& table, const std::filesystem::path& path, const CAppState& app,
                         CDamageSink* damage) {
    const CTextDecoders& decoders = app.decoders();
    // Tells damage why the definition is damaged, at offset at (-1: the
    // whole file).
    const auto report = [&](int64_t at, std::string why) {
        if (!damage) return;
        DamageFinding finding;
        finding.file = PathUtf8(path);
        finding.offset = at;
        finding.what = DamageWhat::kDefinition;
        finding.why = std::move(why);
        damage->Report(std::move(finding));
    };
    std::vector<uint8_t> image;
    const auto damaged = [&](size_t at, const char* why) {
        report(static_cast<int64_t>(std::min(at, image.size())), why);
        return false;
    };
    CReadOnlyFile file;
    if (!file.Open(path)) {
        std::error_code ec;
        if (!path.empty() && std::filesystem::exists(path, ec))
            report(-1, "definition file cannot be read");
        return true;
    }
    image = file.ReadAll(kFrmFileLimit);
    const bool readFailed = file.Failed();
    file.Close();
    if (readFailed) report(-1, "definition file cannot be read");
    const ByteSpan frm(image);
    if (frm.empty()) {
        report(-1, "definition file is empty");
        return true;
    }
    // A view's definition is text; anything else without the table magic is
    // not a definition.
    const bool tableMagic = frm.size() >= 2 && frm[0] == 0xFE && frm[1] == 0x01;
    if (!tableMagic) {
        constexpr std::string_view kViewMagic = "TYPE=VIEW";
        const bool view =
            frm.size() >= kViewMagic.size() &&
            std::equal(kViewMagic.begin(), kViewMagic.end(), frm.begin(),
                       [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
        if (!view) report(0, "not a table definition");
        return true;
    }
    if (frm.size() < kHeaderSize) {
        report(static_cast<int64_t>(frm.size()), "definition file is cut short");
        return true;
    }
    const uint8_t version = frm[kHdrVersion];
    // Servers before MySQL 4.1 wrote layouts 6 and 7: column records of 11
    // bytes without a character set, whose type the pack flags give only
    // roughly (a BLOB of any size, strings without their character set).
    // Their columns are not guessed at.
    constexpr uint8_t kFirst41Layout = 9;
    if (version == 6 || version == 7) {
        report(kHdrVersion, "definition layout of servers before MySQL 4.1 is not read");
        return true;
    }
    if (version != kFirst41Layout && version != 10 && version != 11) {
        report(kHdrVersion, "unknown definition layout " + std::to_string(version));
        return true;
    }
    // Layout 11 is 10 with room for expressions that the columns do not use.
    const int generation = std::min(version - 6, 4);
    // Layout 10 and later have the VARCHAR of MySQL 5.0.3 and later.
    constexpr uint8_t kTrueVarcharLayout = 10;

    table.engineCode = frm[kHdrEngine];
    if (table.engineCode == kPartitioningEngine) table.engineCode = frm[kHdrPartitionEngine];
    table.frmVersion = version;
    table.serverVersion = LoadU32le(frm, kHdrServerVersion);
    table.createOptions = LoadU16le(frm, kHdrCreateOptions);
    table.rowType = frm[kHdrRowType];
    table.keyBlockSize = LoadU16le(frm, kHdrKeyBlockSize);
    const bool nullsFirst = frm[kHdrCharsetMode] == 0;
    table.nullsFirst = nullsFirst;
    table.tableCharset = nullsFirst
                             ? UpgradeFrmCollation(table.serverVersion,
                                                   frm[kHdrCharsetHigh] * 256 + frm[kHdrCharsetLow])
                             : 0;
    const size_t recordSize = kColumnRecordSize;

    // The first form's position follows the names block after the header. A
    // file too short to hold it has no form to read.
    const size_t formPosAt = kHeaderSize + LoadU16le(frm, kHdrNamesLength);
    if (LoadU16le(frm, kHdrFormCount) == 0) return damaged(kHdrFormCount, "definition has no form");
    if (formPosAt + 4 > frm.size()) return damaged(frm.size(), "definition file is cut short");
    const size_t formPos = LoadU32le(frm, formPosAt);
    if (formPos >= frm.size()) return damaged(formPosAt, "form position points outside the file");
    std::array<uint8_t, kFormInfoSize> formInfo{};
    std::copy_n(frm.begin() + formPos, std::min(kFormInfoSize, frm.size() - formPos),
                formInfo.begin());
    const ByteSpan form(formInfo);

    const size_t keyPos = LoadU16le(frm, kHdrKeyPos);
    const size_t keyLength = LoadU16le(frm, kHdrKeyLength);
    ByteSpan keySection = keyPos < frm.size()
                              ? frm.subspan(keyPos, std::min(keyLength, frm.size() - keyPos))
                              : ByteSpan();
    std::vector<CKeyDef> keys = ParseKeySection(keySection, generation, decoders);

    // The extra data and the default-values record follow the key section;
    // neither is used, but a file that ends before them is cut short.
    size_t afterKeys = keyPos + keyLength;
    const size_t extraLength = LoadU32le(frm, kHdrExtraLength);
    if (extraLength != 0) {
        if (afterKeys >= frm.size()) return damaged(frm.size(), "definition file is cut short");
        afterKeys += extraLength;
    }
    if (LoadU16le(frm, kHdrRecordLength) != 0 && afterKeys >= frm.size())
        return damaged(frm.size(), "definition file is cut short");

    const size_t fieldCount = LoadU16le(form, kFormFieldCount);
    const size_t screenLength = LoadU16le(form, kFormScreenLength);
    const size_t namesLength = LoadU16le(form, kFormNamesLength);
    const size_t intervalCount = LoadU16le(form, kFormIntervalCount);
    const size_t intervalLength = LoadU16le(form, kFormIntervalLength);
    const size_t commentLength = LoadU16le(form, kFormCommentLength);
    const size_t blockStart = formPos + kFormInfoSize;
    const size_t blockLength =
        screenLength + fieldCount * recordSize + namesLength + intervalLength + commentLength;
    const ByteSpan block =
        blockStart < frm.size()
            ? frm.subspan(blockStart, std::min(blockLength, frm.size() - blockStart))
            : ByteSpan();
    const size_t recordsAt = screenLength;
    const size_t namesAt = recordsAt + fieldCount * recordSize;
    const ByteSpan records = block.subspan(
        std::min(recordsAt, block.size()),
        std::min(fieldCount * recordSize, block.size() - std::min(recordsAt, block.size())));

    ByteReader names(block.subspan(std::min(namesAt, block.size())));
    std::vector<ByteSpan> columnNames = ParseNameList(names);
    if (columnNames.size() != fieldCount)
        return damaged(blockStart + namesAt, "column names do not match the column count");
    // The value lists follow the column names; the column comments follow the
    // value lists.
    names.seek(std::min(namesLength, names.size()));
    const ByteSpan intervalText = names.bytes(intervalLength);
    const ByteSpan commentText = names.bytes(commentLength);
    ByteReader intervals(intervalText);
    std::vector<std::vector<ByteSpan>> enumValueLists;
    for (size_t i = 0; i < intervalCount && !intervals.atEnd(); ++i)
        enumValueLists.push_back(ParseNameList(intervals));

    // MariaDB before 10.2 marks a virtual column's type and keeps its real
    // type, value list and expression in the section after the comments; the
    // record's value-list byte holds the length of that entry.
    std::vector<size_t> oldVirtualLengths(fieldCount, 0);
    std::vector<bool> markedVirtual(fieldCount, false);
    for (size_t i = 0; i < fieldCount; ++i) {
        const ByteSpan rec = records.subspan(std::min(i * recordSize, records.size()));
        if (!IsOldVirtualColumn(LoadU8(rec, kColType), version, table.serverVersion)) continue;
        markedVirtual[i] = true;
        oldVirtualLengths[i] = LoadU8(rec, kColInterval);
    }
    std::vector<COldVirtualColumn> oldVirtual(fieldCount);
    if (std::find(markedVirtual.begin(), markedVirtual.end(), true) != markedVirtual.end()) {
        const size_t sectionAt = std::min(blockStart + blockLength, frm.size());
        const ByteSpan section = frm.subspan(
            sectionAt,
            std::min<size_t>(LoadU16le(form, kFormExpressionLength), frm.size() - sectionAt));
        size_t badEntries = 0;
        size_t badAt = section.size();
        oldVirtual = ReadOldVirtualColumns(section, oldVirtualLengths, badEntries, badAt);
        // A marker without an entry length, or an entry that does not fit,
        // leaves the column without a type.
        bool unread = false;
        for (size_t i = 0; i < fieldCount; ++i)
            unread = unread || (markedVirtual[i] && !oldVirtual[i].read);
        if (unread)
            report(static_cast<int64_t>(sectionAt + badAt),
                   "virtual column information does not fit its section");
    }
    // MySQL 5.7 marks its generated columns in the unireg byte and keeps
    // their expressions, in column order, in the same section.
    std::vector<bool> mysqlGenerated(fieldCount, false);
    for (size_t i = 0; i < fieldCount; ++i) {
        const ByteSpan rec = records.subspan(std::min(i * recordSize, records.size()));
        mysqlGenerated[i] =
            IsMySql57GeneratedColumn(LoadU8(rec, kColUniregType), version, table.serverVersion);
    }
    std::vector<CMySql57GeneratedColumn> mysqlGeneration(fieldCount);
    if (std::find(mysqlGenerated.begin(), mysqlGenerated.end(), true) != mysqlGenerated.end()) {
        const size_t sectionAt = std::min(blockStart + blockLength, frm.size());
        const ByteSpan section = frm.subspan(
            sectionAt,
            std::min<size_t>(LoadU16le(form, kFormExpressionLength), frm.size() - sectionAt));
        size_t badEntries = 0;
        size_t badAt = 0;
        mysqlGeneration = ReadMySql57GeneratedColumns(section, mysqlGenerated, badEntries, badAt);
        if (badEntries > 0)
            report(static_cast<int64_t>(sectionAt + badAt),
                   "generated column information does not fit its section");
    }
    // The field type of column i: a virtual column's real type when its
    // entry was read; the marker, which names no type, when not.
    const auto typeOf = [&](size_t i, ByteSpan rec) {
        if (oldVirtual[i].read) return oldVirtual[i].type;
        if (markedVirtual[i]) return kUnknownFieldType;
        return static_cast<int>(LoadU8(rec, kColType));
    };
    const auto valueListOf = [&](size_t i, ByteSpan rec) {
        if (oldVirtual[i].read) return oldVirtual[i].valueList;
        if (markedVirtual[i]) return 0;
        return static_cast<int>(LoadU8(rec, kColInterval));
    };
    // The collation of column i in today's numbering.
    const auto collationOf = [&](ByteSpan rec) {
        return UpgradeFrmCollation(
            table.serverVersion, LoadU8(rec, kColCharsetHigh) * 256 + LoadU8(rec, kColCharsetLow));
    };

    // Which value list each ENUM/SET column uses, so that each list is decoded
    // in the character set of the first column that uses it.
    std::vector<int> listOfColumn(fieldCount, -1);
    std::vector<const CTextDecoder*> listDecoder(enumValueLists.size(), &decoders.Ansi());
    std::vector<bool> listDecoderSet(enumValueLists.size(), false);
    {
        size_t enumColumnsSeen = 0;
        for (size_t i = 0; i < fieldCount; ++i) {
            const ByteSpan rec = records.subspan(std::min(i * recordSize, records.size()));
            const int type = typeOf(i, rec);
            if (type != FieldType::kEnum && type != FieldType::kSet) continue;
            const int listNumber = valueListOf(i, rec);
            size_t list = listNumber != 0 ? static_cast<size_t>(listNumber - 1) : enumColumnsSeen;
            ++enumColumnsSeen;
            if (list >= enumValueLists.size()) continue;
            listOfColumn[i] = static_cast<int>(list);
            if (!listDecoderSet[list]) {
                if (const CTextDecoder* d = decoders.ForCollation(collationOf(rec)))
                    listDecoder[list] = d;
                listDecoderSet[list] = true;
            }
        }
    }
    // Each list's members and its type text ('a','b', empty members left
    // out) are made once; every column of the list shares them.
    std::vector<size_t> listFirst;
    std::vector<CSharedText> listText;
    for (size_t list = 0; list < enumValueLists.size(); ++list) {
        listFirst.push_back(table.allEnumValues.size());
        std::u16string typeText;
        for (ByteSpan value : enumValueLists[list]) {
            std::u16string text;
            listDecoder[list]->Append(value, text, false);
            if (!text.empty()) {
                if (!typeText.empty()) typeText += u',';
                typeText += u'\'';
                typeText += text;
                typeText += u'\'';
            }
            table.allEnumValues.push_back(std::move(text));
        }
        listText.emplace_back(std::move(typeText));
    }

    size_t nullBits = nullsFirst && !(table.createOptions & kCreatePackRecord) ? 1 : 0;
    size_t commentAt = 0;
    for (size_t i = 0; i < fieldCount; ++i) {
        const ByteSpan rec = records.subspan(std::min(i * recordSize, records.size()));
        CColumnDef columnScratch;
        columnScratch.name = DecodeFrmText(columnNames[i], decoders);
        columnScratch.index = static_cast<int32_t>(i);
        columnScratch.length = LoadU16le(rec, kColLength);
        columnScratch.recordPos = static_cast<int32_t>(LoadU24le(rec, kColRecordPos));
        columnScratch.packFlags = LoadU16le(rec, kColPackFlags);
        columnScratch.uniregType = LoadU8(rec, kColUniregType);
        if (mysqlGenerated[i]) {
            // Without its entry, whether the engine stores the column is not
            // known: it is taken as virtual, out of the stored record, as
            // the marked columns of MariaDB above.
            columnScratch.uniregType &= static_cast<uint8_t>(~kMySql57GeneratedFlag);
            const CMySql57GeneratedColumn& g = mysqlGeneration[i];
            (g.read && g.stored ? columnScratch.isStoredGenerated : columnScratch.isVirtual) = true;
            if (g.read) columnScratch.generationExpression = DecodeFrmText(g.expression, decoders);
        }
        columnScratch.type = typeOf(i, rec);
        columnScratch.charsetNumber = collationOf(rec);
        if (markedVirtual[i] && !oldVirtual[i].read) columnScratch.isVirtual = true;
        if (oldVirtual[i].read) {
            (oldVirtual[i].stored ? columnScratch.isStoredGenerated : columnScratch.isVirtual) =
                true;
            columnScratch.generationExpression = DecodeFrmText(oldVirtual[i].expression, decoders);
        }
        // The VARCHAR of servers before MySQL 5.0.3 is stored like CHAR. The
        // server shows it as VARCHAR in a table of packed records when it
        // holds 4 bytes or more, else as the CHAR it was made into.
        if (columnScratch.type == FieldType::kVarString && version < kTrueVarcharLayout) {
            constexpr int kShortestVarchar = 4;
            if (!(table.createOptions & kCreatePackRecord) ||
                columnScratch.length < kShortestVarchar)
                columnScratch.type = FieldType::kString;
        }
        const uint16_t pack = columnScratch.packFlags;
        const int type = columnScratch.type;
        columnScratch.nullable = (pack & kPackNullable) != 0;
        columnScratch.noDefault = (pack & kPackNoDefault) != 0;
        // The row image gives every nullable column the next bit of the null
        // flags, and a BIT column its leftover bits right after that.
        if (columnScratch.nullable) columnScratch.nullFlagBit = static_cast<int32_t>(nullBits++);
        {
            columnScratch.decoder = decoders.ForCollation(columnScratch.charsetNumber);
            if (IsNumericType(type)) {
                columnScratch.signedness =
                    (pack & kPackSigned) ? Signedness::kSigned : Signedness::kUnsigned;
                columnScratch.zerofill = (pack & kPackZerofill) != 0;
            }
            if (listOfColumn[i] >= 0) {
                size_t list = static_cast<size_t>(listOfColumn[i]);
                columnScratch.enumFirst = static_cast<int32_t>(listFirst[list]);
                columnScratch.enumCount = static_cast<int32_t>(enumValueLists[list].size());
                columnScratch.enumValues = listText[list];
            }
            const int decimals = (pack >> kPackDecimalsShift) & kPackDecimalsMask;
            if (type == FieldType::kDecimal || type == FieldType::kNewDecimal) {
                columnScratch.decimals = decimals;
                int precision = columnScratch.length - (decimals > 0 ? 1 : 0) -
                                ((pack & kPackSigned) && columnScratch.length != 0 ? 1 : 0);
                columnScratch.precision = precision > kMaxDecimalPrecision || precision < 0
                                              ? kMaxDecimalPrecision
                                              : precision;
            } else if (type == FieldType::kFloat || type == FieldType::kDouble) {
                if (decimals < kDecimalsNotFixed) {
                    columnScratch.precision = columnScratch.length;
                    columnScratch.decimals = decimals;
                }
            } else if (type == FieldType::kGeometry) {
                columnScratch.geometryType = LoadU8(rec, kColCharsetLow);
            }
            const size_t thisComment = LoadU16le(rec, kColCommentLength);
            if (thisComment != 0) {
                size_t at = std::min(commentAt, commentText.size());
                size_t n = std::min(thisComment, commentText.size() - at);
                columnScratch.comment = DecodeFrmText(commentText.subspan(at, n), decoders);
                commentAt += thisComment;
            }
        }
        if (type == FieldType::kBit) {
            columnScratch.bitAsChar = (pack & kPackBitAsChar) != 0;
            if (!columnScratch.bitAsChar && (columnScratch.length & 7) != 0) {
                columnScratch.extraBitsAt = static_cast<int32_t>(nullBits);
                nullBits += columnScratch.length & 7;
            }
        }
        table.columns.push_back(std::move(columnScratch));
    }

    const size_t firstColumn = table.columns.size() - fieldCount;
    ReadGeneratedColumns(table, frm, blockStart + blockLength,
                         LoadU16le(form, kFormExpressionLength), version, firstColumn, fieldCount,
                         decoders);
    for (const CKeyDef& key : keys) {
        const bool primary = EqualsIgnoreCaseAscii(key.name, "PRIMARY");
        if (!primary && !(key.flags & CKeyDef::kUnique)) continue;
        for (const CKeyPartDef& part : key.parts) {
            if (part.fieldNumber == 0 || part.fieldNumber > fieldCount) continue;
            CColumnDef& column = table.columns[firstColumn + part.fieldNumber - 1];
            (primary ? column.inPrimaryKey : column.inUniqueKey) = true;
        }
    }
    table.comment = ReadTableComment(frm, form, keys, table.serverVersion, decoders);
    table.partitioning = ReadPartitioningText(frm, decoders);
    table.defaultRecord = ReadDefaultRecord(frm);
    table.keys = std::move(keys);
    table.nullBytes = static_cast<int32_t>((nullBits + 7) / 8);
    table.recordLength = LoadU16le(form, kFormRecordLength);
    ApplyFrmExtra2(ReadFrmExtra2(frm), table, firstColumn, fieldCount);
    // The column records and texts the form declares run past the file's end:
    // what was read of them stands, but the definition is cut short.
    if (blockStart + blockLength > frm.size())
        report(static_cast<int64_t>(std::min(blockStart, frm.size())),
               "column definitions run past the end of the file");
    return true;
}

}  // namespace brix
