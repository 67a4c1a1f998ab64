#pragma once
// Late-bound automation: objects invoked by member name with positional
// arguments, and the error a failed call raises.

#include "convert/automation/variant.h"
#include "core/error.h"

#include <QString>

// A failed automation call. Message() is the server's message (already made
// readable by the server side); Member() names the member that failed.
class TkvAutomationError : public TkvError {
 public:
  explicit TkvAutomationError(QString message, QString member = {}, int code = 0)
      : TkvError(std::move(message), code), member_(std::move(member)) {}
  const QString& Member() const { return member_; }

 private:
  QString member_;
};

enum class TkvInvokeKind {
  Method,       // a call
  PropertyGet,  // a read, arguments are indexes
  MethodOrGet,  // a read without arguments: method call combined with property read
  PropertyPut,  // an assignment: the last argument is the new value
};

// An automation object. Instances are shared (std::shared_ptr) like reference
// counted automation references, and are used only on the thread that created
// them. Member names are matched without regard to letter case. A failure
// raises TkvAutomationError; an unknown member raises it with a message that
// names the member.
class TkvAutoObject : public std::enable_shared_from_this<TkvAutoObject> {
 public:
  TkvAutoObject() = default;
  virtual ~TkvAutoObject() = default;
  TkvAutoObject(const TkvAutoObject&) = delete;
  TkvAutoObject& operator=(const TkvAutoObject&) = delete;

  virtual TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) = 0;

  // Conveniences over Invoke.
  TkvVariant Call(const QString& member, const TkvArgs& args = {}) {
    return Invoke(member, args.isEmpty() ? TkvInvokeKind::MethodOrGet : TkvInvokeKind::Method,
                  args);
  }
  TkvVariant Get(const QString& member, const TkvArgs& indexes = {}) {
    return Invoke(member,
                  indexes.isEmpty() ? TkvInvokeKind::MethodOrGet : TkvInvokeKind::PropertyGet,
                  indexes);
  }
  void Put(const QString& member, const TkvVariant& value) {
    Invoke(member, TkvInvokeKind::PropertyPut, {value});
  }
  // Get(member).ToObject(), for chained reads such as Workbooks.Open.
  std::shared_ptr<TkvAutoObject> GetObject(const QString& member, const TkvArgs& indexes = {}) {
    return Get(member, indexes).ToObject();
  }

 protected:
  // The error for a member this object does not have.
  [[noreturn]] static void ThrowUnknownMember(const QString& className, const QString& member);
  // The error for a call with too few arguments or an argument of the wrong kind.
  [[noreturn]] static void ThrowBadArguments(const QString& member, const QString& detail);
};
