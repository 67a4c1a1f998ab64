#pragma once
// The spreadsheet application's General number format: what a number shows
// in a column wide enough for it.

#include <QString>

// At most 11 characters besides the sign, rounded: fixed notation from
// 1E-04 up to 11 digits before the point, scientific notation with six
// significant digits beyond (0.7071067811865 shows 0.707106781,
// 400626533260800 shows 4.00627E+14, 0.00001 shows 1E-05); trailing zeros
// after the point are dropped. Not a finite number: empty.
QString TkvGeneralNumberText(double value);

// The number format code (en-US) that shows `text`, a TkvGeneralNumberText:
// "0.000000000" for 0.707106781, "0.00000E+00" for 4.00627E+14, "0" for 12.
QString TkvNumberFormatFor(const QString& text);
