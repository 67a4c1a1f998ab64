#include "core/info.h"

#include "core/app.h"
#include "core/error.h"
#include "core/file_utils.h"
#include "core/option_list.h"
#include "core/path_utils.h"
#include "core/profile.h"
#include "core/project.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>

#ifndef TABRIX_MAKER_HOST
#define TABRIX_MAKER_HOST ""
#endif

namespace {

std::atomic<TkvInfo*> g_info{nullptr};

TkvProfile CurrentProfile() {
  if (TkvProject* project = TkvProject::Instance()) return project->Profile();
  return TkvTabrixProfile();
}

QString SupportMailOf(const QString& host) {
  if (host.isEmpty()) return {};
  QString domain = host;
  if (domain.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) domain.remove(0, 4);
  return QStringLiteral("support@") + domain;
}

bool HasDesktopSession() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

}  // namespace

void TkvXdgLinkOpener::Open(const QString& link) {
  if (link.isEmpty() || !HasDesktopSession()) return;
  QProcess::startDetached(QStringLiteral("xdg-open"), {link});
}

TkvInfo::TkvInfo(const TkvApp& app, std::unique_ptr<TkvLinkOpener> opener)
    : exePath_(app.ExePath()),
      helpBase_(app.HelpFileBase()),
      makerHost_(BuildMakerHost()),
      storeFile_(app.InfoStoreFile()) {
  opener_ = opener ? std::shared_ptr<TkvLinkOpener>(std::move(opener))
                   : std::make_shared<TkvXdgLinkOpener>();
  installStamp_ = TkvFileUtils::FileDate(app.ProgramFolder(), true, true);
  try {
    if (QFileInfo::exists(storeFile_)) store_.LoadFromFile(storeFile_);
  } catch (const TkvError&) {
    // An unreadable store starts empty.
  }
  g_info.store(this);
  AddCount(QStringLiteral("R"), 0, 1);
}

TkvInfo::~TkvInfo() {
  TkvInfo* self = this;
  g_info.compare_exchange_strong(self, nullptr);
  TkvMutexLock lock(mutex_);
  SaveLocked();
}

TkvInfo* TkvInfo::Instance() { return g_info.load(); }

void TkvInfo::SetLinkOpener(std::unique_ptr<TkvLinkOpener> opener) {
  if (!opener) opener = std::make_unique<TkvXdgLinkOpener>();
  TkvMutexLock lock(mutex_);
  opener_ = std::move(opener);
}

QString TkvInfo::BuildMakerHost() { return QString::fromUtf8(TABRIX_MAKER_HOST).trimmed(); }

QString TkvInfo::MakerHost() const {
  TkvMutexLock lock(mutex_);
  return makerHost_;
}

void TkvInfo::SetMakerHost(const QString& host) {
  TkvMutexLock lock(mutex_);
  makerHost_ = host.trimmed();
}

QString TkvInfo::SupportMail() const {
  TkvMutexLock lock(mutex_);
  return SupportMailOf(makerHost_);
}

void TkvInfo::SaveLocked() const {
  try {
    const QString folder = TkvFolderPart(storeFile_);
    if (!folder.isEmpty()) QDir().mkpath(folder);
    store_.SaveToFile(storeFile_);
  } catch (const TkvError&) {
    // The store is a convenience: a failed write never stops the caller.
  }
}

void TkvInfo::AddCount(const QString& name, int value, int step) {
  TkvMutexLock lock(mutex_);
  const QString old = store_.Value(name);
  const qint64 next = value > 0 ? qint64(value) : qint64(TkvStrToInt(old, 0)) + step;
  const QString text = QString::number(std::clamp<qint64>(next, INT_MIN, INT_MAX));
  if (text == old) return;
  store_.SetValue(name, text);
  SaveLocked();
}

int TkvInfo::Count(const QString& name) const {
  TkvMutexLock lock(mutex_);
  return TkvStrToInt(store_.Value(name), 0);
}

bool TkvInfo::Quiet() const {
  TkvMutexLock lock(mutex_);
  return TkvStrToBool(store_.Value(QStringLiteral("+")), false);
}

void TkvInfo::SetQuiet(bool quiet) {
  TkvMutexLock lock(mutex_);
  const QString text = quiet ? QStringLiteral("True") : QStringLiteral("False");
  if (store_.Value(QStringLiteral("+")) == text) return;
  store_.SetValue(QStringLiteral("+"), text);
  SaveLocked();
}

QString TkvInfo::CountersText() const {
  TkvMutexLock lock(mutex_);
  return CountersTextLocked();
}

QString TkvInfo::CountersTextLocked() const {
  QString text;
  for (const QString& line : store_.Lines()) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0 || line.at(0) < u'A' || line.at(0) > u'Z') continue;
    text += line.at(0).toLower();
    text += QStringView(line).mid(eq + 1);
  }
  return text;
}

QString TkvInfo::BuildLink(const QString& topic, const QString& action,
                           const QString& extra) const {
  TkvMutexLock lock(mutex_);
  return BuildLinkLocked(topic, action, extra);
}

QString TkvInfo::BuildLinkLocked(const QString& topic, const QString& action,
                                 const QString& extra) const {
  const TkvProfile profile = CurrentProfile();
  if (topic == QLatin1String("h")) {
    // Beside the program first (a build tree), then where an install puts it.
    const QString chm = helpBase_ + QStringLiteral(".chm");
    if (QFileInfo::exists(chm)) return chm;
    const QString pdf = helpBase_ + QStringLiteral(".pdf");
    const QString installed =
        QDir::cleanPath(TkvFolderPart(exePath_) + QStringLiteral("../share/doc/tabrix/tabrix.pdf"));
    return !QFileInfo::exists(pdf) && QFileInfo::exists(installed) ? installed : pdf;
  }
  if (makerHost_.isEmpty()) return {};
  if (topic == QLatin1String("supports")) {
    QString title = profile.Title;
    const qsizetype amp = title.indexOf(u'&');
    if (amp >= 0) title.replace(amp, 1, QStringLiteral("And"));
    return QStringLiteral("mailto:") + SupportMailOf(makerHost_) +
           QStringLiteral("?subject=Support required for ") + title + u' ' + profile.Version +
           QStringLiteral(" - ") + QString::number(installStamp_);
  }
  QString link = QStringLiteral("http://") + makerHost_;
  if (!topic.isEmpty()) {
    link += QStringLiteral("/en/") + profile.ShortName + u'/' + topic + QStringLiteral(".htm");
  } else if (!action.isEmpty()) {
    if (TkvStrToBool(store_.Value(QStringLiteral("+")), false)) return {};
    link += QStringLiteral("/net/");
  }
  const std::pair<const char*, QString> pairs[] = {{"a", action},
                                                   {"p", profile.ShortName},
                                                   {"v", profile.Version},
                                                   {"c", CountersTextLocked()},
                                                   {"i", QString::number(installStamp_)}};
  QStringList query;
  for (const auto& [key, value] : pairs) {
    QString v = value;
    v.remove(u'"');
    if (v.isEmpty()) continue;
    query.append(QLatin1String(key) + u'=' + v);
  }
  QString q = query.join(u'&');
  if (!extra.isEmpty()) q += u'&' + extra;
  return link + u'?' + q;
}

void TkvInfo::OpenLink(const QString& topic, const QString& action, const QString& extra) {
  QString link;
  std::shared_ptr<TkvLinkOpener> opener;
  {
    TkvMutexLock lock(mutex_);
    link = BuildLinkLocked(topic, action, extra);
    opener = opener_;
  }
  if (link.isEmpty() || !opener) return;
  try {
    opener->Open(link);
  } catch (...) {
    // The outcome of opening a link is never examined.
  }
}

void TkvInfo::ReportException(const QString& message) {
  try {
    AddCount(QStringLiteral("E"), 0, 1);
  } catch (...) {
  }
  try {
    OpenLink(QString(), QStringLiteral("err&e=") + message, QString());
  } catch (...) {
  }
}

void TkvInfo::ReportFailures(const QStringList& failures) {
  OpenLink(QString(), QStringLiteral("err&e=") + TkvFailureReportText(failures), QString());
}

QString TkvFailureReportText(const QStringList& failures) {
  QString text;
  if (failures.size() == 1 && failures.first().isEmpty()) {
    text = QStringLiteral("\"\"");
  } else {
    for (qsizetype i = 0; i < failures.size(); ++i) {
      if (i > 0) text += u',';
      const QString& entry = failures.at(i);
      const bool quote = std::any_of(entry.begin(), entry.end(), [](QChar c) {
        return c.unicode() <= u' ' || c == u',' || c == u'"';
      });
      if (quote) {
        QString inner = entry;
        inner.replace(QLatin1String("\""), QLatin1String("\"\""));
        text += u'"' + inner + u'"';
      } else {
        text += entry;
      }
    }
  }
  text.replace(QLatin1String("?"), QLatin1String("%3F"));
  return text;
}
