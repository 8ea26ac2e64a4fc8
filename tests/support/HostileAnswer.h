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
        // The file file-icon and file-icon-forecast link to (best an image, to show it is not
        // read): a path without "file://".
        std::string iconFile = "/etc/hostname";
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

    // --- Image links, icon fetches, endless headers and image bombs ---
    // The side of the huge-image PNG (4 bytes a pixel decoded, under Qt's own 128 MB limit),
    // the periods of the many-periods forecast and the path its distinct icon links start with.
    static constexpr int HUGE_IMAGE_SIDE = 5600;
    static constexpr int MANY_PERIODS = 2000;
    static constexpr const char* MANY_PERIODS_ICONS = "/images/many/";
    // The path a mode is aimed at when no other is given: the observations for most modes,
    // the icons for the image modes, the forecast for the forecast modes.
    static std::string defaultPath(const std::string& mode);
    // A small PNG of side x side pixels (a few kilobytes, whatever its size decoded).
    static std::string png(int side);

    // Fills response as mode misbehaves; an unknown mode gets a 500.
    static void answer(const std::string& mode, const httplib::Request& request,
                       httplib::Response& response, const Options& options);
};

}  // namespace testsupport
