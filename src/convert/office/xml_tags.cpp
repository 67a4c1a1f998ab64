#include "convert/office/xml_tags.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr qsizetype kBuffer = qsizetype(64) * 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

QByteArrayView LocalName(QByteArrayView name) {
  const qsizetype colon = name.lastIndexOf(':');
  return colon < 0 ? name : name.sliced(colon + 1);
}

// `value` with &amp; &lt; &gt; &quot; &apos; and &#...; decoded (UTF-8).
QByteArray Decoded(QByteArrayView value) {
  if (!value.contains('&')) return value.toByteArray();
  QByteArray out;
  for (qsizetype i = 0; i < value.size(); ++i) {
    const qsizetype semicolon = value[i] == '&' ? value.indexOf(';', i) : -1;
    if (semicolon < 0) {
      out += value[i];
      continue;
    }
    const QByteArrayView entity = value.sliced(i + 1, semicolon - i - 1);
    static const struct {
      const char* name;
      char c;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    bool known = false;
    for (const auto& n : kNamed)
      if (entity == n.name) {
        out += n.c;
        known = true;
      }
    if (!known && entity.startsWith('#')) {
      bool ok = false;
      const uint code = entity.startsWith("#x") ? entity.sliced(2).toUInt(&ok, 16)
                                                : entity.sliced(1).toUInt(&ok, 10);
      if (ok && code > 0 && code <= 0x10FFFF) {
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1).toUtf8();
        known = true;
      }
    }
    if (!known) {
      out += value[i];
      continue;
    }
    i = semicolon;
  }
  return out;
}

// Reads the source into a buffer that keeps the unread part at its start.
class Reader {
 public:
  explicit Reader(const TkvByteSource& source) : source_(source), buffer_(kBuffer) {}

  const char* Data() const { return buffer_.data() + begin_; }
  qsizetype Size() const { return end_ - begin_; }
  bool AtEnd() const { return atEnd_; }
  void Drop(qsizetype count) { begin_ += std::clamp<qsizetype>(count, 0, Size()); }

  // Reads more behind what is held; false when nothing more comes (the end,
  // an error, or a full buffer).
  bool More() {
    if (atEnd_ || failed_) return false;
    if (begin_ > 0) {
      std::memmove(buffer_.data(), Data(), size_t(Size()));
      end_ -= begin_;
      begin_ = 0;
    }
    if (end_ == kBuffer) return false;
    const qint64 got = source_(buffer_.data() + end_, kBuffer - end_);
    if (got < 0) failed_ = true;
    if (got <= 0) {
      atEnd_ = true;
      return false;
    }
    end_ += got;
    return true;
  }
  bool Failed() const { return failed_; }

 private:
  const TkvByteSource& source_;
  std::vector<char> buffer_;
  qsizetype begin_ = 0, end_ = 0;
  bool atEnd_ = false, failed_ = false;
};

// Drops everything up to and including `terminator`; false when the end
// comes first.
bool SkipPast(Reader& in, QByteArrayView terminator) {
  for (;;) {
    const qsizetype at = QByteArrayView(in.Data(), in.Size()).indexOf(terminator);
    if (at >= 0) {
      in.Drop(at + terminator.size());
      return true;
    }
    in.Drop(in.Size() - (terminator.size() - 1));  // a terminator may straddle two reads
    if (!in.More()) return false;
  }
}

// The end of the tag that starts at the reader's front: the index of its '>'
// (quotes respected), or -1 when the buffer holds no end.
qsizetype TagEnd(const Reader& in) {
  char quote = 0;
  for (qsizetype i = 1; i < in.Size(); ++i) {
    const char c = in.Data()[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return -1;
}

}  // namespace

std::optional<QByteArray> TkvXmlTag::Attribute(QByteArrayView localName) const {
  const QByteArrayView a = attributes;
  qsizetype i = 0;
  while (i < a.size()) {
    while (i < a.size() && IsSpace(a[i])) ++i;
    const qsizetype nameStart = i;
    while (i < a.size() && a[i] != '=' && !IsSpace(a[i])) ++i;
    const QByteArrayView name = a.sliced(nameStart, i - nameStart);
    while (i < a.size() && IsSpace(a[i])) ++i;
    if (i >= a.size() || a[i] != '=') return std::nullopt;  // "/" of "/>", or damaged
    ++i;
    while (i < a.size() && IsSpace(a[i])) ++i;
    if (i >= a.size() || (a[i] != '"' && a[i] != '\'')) return std::nullopt;
    const qsizetype close = a.indexOf(a[i], i + 1);
    if (close < 0) return std::nullopt;
    if (LocalName(name) == localName) return Decoded(a.sliced(i + 1, close - i - 1));
    i = close + 1;
  }
  return std::nullopt;
}

TkvXmlScan TkvScanXmlTags(const TkvByteSource& source,
                          const std::function<bool(const TkvXmlTag&)>& onTag) {
  Reader in(source);
  for (;;) {
    const void* lt = std::memchr(in.Data(), '<', size_t(in.Size()));
    if (!lt) {
      in.Drop(in.Size());
      if (!in.More()) return in.Failed() ? TkvXmlScan::Damaged : TkvXmlScan::Done;
      continue;
    }
    in.Drop(static_cast<const char*>(lt) - in.Data());
    while (in.Size() < 9 && in.More()) {
    }
    const QByteArrayView front(in.Data(), in.Size());
    const char* terminator = nullptr;
    if (front.startsWith("<!--"))
      terminator = "-->";
    else if (front.startsWith("<![CDATA["))
      terminator = "]]>";
    else if (front.startsWith("<?"))
      terminator = "?>";
    else if (front.startsWith("<!") || front.startsWith("</"))
      terminator = ">";
    if (terminator) {
      if (!SkipPast(in, terminator)) return TkvXmlScan::Damaged;  // cut off
      continue;
    }
    qsizetype end = TagEnd(in);
    while (end < 0) {
      if (!in.More()) return TkvXmlScan::Damaged;  // cut off, or longer than the buffer
      end = TagEnd(in);
    }
    const QByteArrayView tag(in.Data() + 1, end - 1);
    qsizetype nameEnd = 0;
    while (nameEnd < tag.size() && !IsSpace(tag[nameEnd]) && tag[nameEnd] != '/') ++nameEnd;
    const TkvXmlTag found{LocalName(tag.first(nameEnd)), tag.sliced(nameEnd)};
    if (!onTag(found)) return TkvXmlScan::Stopped;
    in.Drop(end + 1);
  }
}

TkvByteSource TkvBytesSource(const QByteArray& bytes) {
  return [&bytes, at = qsizetype(0)](char* into, qint64 size) mutable -> qint64 {
    const qsizetype count = std::min<qsizetype>(bytes.size() - at, size);
    std::memcpy(into, bytes.constData() + at, size_t(count));
    at += count;
    return count;
  };
}
