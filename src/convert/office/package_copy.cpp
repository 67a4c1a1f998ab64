#include "convert/office/package_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <list>
#include <optional>

#include <zip.h>

namespace {

// Relationships (.rels), the content types and the workbook part: small
// parts; the workbook's defined names rarely pass a few megabytes.
constexpr zip_uint64_t kMaxEditedPart = zip_uint64_t(64) * 1024 * 1024;

const QLatin1String kPivotTypes[] = {QLatin1String("/pivotTable"),
                                     QLatin1String("/pivotCacheDefinition"),
                                     QLatin1String("/pivotCacheRecords")};

// An open archive, closed (or discarded) with the object.
class Archive {
 public:
  Archive(const QString& path, int flags) {
    int error = 0;
    zip_ = zip_open(QFile::encodeName(path).constData(), flags, &error);
  }
  ~Archive() {
    if (zip_) zip_discard(zip_);
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  zip_t* get() const { return zip_; }
  // Writes the changes; false when that fails (the archive is discarded).
  bool Close() {
    zip_t* zip = zip_;
    zip_ = nullptr;
    if (zip_close(zip) == 0) return true;
    zip_discard(zip);
    return false;
  }

 private:
  zip_t* zip_ = nullptr;
};

std::optional<QByteArray> Read(zip_t* zip, zip_uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(zip, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
      stat.size > kMaxEditedPart)
    return std::nullopt;
  zip_file_t* file = zip_fopen_index(zip, index, 0);
  if (!file) return std::nullopt;
  QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
  const zip_int64_t read = zip_fread(file, bytes.data(), stat.size);
  zip_fclose(file);
  if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) return std::nullopt;
  return bytes;
}

// The part a relationship of the part `source` names ("" for the package's
// own relationships), without a leading slash.
QString TargetPart(const QString& relsName, const QString& target) {
  if (target.startsWith(u'/')) return QDir::cleanPath(target.mid(1));
  // "xl/worksheets/_rels/sheet1.xml.rels" belongs to "xl/worksheets/sheet1.xml".
  QString folder = relsName.section(u'/', 0, -3);
  if (!folder.isEmpty()) folder += u'/';
  return QDir::cleanPath(folder + target);
}

// The value of the attribute `name` (Type, Target, PartName) of `element`.
QString Attribute(const QString& element, const QString& name) {
  static const QRegularExpression attribute(
      QStringLiteral("\\b(\\w+)\\s*=\\s*(\"([^\"]*)\"|'([^']*)')"));
  for (auto it = attribute.globalMatch(element); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (m.capturedView(1) == name) return m.captured(3) + m.captured(4);
  }
  return QString();
}

// Removes the elements matched by `element` for which `drop` is true.
template <typename Drop>
QByteArray Without(const QByteArray& xml, const QRegularExpression& element, Drop drop) {
  QString text = QString::fromUtf8(xml);
  QString out;
  qsizetype at = 0;
  for (auto it = element.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (!drop(m.captured(0))) continue;
    out += QStringView(text).mid(at, m.capturedStart(0) - at);
    at = m.capturedEnd(0);
  }
  if (at == 0) return xml;
  out += QStringView(text).mid(at);
  return out.toUtf8();
}

const QRegularExpression& RelationshipElement() {
  static const QRegularExpression element(
      QStringLiteral("<(\\w+:)?Relationship\\b[^>]*?(/>|>.*?</(\\w+:)?Relationship\\s*>)"),
      QRegularExpression::DotMatchesEverythingOption);
  return element;
}

bool IsPivotRelationship(const QString& element) {
  const QString type = Attribute(element, QStringLiteral("Type"));
  for (const QLatin1String& pivot : kPivotTypes)
    if (type.endsWith(pivot)) return true;
  return false;
}

}  // namespace

std::unique_ptr<TkvPivotFreeCopy> TkvPivotFreeCopy::Make(const QString& localPath) {
  QHash<QString, QByteArray> edited;  // part name -> its new bytes
  QSet<QString> dropped;
  QString workbookPart;
  {
    Archive source(localPath, ZIP_RDONLY);
    if (!source.get()) return nullptr;
    const zip_int64_t count = zip_get_num_entries(source.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* raw = zip_get_name(source.get(), static_cast<zip_uint64_t>(i), 0);
      const QString name = raw ? QString::fromUtf8(raw) : QString();
      if (!name.endsWith(QLatin1String(".rels"))) continue;
      const auto rels = Read(source.get(), static_cast<zip_uint64_t>(i));
      if (!rels) return nullptr;
      // Most packages have no pivot relationship at all: a plain search first.
      const bool package = name == QLatin1String("_rels/.rels");
      if (!package && !rels->contains("/pivot")) continue;
      const QByteArray kept = Without(*rels, RelationshipElement(), [&](const QString& element) {
        const QString type = Attribute(element, QStringLiteral("Type"));
        if (name == QLatin1String("_rels/.rels") && type.endsWith(QLatin1String("/officeDocument")))
          workbookPart = TargetPart(name, Attribute(element, QStringLiteral("Target")));
        if (!IsPivotRelationship(element)) return false;
        dropped.insert(TargetPart(name, Attribute(element, QStringLiteral("Target"))));
        return true;
      });
      if (kept != *rels) edited.insert(name, kept);
    }
    if (dropped.isEmpty()) return nullptr;
    // The dropped parts' own relationships go with them.
    for (const QString& part : QSet<QString>(dropped)) {
      const QFileInfo info(part);
      const QString folder = info.path() == QLatin1String(".") ? QString() : info.path() + u'/';
      dropped.insert(folder + QStringLiteral("_rels/") + info.fileName() + QStringLiteral(".rels"));
      edited.remove(folder + QStringLiteral("_rels/") + info.fileName() + QStringLiteral(".rels"));
    }
    if (workbookPart.isEmpty()) workbookPart = QStringLiteral("xl/workbook.xml");
    // The content types of the dropped parts, and the workbook's pivot caches.
    const QString contentTypes = QStringLiteral("[Content_Types].xml");
    for (const QString& name : {contentTypes, workbookPart}) {
      const zip_int64_t index = zip_name_locate(source.get(), name.toUtf8().constData(), 0);
      if (index < 0) return nullptr;
      const auto bytes = Read(source.get(), static_cast<zip_uint64_t>(index));
      if (!bytes) return nullptr;
      static const QRegularExpression override(QStringLiteral("<(\\w+:)?Override\\b[^>]*/>"));
      static const QRegularExpression caches(
          QStringLiteral("<((\\w+:)?pivotCaches)\\b[^>]*?(/>|>.*?</\\1\\s*>)"),
          QRegularExpression::DotMatchesEverythingOption);
      edited.insert(name,
                    name == contentTypes
                        ? Without(*bytes, override,
                                  [&](const QString& element) {
                                    return dropped.contains(QDir::cleanPath(
                                        Attribute(element, QStringLiteral("PartName")).mid(1)));
                                  })
                        : Without(*bytes, caches, [](const QString&) { return true; }));
    }
  }

  std::unique_ptr<TkvPivotFreeCopy> copy(new TkvPivotFreeCopy);
  if (!copy->folder_.isValid()) return nullptr;
  copy->path_ = copy->folder_.filePath(QFileInfo(localPath).fileName());
  if (!QFile::copy(localPath, copy->path_)) return nullptr;
  QFile::setPermissions(copy->path_, QFile::ReadOwner | QFile::WriteOwner);
  Archive archive(copy->path_, 0);
  if (!archive.get()) return nullptr;
  for (const QString& part : dropped) {
    const zip_int64_t index = zip_name_locate(archive.get(), part.toUtf8().constData(), 0);
    if (index >= 0 && zip_delete(archive.get(), static_cast<zip_uint64_t>(index)) != 0)
      return nullptr;
  }
  for (auto it = edited.constBegin(); it != edited.constEnd(); ++it) {
    const zip_int64_t index = zip_name_locate(archive.get(), it.key().toUtf8().constData(), 0);
    // The buffer is the hash's own and outlives the archive's close.
    zip_source_t* bytes =
        zip_source_buffer(archive.get(), it->constData(), static_cast<zip_uint64_t>(it->size()), 0);
    if (index < 0 || !bytes) {
      if (bytes) zip_source_free(bytes);
      return nullptr;
    }
    if (zip_file_replace(archive.get(), static_cast<zip_uint64_t>(index), bytes, 0) != 0) {
      zip_source_free(bytes);
      return nullptr;
    }
  }
  if (!archive.Close()) return nullptr;
  return copy;
}

TkvPivotFreeCopy::~TkvPivotFreeCopy() = default;  // the folder goes with folder_
