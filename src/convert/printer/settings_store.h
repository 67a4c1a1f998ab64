#pragma once
// The settings store that PDF printer drivers read: a per-user hive and a
// machine-wide hive of keys holding named string values, one text file per
// hive, plus a read-only key listing the installed printers.
//
// Every operation that fails throws TkvError naming the hive file or key;
// callers that treat the store as optional catch and ignore it. Keys, value
// names and hives may be used from any thread and by several processes at
// once: each write is a locked read-modify-replace of the hive file, and a
// key handle reads the file afresh on every call.

#include "convert/printer/printer_list.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

enum class TkvHive { CurrentUser, LocalMachine };
enum class TkvKeyOpen { Existing, Create };
enum class TkvKeyAccess { Read, ReadWrite };

// An open key. Closing is destruction.
class TkvSettingsKey {
 public:
  virtual ~TkvSettingsKey() = default;
  TkvSettingsKey() = default;
  TkvSettingsKey(const TkvSettingsKey&) = delete;
  TkvSettingsKey& operator=(const TkvSettingsKey&) = delete;

  // The value, or nullopt when the key has no value of that name.
  virtual std::optional<QString> ReadString(const QString& name) const = 0;
  virtual void WriteString(const QString& name, const QString& value) = 0;
  virtual QStringList ValueNames() const = 0;
};

// One hive file; it holds no state of its own, so const handles may change
// the file. Key paths use "\" between names; names and value names
// are matched without regard to letter case and keep the case they were
// first written with.
class TkvSettingsHive {
 public:
  explicit TkvSettingsHive(QString filePath);

  const QString& FilePath() const { return filePath_; }
  // A key exists when it or one of its sub-keys was created.
  bool KeyExists(const QString& key) const;
  // Whether this process may change the hive file (file and folder).
  bool Writable() const;
  void CreateKey(const QString& key) const;
  std::optional<QString> Read(const QString& key, const QString& name) const;
  void Write(const QString& key, const QString& name, const QString& value) const;
  QStringList ValueNames(const QString& key) const;

  // Key path with its names checked and empty parts dropped; throws on a
  // path that names no key or holds a line break or "[" / "]".
  static QString NormalizeKey(const QString& key);

 private:
  struct Key {
    QString path;
    std::vector<std::pair<QString, QString>> values;
  };
  using Content = std::vector<Key>;

  Content Load() const;
  void Save(const Content& content) const;
  static Key* Find(Content& content, const QString& key);
  static const Key* Find(const Content& content, const QString& key);
  template <class Change>
  void Modify(Change change) const;

  QString filePath_;
};

class TkvSettingsStore {
 public:
  // The per-user key whose value names are the installed printers.
  static const QString kDevicesKey;

  // Default hives ($XDG_CONFIG_HOME/tabrix, $TABRIX_MACHINE_CONFIG_DIR or
  // /etc/tabrix) and the CUPS printer list.
  TkvSettingsStore();
  TkvSettingsStore(const QString& userRoot, const QString& machineRoot,
                   std::shared_ptr<const TkvPrinterList> printers);

  static QString DefaultUserRoot();
  static QString DefaultMachineRoot();
  // The hive file inside a root folder.
  static QString HiveFile(const QString& root);

  // Opens a key. `Existing` fails when the key is missing; `Create`
  // creates it with its parents. With ReadWrite access it fails as well when
  // the hive file cannot be written (the Devices key excepted, which is
  // read-only whatever was asked).
  std::unique_ptr<TkvSettingsKey> OpenKey(TkvHive hive, const QString& key, TkvKeyOpen how,
                                          TkvKeyAccess access = TkvKeyAccess::ReadWrite) const;

  const TkvPrinterList& Printers() const { return *printers_; }

 private:
  TkvSettingsHive user_;
  TkvSettingsHive machine_;
  std::shared_ptr<const TkvPrinterList> printers_;
};
