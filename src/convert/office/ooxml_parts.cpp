#include "convert/office/ooxml_parts.h"

#include "convert/office/zip_package.h"

#include <QHash>

#include <memory>

namespace {

// Bounds that keep what is collected small whatever a part holds: the
// spreadsheet application's row limit, and more relationships or sheets
// than any workbook has.
constexpr int kMaxRows = 1048576;
constexpr size_t kMaxEntries = 65536;

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
std::optional<std::vector<Relationship>> Relationships(const TkvZipPackage& package,
                                                       const QString& part) {
  std::vector<Relationship> list;
  const TkvXmlScan scan = TkvScanOoxmlPart(package, RelsOf(part), [&](const TkvXmlTag& tag) {
    if (tag.name != "Relationship") return true;
    if (list.size() == kMaxEntries) return false;
    list.push_back(
        {QString::fromUtf8(tag.Attribute("Id").value_or(QByteArray())),
         QString::fromUtf8(tag.Attribute("Type").value_or(QByteArray())),
         ResolveTarget(part, QString::fromUtf8(tag.Attribute("Target").value_or(QByteArray())))});
    return true;
  });
  if (scan != TkvXmlScan::Done) return std::nullopt;
  return list;
}

// The first relationship of `part` whose type ends with `typeEnd`.
std::optional<Relationship> RelationshipOfType(const TkvZipPackage& package, const QString& part,
                                               QLatin1String typeEnd) {
  const auto list = Relationships(package, part);
  if (list)
    for (const Relationship& r : *list)
      if (r.type.endsWith(typeEnd) && !r.target.isEmpty()) return r;
  return std::nullopt;
}

bool IsTrue(const std::optional<QByteArray>& value) {
  return value && (*value == "1" || *value == "true");
}

// Collects the stored rows from the tags of a worksheet part; false (stop)
// when the rows do not ascend.
class RowCollector {
 public:
  bool operator()(const TkvXmlTag& tag) {
    if (tag.name == "sheetFormatPr") {
      stored_.all = IsTrue(tag.Attribute("customHeight"));
    } else if (tag.name == "row") {
      bool ok = true;
      const auto r = tag.Attribute("r");
      const int index = r ? r->toInt(&ok) - 1 : row_ + 1;
      if (!ok || index < 0 || index <= row_ || index >= kMaxRows) return false;  // rows ascend
      row_ = index;
      if (tag.Attribute("ht")) stored_.rows.push_back(row_);
    }
    return true;
  }
  std::optional<TkvStoredRows> Result(TkvXmlScan scan) const {
    if (scan != TkvXmlScan::Done) return std::nullopt;
    return stored_;
  }

 private:
  TkvStoredRows stored_;
  int row_ = -1;  // the last row element's index, for elements without `r`
};

}  // namespace

TkvXmlScan TkvScanOoxmlPart(const TkvZipPackage& package, const QString& part,
                            const std::function<bool(const TkvXmlTag&)>& onTag) {
  const std::unique_ptr<TkvZipMember> member = package.Open(part);
  if (!member) return TkvXmlScan::Damaged;
  return TkvScanXmlTags([&](char* into, qint64 size) { return member->Read(into, size); }, onTag);
}

// A sheet part can be hundreds of megabytes: no tree, no per-cell allocation.
std::optional<TkvStoredRows> TkvScanStoredRows(const QByteArray& part) {
  RowCollector rows;
  const TkvXmlScan scan =
      TkvScanXmlTags(TkvBytesSource(part), [&](const TkvXmlTag& tag) { return rows(tag); });
  return rows.Result(scan);
}

QString TkvOoxmlWorkbookPart(const TkvZipPackage& package) {
  const auto r = RelationshipOfType(package, QString(), QLatin1String("/officeDocument"));
  return r ? r->target : QStringLiteral("xl/workbook.xml");
}

bool TkvOoxmlMayWrapText(const TkvZipPackage& package) {
  const auto r =
      RelationshipOfType(package, TkvOoxmlWorkbookPart(package), QLatin1String("/styles"));
  if (!r) return false;
  bool wraps = false;
  TkvScanOoxmlPart(package, r->target, [&](const TkvXmlTag& tag) {
    wraps = IsTrue(tag.Attribute("wrapText"));
    return !wraps;
  });
  return wraps;
}

std::optional<std::vector<QString>> TkvOoxmlSheetParts(const TkvZipPackage& package) {
  const QString workbook = TkvOoxmlWorkbookPart(package);
  const auto relationships = Relationships(package, workbook);
  if (!relationships) return std::nullopt;
  QHash<QString, QString> targets;
  for (const Relationship& r : *relationships) targets.insert(r.id, r.target);
  std::vector<QString> parts;
  const TkvXmlScan scan = TkvScanOoxmlPart(package, workbook, [&](const TkvXmlTag& tag) {
    if (tag.name != "sheet") return true;
    if (parts.size() == kMaxEntries) return false;
    parts.push_back(targets.value(QString::fromUtf8(tag.Attribute("id").value_or(QByteArray()))));
    return true;
  });
  if (scan != TkvXmlScan::Done) return std::nullopt;
  return parts;
}

std::optional<TkvStoredRows> TkvReadStoredRows(const TkvZipPackage& package, const QString& part) {
  if (part.isEmpty()) return std::nullopt;
  RowCollector rows;
  const TkvXmlScan scan =
      TkvScanOoxmlPart(package, part, [&](const TkvXmlTag& tag) { return rows(tag); });
  return rows.Result(scan);
}
