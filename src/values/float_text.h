#pragma once

#include <string>

namespace brix {

// Appends a FLOAT (isFloat) or DOUBLE value as MariaDB and MySQL write it in
// a result: with fixed decimals when the column has them (decimals < 31),
// else in plain notation while the decimal point is at most 15 places right
// or 14 left of the first digit ("0.00000000000001"), in e notation beyond
// ("1.5e-15", "3.40282e38": no '+' and no leading zero in the exponent). A
// DOUBLE takes the fewest digits that read back to the same value; a FLOAT
// six significant digits, as the server shows it, unless those would read
// back to another FLOAT: then the fewest digits that read back to it, so
// that a saved value is the stored one. Infinities and NaN (damaged bytes)
// are written as "inf", "-inf" and "nan".
void AppendServerFloat(std::u16string& out, double value, bool isFloat, int decimals);

}  // namespace brix
