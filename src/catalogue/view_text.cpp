#include "catalogue/view_text.h"

#include "catalogue/catalogue.h"
#include "catalogue/definition_file.h"

namespace brix {

namespace {

constexpr char16_t kQueryKey[] = u"query=";
constexpr char16_t kViewStatementStart[] =
    u"CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `";

}  // namespace

std::u16string ViewText(const std::filesystem::path& path, const CAppState& app) {
    const std::u16string fileName = PathComponentText(path);
    const size_t dot = fileName.rfind(u'.');
    const std::u16string viewName =
        dot == std::u16string::npos ? std::u16string() : fileName.substr(0, dot);
    const std::optional<std::u16string> text = ReadDefinitionFile(path, app);
    if (!text) return {};
    std::u16string statement = kViewStatementStart;
    statement += viewName;
    statement += u"` AS ";
    statement += UnescapeDefinitionText(DefinitionValue(*text, kQueryKey));
    statement += u';';
    return statement;
}

}  // namespace brix
