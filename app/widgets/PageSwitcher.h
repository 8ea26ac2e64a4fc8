// What a panel may ask of the window that shows it: another of its pages. The main window
// implements it; a panel finds it among its ancestors when the user asks for a page, so only
// the window knows its page stack and no panel depends on the window's class. GUI thread.
#pragma once

class QWidget;

class PageSwitcher {
public:
    // The pages of the main window's stack.
    enum Page { CONDITIONS_PAGE = 0, ALERT_PAGE = 1, RADAR_PAGE = 2 };

    virtual ~PageSwitcher() = default;

    virtual void setCurrentPage(int index) = 0;
    // setCurrentPage, then the current page widget (null without pages).
    virtual QWidget* showPage(int index) = 0;

    // The nearest of widget and its ancestors that switches pages, else null (a panel shown
    // outside the main window).
    static PageSwitcher* of(const QWidget* widget);

protected:
    PageSwitcher() = default;
    PageSwitcher(const PageSwitcher&) = default;
    PageSwitcher& operator=(const PageSwitcher&) = default;
};
