#pragma once

#include <span>
#include <string>

#include "app/byte_reader.h"
#include "app/text_decoder.h"

namespace brix {

// "0x" and two upper-case hex digits per byte; nothing at all for no bytes.
void AppendHexBytes(std::u16string& out, ByteSpan bytes);
std::u16string FormatHexBytes(ByteSpan bytes);

// Text of bytes in the ANSI code page, up to the first zero byte.
std::u16string DecodeAnsiText(ByteSpan bytes, const CTextDecoders& decoders);

// Text of bytes up to the first zero byte: as UTF-8 when the bytes hold at
// least one multi-byte UTF-8 sequence (the bytes before the zero are at least
// as many as the UTF-16 units of their UTF-8 reading plus one), else in the
// ANSI code page. Pure ASCII therefore takes the ANSI way.
void AppendUtf8OrAnsiText(std::u16string& out, ByteSpan bytes, const CTextDecoders& decoders);
std::u16string DecodeUtf8OrAnsiText(ByteSpan bytes, const CTextDecoders& decoders);

}  // namespace brix
