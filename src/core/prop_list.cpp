#include "core/prop_list.h"

#include "core/option_list.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QVariant>

namespace {

bool FindProperty(const QObject* object, const QString& name, QMetaProperty& found) {
  if (!object || name.isEmpty()) return false;
  const QMetaObject* meta = object->metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty prop = meta->property(i);
    if (name.compare(QLatin1String(prop.name()), Qt::CaseInsensitive) == 0) {
      found = prop;
      return true;
    }
  }
  return false;
}

bool IsIntegerType(int id) {
  switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return true;
    default:
      return false;
  }
}

}  // namespace

TkvPropList::TkvPropList(QObject* object) : object_(object) {}

bool TkvPropList::ReadProp(const QString& name, QString& text) const {
  QObject* object = object_.data();
  QMetaProperty prop;
  if (!FindProperty(object, name, prop) || !prop.isReadable()) return false;
  const QVariant value = prop.read(object);
  if (!value.isValid()) return false;
  const int type = prop.metaType().id();
  if (type == QMetaType::Bool) {
    text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  } else if (prop.isEnumType()) {
    const QMetaEnum e = prop.enumerator();
    const QByteArray key =
        e.isFlag() ? e.valueToKeys(value.toInt()) : QByteArray(e.valueToKey(value.toInt()));
    if (key.isEmpty()) return false;
    text = QString::fromLatin1(key);
  } else if (IsIntegerType(type)) {
    text = QString::number(value.toLongLong());
  } else {
    if (!value.canConvert<QString>()) return false;
    text = value.toString();
  }
  return true;
}

bool TkvPropList::WriteProp(const QString& name, const QString& text) {
  QObject* object = object_.data();
  QMetaProperty prop;
  if (!FindProperty(object, name, prop) || !prop.isWritable()) return false;
  const int type = prop.metaType().id();
  const QString key = text.isEmpty() ? QStringLiteral("False") : text;
  if (type == QMetaType::Bool) {
    if (key.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
      return prop.write(object, true);
    if (key.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
      return prop.write(object, false);
    // A number is a Boolean to every reader of the option ("Subdir=1"); the
    // box must show what the run will do, or the next collection would
    // silently write the opposite back.
    const bool a = TkvStrToBool(key, false);
    if (a != TkvStrToBool(key, true)) return false;
    return prop.write(object, a);
  }
  if (prop.isEnumType()) {
    const QMetaEnum e = prop.enumerator();
    for (int i = 0; i < e.keyCount(); ++i) {
      if (key.compare(QLatin1String(e.key(i)), Qt::CaseInsensitive) == 0)
        return prop.write(object, e.value(i));
    }
    return false;
  }
  if (IsIntegerType(type)) {
    // Two different defaults tell a real number from a rejected text.
    const int a = TkvStrToInt(text, 0);
    if (a != TkvStrToInt(text, 1)) return false;
    return prop.write(object, a);
  }
  QVariant value(text);
  if (!value.convert(prop.metaType())) return false;
  return prop.write(object, value);
}
