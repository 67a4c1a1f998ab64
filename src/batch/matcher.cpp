#include "batch/matcher.h"

#include "batch/vbscript_regex.h"

#include <QHash>

TkvMatchBase* Matcher = nullptr;

namespace {

std::unique_ptr<TkvMatchBase>& MatcherOwner() {
  static std::unique_ptr<TkvMatchBase> owner;
  return owner;
}

// A search tests every file against the same one or two expressions: each
// thread keeps its compiled expressions instead of compiling per file. The
// answers are those of a fresh Regex::IsMatch call.
std::shared_ptr<TRegex> CompiledForThisThread(const QString& pattern) {
  thread_local QHash<QString, std::shared_ptr<TRegex>> cache;
  auto it = cache.constFind(pattern);
  if (it != cache.constEnd()) return it.value();
  if (cache.size() >= 16) cache.clear();
  auto re = Regex::Create(pattern, roIgnoreCase);
  cache.insert(pattern, re);
  return re;
}

}  // namespace

bool TkvMatchBase::Matches(const QString&, const QString&) const { return true; }

bool TkvMatch::Matches(const QString& path, const QString& pattern) const {
  try {
    return CompiledForThisThread(pattern)->IsMatch(path);
  } catch (...) {
    return true;
  }
}

void TkvCreateMatcher(std::unique_ptr<TkvMatchBase> matcher) {
  if (!matcher) matcher = std::make_unique<TkvMatch>();
  MatcherOwner() = std::move(matcher);
  Matcher = MatcherOwner().get();
}

void TkvDestroyMatcher() {
  Matcher = nullptr;
  MatcherOwner().reset();
}
