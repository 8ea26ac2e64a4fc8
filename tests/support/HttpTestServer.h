// A real HTTP server on 127.0.0.1 for the tests that fetch over the network (built on
// cpp-httplib). It listens on a free port it picks itself from construction to destruction
// (or stop()) and answers GET requests from a route table: path (+ query) -> status,
// headers, body and an optional delay. It records every request it receives.
//
//   testsupport::HttpTestServer server;
//   server.addRoute("/xml/current_obs/KXYZ.xml", HttpTestServer::fixture("obs_kxyz.xml"));
//   server.addRoute("/old", HttpTestServer::redirect(302, server.url("/new")));
//   qputenv("OMBRIX_NWS_HOST", server.host().c_str());
//   ... fetch ...
//   EXPECT_EQ(server.requestCount("/xml/current_obs/KXYZ.xml"), 1);
//
// Route lookup: the raw request target (path and query exactly as sent) first, then the
// path alone, so a route registered without "?" answers that path with any query. A request
// no route matches gets 404 with the body "no route". Routes may be changed while running.
// A route may misbehave: server.addRoute(path, HttpTestServer::hostile("stall")).
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

// Qt's network thread takes each request's objects over and hands them back through atomics
// that ThreadSanitizer cannot see (Qt is not instrumented), so every real fetch is reported as
// a race inside Qt. Tests that fetch call this first; they run in every other build.
#if defined(__SANITIZE_THREAD__)
#define SKIP_FETCH_TESTS_UNDER_TSAN() \
    GTEST_SKIP() << "Qt's network thread cannot be followed by ThreadSanitizer"
#else
#define SKIP_FETCH_TESTS_UNDER_TSAN() static_cast<void>(0)
#endif

namespace testsupport {

class HttpTestServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::string contentType = "text/xml";
        std::vector<std::pair<std::string, std::string>> headers;  // e.g. {"Location", url}
        int delayMs = 0;          // waited before answering; cut short when the server stops
        std::string hostileMode;  // when set, HostileAnswer answers instead (see hostile())
    };

    struct Request {
        std::string target;  // raw path and query as sent
        std::string path;    // decoded path without query
        std::multimap<std::string, std::string> headers;
        // The value of the first header of that name (compared without case), or "".
        std::string header(const std::string& name) const;
    };

    // A 200 answer with the given body.
    static Response ok(const std::string& body, const std::string& contentType = "text/xml");
    // A 200 answer with the content of tests/fixtures/<fixtureName>; throws if unreadable.
    static Response fixture(const std::string& fixtureName,
                            const std::string& contentType = "text/xml");
    // An answer with any status code and body.
    static Response status(int code, const std::string& body = std::string());
    // A redirect (301, 302, ...) with a Location header and a short body.
    static Response redirect(int code, const std::string& location);
    // A redirect without a Location header, whose body holds only an anchor to the target.
    static Response anchorRedirect(int code, const std::string& target);
    // The same answer, given after delayMs milliseconds.
    static Response delayed(Response response, int delayMs);
    // The misbehaviour of one of HostileAnswer::modes(); throws for an unknown name.
    static Response hostile(const std::string& mode);

    HttpTestServer();  // starts listening; throws std::runtime_error if it cannot
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return listenPort; }
    // "127.0.0.1:<port>", the form the OMBRIX_*_HOST variables take.
    std::string host() const;
    // "http://127.0.0.1:<port>" + pathAndQuery.
    std::string url(const std::string& pathAndQuery) const;

    void addRoute(const std::string& pathAndQuery, Response response);

    // Requests received so far: all of them, or those whose raw target equals pathAndQuery.
    int requestCount() const;
    int requestCount(const std::string& pathAndQuery) const;
    std::vector<Request> requests() const;

    // The local file and FIFO the redirect-file and redirect-fifo modes lead to.
    void setHostileTargets(const std::string& localFile, const std::string& fifo);
    // The local file the file-icon and file-icon-forecast modes link to.
    void setHostileIconFile(const std::string& iconFile);
    // The bytes the endless mode has sent so far, over every request.
    long long hostileBytesStreamed() const { return bytesStreamed; }

    // Stops listening and waits for the serving thread; also done by the destructor.
    void stop();

private:
    bool answer(const std::string& target, const std::string& path, Response& response) const;

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int listenPort = 0;
    std::atomic<bool> stopping{false};
    std::atomic<long long> bytesStreamed{0};

    mutable std::mutex mutex;
    std::map<std::string, Response> routes;
    std::vector<Request> received;
    std::string hostileFile = "/etc/hostname";
    std::string hostileFifo = "/tmp/ombrix-hostile.fifo";
    std::string hostileIconFile = "/etc/hostname";
};

}  // namespace testsupport
