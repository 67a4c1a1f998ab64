#include "convert/office/office_classes.h"

#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "convert/office/uno_object.h"

#include <mutex>

void TkvRegisterOfficeClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    TkvClassRegistry& registry = TkvClassRegistry::Instance();
    registry.Register(QStringLiteral("Excel.Application"),
                      [] { return TkvCreateCalcApplication(); });
    registry.Register(QStringLiteral("com.sun.star.ServiceManager"),
                      [] { return TkvCreateOfficeServiceManager(); });
  });
}
