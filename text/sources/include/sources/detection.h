#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "base/outcome.h"
#include "base/types.h"
#include "simd/kernel.h"

namespace charlib {

// The encoding -e auto takes for a source, and why. A byte-order mark
// decides (UTF-8, UTF-16LE or BE, GB18030); then, in this order: NUL bytes
// in every other place, in half the units or more, mean UTF-16; UTF-8 with
// at most one invalid sequence for 20 valid multi-byte ones is UTF-8;
// UTF-16 whose characters beyond ASCII are nine in ten CJK, in bytes that
// make no clean code page 936 text, is UTF-16; GB18030 with four-byte
// sequences, as nearly valid as UTF-8 must be, is GB18030; anything else is
// GBK. Only the first 64 MiB are looked at, for UTF-16 the first MiB.
struct Detection {
    Encoding encoding = Encoding::Gbk;
    Outcome reason;  // codes/sources.h: from Bom to DefaultEncoding
    bool guessed = false;  // no byte-order mark, and the bytes could be read another way
};
// Detection fed the file's bytes as another reader reads them, so that the
// file is read once: bytes in order from the start; it says how many more
// it wants (0 once the window is seen or the verdict cannot change).
class DetectionStream {
public:
    DetectionStream(std::uint64_t file_size, const Kernel& kernel = best_kernel());
    ~DetectionStream();
    void feed(std::string_view bytes);
    std::uint64_t seen() const { return seen_; }
    std::uint64_t wanted() const;
    Detection finish();

private:
    class Detector;
    std::unique_ptr<Detector> detector_;
    std::uint64_t size_, window_, seen_ = 0;
    bool settled_ = false;
};

// Reads the file; throws Failure.
Detection detect(const std::filesystem::path& path, const Kernel& kernel = best_kernel());
// The same on bytes in memory; unless `complete`, they may be cut anywhere at the end.
Detection detect(std::string_view bytes, bool complete, const Kernel& kernel = best_kernel());

}  // namespace charlib
