// Feeds arbitrary file bytes through the project-file reader and every
// option reader.
#include "core/option_list.h"
#include "core/text_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  TkvOptionList list;
  list.SetText(TkvDecodeText(bytes));
  const QStringList lines = list.Lines();
  for (const QString& line : lines) {
    const QString key = line.section(u'=', 0, 0);
    const QString value = list.Value(key);
    TkvStrToBool(value, false);
    TkvStrToInt(value, 0);
    TkvStrToInt(line, 0);
    list.SetValue(key.toUpper(), value.isEmpty() ? QStringLiteral("x") : QString());
  }
  (void)TkvSplitLines(list.Text());
  (void)TkvEncodeLines(lines);
  return 0;
}
