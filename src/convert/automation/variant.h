#pragma once
// The value passed to and returned by late-bound automation calls.

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

class TkvAutoObject;

class TkvVariant {
 public:
  enum class Type { Empty, Omitted, Boolean, Integer, Double, Text, Object, Array };

  // An argument position the caller leaves out.
  struct OmittedTag {};
  static constexpr OmittedTag Omitted{};

  TkvVariant() = default;
  TkvVariant(OmittedTag) : value_(OmittedTag{}) {}
  TkvVariant(bool value) : value_(value) {}
  TkvVariant(std::int32_t value) : value_(value) {}
  TkvVariant(double value) : value_(value) {}
  TkvVariant(QString value) : value_(std::move(value)) {}
  TkvVariant(const char* value) : value_(QString::fromUtf8(value)) {}
  TkvVariant(std::shared_ptr<TkvAutoObject> value);
  TkvVariant(QList<TkvVariant> value) : value_(std::move(value)) {}

  Type GetType() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return GetType() == Type::Empty; }
  bool IsOmitted() const { return GetType() == Type::Omitted; }
  // Empty or omitted: the caller gave no value.
  bool IsMissing() const { return IsEmpty() || IsOmitted(); }

  // Coercions in the manner of automation servers. Each raises
  // TkvAutomationError naming the wanted type when the value does not convert.
  // Text converts to numbers in the C locale ("16.0"); numbers convert to
  // text in the C locale; Booleans convert to -1/0 and from any non-zero number.
  bool ToBool() const;
  std::int32_t ToInt() const;  // rounds doubles half to even, as automation does
  double ToDouble() const;
  QString ToText() const;
  std::shared_ptr<TkvAutoObject> ToObject() const;  // never null
  const QList<TkvVariant>& ToArray() const;

  // Non-raising conversion for callers that have a fallback.
  bool TryToDouble(double* out) const;

  // Short description for error messages ("text \"abc\"", "an object").
  QString Describe() const;

  friend bool operator==(const TkvVariant& a, const TkvVariant& b);

 private:
  using Storage = std::variant<std::monostate, OmittedTag, bool, std::int32_t, double, QString,
                               std::shared_ptr<TkvAutoObject>, QList<TkvVariant>>;
  Storage value_;
};

using TkvArgs = QList<TkvVariant>;
