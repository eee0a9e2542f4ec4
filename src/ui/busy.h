// The hourglass while a long command runs, and letting pending window messages run.
#pragma once

// Shows the hourglass for its lifetime; the normal cursor comes back however the scope ends.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Lets the window repaint and other events run in the middle of a long loop.
void ProcessMessages();
