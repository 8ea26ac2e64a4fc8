#include "LogCapture.h"

#include <iostream>
#include <sstream>

namespace testsupport {

LogCapture::LogCapture() : previous(std::cout.rdbuf(&buffer)) {}

LogCapture::~LogCapture() {
    std::cout.rdbuf(previous);
}

std::string LogCapture::text() const {
    return buffer.text();
}

std::vector<std::string> LogCapture::lines() const {
    std::vector<std::string> result;
    std::istringstream in(text());
    std::string line;
    while (std::getline(in, line)) {
        result.push_back(line);
    }
    return result;
}

bool LogCapture::contains(const std::string& fragment) const {
    return text().find(fragment) != std::string::npos;
}

int LogCapture::count(const std::string& fragment) const {
    int n = 0;
    for (const std::string& line : lines()) {
        if (line.find(fragment) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

void LogCapture::clear() {
    buffer.clear();
}

std::string LogCapture::Buffer::text() const {
    std::lock_guard<std::mutex> lock(mutex);
    return captured;
}

void LogCapture::Buffer::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    captured.clear();
}

LogCapture::Buffer::int_type LogCapture::Buffer::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        std::lock_guard<std::mutex> lock(mutex);
        captured.push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
}

std::streamsize LogCapture::Buffer::xsputn(const char* data, std::streamsize size) {
    std::lock_guard<std::mutex> lock(mutex);
    captured.append(data, static_cast<std::size_t>(size));
    return size;
}

}  // namespace testsupport
