#pragma once
// The file-name matcher a batch asks whether a path passes its filters.
// Stateless as far as callers can tell; safe to call from any thread.

#include <QString>

#include <memory>

class TkvMatchBase {
 public:
  virtual ~TkvMatchBase() = default;
  // The base accepts every path.
  virtual bool Matches(const QString& path, const QString& pattern) const;
};

class TkvMatch : public TkvMatchBase {
 public:
  // True when the expression is found in path, letter case ignored. Never
  // throws: an invalid expression (or any other failure) accepts the path.
  bool Matches(const QString& path, const QString& pattern) const override;
};

// The process-wide matcher; null means every path is accepted. Written only
// by TkvCreateMatcher/TkvDestroyMatcher, before any batch exists and after
// the last one is gone.
extern TkvMatchBase* Matcher;

// Installs `matcher` (a TkvMatch when null) as Matcher; the previous one is
// destroyed. Called by start-up.
void TkvCreateMatcher(std::unique_ptr<TkvMatchBase> matcher = nullptr);
// Destroys Matcher and sets it to null.
void TkvDestroyMatcher();

// Installs a matcher for the lifetime of the object (start-up, tests).
class TkvMatcherScope {
 public:
  explicit TkvMatcherScope(std::unique_ptr<TkvMatchBase> matcher = nullptr) {
    TkvCreateMatcher(std::move(matcher));
  }
  ~TkvMatcherScope() { TkvDestroyMatcher(); }
  TkvMatcherScope(const TkvMatcherScope&) = delete;
  TkvMatcherScope& operator=(const TkvMatcherScope&) = delete;
};
