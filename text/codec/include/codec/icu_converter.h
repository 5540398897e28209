#pragma once

#include <memory>

struct UConverter;

namespace charlib {

// An ICU converter by its ICU name ("windows-936-2000", "gb18030"...),
// closed with the object. Throws Failure (Code::NoConverter) when ICU has
// no such table.
class IcuConverter {
public:
    explicit IcuConverter(const char* name);
    UConverter* get() const noexcept { return converter_.get(); }

private:
    struct Close {
        void operator()(UConverter* converter) const;
    };
    std::unique_ptr<UConverter, Close> converter_;
};

}  // namespace charlib
