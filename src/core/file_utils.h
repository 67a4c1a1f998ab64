#pragma once
// Three small stateless file operations used by the usage store.

#include <QString>

#include <cstdint>

class TkvFileUtils {
 public:
  TkvFileUtils() = delete;

  // The DOS date-time (date << 16 | time) of the first entry matching `path`
  // (a file or folder without trailing delimiter; "*" and "?" allowed in the
  // last component). Creation time where the file system records it, else
  // the last-write time; local time unless keepUtc. -1 when nothing matches
  // or the time is outside the DOS range (1980..2107).
  static std::int32_t FileDate(const QString& path, bool useCreationTime, bool keepUtc);
  // The whole file as text: with charSize 2 the bytes are UTF-16 LE code
  // units (an odd last byte is dropped), with 1 each byte is one Latin-1
  // character. Throws TkvError naming the path when it cannot be read.
  static QString ReadText(const QString& path, int charSize = 2);
  // Writes (or appends) the text's code units in the same form, creating
  // missing parent folders. Throws TkvError naming the path on failure.
  static void WriteText(const QString& path, const QString& text, int charSize = 2,
                        bool append = false);
};
