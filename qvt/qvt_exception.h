// QVTException: what the vector library throws, with the library source and line that raised it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class QVTException : public std::exception {
public:
    QVTException(std::string message, std::string source, std::int32_t line)
        : m_message(std::move(message)), m_source(std::move(source)), m_line(line) {}

    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& message() const { return m_message; }
    // The library source that raised it: "qvt/base_vector", "qvt/vector_func" or "qvt/operations".
    const std::string& source() const { return m_source; }
    std::int32_t line() const { return m_line; }

private:
    std::string m_message;
    std::string m_source;
    std::int32_t m_line;
};
