#include "convert/printer/settings_store.h"

#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kHeader = QStringLiteral(
    "; Tabrix settings. A [key] line opens a key; \"name\"=\"value\" lines below it are its\n"
    "; string values (\\\\ and \\\" escaped, \\n and \\r for line breaks). UTF-8.\n");

// Exclusive lock on "<hive>.lock", held for one read-modify-replace.
class HiveLock {
 public:
  explicit HiveLock(const QString& hiveFile) {
    const QByteArray path = QFile::encodeName(hiveFile + QStringLiteral(".lock"));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) {
      const int error = errno;
      if (fd_ >= 0) ::close(fd_);
      throw TkvError(QStringLiteral("The settings file %1 cannot be locked: %2")
                         .arg(hiveFile, QString::fromLocal8Bit(strerror(error))));
    }
  }
  ~HiveLock() { ::close(fd_); }  // closing releases the lock
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;

 private:
  int fd_ = -1;
};

QString Quote(const QString& text) {
  QString out = QStringLiteral("\"");
  for (QChar c : text) {
    if (c == u'\\')
      out += QStringLiteral("\\\\");
    else if (c == u'"')
      out += QStringLiteral("\\\"");
    else if (c == u'\n')
      out += QStringLiteral("\\n");
    else if (c == u'\r')
      out += QStringLiteral("\\r");
    else
      out += c;
  }
  return out + u'"';
}

// Reads a quoted string starting at `pos`; moves `pos` past it.
std::optional<QString> Unquote(const QString& line, qsizetype& pos) {
  if (pos >= line.size() || line[pos] != u'"') return std::nullopt;
  QString out;
  for (++pos; pos < line.size(); ++pos) {
    const QChar c = line[pos];
    if (c == u'"') {
      ++pos;
      return out;
    }
    if (c != u'\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return std::nullopt;
    const QChar e = line[pos];
    if (e == u'\\' || e == u'"')
      out += e;
    else if (e == u'n')
      out += u'\n';
    else if (e == u'r')
      out += u'\r';
    else
      return std::nullopt;
  }
  return std::nullopt;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool IsSelfOrBelow(const QString& path, const QString& key) {
  return SameName(path, key) || (path.size() > key.size() && path.at(key.size()) == u'\\' &&
                                 SameName(path.left(key.size()), key));
}

bool CanWriteInto(const QString& folder) {
  QString probe = folder;
  while (!QFileInfo::exists(probe)) {  // the folder would be created
    const QString parent = QFileInfo(probe).absolutePath();
    if (parent == probe) return false;
    probe = parent;
  }
  return QFileInfo(probe).isDir() && ::access(QFile::encodeName(probe).constData(), W_OK) == 0;
}

class HiveKey final : public TkvSettingsKey {
 public:
  HiveKey(const TkvSettingsHive& hive, QString key) : hive_(hive), key_(std::move(key)) {}
  std::optional<QString> ReadString(const QString& name) const override {
    return hive_.Read(key_, name);
  }
  void WriteString(const QString& name, const QString& value) override {
    hive_.Write(key_, name, value);
  }
  QStringList ValueNames() const override { return hive_.ValueNames(key_); }

 private:
  const TkvSettingsHive& hive_;
  QString key_;
};

// The installed printers as values "<name>" = "cups,<queue>": each queue
// under its own name and, when it has a different one, its description.
class DevicesKey final : public TkvSettingsKey {
 public:
  explicit DevicesKey(const std::vector<TkvPrinterInfo>& printers) {
    auto add = [this](const QString& name, const QString& queue) {
      if (name.isEmpty() || Find(name)) return;
      values_.emplace_back(name, QStringLiteral("cups,") + queue);
    };
    for (const auto& p : printers) add(p.queue, p.queue);
    for (const auto& p : printers) add(p.description, p.queue);
  }
  std::optional<QString> ReadString(const QString& name) const override {
    const auto* v = Find(name);
    return v ? std::optional<QString>(v->second) : std::nullopt;
  }
  void WriteString(const QString&, const QString&) override {
    throw TkvError(
        QStringLiteral("The key %1 is read-only: it lists the printers installed in CUPS")
            .arg(TkvSettingsStore::kDevicesKey));
  }
  QStringList ValueNames() const override {
    QStringList names;
    for (const auto& v : values_) names << v.first;
    return names;
  }

 private:
  const std::pair<QString, QString>* Find(const QString& name) const {
    for (const auto& v : values_) {
      if (SameName(v.first, name)) return &v;
    }
    return nullptr;
  }
  std::vector<std::pair<QString, QString>> values_;
};

}  // namespace

// ---- TkvSettingsHive ----

TkvSettingsHive::TkvSettingsHive(QString filePath) : filePath_(std::move(filePath)) {}

QString TkvSettingsHive::NormalizeKey(const QString& key) {
  QStringList parts;
  for (const QString& part : key.split(u'\\', Qt::SkipEmptyParts)) {
    if (part.contains(u'\n') || part.contains(u'\r') || part.contains(u'[') ||
        part.contains(u']')) {
      throw TkvError(QStringLiteral("Invalid settings key name: %1").arg(key));
    }
    parts << part;
  }
  if (parts.isEmpty()) throw TkvError(QStringLiteral("Invalid settings key name: \"%1\"").arg(key));
  return parts.join(u'\\');
}

TkvSettingsHive::Content TkvSettingsHive::Load() const {
  QFile file(filePath_);
  if (!file.exists()) return {};
  if (!file.open(QIODevice::ReadOnly)) {
    throw TkvError(QStringLiteral("The settings file %1 cannot be read: %2")
                       .arg(filePath_, file.errorString()));
  }
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  Content content;
  qsizetype current = -1;  // the key the value lines belong to
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    if (line.endsWith(u'\r')) line.chop(1);
    auto damaged = [&] {
      return TkvError(
          QStringLiteral("The settings file %1 is damaged at line %2").arg(filePath_).arg(i + 1));
    };
    if (line.trimmed().isEmpty() || line.startsWith(u';')) continue;
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      QString key;
      try {
        key = NormalizeKey(line.mid(1, line.size() - 2));
      } catch (const TkvError&) {
        throw damaged();
      }
      Key* existing = Find(content, key);
      current = existing ? existing - content.data() : static_cast<qsizetype>(content.size());
      if (!existing) content.push_back({key, {}});
      continue;
    }
    qsizetype pos = 0;
    const auto name = Unquote(line, pos);
    if (!name || current < 0 || pos >= line.size() || line[pos] != u'=') throw damaged();
    ++pos;
    const auto value = Unquote(line, pos);
    if (!value || pos != line.size()) throw damaged();
    auto& values = content[current].values;
    bool replaced = false;
    for (auto& v : values) {
      if (SameName(v.first, *name)) {
        v.second = *value;
        replaced = true;
      }
    }
    if (!replaced) values.emplace_back(*name, *value);
  }
  return content;
}

void TkvSettingsHive::Save(const Content& content) const {
  QString text = kHeader;
  for (const Key& key : content) {
    text += QStringLiteral("\n[%1]\n").arg(key.path);
    for (const auto& [name, value] : key.values) text += Quote(name) + u'=' + Quote(value) + u'\n';
  }
  QSaveFile file(filePath_);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
    throw TkvError(QStringLiteral("The settings file %1 cannot be written: %2")
                       .arg(filePath_, file.errorString()));
  }
}

TkvSettingsHive::Key* TkvSettingsHive::Find(Content& content, const QString& key) {
  for (Key& k : content) {
    if (SameName(k.path, key)) return &k;
  }
  return nullptr;
}

const TkvSettingsHive::Key* TkvSettingsHive::Find(const Content& content, const QString& key) {
  for (const Key& k : content) {
    if (SameName(k.path, key)) return &k;
  }
  return nullptr;
}

template <class Change>
void TkvSettingsHive::Modify(Change change) const {
  const QString folder = QFileInfo(filePath_).absolutePath();
  if (!QDir().mkpath(folder)) {
    throw TkvError(QStringLiteral("The settings folder %1 cannot be created").arg(folder));
  }
  HiveLock lock(filePath_);
  Content content = Load();
  change(content);
  Save(content);
}

bool TkvSettingsHive::KeyExists(const QString& key) const {
  const QString path = NormalizeKey(key);
  for (const Key& k : Load()) {
    if (IsSelfOrBelow(k.path, path)) return true;
  }
  return false;
}

bool TkvSettingsHive::Writable() const {
  const QFileInfo info(filePath_);
  if (info.exists() && ::access(QFile::encodeName(filePath_).constData(), W_OK) != 0) return false;
  return CanWriteInto(info.absolutePath());
}

void TkvSettingsHive::CreateKey(const QString& key) const {
  const QString path = NormalizeKey(key);
  Modify([&](Content& content) {
    if (!Find(content, path)) content.push_back({path, {}});
  });
}

std::optional<QString> TkvSettingsHive::Read(const QString& key, const QString& name) const {
  const Content content = Load();
  if (const Key* k = Find(content, NormalizeKey(key))) {
    for (const auto& [n, v] : k->values) {
      if (SameName(n, name)) return v;
    }
  }
  return std::nullopt;
}

void TkvSettingsHive::Write(const QString& key, const QString& name, const QString& value) const {
  const QString path = NormalizeKey(key);
  Modify([&](Content& content) {
    Key* k = Find(content, path);
    if (!k) {
      content.push_back({path, {}});
      k = &content.back();
    }
    for (auto& v : k->values) {
      if (SameName(v.first, name)) {
        v.second = value;
        return;
      }
    }
    k->values.emplace_back(name, value);
  });
}

QStringList TkvSettingsHive::ValueNames(const QString& key) const {
  QStringList names;
  const Content content = Load();
  if (const Key* k = Find(content, NormalizeKey(key))) {
    for (const auto& v : k->values) names << v.first;
  }
  return names;
}

// ---- TkvSettingsStore ----

const QString TkvSettingsStore::kDevicesKey =
    QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices");

TkvSettingsStore::TkvSettingsStore()
    : TkvSettingsStore(DefaultUserRoot(), DefaultMachineRoot(),
                       std::make_shared<TkvCupsPrinterList>()) {}

TkvSettingsStore::TkvSettingsStore(const QString& userRoot, const QString& machineRoot,
                                   std::shared_ptr<const TkvPrinterList> printers)
    : user_(HiveFile(userRoot)), machine_(HiveFile(machineRoot)), printers_(std::move(printers)) {}

QString TkvSettingsStore::DefaultUserRoot() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/tabrix");
}

QString TkvSettingsStore::DefaultMachineRoot() {
  const QByteArray env = qgetenv("TABRIX_MACHINE_CONFIG_DIR");
  return env.isEmpty() ? QStringLiteral("/etc/tabrix") : QFile::decodeName(env);
}

QString TkvSettingsStore::HiveFile(const QString& root) {
  return root + QStringLiteral("/settings.reg");
}

std::unique_ptr<TkvSettingsKey> TkvSettingsStore::OpenKey(TkvHive hive, const QString& key,
                                                          TkvKeyOpen how,
                                                          TkvKeyAccess access) const {
  const QString path = TkvSettingsHive::NormalizeKey(key);
  if (hive == TkvHive::CurrentUser && SameName(path, kDevicesKey)) {
    return std::make_unique<DevicesKey>(printers_->Printers());
  }
  const TkvSettingsHive& file = hive == TkvHive::CurrentUser ? user_ : machine_;
  if ((access == TkvKeyAccess::ReadWrite || how == TkvKeyOpen::Create) && !file.Writable()) {
    throw TkvError(QStringLiteral("The settings file %1 cannot be changed: access denied")
                       .arg(file.FilePath()));
  }
  if (!file.KeyExists(path)) {
    if (how == TkvKeyOpen::Existing) {
      throw TkvError(
          QStringLiteral("The settings key %1 does not exist in %2").arg(path, file.FilePath()));
    }
    file.CreateKey(path);
  }
  return std::make_unique<HiveKey>(file, path);
}
