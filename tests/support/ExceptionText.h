// The text of the exception of type E that a call throws, for comparing exact messages in
// tables of cases; "<no exception>" when the call returns. Other exceptions pass through.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace testsupport {

template <class E = std::exception>
std::string exceptionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "<no exception>";
}

}  // namespace testsupport
