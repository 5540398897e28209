#include "codec/icu_converter.h"

#include <unicode/ucnv.h>

#include "base/outcome.h"

namespace charlib {

IcuConverter::IcuConverter(const char* name)
{
    UErrorCode error = U_ZERO_ERROR;
    converter_.reset(ucnv_open(name, &error));
    if (U_FAILURE(error) || !converter_) throw Failure(Code::NoConverter, {{"encoding", std::string(name)}});
}

void IcuConverter::Close::operator()(UConverter* converter) const
{
    ucnv_close(converter);
}

}  // namespace charlib
