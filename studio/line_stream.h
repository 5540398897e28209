#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

namespace charlib::studio {

// An output stream that hands each whole line to `line`, from whichever
// thread wrote it, so that a window shows a run's words as they come.
class LineStream : public std::ostream {
public:
    explicit LineStream(std::function<void(const std::string&)> line) : std::ostream(&buffer_), buffer_(std::move(line)) {}
    ~LineStream() override { buffer_.flush_rest(); }

private:
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(std::function<void(const std::string&)> line) : line_(std::move(line)) {}
        void flush_rest()
        {
            const std::lock_guard lock(mutex_);
            if (!pending_.empty()) line_(std::exchange(pending_, {}));
        }

    protected:
        int_type overflow(int_type c) override
        {
            if (c == traits_type::eof()) return traits_type::not_eof(c);
            put(static_cast<char>(c));
            return c;
        }
        std::streamsize xsputn(const char* text, std::streamsize count) override
        {
            for (std::streamsize i = 0; i < count; ++i)
                put(text[i]);
            return count;
        }

    private:
        void put(char c)
        {
            const std::lock_guard lock(mutex_);
            if (c != '\n') {
                pending_ += c;
                return;
            }
            line_(std::exchange(pending_, {}));
        }

        std::function<void(const std::string&)> line_;
        std::mutex mutex_;
        std::string pending_;
    };

    Buffer buffer_;
};

}  // namespace charlib::studio
