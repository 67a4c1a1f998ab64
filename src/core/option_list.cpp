#include "core/option_list.h"

#include "core/error.h"
#include "core/text_file.h"

#include <QLocale>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Index of the first line whose text before its first "=" equals `key`
// without letter case; -1 when none.
int FindKey(const QStringList& lines, const QString& key) {
  for (int i = 0; i < lines.size(); ++i) {
    const QString& line = lines.at(i);
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) continue;
    if (QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

// Value of an ASCII digit in `base` (10 or 16); -1 for anything else.
int DigitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (base == 16 && u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (base == 16 && u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

bool IsNumberText(const QString& text) {
  // Digits, signs, exponent letters, separators and blanks only: keeps the
  // locale parser from accepting words such as "inf" or "nan".
  bool digit = false;
  for (QChar c : text) {
    if (c.isDigit()) {
      digit = true;
    } else if (!(c == u'+' || c == u'-' || c == u'e' || c == u'E' || c == u' ' || c.isPunct())) {
      return false;
    }
  }
  return digit;
}

}  // namespace

int TkvOptionList::IndexOfLocked(const QString& key) const { return FindKey(lines_, key); }

QString TkvOptionList::Value(const QString& key) const {
  TkvMutexLock lock(mutex_);
  const int i = IndexOfLocked(key);
  if (i < 0) return {};
  const QString& line = lines_.at(i);
  return line.mid(line.indexOf(u'=') + 1);
}

void TkvOptionList::SetValue(const QString& key, const QString& value) {
  TkvMutexLock lock(mutex_);
  const int i = IndexOfLocked(key);
  if (value.isEmpty()) {
    if (i >= 0) lines_.removeAt(i);
    return;
  }
  QString line = key + u'=' + value;
  if (i >= 0)
    lines_[i] = std::move(line);
  else
    lines_.append(std::move(line));
}

void TkvOptionList::SetText(const QString& text) {
  QStringList lines = TkvSplitLines(text);
  TkvMutexLock lock(mutex_);
  lines_ = std::move(lines);
}

QString TkvOptionList::Text() const {
  TkvMutexLock lock(mutex_);
  QString text;
  for (const QString& line : lines_) {
    text += line;
    text += QLatin1String("\r\n");
  }
  return text;
}

QStringList TkvOptionList::Lines() const {
  TkvMutexLock lock(mutex_);
  return lines_;
}

void TkvOptionList::SetLines(const QStringList& lines) {
  TkvMutexLock lock(mutex_);
  lines_ = lines;
}

int TkvOptionList::Count() const {
  TkvMutexLock lock(mutex_);
  return int(lines_.size());
}

void TkvOptionList::Clear() {
  TkvMutexLock lock(mutex_);
  lines_.clear();
}

void TkvOptionList::LoadFromFile(const QString& path) {
  QStringList lines = TkvReadTextLines(path);  // throws before touching the list
  TkvMutexLock lock(mutex_);
  lines_ = std::move(lines);
}

void TkvOptionList::SaveToFile(const QString& path) const { TkvWriteTextLines(path, Lines()); }

bool TkvStrToBool(const QString& text, bool def) {
  if (IsNumberText(text)) {
    bool ok = false;
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    const double d = locale.toDouble(text.trimmed(), &ok);
    if (ok && std::isfinite(d)) return d != 0.0;
  }
  if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return def;
}

int TkvStrToInt(const QString& text, int def) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text.at(i) == u' ') ++i;
  bool negative = false;
  if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
    negative = text.at(i) == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text.at(i) == u'0' &&
             (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return def;
  // Decimal: the magnitude may reach 2^31 for a negative number. Hex: any
  // 32-bit pattern (so $FFFFFFFF is -1).
  const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  quint64 value = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(text.at(i), base);
    if (digit < 0) return def;
    value = value * base + quint64(digit);
    if (value > limit) return def;
  }
  if (base == 16) {
    const auto bits = std::int32_t(std::uint32_t(value));
    return negative ? int(0u - std::uint32_t(bits)) : bits;
  }
  return negative ? int(-std::int64_t(value)) : int(value);
}

QStringList TkvSplitLines(const QString& text) {
  QStringList lines;
  const QChar* p = text.constData();
  const QChar* end = p + text.size();
  while (p < end && *p != QChar(0)) {
    const QChar* start = p;
    while (p < end && *p != u'\r' && *p != u'\n' && *p != QChar(0)) ++p;
    lines.append(QString(start, p - start));
    if (p < end && *p == u'\r') ++p;
    if (p < end && *p == u'\n') ++p;
  }
  return lines;
}
