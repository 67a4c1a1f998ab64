#include "core/file_utils.h"

#include "core/error.h"
#include "core/path_utils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {

constexpr qint64 kMaxReadSize = qint64(256) * 1024 * 1024;

QString FirstMatch(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(kTkvPathDelimiter)) p.chop(1);
  const QString name = TkvNamePart(p);
  if (!name.contains(u'*') && !name.contains(u'?')) return QFileInfo::exists(p) ? p : QString();
  QString folder = TkvFolderPart(p);
  const QStringList entries =
      QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
          .entryList({name}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDir::Name);
  return entries.isEmpty() ? QString() : folder + entries.first();
}

}  // namespace

std::int32_t TkvFileUtils::FileDate(const QString& path, bool useCreationTime, bool keepUtc) {
  const QString entry = FirstMatch(path);
  if (entry.isEmpty()) return -1;
  const QFileInfo info(entry);
  QDateTime time;
  if (useCreationTime) time = info.birthTime();
  if (!time.isValid()) time = info.lastModified();
  if (!time.isValid()) return -1;
  time = keepUtc ? time.toUTC() : time.toLocalTime();
  const QDate d = time.date();
  const QTime t = time.time();
  if (d.year() < 1980 || d.year() > 2107) return -1;
  const std::uint32_t date = std::uint32_t(((d.year() - 1980) << 9) | (d.month() << 5) | d.day());
  const std::uint32_t clock =
      std::uint32_t((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
  return std::int32_t((date << 16) | clock);
}

QString TkvFileUtils::ReadText(const QString& path, int charSize) {
  if (charSize != 1 && charSize != 2)
    throw TkvError(QStringLiteral("Cannot read \"%1\": unsupported character size %2")
                       .arg(path)
                       .arg(charSize));
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
    throw TkvError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
  const QByteArray bytes = file.read(kMaxReadSize);
  if (file.error() != QFileDevice::NoError)
    throw TkvError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
  if (charSize == 1) return QString::fromLatin1(bytes);
  QString text(bytes.size() / 2, Qt::Uninitialized);
  const auto* src = reinterpret_cast<const uchar*>(bytes.constData());
  for (qsizetype i = 0; i < text.size(); ++i)
    text[i] = QChar(qFromLittleEndian<quint16>(src + 2 * i));
  return text;
}

void TkvFileUtils::WriteText(const QString& path, const QString& text, int charSize, bool append) {
  if (charSize != 1 && charSize != 2)
    throw TkvError(QStringLiteral("Cannot write \"%1\": unsupported character size %2")
                       .arg(path)
                       .arg(charSize));
  const QString folder = TkvFolderPart(path);
  if (!folder.isEmpty()) QDir().mkpath(folder);
  QByteArray bytes;
  if (charSize == 1) {
    bytes = text.toLatin1();
  } else {
    bytes.resize(text.size() * 2);
    auto* dst = reinterpret_cast<uchar*>(bytes.data());
    for (qsizetype i = 0; i < text.size(); ++i)
      qToLittleEndian<quint16>(text.at(i).unicode(), dst + 2 * i);
  }
  QFile file(path);
  const QIODevice::OpenMode mode =
      QIODevice::ReadWrite | (append ? QIODevice::Append : QIODevice::Truncate);
  if (!file.open(mode) || file.write(bytes) != bytes.size() || !file.flush())
    throw TkvError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
}
