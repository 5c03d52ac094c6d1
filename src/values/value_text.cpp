#include "values/value_text.h"

#include "app/text.h"

namespace brix {

void AppendHexBytes(std::u16string& out, ByteSpan bytes) {
    if (bytes.empty()) return;
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    size_t at = out.size();
    out.resize(at + 2 + 2 * bytes.size());
    out[at++] = u'0';
    out[at++] = u'x';
    for (uint8_t b : bytes) {
        out[at++] = kDigits[b >> 4];
        out[at++] = kDigits[b & 15];
    }
}

std::u16string FormatHexBytes(ByteSpan bytes) {
    std::u16string out;
    AppendHexBytes(out, bytes);
    return out;
}

std::u16string DecodeAnsiText(ByteSpan bytes, const CTextDecoders& decoders) {
    std::u16string out;
    decoders.Ansi().Append(bytes, out, true);
    return out;
}

void AppendUtf8OrAnsiText(std::u16string& out, ByteSpan bytes, const CTextDecoders& decoders) {
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    const ByteSpan text = bytes.first(n);
    const size_t units = CountUtf16UnitsOfUtf8(text) + 1;  // the terminator counts
    if (n >= units) {
        AppendUtf8(out, text);
    } else {
        decoders.Ansi().Append(text, out, true);
    }
}

std::u16string DecodeUtf8OrAnsiText(ByteSpan bytes, const CTextDecoders& decoders) {
    std::u16string out;
    AppendUtf8OrAnsiText(out, bytes, decoders);
    return out;
}

}  // namespace brix
