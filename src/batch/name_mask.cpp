#include "batch/name_mask.h"

TkvNameMask::TkvNameMask(const QString& mask) {
  QString m = mask.toCaseFolded();
  if (m.endsWith(u"*.*")) m.chop(2);
  for (qsizetype i = 0; i < m.size(); ++i) {
    const QChar c = m[i];
    if (c == u'*') {
      if (tokens_.empty() || tokens_.back().kind != Kind::Star) tokens_.push_back({Kind::Star, c});
    } else if (c == u'?') {
      tokens_.push_back({Kind::Question, c});
    } else if (c == u'.' && i + 1 < m.size() && (m[i + 1] == u'*' || m[i + 1] == u'?')) {
      tokens_.push_back({Kind::DotOrEnd, c});
    } else {
      tokens_.push_back({Kind::Literal, c});
    }
  }
}

bool TkvNameMask::Matches(QStringView name) const {
  return MatchesFolded(name.toString().toCaseFolded());
}

bool TkvNameMask::MatchesFolded(QStringView foldedName) const {
  std::vector<char> failed;
  return MatchFrom(0, foldedName, 0, failed);
}

bool TkvNameMask::MatchFrom(size_t t, QStringView name, qsizetype n,
                            std::vector<char>& failed) const {
  for (; t < tokens_.size(); ++t) {
    const Token& tok = tokens_[t];
    switch (tok.kind) {
      case Kind::Literal:
        if (n >= name.size() || name[n] != tok.ch) return false;
        ++n;
        break;
      case Kind::Question:
        // One character; none when the name is at its end or at a dot.
        if (n >= name.size() || name[n] == u'.') break;
        ++n;
        break;
      case Kind::DotOrEnd:
        if (n >= name.size()) break;
        if (name[n] != u'.') return false;
        ++n;
        break;
      case Kind::Star:
        if (t + 1 == tokens_.size()) return true;
        // Several stars could retry the same (token, position) pairs without end.
        if (failed.empty()) failed.assign((tokens_.size() + 1) * (name.size() + 1), 0);
        for (qsizetype k = n; k <= name.size(); ++k) {
          char& known = failed[(t + 1) * (name.size() + 1) + k];
          if (known) continue;
          if (MatchFrom(t + 1, name, k, failed)) return true;
          known = 1;
        }
        return false;
    }
  }
  return n == name.size();
}
