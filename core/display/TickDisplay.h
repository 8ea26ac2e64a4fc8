// One tick of a gauge scale as the gauge widget draws it: a labelled MajorTickDisplay (its
// text) or an unlabelled MinorTickDisplay (a point). The widget tells the kinds apart by their
// run-time type. The gauge geometry (GaugeViewModel) that holds a tick owns it and the
// vectors it points to; a tick on its own frees only its label.
#pragma once

#include <string>

#include "display/Vector3D.h"
#include "services/VpCoreExport.h"

namespace vpcore {

struct VPCORE_EXPORT TickDisplay {
    explicit TickDisplay(const std::string& label);
    virtual ~TickDisplay();

    Vector3D* colour = nullptr;    // null: the widget's default colour
    Vector3D* position = nullptr;  // face coordinates, set by the gauge geometry
    bool visible = true;           // false: takes a place on the scale, nothing is drawn
    std::string label;
};

struct VPCORE_EXPORT MajorTickDisplay : public TickDisplay {
    MajorTickDisplay();
    explicit MajorTickDisplay(const std::string& label);
};

struct VPCORE_EXPORT MinorTickDisplay : public TickDisplay {
    MinorTickDisplay();
    explicit MinorTickDisplay(const std::string& label);
};

}  // namespace vpcore
