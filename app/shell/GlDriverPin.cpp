#include "shell/GlDriverPin.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

int keepDriverLoaded(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "_dri.so") != nullptr) {
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

}  // namespace

void keepGlDriverLoaded() {
    dl_iterate_phdr(keepDriverLoaded, nullptr);
}
