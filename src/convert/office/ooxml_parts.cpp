#include "convert/office/ooxml_parts.h"

#include "convert/office/zip_entry.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cstring>

namespace {

// Package relationships and the workbook part: a few kilobytes to a few
// megabytes (defined names). Sheet parts: a sheet of a million rows.
constexpr qint64 kMaxPartSize = qint64(32) * 1024 * 1024;
constexpr qint64 kMaxSheetSize = qint64(256) * 1024 * 1024;

// `target` of a relationship of the part `source`, as a member name.
QString ResolveTarget(const QString& source, const QString& target) {
  if (target.startsWith(u'/')) return target.mid(1);
  QStringList parts = source.split(u'/');
  parts.removeLast();
  for (const QString& step : target.split(u'/')) {
    if (step == QLatin1String(".."))
      parts.isEmpty() ? void() : parts.removeLast();
    else if (step != QLatin1String("."))
      parts << step;
  }
  return parts.join(u'/');
}

// The member holding the relationships of `part`.
QString RelsOf(const QString& part) {
  const int slash = part.lastIndexOf(u'/');
  return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) +
         QStringLiteral(".rels");
}

struct Relationship {
  QString id, type, target;  // target: the member name it points to
};

// The relationships of `part` ("" for the package's own); nullopt when they
// cannot be read.
std::optional<std::vector<Relationship>> Relationships(const QString& localPath,
                                                       const QString& part) {
  const auto bytes = TkvReadZipEntry(localPath, RelsOf(part), kMaxPartSize);
  if (!bytes) return std::nullopt;
  std::vector<Relationship> list;
  QXmlStreamReader xml(*bytes);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement ||
        xml.name() != QLatin1String("Relationship"))
      continue;
    const QXmlStreamAttributes a = xml.attributes();
    list.push_back({a.value(QLatin1String("Id")).toString(),
                    a.value(QLatin1String("Type")).toString(),
                    ResolveTarget(part, a.value(QLatin1String("Target")).toString())});
  }
  if (xml.hasError()) return std::nullopt;
  return list;
}

// The first relationship of `part` whose type ends with `typeEnd`.
std::optional<Relationship> RelationshipOfType(const QString& localPath, const QString& part,
                                               QLatin1String typeEnd) {
  const auto list = Relationships(localPath, part);
  if (list)
    for (const Relationship& r : *list)
      if (r.type.endsWith(typeEnd) && !r.target.isEmpty()) return r;
  return std::nullopt;
}

// The value of attribute `name` (unprefixed) within the tag text [begin, end).
std::optional<QByteArray> Attribute(const char* begin, const char* end, const char* name) {
  const size_t length = std::strlen(name);
  for (const char* p = begin; p + length + 2 < end; ++p) {
    if (p[-1] != ' ' && p[-1] != '\t' && p[-1] != '\n' && p[-1] != '\r') continue;
    if (std::memcmp(p, name, length) != 0 || p[length] != '=') continue;
    const char quote = p[length + 1];
    if (quote != '"' && quote != '\'') continue;
    const char* value = p + length + 2;
    const char* close = static_cast<const char*>(std::memchr(value, quote, size_t(end - value)));
    if (!close) return std::nullopt;
    return QByteArray(value, close - value);
  }
  return std::nullopt;
}

bool IsTrue(const std::optional<QByteArray>& value) {
  return value && (*value == "1" || *value == "true");
}

}  // namespace

// The row elements of a worksheet part, by a scan of its tags (a sheet part
// can be hundreds of megabytes: no tree, no per-cell allocation).
std::optional<TkvStoredRows> TkvScanStoredRows(const QByteArray& part) {
  TkvStoredRows stored;
  const char* p = part.constData();
  const char* const end = p + part.size();
  int row = -1;  // the last row element's index, for elements without `r`
  while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p))))) {
    const char* name = ++p;
    while (p < end && *p != ' ' && *p != '>' && *p != '/' && *p != '\t' && *p != '\n' && *p != '\r')
      ++p;
    const char* colon = static_cast<const char*>(std::memchr(name, ':', size_t(p - name)));
    const QByteArray local = QByteArray::fromRawData(colon ? colon + 1 : name,
                                                     (p - name) - (colon ? colon + 1 - name : 0));
    if (local != "row" && local != "sheetFormatPr") continue;
    const char* close = static_cast<const char*>(std::memchr(p, '>', size_t(end - p)));
    if (!close) return std::nullopt;
    if (local == "sheetFormatPr") {
      stored.all = IsTrue(Attribute(p, close, "customHeight"));
    } else {
      bool ok = true;
      const auto r = Attribute(p, close, "r");
      const int index = r ? r->toInt(&ok) - 1 : row + 1;
      if (!ok || index < 0 || index <= row) return std::nullopt;  // rows ascend
      row = index;
      if (Attribute(p, close, "ht")) stored.rows.push_back(row);
    }
    p = close;
  }
  return stored;
}

QString TkvOoxmlWorkbookPart(const QString& localPath) {
  const auto r = RelationshipOfType(localPath, QString(), QLatin1String("/officeDocument"));
  return r ? r->target : QStringLiteral("xl/workbook.xml");
}

bool TkvOoxmlMayWrapText(const QString& localPath) {
  const auto r =
      RelationshipOfType(localPath, TkvOoxmlWorkbookPart(localPath), QLatin1String("/styles"));
  const auto styles = r ? TkvReadZipEntry(localPath, r->target, kMaxPartSize) : std::nullopt;
  static const QRegularExpression set(QStringLiteral("wrapText\\s*=\\s*[\"'](1|true)[\"']"));
  return styles && set.match(QString::fromLatin1(*styles)).hasMatch();
}

std::optional<std::vector<QString>> TkvOoxmlSheetParts(const QString& localPath) {
  const QString workbook = TkvOoxmlWorkbookPart(localPath);
  const auto bytes = TkvReadZipEntry(localPath, workbook, kMaxPartSize);
  if (!bytes) return std::nullopt;
  const auto relationships = Relationships(localPath, workbook);
  if (!relationships) return std::nullopt;
  QHash<QString, QString> targets;
  for (const Relationship& r : *relationships) targets.insert(r.id, r.target);
  std::vector<QString> parts;
  QXmlStreamReader xml(*bytes);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("sheet"))
      continue;
    QString id;
    for (const QXmlStreamAttribute& a : xml.attributes())
      if (a.name() == QLatin1String("id")) id = a.value().toString();  // r:id, any prefix
    parts.push_back(targets.value(id));
  }
  if (xml.hasError()) return std::nullopt;
  return parts;
}

std::optional<TkvStoredRows> TkvReadStoredRows(const QString& localPath, const QString& part) {
  if (part.isEmpty()) return std::nullopt;
  const auto bytes = TkvReadZipEntry(localPath, part, kMaxSheetSize);
  return bytes ? TkvScanStoredRows(*bytes) : std::nullopt;
}
