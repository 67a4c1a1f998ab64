#include "convert/office/general_number.h"

#include <cmath>

namespace {

constexpr int kCharacters = 11;
constexpr int kLowestFixedExponent = -4;   // 0.0001
constexpr int kHighestFixedExponent = 10;  // 99999999999

// Drops trailing zeros after the point, and the point they leave.
QString Trimmed(QString text) {
  if (!text.contains(u'.')) return text;
  while (text.endsWith(u'0')) text.chop(1);
  if (text.endsWith(u'.')) text.chop(1);
  return text;
}

}  // namespace

QString TkvGeneralNumberText(double value) {
  if (!std::isfinite(value)) return QString();
  if (value == 0) return QStringLiteral("0");
  const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  if (exponent >= kLowestFixedExponent && exponent <= kHighestFixedExponent) {
    const int whole = std::max(exponent + 1, 1);
    const QString fixed =
        Trimmed(QString::number(value, 'f', std::max(kCharacters - 1 - whole, 0)));
    // Rounding can carry into one more digit (99999999999.6).
    if (fixed.size() - (value < 0 ? 1 : 0) <= kCharacters) return fixed;
  }
  QString scientific = QString::number(value, 'E', 5);  // 4.00627E+14
  const qsizetype e = scientific.indexOf(u'E');
  if (scientific.size() - e > 4)  // a three-digit exponent takes a digit of the mantissa
    scientific = QString::number(value, 'E', 4);
  const qsizetype at = scientific.indexOf(u'E');
  return Trimmed(scientific.left(at)) + scientific.mid(at);
}

QString TkvNumberFormatFor(const QString& text) {
  const qsizetype e = text.indexOf(u'E');
  const QString mantissa = e >= 0 ? text.left(e) : text;
  const qsizetype point = mantissa.indexOf(u'.');
  const qsizetype decimals = point >= 0 ? mantissa.size() - point - 1 : 0;
  QString code = QStringLiteral("0");
  if (decimals > 0) code += u'.' + QString(decimals, u'0');
  if (e >= 0) code += QStringLiteral("E+00");
  return code;
}
