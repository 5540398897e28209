#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace charlib {

// Finds the marker in characters fed one at a time (Knuth-Morris-Pratt), for
// lines that arrive in pieces or markers that cannot be looked for as bytes.
class MarkerMatcher {
public:
    explicit MarkerMatcher(std::u32string marker) :
        marker_(std::move(marker)),
        fallback_(marker_.size() + 1, 0)
    {
        for (std::size_t i = 1, k = 0; i < marker_.size(); ++i) {
            while (k > 0 && marker_[i] != marker_[k])
                k = fallback_[k];
            if (marker_[i] == marker_[k]) ++k;
            fallback_[i + 1] = k;
        }
    }
    void reset()
    {
        matched_ = 0;
        found_ = false;
    }
    // True once the marker has been found in what was fed since the reset;
    // an empty marker is found at the first character.
    bool feed(char32_t c)
    {
        while (matched_ > 0 && marker_[matched_] != c)
            matched_ = fallback_[matched_];
        if (matched_ < marker_.size() && marker_[matched_] == c) ++matched_;
        if (matched_ == marker_.size()) {
            found_ = true;
            matched_ = fallback_[matched_];
        }
        return found_;
    }
    bool found() const { return found_; }

private:
    std::u32string marker_;
    std::vector<std::size_t> fallback_;
    std::size_t matched_ = 0;
    bool found_ = false;
};

}  // namespace charlib
