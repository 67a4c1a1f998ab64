#include "convert/printer/printer_list.h"

#include "convert/printer/cups_handles.h"
#include "core/error.h"

#include <cups/cups.h>

std::vector<TkvPrinterInfo> TkvCupsPrinterList::Printers() const {
  TkvCupsConnection http = TkvCupsConnect();
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(http.get(), &dests);
  TkvCupsDests owner(dests, count);
  if (count == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
    throw TkvError(QStringLiteral("The printer list cannot be read from CUPS: %1")
                       .arg(QString::fromUtf8(cupsLastErrorString())));
  }
  std::vector<TkvPrinterInfo> result;
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& d = dests[i];
    if (d.instance) continue;  // instances share their queue's name
    auto option = [&d](const char* name) {
      return QString::fromUtf8(cupsGetOption(name, d.num_options, d.options));
    };
    result.push_back({QString::fromUtf8(d.name), option("printer-info"), option("device-uri")});
  }
  return result;
}

std::optional<TkvPrinterInfo> TkvFindPrinter(const std::vector<TkvPrinterInfo>& printers,
                                             const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  for (const auto& p : printers) {
    if (p.queue.compare(name, Qt::CaseInsensitive) == 0) return p;
  }
  for (const auto& p : printers) {
    if (!p.description.isEmpty() && p.description.compare(name, Qt::CaseInsensitive) == 0) return p;
  }
  return std::nullopt;
}
