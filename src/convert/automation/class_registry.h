#pragma once
// Creation of automation objects by class name ("Excel.Application"), and the
// per-thread initialisation every automation client calls first.

#include "convert/automation/auto_object.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

using TkvAutoFactory = std::function<std::shared_ptr<TkvAutoObject>()>;

// Process-wide, thread-safe table of class name -> factory. Class names are
// matched without regard to letter case. A factory runs on the calling thread
// and may raise (the server does not start): CreateObject passes that on.
class TkvClassRegistry {
 public:
  static TkvClassRegistry& Instance();

  // Registers or replaces a class; returns the factory it replaced, if any.
  std::optional<TkvAutoFactory> Register(const QString& className, TkvAutoFactory factory);
  void Unregister(const QString& className);
  bool IsRegistered(const QString& className) const;
  // Raises TkvAutomationError "Class not registered: <name>" for an unknown name.
  std::shared_ptr<TkvAutoObject> CreateObject(const QString& className) const;

 private:
  TkvClassRegistry() = default;
  struct State;
  static State& Data();
};

// Registers a factory for its lifetime and restores the previous one (or
// none) afterwards. For tests that register a recording object.
class TkvScopedClassRegistration {
 public:
  TkvScopedClassRegistration(QString className, TkvAutoFactory factory);
  ~TkvScopedClassRegistration();
  TkvScopedClassRegistration(const TkvScopedClassRegistration&) = delete;
  TkvScopedClassRegistration& operator=(const TkvScopedClassRegistration&) = delete;

 private:
  QString className_;
  std::optional<TkvAutoFactory> previous_;
};

// TkvClassRegistry::Instance().CreateObject(className).
std::shared_ptr<TkvAutoObject> TkvCreateObject(const QString& className);

// Prepares the calling thread for automation calls. Nothing to do on Linux;
// kept so that converter threads call it where the Windows build needs it.
void TkvAutomationInitThread();
