#pragma once
// Late-bound access to any UNO object or struct of an office process.

#include "convert/automation/auto_object.h"

#include <com/sun/star/uno/Any.hxx>

#include <memory>

class TkvOfficeProcess;

// Wraps a UNO interface or struct value and invokes its members by name
// (letter case ignored) through UNO's Invocation service. Arguments and
// results convert between TkvVariant and UNO values: objects and structs
// become TkvUnoObject, arrays become sequences. Keeps its office process alive
// while it exists. UNO exceptions become TkvAutomationError with the office's
// message; a dead or timed-out office says so.
class TkvUnoObject : public TkvAutoObject {
 public:
  TkvUnoObject(std::shared_ptr<TkvOfficeProcess> process, const css::uno::Any& value);
  ~TkvUnoObject() override;

  TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override;
  // The wrapped value (a struct's current field values included).
  css::uno::Any Value() const;

 protected:
  TkvOfficeProcess& Process() { return *process_; }
  std::shared_ptr<TkvOfficeProcess> SharedProcess() const { return process_; }
  TkvVariant FromUno(const css::uno::Any& value) const;
  css::uno::Any ToUno(const TkvVariant& value) const;

 private:
  struct Impl;
  std::shared_ptr<TkvOfficeProcess> process_;
  std::unique_ptr<Impl> impl_;
};

// "com.sun.star.ServiceManager": the service manager of the calling thread's
// office process (started if needed), plus Bridge_GetStruct(typeName).
std::shared_ptr<TkvAutoObject> TkvCreateOfficeServiceManager();
