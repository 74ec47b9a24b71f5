// The exception classes. Every floor raises them, so they sit below all of
// them and include nothing of the program's.
#pragma once

#include <exception>
#include <string>
#include <utility>

// The root of every failure the program raises.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

// A failed text-file or console operation. It keeps the file's name and the
// system's reason apart from the message, for a platform that tells them.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
  EInOutError(std::string message, std::string fileName, std::string reason)
      : Exception(std::move(message)), fileName_(std::move(fileName)), reason_(std::move(reason)) {}
  const std::string& FileName() const { return fileName_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};
