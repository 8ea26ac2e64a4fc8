// The options page that shows the product's name and the installed version. GUI thread only.
#pragma once

#include "options/OptionsPageBase.h"

class AboutPage : public OptionsPageBase {
public:
    explicit AboutPage(QWidget* parent);

    // Nothing to save.
    void save() override {}
    // "About Ombrix".
    QString title() const override;
};
