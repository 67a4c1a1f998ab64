#include "core/text_file.h"

#include "core/error.h"
#include "core/option_list.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <langinfo.h>
#include <locale.h>
#include <clocale>
#include <cstdlib>

namespace {

// Files larger than this are refused instead of exhausting memory.
constexpr qint64 kMaxTextFileSize = qint64(256) * 1024 * 1024;

QString CodesetFromEnvironment() {
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) {
      const QString name = QString::fromLocal8Bit(value);
      const qsizetype dot = name.indexOf(u'.');
      if (dot < 0) return {};
      return name.mid(dot + 1).section(u'@', 0, 0);
    }
  }
  return {};
}

bool IsUtf8Name(const QString& name) {
  const QString n = name.toLower().remove(u'-').remove(u'_');
  return n.isEmpty() || n == QLatin1String("utf8") || n == QLatin1String("ansix3.41968") ||
         n == QLatin1String("ascii") || n == QLatin1String("usascii");
}

}  // namespace

QString TkvLocaleEncodingName() {
  QString codeset;
  // Read the user's locale without touching the process-wide one.
  if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
    codeset = QString::fromLatin1(nl_langinfo_l(CODESET, loc));
    freelocale(loc);
  } else {
    codeset = CodesetFromEnvironment();
  }
  if (IsUtf8Name(codeset)) return QStringLiteral("UTF-8");
  return codeset;
}

namespace {

QStringDecoder LocaleDecoder() {
  const QString name = TkvLocaleEncodingName();
  QStringDecoder decoder(name.toLatin1().constData());
  if (!decoder.isValid()) return QStringDecoder(QStringConverter::Utf8);
  return decoder;
}

QStringEncoder LocaleEncoder() {
  const QString name = TkvLocaleEncodingName();
  QStringEncoder encoder(name.toLatin1().constData());
  if (!encoder.isValid()) return QStringEncoder(QStringConverter::Utf8);
  return encoder;
}

}  // namespace

QString TkvDecodeText(const QByteArray& bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype n = bytes.size();
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    QStringDecoder d(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return d.decode(QByteArrayView(bytes).sliced(3));
  }
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    QStringDecoder d(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
    return d.decode(QByteArrayView(bytes).sliced(2));
  }
  if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    QStringDecoder d(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
    return d.decode(QByteArrayView(bytes).sliced(2));
  }
  QStringDecoder d = LocaleDecoder();
  return d.decode(bytes);
}

QByteArray TkvEncodeLines(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) {
    text += line;
    text += QLatin1String("\r\n");
  }
  QStringEncoder e = LocaleEncoder();
  return e.encode(text);
}

QStringList TkvReadTextLines(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists())
    throw TkvError(QStringLiteral("Cannot read \"%1\": the file does not exist").arg(path));
  if (!info.isFile())
    throw TkvError(QStringLiteral("Cannot read \"%1\": it is not a regular file").arg(path));
  if (info.size() > kMaxTextFileSize)
    throw TkvError(QStringLiteral("Cannot read \"%1\": the file is larger than %2 MB")
                       .arg(path)
                       .arg(kMaxTextFileSize / (qint64{1024} * 1024)));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw TkvError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
  const QByteArray bytes = file.read(kMaxTextFileSize + 1);
  if (file.error() != QFileDevice::NoError)
    throw TkvError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
  if (bytes.size() > kMaxTextFileSize)
    throw TkvError(QStringLiteral("Cannot read \"%1\": the file is too large").arg(path));
  return TkvSplitLines(TkvDecodeText(bytes));
}

void TkvWriteTextLines(const QString& path, const QStringList& lines) {
  if (path.isEmpty()) throw TkvError(QStringLiteral("Cannot write a file without a name"));
  const QByteArray bytes = TkvEncodeLines(lines);
  const QFileInfo info(path);
  if (info.exists() && !info.isFile() && !info.isDir()) {
    // A device or a pipe is written in place; it is never replaced by a
    // regular file.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      throw TkvError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size())
      throw TkvError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return;
  }
  QSaveFile file(path);
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly))
    throw TkvError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
  // The flush reports a write that failed in the buffer (a full disk), which
  // a direct write would otherwise commit as complete.
  if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
    throw TkvError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
}
