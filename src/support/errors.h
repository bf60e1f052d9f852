// The three kinds of failure of this program: ordinary errors carrying a
// message, database errors that also carry the Firebird SQL code, and the
// silent abort that ends the current operation and that every top-level
// handler swallows without a message.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace kelvaro {

class Error : public std::exception {
 public:
  explicit Error(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
  const QString& message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  QString message_;
  std::string utf8_;
};

// A failed system call: "Erreur système.  Code : N.\r\n<system text>".
class OsError : public Error {
 public:
  explicit OsError(uint32_t code);
  uint32_t code() const { return code_; }

 private:
  uint32_t code_;
};

// errorCodes: the server's own error codes, most general first (for
// example "deadlock", then "update conflicts with concurrent update"), which
// tell apart failures that share one SQL code.
class DatabaseError : public Error {
 public:
  DatabaseError(QString message, int sqlCode, std::vector<int64_t> errorCodes = {})
      : Error(std::move(message)), sqlCode_(sqlCode), errorCodes_(std::move(errorCodes)) {}
  int sqlCode() const { return sqlCode_; }
  const std::vector<int64_t>& errorCodes() const { return errorCodes_; }

 private:
  int sqlCode_;
  std::vector<int64_t> errorCodes_;
};

class SilentAbort : public Error {
 public:
  SilentAbort() : Error(QStringLiteral("Operation aborted")) {}
};

}  // namespace kelvaro
