// Captures what is written to standard output (where the logger writes every line) while the
// helper lives. Safe to read while other threads log.
#pragma once

#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

namespace testsupport {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const;
    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;
    // How many captured lines contain the fragment.
    int count(const std::string& fragment) const;
    void clear();

private:
    class Buffer : public std::streambuf {
    public:
        std::string text() const;
        void clear();

    protected:
        int_type overflow(int_type ch) override;
        std::streamsize xsputn(const char* data, std::streamsize size) override;

    private:
        mutable std::mutex mutex;
        std::string captured;
    };

    Buffer buffer;
    std::streambuf* previous;
};

}  // namespace testsupport
