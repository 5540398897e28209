#pragma once

#include <cstdint>

namespace charlib {

// The jump of a selection with an offset: after each line that has the
// marker, the lines up to the offset are passed over and the one at the
// offset is taken untested. With no offset, a line that has the marker is
// taken itself.
class Jump {
public:
    explicit Jump(std::int64_t offset) : length_(offset > 0 ? offset : 0) { }

    bool none() const { return length_ == 0; }
    // The next line is not tested: it is passed over, or taken if it lands_next().
    bool under_way() const { return waiting_ > 0; }
    bool lands_next() const { return waiting_ == 1; }
    // After a tested line: a jump starts from one that has the marker.
    void tested(bool found)
    {
        if (found && length_ > 0) waiting_ = length_;
    }
    // After a line the jump passed over or took.
    void step() { --waiting_; }

private:
    std::int64_t length_;
    std::int64_t waiting_ = 0;
};

}  // namespace charlib
