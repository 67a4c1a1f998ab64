#pragma once
// The product's converter class, registered as "TkvTabrix". For now it
// converts nothing: every item keeps its waiting state.

#include "convert/convertor.h"

class TkvTabrix : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
};

// Registers TkvTabrix in TkvWorkerClasses; start-up calls it once.
void TkvRegisterTabrix();
