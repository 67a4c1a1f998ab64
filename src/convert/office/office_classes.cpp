#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "convert/office/uno_object.h"

// The automation classes this build provides, both served by LibreOffice.
void TkvRegisterBuiltinAutomationClasses(TkvClassRegistry& registry) {
  registry.Register(QStringLiteral("Excel.Application"), [] { return TkvCreateCalcApplication(); });
  registry.Register(QStringLiteral("com.sun.star.ServiceManager"), [] { return TkvCreateOfficeServiceManager(); });
}
