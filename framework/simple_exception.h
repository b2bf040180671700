// simpleException: the configuration error a module constructor throws, with its fixed message.
#pragma once

#include <exception>
#include <string>

class simpleException : public std::exception {
public:
    explicit simpleException(const std::string& text) : message(text) {}
    simpleException(const simpleException& other) : std::exception(other), message(other.message) {}

    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};
