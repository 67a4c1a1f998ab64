#include "convert/automation/variant.h"

#include "convert/automation/auto_object.h"

#include <QLocale>

#include <cmath>
#include <limits>

TkvVariant::TkvVariant(std::shared_ptr<TkvAutoObject> value) {
  if (value) value_ = std::move(value);
}

namespace {

[[noreturn]] void ThrowMismatch(const TkvVariant& v, const char* wanted) {
  throw TkvAutomationError(
      QStringLiteral("Type mismatch: %1 is not %2").arg(v.Describe(), QLatin1String(wanted)));
}

bool ParseNumber(const QString& text, double* out) {
  bool ok = false;
  const double d = QLocale::c().toDouble(text.trimmed(), &ok);
  if (ok) *out = d;
  return ok;
}

}  // namespace

bool TkvVariant::TryToDouble(double* out) const {
  switch (GetType()) {
    case Type::Empty:
      *out = 0;
      return true;
    case Type::Boolean:
      *out = std::get<bool>(value_) ? -1 : 0;
      return true;
    case Type::Integer:
      *out = std::get<std::int32_t>(value_);
      return true;
    case Type::Double:
      *out = std::get<double>(value_);
      return true;
    case Type::Text:
      return ParseNumber(std::get<QString>(value_), out);
    default:
      return false;
  }
}

double TkvVariant::ToDouble() const {
  double d = 0;
  if (!TryToDouble(&d)) ThrowMismatch(*this, "a number");
  return d;
}

std::int32_t TkvVariant::ToInt() const {
  if (GetType() == Type::Integer) return std::get<std::int32_t>(value_);
  const double d = std::nearbyint(ToDouble());  // default rounding: half to even
  if (!(d >= std::numeric_limits<std::int32_t>::min() &&
        d <= std::numeric_limits<std::int32_t>::max()))
    throw TkvAutomationError(
        QStringLiteral("Overflow: %1 does not fit a 32-bit integer").arg(Describe()));
  return static_cast<std::int32_t>(d);
}

bool TkvVariant::ToBool() const {
  if (GetType() == Type::Boolean) return std::get<bool>(value_);
  if (GetType() == Type::Text) {
    const QString t = std::get<QString>(value_).trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  }
  double d = 0;
  if (!TryToDouble(&d)) ThrowMismatch(*this, "a Boolean");
  return d != 0;
}

QString TkvVariant::ToText() const {
  switch (GetType()) {
    case Type::Empty:
      return {};
    case Type::Boolean:
      return std::get<bool>(value_) ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer:
      return QString::number(std::get<std::int32_t>(value_));
    case Type::Double:
      return QLocale::c().toString(std::get<double>(value_), 'g', 15);
    case Type::Text:
      return std::get<QString>(value_);
    default:
      ThrowMismatch(*this, "text");
  }
}

std::shared_ptr<TkvAutoObject> TkvVariant::ToObject() const {
  if (GetType() != Type::Object) ThrowMismatch(*this, "an object");
  return std::get<std::shared_ptr<TkvAutoObject>>(value_);
}

const QList<TkvVariant>& TkvVariant::ToArray() const {
  if (GetType() != Type::Array) ThrowMismatch(*this, "an array");
  return std::get<QList<TkvVariant>>(value_);
}

QString TkvVariant::Describe() const {
  switch (GetType()) {
    case Type::Empty:
      return QStringLiteral("an empty value");
    case Type::Omitted:
      return QStringLiteral("an omitted argument");
    case Type::Boolean:
      return QStringLiteral("Boolean %1").arg(ToText());
    case Type::Integer:
      return QStringLiteral("integer %1").arg(ToText());
    case Type::Double:
      return QStringLiteral("number %1").arg(ToText());
    case Type::Text:
      return QStringLiteral("text \"%1\"").arg(std::get<QString>(value_));
    case Type::Object:
      return QStringLiteral("an object");
    case Type::Array:
      return QStringLiteral("an array of %1 values")
          .arg(std::get<QList<TkvVariant>>(value_).size());
  }
  return {};
}

bool operator==(const TkvVariant& a, const TkvVariant& b) {
  if (a.value_.index() != b.value_.index()) return false;
  switch (a.GetType()) {
    case TkvVariant::Type::Empty:
    case TkvVariant::Type::Omitted:
      return true;
    case TkvVariant::Type::Boolean:
      return std::get<bool>(a.value_) == std::get<bool>(b.value_);
    case TkvVariant::Type::Integer:
      return std::get<std::int32_t>(a.value_) == std::get<std::int32_t>(b.value_);
    case TkvVariant::Type::Double:
      return std::get<double>(a.value_) == std::get<double>(b.value_);
    case TkvVariant::Type::Text:
      return std::get<QString>(a.value_) == std::get<QString>(b.value_);
    case TkvVariant::Type::Object:
      return std::get<std::shared_ptr<TkvAutoObject>>(a.value_) ==
             std::get<std::shared_ptr<TkvAutoObject>>(b.value_);
    case TkvVariant::Type::Array:
      return std::get<QList<TkvVariant>>(a.value_) == std::get<QList<TkvVariant>>(b.value_);
  }
  return false;
}
