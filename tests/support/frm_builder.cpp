#include "support/frm_builder.h"

namespace brix::test {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8 & 0xFF;
}
void Put24(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v);
    b[at + 2] = v >> 16 & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}
void Append16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8 & 0xFF);
}
void AppendText(std::vector<uint8_t>& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

std::vector<uint8_t> NameList(const std::vector<std::string>& names) {
    std::vector<uint8_t> list;
    if (names.empty()) {
        list.push_back(0);
        return list;
    }
    list.push_back(0xFF);
    for (const std::string& name : names) {
        AppendText(list, name);
        list.push_back(0xFF);
    }
    list.push_back(0);
    return list;
}

}  // namespace

std::vector<uint8_t> FrmBuilder::Build() const {
    std::vector<uint8_t> frm(64, 0);
    frm[0] = 0xFE;
    frm[1] = 0x01;
    frm[2] = version;
    frm[3] = engine;
    Put16(frm, 4, 0);  // no names block: the form position follows the header
    Put16(frm, 8, 1);
    Put16(frm, 30, createOptions);
    frm[32] = nullsFirst ? 0 : 1;
    frm[38] = tableCharset & 0xFF;
    frm[41] = tableCharset >> 8 & 0xFF;
    Put32(frm, 51, serverVersion);
    frm.resize(68, 0);  // the form position, filled in below

    // Key section.
    keyPos = frm.size();
    std::vector<uint8_t> keySection(6, 0);
    size_t partCount = 0;
    for (const Key& key : keys) partCount += key.fieldNumbers.size();
    keySection[0] = static_cast<uint8_t>(keys.size());
    keySection[1] = static_cast<uint8_t>(partCount);
    std::vector<uint8_t> names;
    std::vector<std::string> keyNames;
    for (const Key& key : keys) keyNames.push_back(key.name);
    names = NameList(keyNames);
    for (const Key& key : keys) {
        uint16_t flags = (key.unique ? 1 : 0) | (key.comment.empty() ? 0 : 1 << 12);
        Append16(keySection, flags ^ 1);
        Append16(keySection, 4);
        keySection.push_back(static_cast<uint8_t>(key.fieldNumbers.size()));
        keySection.push_back(0);
        Append16(keySection, 1024);
        for (uint16_t field : key.fieldNumbers) {
            Append16(keySection, field | 0x4000);
            Append16(keySection, 2);
            keySection.push_back(0);
            Append16(keySection, 0);
            Append16(keySection, 4);
        }
    }
    Put16(keySection, 4, static_cast<uint32_t>(names.size()));
    keySection.insert(keySection.end(), names.begin(), names.end());
    for (const Key& key : keys) {
        if (key.comment.empty()) continue;
        Append16(keySection, static_cast<uint32_t>(key.comment.size()));
        AppendText(keySection, key.comment);
    }
    Put16(frm, 6, static_cast<uint32_t>(keyPos));
    Put16(frm, 28, static_cast<uint32_t>(keySection.size()));
    frm.insert(frm.end(), keySection.begin(), keySection.end());

    // Record positions and length.
    std::vector<int> positions;
    int pos = nullBytes + 1;
    for (const Column& c : columns) {
        int at = c.recordPos ? c.recordPos : pos;
        positions.push_back(at);
        pos = at + c.storedBytes;
    }
    const int recordLength = pos - 1;
    Put16(frm, 16, static_cast<uint32_t>(recordLength));
    frm.resize(frm.size() + static_cast<size_t>(recordLength), 0);  // default values
    if (!engineName.empty() || !partitioning.empty()) {
        // The key block's length places the default values and the extra
        // data after them.
        Put16(frm, 14, static_cast<uint32_t>(keySection.size()));
        std::vector<uint8_t> extra;
        Append16(extra, 0);  // connection string
        Append16(extra, static_cast<uint32_t>(engineName.size()));
        AppendText(extra, engineName);
        for (int shift = 0; shift < 32; shift += 8)
            extra.push_back(static_cast<uint8_t>(partitioning.size() >> shift));
        AppendText(extra, partitioning);
        extra.push_back(0);  // the clause's closing zero
        extra.push_back(0);  // not auto-partitioned
        Put32(frm, 55, static_cast<uint32_t>(extra.size()));
        frm[61] = partitionEngine;
        frm.insert(frm.end(), extra.begin(), extra.end());
    }

    // Form information and the column block.
    formPos = frm.size();
    Put32(frm, 64, static_cast<uint32_t>(formPos));
    std::vector<uint8_t> form(288, 0);
    std::vector<std::string> columnNames;
    for (const Column& c : columns) columnNames.push_back(c.name);
    std::vector<uint8_t> nameList = NameList(columnNames);
    std::vector<uint8_t> listText;
    size_t valueCount = 0;
    for (const auto& list : valueLists) {
        std::vector<uint8_t> l = NameList(list);
        listText.insert(listText.end(), l.begin(), l.end());
        valueCount += list.size();
    }
    std::string comments;
    int nullable = 0;
    for (const Column& c : columns) {
        comments += c.comment;
        nullable += (c.packFlags & 0x8000) ? 1 : 0;
    }
    Put16(form, 258, static_cast<uint32_t>(columns.size()));
    Put16(form, 266, static_cast<uint32_t>(recordLength));
    Put16(form, 268, static_cast<uint32_t>(nameList.size()));
    Put16(form, 270, static_cast<uint32_t>(valueLists.size()));
    Put16(form, 272, static_cast<uint32_t>(valueCount));
    Put16(form, 274, static_cast<uint32_t>(listText.size()));
    Put16(form, 282, static_cast<uint32_t>(nullable));
    Put16(form, 284, static_cast<uint32_t>(comments.size()));
    Put16(form, 286, static_cast<uint32_t>(expressions.size()));
    frm.insert(frm.end(), form.begin(), form.end());
    columnBlockPos = frm.size();
    for (size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        std::vector<uint8_t> rec(17, 0);
        Put16(rec, 3, static_cast<uint32_t>(c.length));
        Put24(rec, 5, static_cast<uint32_t>(positions[i]));
        Put16(rec, 8, c.packFlags);
        rec[10] = c.unireg;
        rec[11] = c.charset >> 8 & 0xFF;
        rec[12] = static_cast<uint8_t>(c.valueList);
        rec[13] = static_cast<uint8_t>(c.type);
        rec[14] = c.charset & 0xFF;
        Put16(rec, 15, static_cast<uint32_t>(c.comment.size()));
        frm.insert(frm.end(), rec.begin(), rec.end());
    }
    frm.insert(frm.end(), nameList.begin(), nameList.end());
    frm.insert(frm.end(), listText.begin(), listText.end());
    AppendText(frm, comments);
    frm.insert(frm.end(), expressions.begin(), expressions.end());
    return frm;
}

}  // namespace brix::test
