#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace brix {

// The core's wide text and Qt's are both UTF-16: conversions copy the units.
inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(const QString& text) {
    return text.toStdU16String();
}

}  // namespace brix
