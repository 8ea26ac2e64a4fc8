#include "HostileAnswer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// A current observation with the given location text and temperatures, as written.
std::string observation(const std::string& location, const std::string& temperatureF,
                        const std::string& temperatureC, const std::string& extra = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + extra +
           "<current_observation version=\"1.0\">\n"
           "<location>" +
           location +
           "</location>\n"
           "<station_id>KHST</station_id>\n"
           "<observation_time>Last Updated on Dec 10 2026, 6:51 am CST</observation_time>\n"
           "<weather>Fair</weather>\n"
           "<temp_f>" +
           temperatureF + "</temp_f>\n<temp_c>" + temperatureC +
           "</temp_c>\n"
           "<relative_humidity>50</relative_humidity>\n"
           "<wind_dir>North</wind_dir>\n<wind_mph>5.0</wind_mph>\n"
           "<pressure_mb>1015.0</pressure_mb>\n<pressure_in>29.98</pressure_in>\n"
           "<dewpoint_f>40.0</dewpoint_f>\n<dewpoint_c>4.4</dewpoint_c>\n"
           "<visibility_mi>10.00</visibility_mi>\n"
           "</current_observation>\n";
}

std::string hostOf(const httplib::Request& request) {
    return "http://" +
           (request.has_header("Host") ? request.get_header_value("Host") : "127.0.0.1");
}

bool stopped(const HostileAnswer::Options& options, Clock::time_point end) {
    return (options.stopping != nullptr && *options.stopping) || Clock::now() >= end;
}

// Waits up to milliseconds, less when the server stops.
void pause(const HostileAnswer::Options& options, Clock::time_point end, int milliseconds) {
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopped(options, end) && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string hugeAlertFeed(const std::string& base) {
    std::string feed =
        "<?xml version = '1.0' encoding = 'UTF-8' standalone = 'yes'?>\n"
        "<feed xmlns = 'http://www.w3.org/2005/Atom' "
        "xmlns:cap = 'urn:oasis:names:tc:emergency:cap:1.1'>\n"
        "<id>" +
        base + "/cap/wwaatmget.php?x=TXC999</id>\n<updated>2026-12-10T06:30:00-06:00</updated>\n";
    for (int i = 0; i < HostileAnswer::HUGE_FEED_ENTRIES; ++i) {
        const std::string id = "TX1263F0" + std::to_string(100000 + i) + ".WindAdvisory";
        feed += "<entry>\n<id>" + base + "/cap/wwacapget.php?x=" + id +
                "</id>\n"
                "<updated>2026-12-10T06:30:00-06:00</updated>\n"
                "<published>2026-12-10T06:30:00-06:00</published>\n"
                "<title>Wind Advisory number " +
                std::to_string(i) + " issued December 10 by NWS</title>\n<link href=\"" + base +
                "/cap/wwacapget.php?x=" + id +
                "\"/>\n"
                "<summary>WINDS NORTH 20 TO 30 MPH.</summary>\n"
                "<cap:event>Wind Advisory</cap:event>\n"
                "<cap:effective>2026-12-10T06:30:00-06:00</cap:effective>\n"
                "<cap:expires>2026-12-11T18:00:00-06:00</cap:expires>\n"
                "<cap:status>Actual</cap:status>\n<cap:msgType>Alert</cap:msgType>\n"
                "<cap:category>Met</cap:category>\n<cap:urgency>Expected</cap:urgency>\n"
                "<cap:severity>Minor</cap:severity>\n<cap:certainty>Likely</cap:certainty>\n"
                "<cap:areaDesc>Travis</cap:areaDesc>\n</entry>\n";
    }
    return feed + "</feed>\n";
}

// --- Image links, icon fetches, endless headers and image bombs ---

// The server's own socket of this request: the one whose local port is the request's and
// whose peer is its client. cpp-httplib writes the status line and headers itself, so the
// misbehaviours of the headers write to the socket directly.
int socketOf(const httplib::Request& request) {
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localSize = sizeof(local);
        socklen_t peerSize = sizeof(peer);
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            local.sin_family != AF_INET ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
            continue;
        }
        if (ntohs(local.sin_port) == request.local_port &&
            ntohs(peer.sin_port) == request.remote_port) {
            return fd;
        }
    }
    return -1;
}

bool sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// A status line, then header lines for as long as they are read; the blank line that would
// end them never comes. The connection is closed when the client or the server stops.
void sendEndlessHeaders(const httplib::Request& request, const HostileAnswer::Options& options,
                        Clock::time_point end) {
    const int fd = socketOf(request);
    if (fd < 0) {
        return;
    }
    std::string line(1000, 'a');
    unsigned int state = 4321;
    for (char& letter : line) {
        state = state * 1103515245u + 12345u;
        letter = static_cast<char>('a' + (state >> 16) % 26);
    }
    if (sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n")) {
        for (long long n = 0; !stopped(options, end); ++n) {
            const std::string header = "X-Filler-" + std::to_string(n) + ": " + line + "\r\n";
            if (!sendAll(fd, header)) {
                break;
            }
            if (options.bytesStreamed != nullptr) {
                *options.bytesStreamed += static_cast<long long>(header.size());
            }
        }
    }
    // What cpp-httplib writes after this goes nowhere.
    ::shutdown(fd, SHUT_RDWR);
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
    const auto be32 = [&png](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            png.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    be32(static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    be32(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// An RGBA PNG of width x height; `noise` fills it with pixels that do not compress, else it
// is one colour (a few kilobytes whatever its size).
std::string makePng(int width, int height, bool noise) {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 4 * static_cast<size_t>(width)));
    unsigned int state = 777;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');  // no filter
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                state = state * 1103515245u + 12345u;
                raw.push_back(c == 3 ? '\xFF' : noise ? static_cast<char>(state >> 16) : '\x40');
            }
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9);
    packed.resize(size);

    std::string png("\x89PNG\r\n\x1A\n", 8);
    std::string header;
    for (int value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            header.push_back(static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xFF));
        }
    }
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no interlace
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", "");
    return png;
}

// A DWML point forecast of `periods` 12-hour periods from today, day first, each with the
// icon link iconLink(i).
template <typename Link>
std::string forecastDocument(int periods, Link iconLink) {
    const auto time = [](int i) {
        std::tm day{};
        day.tm_year = 2026 - 1900;
        day.tm_mon = 11;
        day.tm_mday = 10 + i / 2;
        day.tm_hour = i % 2 == 0 ? 6 : 18;
        const std::time_t at = timegm(&day);
        gmtime_r(&at, &day);
        char text[32];
        std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S-06:00", &day);
        return std::string(text);
    };
    const std::string layout = "k-p12h-n" + std::to_string(periods) + "-1";
    std::string d =
        "<?xml version=\"1.0\"?>\n<dwml version=\"1.0\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n<data type=\"forecast\">\n"
        "<time-layout><layout-key>" +
        layout + "</layout-key>\n";
    for (int i = 0; i < periods; ++i) {
        d += "<start-valid-time period-name=\"Period " + std::to_string(i + 1) + "\">" + time(i) +
             "</start-valid-time>\n";
    }
    d += "</time-layout>\n<time-layout><layout-key>k-p24h-max</layout-key>\n";
    for (int i = 0; i < periods; i += 2) {
        d += "<start-valid-time>" + time(i) + "</start-valid-time>\n";
    }
    d += "</time-layout>\n<time-layout><layout-key>k-p24h-min</layout-key>\n";
    for (int i = 1; i < periods; i += 2) {
        d += "<start-valid-time>" + time(i) + "</start-valid-time>\n";
    }
    d += "</time-layout>\n<parameters>\n"
         "<temperature type=\"maximum\" time-layout=\"k-p24h-max\">\n";
    for (int i = 0; i < periods; i += 2) {
        d += "<value>70</value>\n";
    }
    d += "</temperature>\n<temperature type=\"minimum\" time-layout=\"k-p24h-min\">\n";
    for (int i = 1; i < periods; i += 2) {
        d += "<value>50</value>\n";
    }
    d += "</temperature>\n<weather time-layout=\"" + layout + "\">\n";
    for (int i = 0; i < periods; ++i) {
        d += "<weather-conditions weather-summary=\"Sunny\"/>\n";
    }
    d += "</weather>\n<conditions-icon type=\"forecast-NWS\" time-layout=\"" + layout + "\">\n";
    for (int i = 0; i < periods; ++i) {
        d += "<icon-link>" + iconLink(i) + "</icon-link>\n";
    }
    d += "</conditions-icon>\n<wordedForecast time-layout=\"" + layout + "\">\n";
    for (int i = 0; i < periods; ++i) {
        d += "<text>Sunny, period " + std::to_string(i + 1) + ".</text>\n";
    }
    return d + "</wordedForecast>\n</parameters>\n</data>\n</dwml>\n";
}

}  // namespace

// The modes within every limit of size that a reader must still bound: many nodes, absurd
// numbers, many alerts.
namespace {

std::string smallAlertFeed(int entries, bool sharedId) {
    std::string feed =
        "<?xml version='1.0' encoding='UTF-8'?>\n<feed xmlns='http://www.w3.org/2005/Atom'>\n";
    for (int i = 0; i < entries; ++i) {
        // Each entry its own minute (and second past 28 days), so that only the time
        // stamps tell entries of one id apart.
        const int minutes = i % (60 * 24 * 28);
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-%02dT%02d:%02d:%02d-06:00",
                      1 + minutes / (60 * 24), minutes / 60 % 24, minutes % 60,
                      i / (60 * 24 * 28) % 60);
        feed += "<entry><id>urn:alert:" + (sharedId ? std::string("0") : std::to_string(i)) +
                "</id><published>" + stamp + "</published><summary>Entry " + std::to_string(i) +
                "</summary></entry>\n";
    }
    return feed + "</feed>\n";
}

// True when mode is one of these; response is then filled.
bool answerSizeAndNumberMode(const std::string& mode, httplib::Response& response) {
    if (mode == "many-elements") {
        std::string crowd;
        crowd.reserve(static_cast<std::size_t>(HostileAnswer::MANY_ELEMENTS) * 4);
        for (int i = 0; i < HostileAnswer::MANY_ELEMENTS; ++i) {
            crowd += "<a/>";
        }
        response.set_content(observation("Crowded City, TX" + crowd, "50.0", "10.0"), "text/xml");
    } else if (mode == "absurd-readings") {
        std::string document = observation("Absurd City, TX", "1e30", "1e10");
        const std::pair<const char*, const char*> replaced[] = {
            {"<relative_humidity>50</relative_humidity>",
             "<relative_humidity>1e30</relative_humidity>"},
            {"<wind_mph>5.0</wind_mph>", "<wind_mph>1e10</wind_mph>"},
            {"<pressure_in>29.98</pressure_in>", "<pressure_in>-1e39</pressure_in>"},
            {"<dewpoint_f>40.0</dewpoint_f>", "<dewpoint_f>-1e39</dewpoint_f>"},
            {"<dewpoint_c>4.4</dewpoint_c>", "<dewpoint_c>1e30</dewpoint_c>"},
            {"<visibility_mi>10.00</visibility_mi>", "<visibility_mi>-5</visibility_mi>"},
        };
        for (const auto& [from, to] : replaced) {
            document.replace(document.find(from), std::string(from).size(), to);
        }
        response.set_content(document, "text/xml");
    } else if (mode == "alerts-one-id") {
        response.set_content(smallAlertFeed(HostileAnswer::HUGE_FEED_ENTRIES, true), "text/xml");
    } else if (mode == "too-many-alerts") {
        response.set_content(smallAlertFeed(HostileAnswer::TOO_MANY_ALERTS, false), "text/xml");
    } else {
        return false;
    }
    return true;
}

}  // namespace

const std::vector<HostileAnswer::Mode>& HostileAnswer::modes() {
    static const std::vector<Mode> all = {
        {"bad-utf8", "an observation declared UTF-8 with bytes that are not UTF-8"},
        {"entity-expansion", "an observation whose DTD expands one entity a billion times"},
        {"deep-nesting", "an observation nested 100 000 elements deep"},
        {"nan-readings", "an observation reading NaN, inf and 1e309"},
        {"redirect-loop", "302 to the same address, again and again"},
        {"redirect-file", "302 to file:// of a local file"},
        {"redirect-fifo", "302 to file:// of a FIFO that nobody writes"},
        {"redirect-scheme", "302 to an ftp:// address"},
        {"reset", "half of an announced body, then the connection is closed"},
        {"html", "200 with an HTML page, as a captive portal answers"},
        {"wrong-type", "200 with bytes of no known format, labelled text/xml"},
        {"huge-alerts", "an alert feed of 10 000 entries"},
        {"oversize", "a 17 MiB observation with its length announced"},
        {"endless", "an observation that never ends, as fast as it is read"},
        {"trickle", "an observation at one byte a second"},
        {"stall", "the headers, then nothing"},
        // Within the byte limit, but absurd in number or in value.
        {"many-elements", "an observation of 4 million empty elements (16 MB)"},
        {"absurd-readings", "an observation reading 1e30, -1e39 and 1e10"},
        {"alerts-one-id", "an alert feed of 10 000 entries sharing one id"},
        {"too-many-alerts", "an alert feed of 15 000 small entries"},
        // --- Image links, icon fetches, endless headers and image bombs ---
        {"endless-headers", "a status line, then header lines that never end"},
        {"huge-image", "a PNG of a few kilobytes that declares 5600x5600 pixels"},
        {"truncated-png", "a PNG cut off in the middle of its image data"},
        {"file-icon", "an observation whose icon is a file:// link to a local file"},
        {"file-icon-forecast", "a forecast whose icon links are file:// links to a local file"},
        {"many-periods", "a forecast of 2000 periods, each with an icon link of its own"},
    };
    return all;
}

bool HostileAnswer::isMode(const std::string& name) {
    for (const Mode& mode : modes()) {
        if (mode.name == name) {
            return true;
        }
    }
    return false;
}

void HostileAnswer::answer(const std::string& mode, const httplib::Request& request,
                           httplib::Response& response, const Options& options) {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(STREAM_SECONDS);
    response.status = 200;
    if (answerSizeAndNumberMode(mode, response)) {
        return;
    }
    if (mode == "bad-utf8") {
        response.set_content(observation("Bad \xC3\x28 Bytes \xFF\xFE City, TX", "50.0", "10.0"),
                             "text/xml");
    } else if (mode == "entity-expansion") {
        std::string dtd = "<!DOCTYPE current_observation [\n<!ENTITY e0 \"lol\">\n";
        for (int i = 1; i <= 9; ++i) {
            std::string tenFold;
            for (int j = 0; j < 10; ++j) {
                tenFold += "&e" + std::to_string(i - 1) + ";";
            }
            dtd += "<!ENTITY e" + std::to_string(i) + " \"" + tenFold + "\">\n";
        }
        dtd += "]>\n";
        response.set_content(observation("&e9;", "50.0", "10.0", dtd), "text/xml");
    } else if (mode == "deep-nesting") {
        std::string nested;
        for (int i = 0; i < 100000; ++i) {
            nested += "<n>";
        }
        for (int i = 0; i < 100000; ++i) {
            nested += "</n>";
        }
        response.set_content(observation("Deep City, TX" + nested, "50.0", "10.0"), "text/xml");
    } else if (mode == "nan-readings") {
        std::string document = observation("Nan City, TX", "NaN", "1e309");
        const std::string from = "<dewpoint_f>40.0</dewpoint_f>";
        document.replace(document.find(from), from.size(), "<dewpoint_f>inf</dewpoint_f>");
        response.set_content(document, "text/xml");
    } else if (mode == "redirect-loop") {
        response.set_redirect(hostOf(request) + request.target, 302);
    } else if (mode == "redirect-file") {
        response.set_redirect("file://" + options.localFile, 302);
    } else if (mode == "redirect-fifo") {
        response.set_redirect("file://" + options.fifo, 302);
    } else if (mode == "redirect-scheme") {
        response.set_redirect("ftp://127.0.0.1/xml/current_obs/KHST.xml", 302);
    } else if (mode == "reset") {
        const auto body =
            std::make_shared<std::string>(observation("Reset City, TX", "50.0", "10.0"));
        response.set_content_provider(body->size(), "text/xml",
                                      [body](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset > 0) {
                                              return false;  // closes the connection mid-body
                                          }
                                          return sink.write(body->data(), body->size() / 2);
                                      });
    } else if (mode == "html") {
        response.set_content(
            "<!DOCTYPE html>\n<html><head><title>Sign in</title></head><body>"
            "<p>Please <a href=\"/login\">sign in</a> to use this network.<br></p></body></html>",
            "text/html");
    } else if (mode == "wrong-type") {
        response.set_content(std::string("\x00\x01\x02\x03\xFF\xD8garbage\x7F", 14), "text/xml");
    } else if (mode == "huge-alerts") {
        response.set_content(hugeAlertFeed(hostOf(request)), "text/xml");
    } else if (mode == "oversize") {
        const std::string head = "<?xml version=\"1.0\"?>\n<current_observation><!--";
        const std::string tail = "--></current_observation>\n";
        std::string body = head;
        body.append(static_cast<size_t>(OVERSIZE_BYTES) - head.size() - tail.size(), ' ');
        response.set_content(body + tail, "text/xml");
    } else if (mode == "endless") {
        response.set_chunked_content_provider(
            "text/xml", [options, end](size_t offset, httplib::DataSink& sink) {
                // Letters of no pattern: a compressing server cannot shrink them a
                // thousandfold, so that what is sent is about what is read.
                static const std::string chunk = [] {
                    std::string letters(64 << 10, ' ');
                    unsigned int state = 12345;
                    for (char& letter : letters) {
                        state = state * 1103515245u + 12345u;
                        letter = static_cast<char>('a' + (state >> 16) % 26);
                    }
                    return letters;
                }();
                if (offset == 0 && !sink.write("<current_observation><!--", 25)) {
                    return false;
                }
                if (stopped(options, end) || !sink.write(chunk.data(), chunk.size())) {
                    return false;
                }
                if (options.bytesStreamed != nullptr) {
                    *options.bytesStreamed += static_cast<long long>(chunk.size());
                }
                return true;
            });
    } else if (mode == "trickle") {
        const auto body =
            std::make_shared<std::string>(observation("Trickle City, TX", "50.0", "10.0"));
        response.set_chunked_content_provider(
            "text/xml", [body, options, end](size_t offset, httplib::DataSink& sink) {
                if (offset >= body->size()) {
                    sink.done();
                    return true;
                }
                if (offset > 0) {
                    pause(options, end, 1000);
                }
                return !stopped(options, end) && sink.write(body->data() + offset, 1);
            });
    } else if (mode == "stall") {
        response.set_chunked_content_provider("text/xml",
                                              [options, end](size_t, httplib::DataSink&) {
                                                  pause(options, end, STREAM_SECONDS * 1000);
                                                  return false;
                                              });
        // --- Image links, icon fetches, endless headers and image bombs ---
    } else if (mode == "endless-headers") {
        sendEndlessHeaders(request, options, end);
    } else if (mode == "huge-image") {
        static const std::string huge = makePng(HUGE_IMAGE_SIDE, HUGE_IMAGE_SIDE, false);
        response.set_content(huge, "image/png");
    } else if (mode == "truncated-png") {
        static const std::string whole = makePng(64, 64, true);
        response.set_content(whole.substr(0, whole.size() / 2), "image/png");
    } else if (mode == "file-icon") {
        std::string document = observation("File Icon City, TX", "50.0", "10.0");
        const size_t slash = options.iconFile.rfind('/');
        const std::string icon = "<icon_url_base>file://" + options.iconFile.substr(0, slash + 1) +
                                 "</icon_url_base>\n<icon_url_name>" +
                                 options.iconFile.substr(slash + 1) + "</icon_url_name>\n";
        document.insert(document.find("</current_observation>"), icon);
        response.set_content(document, "text/xml");
    } else if (mode == "file-icon-forecast") {
        const std::string link = "file://" + options.iconFile;
        response.set_content(forecastDocument(14, [&link](int) { return link; }), "text/xml");
    } else if (mode == "many-periods") {
        const std::string base = hostOf(request) + MANY_PERIODS_ICONS;
        response.set_content(
            forecastDocument(MANY_PERIODS,
                             [&base](int i) { return base + "p" + std::to_string(i) + ".png"; }),
            "text/xml");
    } else {
        response.status = 500;
        response.set_content("no such hostile mode: " + mode, "text/plain");
    }
}

std::string HostileAnswer::defaultPath(const std::string& mode) {
    if (mode == "huge-alerts" || mode == "alerts-one-id" || mode == "too-many-alerts") {
        return "/cap/wwaatmget.php";
    }
    if (mode == "huge-image" || mode == "truncated-png") {
        return "/images/";
    }
    if (mode == "file-icon-forecast" || mode == "many-periods") {
        return "/MapClick.php";
    }
    return "/xml/current_obs/";
}

std::string HostileAnswer::png(int side) {
    return makePng(side, side, false);
}

}  // namespace testsupport
