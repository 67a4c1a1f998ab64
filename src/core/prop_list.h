#pragma once
// Reads and writes one object's Qt properties by name, as text. Property
// names are matched without letter case ("Text" finds "text"). Neither
// operation reports a failure: a missing property or an unfitting value
// leaves things as they are. The object is not owned; when it is destroyed
// the accessor quietly does nothing.

#include <QObject>
#include <QPointer>
#include <QString>

class TkvPropList {
 public:
  explicit TkvPropList(QObject* object);
  TkvPropList(const TkvPropList&) = delete;
  TkvPropList& operator=(const TkvPropList&) = delete;

  QObject* Object() const { return object_.data(); }

  // Integer -> decimal text; bool -> "True"/"False"; enumeration -> the
  // identifier of its value; other -> its text. Returns false (and leaves
  // `text` unchanged) when there is no such readable property.
  bool ReadProp(const QString& name, QString& text) const;
  // bool/enumeration: the value whose identifier equals `text` (letter case
  // ignored; empty means "False"); integer: a decimal or hex number; other:
  // the text unchanged. Returns whether the property was written.
  bool WriteProp(const QString& name, const QString& text);

 private:
  QPointer<QObject> object_;
};
