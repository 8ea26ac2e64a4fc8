#include "HttpTestServer.h"

#include <httplib.h>

#include "HostileAnswer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::string HttpTestServer::Request::header(const std::string& name) const {
    for (const auto& entry : headers) {
        if (entry.first.size() == name.size() &&
            std::equal(entry.first.begin(), entry.first.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return entry.second;
        }
    }
    return std::string();
}

HttpTestServer::Response HttpTestServer::ok(const std::string& body,
                                            const std::string& contentType) {
    Response response;
    response.body = body;
    response.contentType = contentType;
    return response;
}

HttpTestServer::Response HttpTestServer::fixture(const std::string& fixtureName,
                                                 const std::string& contentType) {
    const std::string path = std::string(OMBRIX_FIXTURE_DIR) + "/" + fixtureName;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("HttpTestServer: cannot read fixture " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    return ok(content.str(), contentType);
}

HttpTestServer::Response HttpTestServer::status(int code, const std::string& body) {
    Response response;
    response.status = code;
    response.body = body;
    response.contentType = "text/html";
    return response;
}

HttpTestServer::Response HttpTestServer::redirect(int code, const std::string& location) {
    Response response = status(code, "<html><body>Moved</body></html>");
    response.headers.emplace_back("Location", location);
    return response;
}

HttpTestServer::Response HttpTestServer::anchorRedirect(int code, const std::string& target) {
    return status(code, "<html><body>The document has moved <a href=\"" + target +
                            "\">here</a>.</body></html>");
}

HttpTestServer::Response HttpTestServer::delayed(Response response, int delayMs) {
    response.delayMs = delayMs;
    return response;
}

HttpTestServer::Response HttpTestServer::hostile(const std::string& mode) {
    if (!HostileAnswer::isMode(mode)) {
        throw std::invalid_argument("HttpTestServer: no hostile mode " + mode);
    }
    Response response;
    response.hostileMode = mode;
    return response;
}

void HttpTestServer::setHostileTargets(const std::string& localFile, const std::string& fifo) {
    std::lock_guard<std::mutex> lock(mutex);
    hostileFile = localFile;
    hostileFifo = fifo;
}

void HttpTestServer::setHostileIconFile(const std::string& iconFile) {
    std::lock_guard<std::mutex> lock(mutex);
    hostileIconFile = iconFile;
}

HttpTestServer::HttpTestServer() : server(std::make_unique<httplib::Server>()) {
    server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Request request;
        request.target = req.target;
        request.path = req.path;
        for (const auto& header : req.headers) {
            request.headers.emplace(header.first, header.second);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(request);
        }

        Response response;
        if (!answer(req.target, req.path, response)) {
            res.status = 404;
            res.set_content("no route", "text/plain");
            return;
        }
        if (!response.hostileMode.empty()) {
            HostileAnswer::Options options;
            {
                std::lock_guard<std::mutex> lock(mutex);
                options.localFile = hostileFile;
                options.fifo = hostileFifo;
                options.iconFile = hostileIconFile;
            }
            options.stopping = &stopping;
            options.bytesStreamed = &bytesStreamed;
            HostileAnswer::answer(response.hostileMode, req, res, options);
            return;
        }
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(response.delayMs);
        while (!stopping && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        res.status = response.status;
        for (const auto& header : response.headers) {
            res.set_header(header.first.c_str(), header.second);
        }
        res.set_content(response.body, response.contentType.c_str());
    });

    // One request a connection: a connection kept open by a client's long-lived network
    // manager would otherwise hold stop() for the server's keep-alive time-out (5 s).
    server->set_keep_alive_max_count(1);
    listenPort = server->bind_to_any_port("127.0.0.1");
    if (listenPort <= 0) {
        throw std::runtime_error("HttpTestServer: cannot bind to 127.0.0.1");
    }
    thread = std::thread([this] { server->listen_after_bind(); });
    // stop() only takes effect once the accept loop runs, so wait for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!server->is_running()) {
        stop();
        throw std::runtime_error("HttpTestServer: server thread did not start");
    }
}

HttpTestServer::~HttpTestServer() {
    stop();
}

void HttpTestServer::stop() {
    stopping = true;
    if (thread.joinable()) {
        server->stop();
        thread.join();
    }
}

std::string HttpTestServer::host() const {
    return "127.0.0.1:" + std::to_string(listenPort);
}

std::string HttpTestServer::url(const std::string& pathAndQuery) const {
    return "http://" + host() + pathAndQuery;
}

void HttpTestServer::addRoute(const std::string& pathAndQuery, Response response) {
    std::lock_guard<std::mutex> lock(mutex);
    routes[pathAndQuery] = std::move(response);
}

bool HttpTestServer::answer(const std::string& target, const std::string& path,
                            Response& response) const {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = routes.find(target);
    if (found == routes.end()) {
        found = routes.find(path);
    }
    if (found == routes.end()) {
        return false;
    }
    response = found->second;
    return true;
}

int HttpTestServer::requestCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(received.size());
}

int HttpTestServer::requestCount(const std::string& pathAndQuery) const {
    std::lock_guard<std::mutex> lock(mutex);
    int count = 0;
    for (const Request& request : received) {
        if (request.target == pathAndQuery) {
            ++count;
        }
    }
    return count;
}

std::vector<HttpTestServer::Request> HttpTestServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

}  // namespace testsupport
