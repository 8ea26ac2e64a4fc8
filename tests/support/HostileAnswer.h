// The misbehaviours of a hostile or broken NWS host, each a named mode, written as cpp-httplib
// answers: the loopback servers of the tests give them per route (HttpTestServer::hostile),
// the fixture NWS on every feed request (fixture_nws --hostile MODE). Test tooling only.
//
//   httplib::Response response;
//   HostileAnswer::answer("trickle", request, response, options);
//
// The documents are shaped like a current observation (the huge alert feed like an alert
// feed), so that a provider gets as far as the mode lets it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace testsupport {

class HostileAnswer {
public:
    struct Mode {
        std::string name;
        std::string description;
    };

    // What some modes need besides the request.
    struct Options {
        std::string localFile = "/etc/hostname";          // the target of redirect-file
        std::string fifo = "/tmp/ombrix-hostile.fifo";    // the target of redirect-fifo
        const std::atomic<bool>* stopping = nullptr;      // ends trickle, stall and endless
        std::atomic<long long>* bytesStreamed = nullptr;  // counts what endless has sent
    };

    // Every mode, in the order of the README.
    static const std::vector<Mode>& modes();
    static bool isMode(const std::string& name);

    // The limits the modes pass: just over the body limit, the size of the huge feed.
    static constexpr long long OVERSIZE_BYTES = (16LL << 20) + (1 << 20);
    static constexpr int HUGE_FEED_ENTRIES = 10000;
    // many-elements and too-many-alerts.
    static constexpr int MANY_ELEMENTS = 4000000;
    static constexpr int TOO_MANY_ALERTS = 15000;
    // trickle, stall and endless end by themselves after this long.
    static constexpr int STREAM_SECONDS = 120;

    // Fills response as mode misbehaves; an unknown mode gets a 500.
    static void answer(const std::string& mode, const httplib::Request& request,
                       httplib::Response& response, const Options& options);
};

}  // namespace testsupport
