// Base of every provider that reads one XML document over HTTP: it builds the URL, fetches the
// document, parses it and checks its shape; a subclass adds its URL, its required elements and
// the conversion into its model. Used by one thread at a time (the runner thread, or the GUI
// thread for test()).
#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <memory>
#include <string>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/IWeatherInfoProvider.h"
#include "weather/VpUpdateException.h"

namespace vpcore {

class VPCORE_EXPORT AbstractXMLWeatherInfoProvider : public IWeatherInfoProvider {
public:
    // Replies beyond these limits are refused before a document is built from them: a feed
    // nests a few levels and weighs up to a few megabytes, while a captive portal or a broken
    // proxy may send anything, and building, searching and freeing a document of tens of
    // thousands of levels recurses once per level.
    // The node limit bounds the tree built from a document within the byte limit: 16 MiB of
    // empty elements would make a tree of more than a gigabyte. The largest feeds (a national
    // alert feed) hold some tens of thousands of elements and attributes.
    static const int MAX_DOCUMENT_DEPTH = 256;          // nested elements
    static const qint64 MAX_DOCUMENT_BYTES = 16 << 20;  // 16 MiB
    static const int MAX_DOCUMENT_NODES = 250000;       // elements and attributes

    // location is the feed's query parameter (a station id, an alert code, a zip code, ...);
    // timeout is the fetch time-out in seconds.
    AbstractXMLWeatherInfoProvider(const std::string& location, int timeout);
    AbstractXMLWeatherInfoProvider(const AbstractXMLWeatherInfoProvider& other) = default;
    AbstractXMLWeatherInfoProvider& operator=(const AbstractXMLWeatherInfoProvider& other) =
        default;
    ~AbstractXMLWeatherInfoProvider() override;

    // Builds the URL and runs doUpdate; false without a fetch when the URL is empty.
    bool update(IWeatherModel* const model) override;

    // Fetches and checks the document once without touching any model. Reports a failure like
    // an update does and returns false. Throws std::logic_error when the provider names no
    // required elements, as such a test would prove nothing.
    bool test();

    // Throws a VP_PARSE_ERROR when body is nested deeper than MAX_DOCUMENT_DEPTH or holds more
    // than MAX_DOCUMENT_NODES elements and attributes; a body that is not well-formed is left
    // to the parser, which reports where. Also for documents that arrive by other roads (an
    // unpacked archive).
    static void checkShape(const QByteArray& body);

    std::string getUrl() const { return url; }
    void setTimeout(int seconds) { timeout = seconds; }

protected:
    virtual std::string buildUrl() const = 0;
    virtual bool doUpdate(IWeatherModel* const model) = 0;
    // Names of elements that must be direct children of the root, matched as written
    // (prefixes included). Empty by default: any well-formed document passes.
    virtual std::vector<std::string> getValidationNodeList() const;

    // Fetches getUrl(), parses it without namespace processing and validates it. The caller
    // owns the document. Throws VpUpdateException; a reply larger than MAX_DOCUMENT_BYTES (not
    // read past the limit), nested deeper than MAX_DOCUMENT_DEPTH or of more than
    // MAX_DOCUMENT_NODES nodes is a VP_PARSE_ERROR.
    std::unique_ptr<QDomDocument> getXMLDocument() const;
    // Status bar message and ERROR line for a failed update.
    void handleException(const VpUpdateException& e);
    // getXMLDocument() for a doUpdate: a failure is reported through handleException and
    // gives null.
    std::unique_ptr<QDomDocument> fetchXMLDocument();
    void setUrl(const std::string& newUrl) { url = newUrl; }

    // Read by buildUrl(); a subclass may change it to query another place (station retries).
    std::string location;

private:
    virtual void defaultHandleException(const VpUpdateException& e);
    bool validateNodeNames(QDomDocument* document) const;

    std::string url;
    int timeout;  // seconds
};

}  // namespace vpcore
