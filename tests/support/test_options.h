#pragma once
// An in-memory option source for tests of the engine: options set by key
// (thread-safe, so a test may change one while workers read), the product
// profile of the program unless a test sets another.

#include "core/option_list.h"
#include "core/option_source.h"
#include "core/profile.h"

namespace tabrix::test {

class TestOptions : public TkvOptionSource {
 public:
  TestOptions() : profile_(TkvTabrixProfile()) {}
  explicit TestOptions(const QString& text) : TestOptions() { list_.SetText(text); }

  QString OptionValue(const QString& key) const override { return list_.Value(key); }
  const TkvProfile& Profile() const override { return profile_; }

  // As the project's: an empty value removes the option; the text replaces all.
  void SetOptionValue(const QString& key, const QString& value) { list_.SetValue(key, value); }
  void SetOptionsText(const QString& text) { list_.SetText(text); }
  // Before any batch or converter reads it.
  void SetProfile(const TkvProfile& profile) { profile_ = profile; }
  void SetConvertorClass(const QString& name) { profile_.ConvertorClass = name; }

 private:
  TkvOptionList list_;
  TkvProfile profile_;
};

// No option set: every reader gives its default. Shared, never changed.
inline const TkvOptionSource& NoOptions() {
  static const TestOptions options;
  return options;
}

}  // namespace tabrix::test
