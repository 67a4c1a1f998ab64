#pragma once
// Changes to a document loaded read-only, for the load-time steps that make
// the loaded copy print what the spreadsheet application prints. Include
// only from the office layer (UNO types).

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/util/XModifiable.hpp>

namespace tabrix::office {

// Allows changes on the read-only loaded copy while alive; the copy is left
// unmodified, so nothing ever offers to store it. Raises when the office
// refuses; the destructor never raises.
class ChangesAllowed {
 public:
  explicit ChangesAllowed(const css::uno::Reference<css::beans::XPropertySet>& document)
      : document_(document) {
    document_->setPropertyValue("IsChangeReadOnlyEnabled", css::uno::Any(true));
  }
  ~ChangesAllowed() {
    try {
      document_->setPropertyValue("IsChangeReadOnlyEnabled", css::uno::Any(false));
      css::uno::Reference<css::util::XModifiable>(document_, css::uno::UNO_QUERY_THROW)
          ->setModified(false);
    } catch (...) {
    }
  }
  ChangesAllowed(const ChangesAllowed&) = delete;
  ChangesAllowed& operator=(const ChangesAllowed&) = delete;

 private:
  css::uno::Reference<css::beans::XPropertySet> document_;
};

}  // namespace tabrix::office
