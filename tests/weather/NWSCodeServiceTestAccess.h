// Builds a private NWSCodeService for one test or benchmark, so that each starts with empty
// tables and its own data folder; the process-wide instance is left alone.
#pragma once

#include <memory>
#include <string>

#include "weather/NWSCodeService.h"

namespace vpcore {

class NWSCodeServiceTestAccess {
public:
    using Ptr = std::unique_ptr<NWSCodeService, void (*)(NWSCodeService*)>;

    static Ptr create(const std::string& basePath) {
        Ptr service(new NWSCodeService(), [](NWSCodeService* s) { delete s; });
        service->setBasePath(basePath);
        return service;
    }

    // The loaders themselves, which the lookups only call while a table is empty.
    static void loadCodes(NWSCodeService& service) { service.loadCodes(); }
    static void loadStations(NWSCodeService& service) { service.loadStations(); }
};

}  // namespace vpcore
