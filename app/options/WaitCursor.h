// Shows the busy cursor for its lifetime: the options dialog holds one while a page validates
// and saves, the location page while it looks a zip code up. GUI thread only.
#pragma once

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
