#include "convert/office/text_workbook.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 kHead = 8192;
constexpr qint64 kTableSearch = qint64(16) << 20;
constexpr int kRecords = 100;

struct Encoding {
  QStringConverter::Encoding decoder = QStringConverter::Utf8;
  int charset = 76;
  bool utf32 = false;
};

Encoding EncodingOf(const QByteArray& head) {
  if (head.startsWith(QByteArray("\xFF\xFE\0\0", 4)) ||
      head.startsWith(QByteArray("\0\0\xFE\xFF", 4)))
    return {QStringConverter::Utf32, 0, true};
  if (head.startsWith("\xEF\xBB\xBF")) return {QStringConverter::Utf8, 76};
  if (head.startsWith("\xFF\xFE")) return {QStringConverter::Utf16LE, 65535};
  if (head.startsWith("\xFE\xFF")) return {QStringConverter::Utf16BE, 65535};
  // A sequence cut off at the end of the head stays pending, not an error.
  QStringDecoder utf8(QStringConverter::Utf8);
  [[maybe_unused]] const QString decoded = utf8.decode(head);
  if (!utf8.hasError()) return {QStringConverter::Utf8, 76};
  return {QStringConverter::Latin1, 1};  // the office reads it as Windows-1252
}

bool HasControlCharacters(QStringView text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 9 || (u > 13 && u < 32) || u == 127) return true;
  }
  return false;
}

// Whether the first 16 MiB of `device`, decoded, hold a table element.
bool HoldsTable(QIODevice& device, QStringConverter::Encoding encoding) {
  static const QRegularExpression table(QStringLiteral("<table[\\s>/]"),
                                        QRegularExpression::CaseInsensitiveOption);
  if (!device.seek(0)) return false;
  QStringDecoder decoder(encoding);
  QString tail;
  while (device.pos() < kTableSearch) {
    const QByteArray chunk = device.read(qint64(1) << 16);
    if (chunk.isEmpty()) return false;
    const QString text = tail + decoder.decode(chunk);
    if (table.match(text).hasMatch()) return true;
    tail = text.right(6);
  }
  return false;
}

// The field counts of the first records of `text` split at `separator`, with
// fields quoted in '"' (which may hold separators and line ends); empty
// lines are left out, and so is a last record the head cut off.
std::vector<int> FieldCounts(QStringView text, QChar separator, bool complete) {
  std::vector<int> counts;
  int fields = 1;
  bool quoted = false, fieldStart = true, any = false;
  for (qsizetype i = 0; i < text.size() && counts.size() < size_t(kRecords); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"') {
        if (i + 1 < text.size() && text[i + 1] == u'"')
          ++i;
        else
          quoted = false;
      }
      continue;
    }
    if (c == u'\n' || c == u'\r') {
      if (any) counts.push_back(fields);
      fields = 1;
      any = false;
      fieldStart = true;
      continue;
    }
    any = true;
    if (c == separator) {
      ++fields;
      fieldStart = true;
    } else if (c == u'"' && fieldStart) {
      quoted = true;
      fieldStart = false;
    } else if (c != u' ') {
      fieldStart = false;
    }
  }
  if (complete && any && !quoted) counts.push_back(fields);
  return counts;
}

// Delimited: most records (three in five) have one and the same number of
// fields, at least two. A title line above the data is allowed for.
bool Delimited(const std::vector<int>& counts) {
  QHash<int, int> frequency;
  int best = 0;
  for (const int n : counts)
    if (n >= 2) best = std::max(best, ++frequency[n]);
  return best > 0 && best * 5 >= int(counts.size()) * 3;
}

}  // namespace

TkvTextSniff TkvSniffText(QIODevice& device) {
  TkvTextSniff sniff;
  if (!device.seek(0)) return sniff;
  const QByteArray head = device.read(kHead);
  const bool complete = device.atEnd();
  const Encoding encoding = EncodingOf(head);
  sniff.charset = encoding.charset;
  QStringDecoder decoder(encoding.decoder);
  const QString text = decoder.decode(head);
  if (text.isEmpty() || HasControlCharacters(text)) return sniff;
  if (encoding.utf32) {
    sniff.kind = TkvTextKind::Utf32;
    return sniff;
  }
  const QString start = text.trimmed().left(512).toLower();
  if (start.startsWith(u'<') &&
      (text.contains(QLatin1String("urn:schemas-microsoft-com:office:spreadsheet")) ||
       text.contains(QLatin1String("opendocument.spreadsheet")))) {
    sniff.kind = TkvTextKind::SpreadsheetXml;
  } else if (text.startsWith(QLatin1String("ID;"))) {
    sniff.kind = TkvTextKind::Sylk;
  } else if (HoldsTable(device, encoding.decoder)) {
    sniff.kind = TkvTextKind::HtmlTable;
  } else if (Delimited(FieldCounts(text, u'\t', complete))) {
    sniff.kind = TkvTextKind::Delimited;
    sniff.separator = '\t';
  } else if (Delimited(FieldCounts(text, u',', complete))) {
    sniff.kind = TkvTextKind::Delimited;
    sniff.separator = ',';
  } else if (start.startsWith(u'<') && (start.contains(QLatin1String("<html")) ||
                                        start.contains(QLatin1String("<!doctype html")))) {
    sniff.kind = TkvTextKind::HtmlWithoutTable;
  } else if (start.startsWith(QLatin1String("<?xml"))) {
    sniff.kind = TkvTextKind::OtherXml;
  } else {
    sniff.kind = TkvTextKind::Plain;
  }
  return sniff;
}

std::optional<TkvTextImport> TkvDelimitedTextImport(const QString& localPath) {
  QFile file(localPath);
  if (localPath.isEmpty() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  const TkvTextSniff sniff = TkvSniffText(file);
  if (sniff.kind != TkvTextKind::Delimited) return std::nullopt;
  // Separator, text delimiter '"', encoding, first line: the office's CSV options.
  return TkvTextImport{QStringLiteral("Text - txt - csv (StarCalc)"),
                       QStringLiteral("%1,34,%2,1").arg(int(sniff.separator)).arg(sniff.charset)};
}
