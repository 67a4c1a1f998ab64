#pragma once
// Owning handles for libcups objects, private to the printer module.

#include <cups/cups.h>

#include <memory>

struct TkvHttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
struct TkvIppDelete {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using TkvCupsConnection = std::unique_ptr<http_t, TkvHttpClose>;
using TkvIppMessage = std::unique_ptr<ipp_t, TkvIppDelete>;

// A fresh connection to the scheduler named by cupsServer(); throws
// TkvError when it cannot be reached.
TkvCupsConnection TkvCupsConnect();

class TkvCupsDests {
 public:
  TkvCupsDests(cups_dest_t* dests, int count) : dests_(dests), count_(count) {}
  ~TkvCupsDests() { cupsFreeDests(count_, dests_); }
  TkvCupsDests(const TkvCupsDests&) = delete;
  TkvCupsDests& operator=(const TkvCupsDests&) = delete;

 private:
  cups_dest_t* dests_;
  int count_;
};
