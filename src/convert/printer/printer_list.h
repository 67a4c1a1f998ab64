#pragma once
// The installed printers, as CUPS (or a test) lists them. A printer is
// known by its queue name and by its description, so that a queue such as
// "Adobe_PDF" described as "Adobe PDF" answers to both.

#include <QString>

#include <optional>
#include <vector>

struct TkvPrinterInfo {
  QString queue;        // CUPS queue (destination) name
  QString description;  // "printer-info", may be empty
  QString deviceUri;    // "device-uri", empty when CUPS does not tell
};

class TkvPrinterList {
 public:
  virtual ~TkvPrinterList() = default;
  // Throws TkvError when the list cannot be read.
  virtual std::vector<TkvPrinterInfo> Printers() const = 0;
};

// The destinations of the CUPS server this process talks to (CUPS_SERVER,
// client.conf or the local scheduler). Thread-safe: each call opens its
// own connection.
class TkvCupsPrinterList final : public TkvPrinterList {
 public:
  std::vector<TkvPrinterInfo> Printers() const override;
};

// The printer a name stands for: a queue name first, then a description;
// both compared without regard to letter case.
std::optional<TkvPrinterInfo> TkvFindPrinter(const std::vector<TkvPrinterInfo>& printers,
                                             const QString& name);
