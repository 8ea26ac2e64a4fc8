// fixture_nws: a stand-in for the NWS web services, for running the program where there is no
// internet. Test tooling, not part of the program. It serves a folder of fixture documents
// (tests/fixtures/nws by default) on 127.0.0.1:
//
//   fixture_nws --port N [--root DIR]
//               [--hostile MODE [--hostile-path PREFIX] [--hostile-after COUNT]]...
//
// N = 0 picks a free port. When it is ready it prints one line, "listening on 127.0.0.1:N",
// then one line per request ("GET <target> <status>"); it runs until SIGINT or SIGTERM. Point
// the program at it with OMBRIX_NWS_HOST, OMBRIX_FORECAST_HOST, OMBRIX_ALERTS_HOST,
// OMBRIX_RADAR_HOST and OMBRIX_HOME_HOST, each set to 127.0.0.1:N.
//
// What it answers, from the root folder:
//   /xml/current_obs/<station>.xml   the file at that path (also every other plain path:
//                                    icons under images/, radar layers under ridge/,
//                                    /Ombrix.version)
//   /forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=<zip>
//                                    the zip code's position from zipcodes.txt
//   /MapClick.php?lat=..&lon=..&FcstType=dwml
//                                    forecast/<zip>.xml of the listed zip code nearest the
//                                    point (within one degree)
//   /cap/wwaatmget.php?x=<code>      alerts/<code>.xml, or alerts/none.xml (an empty feed)
//   /cap/wwacapget.php?x=<id>        cap/<id>.xml
// In every XML document "$FIXTURE_BASE$" becomes "http://" + the Host the request was sent
// to, so that the links in feeds lead back here, and "$CODE$" the code asked for.
//
// With --hostile MODE the requests whose path starts with PREFIX get one of the misbehaviours
// of tests/support/HostileAnswer (the usage lists them) instead; the default PREFIX is the
// alert feed for huge-alerts, alerts-one-id and too-many-alerts, the icons (/images/) for the image
// modes, the forecast
// (/MapClick.php) for the forecast modes and the observations (/xml/current_obs/) for every
// other mode, "/" takes every request. The first COUNT of those requests (default 0) are
// answered as usual, so that a host can turn hostile once the program runs. Several --hostile
// options may be given, each with its own path; the first whose path a request starts with
// decides. redirect-fifo creates its FIFO, /tmp/ombrix-hostile.fifo.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HostileAnswer.h"

namespace {

namespace fs = std::filesystem;

const double MAX_FORECAST_DISTANCE_DEGREES = 1.0;

std::mutex outputMutex;
std::atomic<bool> stopping{false};

void say(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::cout << line << std::endl;
}

bool readFile(const fs::path& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// Letters, digits, '.', '-' and '_' only: a name that cannot leave its folder.
bool isPlainName(const std::string& name) {
    if (name.empty() || name.find("..") != std::string::npos) {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

std::string contentType(const fs::path& path) {
    static const std::map<std::string, std::string> types = {{".xml", "text/xml"},
                                                             {".png", "image/png"},
                                                             {".gif", "image/gif"},
                                                             {".jpg", "image/jpeg"},
                                                             {".version", "text/plain"}};
    const auto type = types.find(path.extension().string());
    return type != types.end() ? type->second : "application/octet-stream";
}

struct Position {
    double latitude;
    double longitude;
    std::string text;  // "latitude,longitude" as written in zipcodes.txt
};

class FixtureNws {
public:
    explicit FixtureNws(fs::path rootFolder) : root(std::move(rootFolder)) { loadZipCodes(); }

    // Requests under pathPrefix after the first usualCount get the misbehaviour mode. Several
    // misbehaviours may be set, each on its own path: the first whose path a request starts
    // with decides.
    void addHostile(const std::string& mode, const std::string& pathPrefix, long usualCount) {
        auto rule = std::make_unique<HostileRule>();
        rule->mode = mode;
        rule->prefix = pathPrefix;
        rule->usualLeft = usualCount;
        rules.push_back(std::move(rule));
        hostileOptions.stopping = &stopping;
        // A picture of its own: were a file:// icon link followed, it would be shown.
        hostileOptions.iconFile = fs::absolute(root / "images/wtf/medium/skc.png").string();
    }

    void install(httplib::Server& server) {
        server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            for (const auto& rule : rules) {
                if (request.path.rfind(rule->prefix, 0) != 0) {
                    continue;
                }
                if (rule->usualLeft-- <= 0) {
                    say("GET " + request.target + " " + rule->mode);
                    testsupport::HostileAnswer::answer(rule->mode, request, response,
                                                       hostileOptions);
                    return;
                }
                break;
            }
            answer(request, response);
            say("GET " + request.target + " " + std::to_string(response.status));
        });
    }

    const testsupport::HostileAnswer::Options& hostile() const { return hostileOptions; }

private:
    void loadZipCodes() {
        std::ifstream in(root / "zipcodes.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string zip;
            Position position{};
            if (line.empty() || line[0] == '#' ||
                !(fields >> zip >> position.latitude >> position.longitude)) {
                continue;
            }
            std::istringstream texts(line);
            std::string latitude;
            std::string longitude;
            texts >> zip >> latitude >> longitude;
            position.text = latitude + "," + longitude;
            zipCodes[zip] = position;
        }
    }

    void answer(const httplib::Request& request, httplib::Response& response) {
        const std::string& path = request.path;
        if (path == "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php") {
            answerZipLookup(request.get_param_value("listZipCodeList"), response);
        } else if (path == "/MapClick.php") {
            answerForecast(request, response);
        } else if (path == "/cap/wwaatmget.php") {
            const std::string code = request.get_param_value("x");
            if (!isPlainName(code)) {
                notFound(response);
            } else if (!serveFile(root / "alerts" / (code + ".xml"), request, code, response)) {
                serveFile(root / "alerts" / "none.xml", request, code, response);
            }
        } else if (path == "/cap/wwacapget.php") {
            const std::string id = request.get_param_value("x");
            if (!isPlainName(id) ||
                !serveFile(root / "cap" / (id + ".xml"), request, id, response)) {
                notFound(response);
            }
        } else {
            const fs::path relative = fs::path(path).relative_path();
            bool plain = !relative.empty();
            for (const auto& part : relative) {
                plain = plain && isPlainName(part.string());
            }
            if (!plain || !serveFile(root / relative, request, "", response)) {
                notFound(response);
            }
        }
    }

    void answerZipLookup(const std::string& zip, httplib::Response& response) {
        // The shape of the real reply: one line, single quotes, no encoding. An unknown zip
        // code gets an empty list.
        const auto found = zipCodes.find(zip);
        const std::string list = found != zipCodes.end() ? found->second.text : "";
        response.status = 200;
        response.set_content(
            "<?xml version='1.0'?><dwml version='1.0' "
            "xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
            "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
            "xsi:noNamespaceSchemaLocation='http://graphical.weather.gov/xml/DWMLgen/schema/"
            "DWML.xsd'><latLonList>" +
                list + "</latLonList></dwml>",
            "text/xml");
    }

    void answerForecast(const httplib::Request& request, httplib::Response& response) {
        char* latitudeEnd = nullptr;
        char* longitudeEnd = nullptr;
        const std::string latitudeText = request.get_param_value("lat");
        const std::string longitudeText = request.get_param_value("lon");
        const double latitude = std::strtod(latitudeText.c_str(), &latitudeEnd);
        const double longitude = std::strtod(longitudeText.c_str(), &longitudeEnd);
        if (latitudeText.empty() || longitudeText.empty() || *latitudeEnd != '\0' ||
            *longitudeEnd != '\0') {
            notFound(response);
            return;
        }
        std::string nearest;
        double best = std::numeric_limits<double>::max();
        for (const auto& entry : zipCodes) {
            const double distance =
                std::hypot(entry.second.latitude - latitude, entry.second.longitude - longitude);
            if (distance < best) {
                best = distance;
                nearest = entry.first;
            }
        }
        if (nearest.empty() || best > MAX_FORECAST_DISTANCE_DEGREES ||
            !serveFile(root / "forecast" / (nearest + ".xml"), request, "", response)) {
            notFound(response);
        }
    }

    bool serveFile(const fs::path& file, const httplib::Request& request, const std::string& code,
                   httplib::Response& response) {
        std::error_code error;
        if (!fs::is_regular_file(file, error)) {
            return false;
        }
        std::string content;
        if (!readFile(file, content)) {
            return false;
        }
        if (file.extension() == ".xml") {
            const std::string host =
                request.has_header("Host") ? request.get_header_value("Host") : "127.0.0.1";
            replaceAll(content, "$FIXTURE_BASE$", "http://" + host);
            replaceAll(content, "$CODE$", code);
        }
        response.status = 200;
        response.set_content(content, contentType(file));
        return true;
    }

    static void notFound(httplib::Response& response) {
        response.status = 404;
        response.set_content("Not Found", "text/plain");
    }

    const fs::path root;
    std::map<std::string, Position> zipCodes;
    struct HostileRule {
        std::string mode;
        std::string prefix;
        std::atomic<long> usualLeft{0};
    };
    std::vector<std::unique_ptr<HostileRule>> rules;
    testsupport::HostileAnswer::Options hostileOptions;
};

int usage(const char* program) {
    std::cerr << "usage: " << program << " --port N [--root DIR]\n"
              << "    [--hostile MODE [--hostile-path PREFIX] [--hostile-after COUNT]]...\n"
              << "  N = 0 picks a free port; DIR defaults to " << OMBRIX_FIXTURE_NWS_DIR << "\n"
              << "  MODE is one of:\n";
    for (const auto& mode : testsupport::HostileAnswer::modes()) {
        std::cerr << "    " << mode.name << ": " << mode.description << "\n";
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = -1;
    fs::path root = OMBRIX_FIXTURE_NWS_DIR;
    struct Hostile {
        std::string mode;
        std::string prefix;
        long after = -1;
    };
    std::vector<Hostile> hostiles;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 65535) {
                return usage(argv[0]);
            }
            port = static_cast<int>(value);
        } else if (option == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (option == "--hostile" && i + 1 < argc &&
                   testsupport::HostileAnswer::isMode(argv[i + 1])) {
            hostiles.push_back({argv[++i], "", -1});
        } else if (option == "--hostile-path" && i + 1 < argc && !hostiles.empty() &&
                   hostiles.back().prefix.empty()) {
            hostiles.back().prefix = argv[++i];
        } else if (option == "--hostile-after" && i + 1 < argc && !hostiles.empty() &&
                   hostiles.back().after < 0) {
            char* end = nullptr;
            hostiles.back().after = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || hostiles.back().after < 0) {
                return usage(argv[0]);
            }
        } else {
            return usage(argv[0]);
        }
    }
    if (port < 0) {
        return usage(argv[0]);
    }
    std::error_code error;
    if (!fs::is_directory(root, error)) {
        std::cerr << "fixture_nws: no such folder: " << root.string() << "\n";
        return 1;
    }

    // SIGINT and SIGTERM are taken by a thread of their own, which stops the server; every
    // other thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    httplib::Server server;
    FixtureNws fixture(root);
    for (const Hostile& hostile : hostiles) {
        fixture.addHostile(hostile.mode,
                           hostile.prefix.empty()
                               ? testsupport::HostileAnswer::defaultPath(hostile.mode)
                               : hostile.prefix,
                           std::max(0L, hostile.after));
        if (hostile.mode == "redirect-fifo" && !fs::exists(fixture.hostile().fifo, error) &&
            mkfifo(fixture.hostile().fifo.c_str(), 0600) != 0) {
            std::cerr << "fixture_nws: cannot make the FIFO " << fixture.hostile().fifo << "\n";
            return 1;
        }
    }
    fixture.install(server);

    int boundPort = port;
    if (port == 0) {
        boundPort = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        boundPort = -1;
    }
    if (boundPort <= 0) {
        std::cerr << "fixture_nws: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }

    std::thread stopper([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stopping = true;
        server.stop();
    });
    say("listening on 127.0.0.1:" + std::to_string(boundPort));
    server.listen_after_bind();
    // Ended by a signal, or by a failure of the server: the waiting thread needs a signal.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
