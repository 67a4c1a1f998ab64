#include "convert/automation/auto_object.h"

void TkvAutoObject::ThrowUnknownMember(const QString& className, const QString& member) {
  throw TkvAutomationError(QStringLiteral("%1 has no member \"%2\"").arg(className, member),
                           member);
}

void TkvAutoObject::ThrowBadArguments(const QString& member, const QString& detail) {
  throw TkvAutomationError(QStringLiteral("Invalid arguments for %1: %2").arg(member, detail),
                           member);
}
