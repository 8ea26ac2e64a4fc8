// Turns a KMZ overlay published on the web (an archive whose index.kml lists regional network
// links) into a local web-map page with the layers whose region lies near a location. A
// library operation nothing in the program calls; it blocks the calling thread while it
// downloads and unpacks (up to 10 s each).
#pragma once

#include <QDomDocument>
#include <memory>
#include <string>
#include <vector>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT GoogleMapFromKmlGenerator {
public:
    // latLon: "latitude,longitude" in decimal degrees. workFolder ends in a path separator and
    // receives the KMZ (kmzFileName + ".kmz"), the unpacked index.kml and the page.
    GoogleMapFromKmlGenerator(const std::string& kmzUrl, const std::string& latLon,
                              const std::string& workFolder, const std::string& htmlFileName,
                              const std::string& kmzFileName);

    // The whole run; true when the page was written, else false with the reason in error.
    // Nothing is logged or thrown.
    bool generate(std::string& error);

    // The unzip program and the page template ("maps/map.template" below the working folder,
    // else below the install folder).
    static const char* const kUnzipProgram;
    static const char* const kTemplatePath;

private:
    std::unique_ptr<QDomDocument> getIndexKml(std::string& error) const;
    void getLinks(std::unique_ptr<QDomDocument> document, std::vector<std::string>& links) const;
    bool generateHTMLFile(const std::vector<std::string>& links, std::string& error) const;

    std::string kmzUrl;
    std::string latLon;
    std::string workFolder;
    std::string htmlFileName;
    std::string kmzFileName;
};

}  // namespace vpcore
