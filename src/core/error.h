#pragma once
// The error every layer raises: it carries a message for the user and an
// optional numeric code. Conversions catch it and turn it into an item's
// result; the unattended run prints it and exits with code 1.

#include <QString>

#include <exception>
#include <string>

class TkvError : public std::exception {
 public:
  explicit TkvError(QString message, int code = 0)
      : message_(std::move(message)), code_(code), what_(message_.toUtf8().toStdString()) {}

  const QString& Message() const noexcept { return message_; }
  int Code() const noexcept { return code_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  QString message_;
  int code_;
  std::string what_;
};
