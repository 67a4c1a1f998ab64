#pragma once
// The start tags of an XML document read through a fixed buffer: memory stays
// bounded whatever the document's size, and text between tags is never kept.
// For the facts read from OOXML parts (relationships, calcPr, wrapText, row
// heights); comments, CDATA sections, processing instructions and end tags
// are skipped. Not a validating parser: the document is trusted to be XML
// as far as tags go.

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

// Fills up to `size` bytes at `into`: how many, 0 at the end, -1 on error.
using TkvByteSource = std::function<qint64(char* into, qint64 size)>;

// One start (or empty-element) tag; views into the scan's buffer, valid only
// during the call that hands it over.
struct TkvXmlTag {
  QByteArrayView name;        // the local name: without its prefix
  QByteArrayView attributes;  // the text after the name, up to the closing '>' or "/>"
  // The value of the first attribute with this local name (any prefix), the
  // five predefined entities and character references decoded; nullopt when
  // the tag has none.
  std::optional<QByteArray> Attribute(QByteArrayView localName) const;
};

enum class TkvXmlScan {
  Done,     // the whole document was read
  Stopped,  // `onTag` asked to stop
  Damaged,  // the source failed, markup is cut off, or one tag is longer than the buffer
};

// Hands every start tag to `onTag` in document order until it returns false.
// The buffer holds 64 KiB.
TkvXmlScan TkvScanXmlTags(const TkvByteSource& source,
                          const std::function<bool(const TkvXmlTag&)>& onTag);

// A source reading `bytes` (which must outlive it).
TkvByteSource TkvBytesSource(const QByteArray& bytes);
