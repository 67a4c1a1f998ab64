#include "convert/automation/class_registry.h"

#include <QHash>

#include <mutex>

struct TkvClassRegistry::State {
  mutable std::mutex mutex;
  QHash<QString, TkvAutoFactory> factories;  // keys in lower case
};

TkvClassRegistry::State& TkvClassRegistry::Data() {
  static State state;
  return state;
}

TkvClassRegistry& TkvClassRegistry::Instance() {
  static TkvClassRegistry registry;
  return registry;
}

std::optional<TkvAutoFactory> TkvClassRegistry::Register(const QString& className,
                                                         TkvAutoFactory factory) {
  State& s = Data();
  std::lock_guard lock(s.mutex);
  std::optional<TkvAutoFactory> previous;
  const QString key = className.toLower();
  if (auto it = s.factories.find(key); it != s.factories.end()) previous = it.value();
  s.factories.emplace(key, std::move(factory));
  return previous;
}

void TkvClassRegistry::Unregister(const QString& className) {
  State& s = Data();
  std::lock_guard lock(s.mutex);
  s.factories.remove(className.toLower());
}

bool TkvClassRegistry::IsRegistered(const QString& className) const {
  State& s = Data();
  std::lock_guard lock(s.mutex);
  return s.factories.contains(className.toLower());
}

std::shared_ptr<TkvAutoObject> TkvClassRegistry::CreateObject(const QString& className) const {
  TkvAutoFactory factory;
  {
    State& s = Data();
    std::lock_guard lock(s.mutex);
    auto it = s.factories.constFind(className.toLower());
    if (it == s.factories.constEnd())
      throw TkvAutomationError(QStringLiteral("Class not registered: %1").arg(className));
    factory = it.value();  // run outside the lock: starting a server takes seconds
  }
  auto object = factory();
  if (!object) throw TkvAutomationError(QStringLiteral("%1 could not be created").arg(className));
  return object;
}

TkvScopedClassRegistration::TkvScopedClassRegistration(QString className, TkvAutoFactory factory)
    : className_(std::move(className)),
      previous_(TkvClassRegistry::Instance().Register(className_, std::move(factory))) {}

TkvScopedClassRegistration::~TkvScopedClassRegistration() {
  if (previous_)
    TkvClassRegistry::Instance().Register(className_, std::move(*previous_));
  else
    TkvClassRegistry::Instance().Unregister(className_);
}

std::shared_ptr<TkvAutoObject> TkvCreateObject(const QString& className) {
  return TkvClassRegistry::Instance().CreateObject(className);
}

void TkvAutomationInitThread() {}
