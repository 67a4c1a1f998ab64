#include "convert/printer/cups_handles.h"

#include "core/error.h"

#include <QString>

TkvCupsConnection TkvCupsConnect() {
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              30000, nullptr);
  if (!http) {
    throw TkvError(
        QStringLiteral("The CUPS server %1 cannot be reached: %2")
            .arg(QString::fromUtf8(cupsServer()), QString::fromUtf8(cupsLastErrorString())));
  }
  return TkvCupsConnection(http);
}
