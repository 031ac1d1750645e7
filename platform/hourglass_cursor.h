#pragma once

namespace platform {

// Shows the busy cursor for its lifetime and restores the previous cursor
// on every path out of the scope, also when an exception leaves it.
class HourglassCursor {
public:
    HourglassCursor();
    ~HourglassCursor();
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;

private:
    bool active_;
};

}  // namespace platform
