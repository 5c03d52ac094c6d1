#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/collation_table.h"
#include "schema/table_def.h"

namespace brix {

// What a save writes for a definition that MySQL 8.0 or later made, so that a
// MariaDB 10.11 server takes it: the parts MariaDB has under another name are
// written under that name, the parts it lacks are left out, and each change
// is said in plain words for the script's comments and the save's log.

// A character set and collation as a statement names them.
struct CCollationName {
    std::u16string charset;
    std::u16string collation;
};

// The nearest collation MariaDB 10.11 has for one of MySQL's that it lacks:
// the utf8mb4_..._0900_... family (Unicode 9 rules, NO PAD) becomes the
// uca1400 collation of the same accent and case sensitivity, NO PAD, with the
// language's rules where MariaDB has them; utf8mb4_0900_bin becomes
// utf8mb4_nopad_bin; gb18030, a character set MariaDB 10.11 does not have,
// becomes utf8mb4 (every gb18030 character has a Unicode one);
// utf8mb3_tolower_ci becomes utf8mb3_general_ci. Nothing for a collation the
// server has (or one this list does not know).
std::optional<CCollationName> MariaDbCollation(std::u16string_view charset,
                                               std::u16string_view collation);

// " CHARACTER SET x COLLATE y" for CREATE DATABASE from the number of a
// database's default collation (as a MySQL 8.0+ dictionary keeps it), with a
// collation MariaDB lacks written as MariaDbCollation says and note saying
// so (else emptied). Empty when the collation table does not know the number.
std::u16string DatabaseCollationOptions(int32_t number, const CollationTable& collations,
                                        std::u16string& note);

// The session mode names MariaDB 10.11 knows, from a comma-separated list of
// MySQL's: a mode MySQL alone has (TIME_TRUNCATE_FRACTIONAL) is left out and
// named in leftOut (comma-separated; empty when none).
std::u16string MariaDbSqlMode(std::u16string_view modes, std::u16string& leftOut);

// Server versions (as a .frm or the dictionary keeps them) of the
// definitions that come from a MySQL 8.0+ dictionary rather than a .frm:
// MySQL 8 and 9, from kMySql80 up to MariaDB's first, kMariaDb100.
inline constexpr uint32_t kMySql80 = 80000;
inline constexpr uint32_t kMariaDb100 = 100000;

// The DEFAULT (and ON UPDATE) clause of every column of a table whose
// definition came from a MySQL 8.0+ dictionary, which has no default record,
// as ColumnDefaultClauses gives them for a .frm: an expression in parentheses,
// CURRENT_TIMESTAMP, DEFAULT NULL, or the value the dictionary gives as text
// as a literal. Columns without a default, generated and AUTO_INCREMENT
// columns, and BIT and binary columns (whose text the dictionary does not
// give in a form a literal can be made of) get none.
std::vector<std::u16string> DictionaryDefaultClauses(const CTableDef& table);

// Adapts the definition a save writes for table (already the saved copy) and
// its DEFAULT clauses (one per column, as ColumnDefaultClauses gives them;
// may be empty) to a MariaDB 10.11 server, and returns a note for each change:
// - collations MariaDB lacks (of columns and of the table) are named with the
//   one CreateTableStatement writes in their place;
// - keys with parts that are expressions (MySQL's functional key parts, whose
//   hidden columns the definition does not hold) are left out;
// - a DEFAULT expression that calls a function MariaDB does not have is left
//   out;
// - a spatial column's SRID is said to be kept as REF_SYSTEM_ID, which MariaDB
//   records but does not enforce;
// - JSON columns are said to become MariaDB's JSON, a LONGTEXT whose values
//   are checked with JSON_VALID, into which the values go as text.
// Definitions that came from a .frm of MariaDB or MySQL 5 give no notes.
std::vector<std::u16string> AdaptDefinitionForMariaDb(CTableDef& table,
                                                      std::vector<std::u16string>& defaults,
                                                      const CollationTable& collations);

// Makes the version comments of a MySQL 8.0+ statement (a trigger's) that
// MariaDB 10.11 would run but MySQL did not into plain comments. MySQL keeps
// a body with the markers of the version comments it ran taken out; what is
// left in /*!NNNNN ... */ form was skipped because the number was above the
// server's. MariaDB runs such a comment when its own version (10.11 counts
// as 101100) is at least the number, so every five-digit number of 80000 and
// up and every six-digit number would now run: each of those comments
// becomes "/* !NNNNN ... */", with any "*/" inside it broken up so that the
// comment ends where it ended before. Older numbers, which MariaDB also
// runs, are kept. Text in string literals, quoted names and other comments
// is never touched; backslashes escape in literals unless
// noBackslashEscapes. Returns how many comments were changed.
size_t DisarmMySqlVersionComments(std::u16string& statement, bool noBackslashEscapes);

}  // namespace brix
