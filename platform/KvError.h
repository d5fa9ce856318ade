#pragma once
#include <stdexcept>
#include <string>

#include <QString>

// The general exception class of the suite: every error the frame raises on purpose is one of these.
class EKvError : public std::runtime_error {
public:
    explicit EKvError(const std::string& message) : std::runtime_error(message) {}
    explicit EKvError(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit EKvError(const char* message) : std::runtime_error(message) {}
    QString message() const { return QString::fromUtf8(what()); }
};
