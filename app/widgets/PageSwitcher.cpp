#include "widgets/PageSwitcher.h"

#include <QWidget>

PageSwitcher* PageSwitcher::of(const QWidget* widget) {
    for (QWidget* candidate = const_cast<QWidget*>(widget); candidate != nullptr;
         candidate = candidate->parentWidget()) {
        if (auto* switcher = dynamic_cast<PageSwitcher*>(candidate)) {
            return switcher;
        }
    }
    return nullptr;
}
