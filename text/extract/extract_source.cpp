#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "byte_extractor.h"
#include "byte_lines.h"
#include "codec/stream_decoder.h"
#include "extract/extract.h"
#include "files/input_file.h"

namespace charlib {

void read_decoded(InputFile& file, Encoding encoding, std::size_t buffer_size,
    const std::function<void(std::uint64_t)>& progress, std::vector<InvalidPlace>* invalid,
    const std::function<bool(std::u32string_view)>& take, const Reading& reading)
{
    StreamDecoder decoder(encoding);
    const std::unique_ptr<char[]> buffer(new char[buffer_size]);
    std::uint64_t total = 0;
    for (;;) {
        std::size_t count = 0;
        if (total < reading.first.size()) {
            count =
                std::min<std::size_t>(buffer_size, reading.first.size() - static_cast<std::size_t>(total));
            std::copy_n(reading.first.data() + total, count, buffer.get());
        } else {
            count = file.read_at(total, buffer.get(), buffer_size);
            if (reading.observe && count > 0) reading.observe({buffer.get(), count});
        }
        total += count;
        if (progress) progress(total);
        if (!take(decoder.decode({buffer.get(), count}, count == 0, invalid)) || count == 0) return;
    }
}

namespace {

// Parts of the file, each beginning at a line's start, about equal in size.
std::vector<std::pair<std::uint64_t, std::uint64_t>> line_parts(
    InputFile& file, Newline newline, unsigned parts, std::uint64_t least_part_bytes)
{
    const std::uint64_t size = file.size();
    parts = static_cast<unsigned>(
        std::min<std::uint64_t>(parts, size / std::max<std::uint64_t>(least_part_bytes, 1)));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> result;
    std::uint64_t begin = 0;
    char buffer[4096];
    for (unsigned k = 1; k < parts; ++k) {
        // The part ends after the first line end from here on (a CR LF pair as one).
        std::uint64_t at = std::max(begin, size / parts * k), split = 0;
        const std::uint64_t start = at;
        bool after_cr = false;
        for (std::size_t count; split == 0 && at - start < (std::uint64_t{64} << 20) &&
             (count = file.read_at(at, buffer, sizeof buffer)) > 0;) {
            for (std::size_t i = 0; i < count && split == 0; ++i, ++at) {
                if (after_cr) split = buffer[i] == '\n' ? at + 1 : at;
                after_cr = buffer[i] == '\r';
                if (split == 0 && buffer[i] == '\n' && newline == Newline::Any) split = at + 1;
            }
        }
        if (after_cr && split == 0) split = at;
        if (split == 0 || split >= size) break;  // no line end near enough: fewer parts
        result.emplace_back(begin, split);
        begin = split;
    }
    result.emplace_back(begin, size);
    return result;
}

// Code page 936 and UTF-8, read in the bytes; a large file in parts side by
// side. The parts' tallies add up to the whole's, and a Control-Z ends the
// text in the part that has it: the parts after it do not count.
Tally extract_bytes(InputFile& file, const SourceFormat& format, const Selection& selection,
    std::size_t buffer_size, const Tuning& tuning, const Reading& reading)
{
    const auto parts = selection.offset > 0 || tuning.threads < 2
        ? std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, ~std::uint64_t{0}}}
        : line_parts(file, format.newline, tuning.threads, tuning.least_part_bytes);
    std::vector<Tally> tallies(parts.size());
    std::vector<std::exception_ptr> errors(parts.size());
    std::uint64_t done = 0;
    std::mutex progress;
    const auto extract_part = [&](std::size_t i) {
        try {
            ByteLines lines(
                file, buffer_size, format, parts[i].first, parts[i].second, i == 0 ? reading.first : "");
            if (i == 0 && reading.observe) lines.on_bytes(reading.observe);
            if (reading.count_lines) lines.count_lines();
            std::uint64_t mine = 0;
            if (selection.progress)
                lines.on_read([&](std::uint64_t bytes) {
                    const std::lock_guard lock(progress);
                    done += bytes - std::exchange(mine, bytes);
                    selection.progress(done);
                });
            tallies[i] = extract_from_bytes(lines, format, selection, *tuning.kernel);
            tallies[i].control_z = lines.stopped_at_control_z();
            tallies[i].control_z_byte = lines.control_z_byte();
            if (reading.count_lines) {
                tallies[i].lines = lines.lines();
                // Every non-empty line is selected when no marker tests them.
                if (selection.marker.empty() && selection.offset <= 0)
                    tallies[i].selected_lines = lines.non_empty_lines();
            }
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < parts.size(); ++i)
        threads.emplace_back(extract_part, i);
    extract_part(0);
    for (std::thread& thread : threads)
        thread.join();
    Tally tally;
    for (std::size_t i = 0; i < parts.size() && !tally.control_z; ++i) {
        if (errors[i]) std::rethrow_exception(errors[i]);
        tally.add(tallies[i]);
        tally.control_z = tallies[i].control_z;
        tally.control_z_byte = tallies[i].control_z_byte;
    }
    return tally;
}

}  // namespace

Tally extract_source(InputFile& file, const SourceFormat& format, const Selection& selection,
    const Tuning& tuning, const Reading& reading, std::size_t buffer_size)
{
    if (format.encoding == Encoding::Gbk || format.encoding == Encoding::Utf8)
        return extract_bytes(file, format, selection, buffer_size, tuning, reading);
    CodePointExtractor extractor(format.newline, selection);
    bool control_z = false;
    read_decoded(
        file, format.encoding, buffer_size, selection.progress, nullptr,
        [&](std::u32string_view piece) { return !(control_z = !extractor.feed(piece)); }, reading);
    Tally tally = extractor.finish();
    tally.control_z = control_z;
    if (reading.count_lines) {
        tally.lines = extractor.lines();
        tally.selected_lines = extractor.selected_lines();
    }
    return tally;
}

Tally extract_source(const std::filesystem::path& path, const SourceFormat& format,
    const Selection& selection, std::size_t buffer_size, const Tuning& tuning)
{
    InputFile file(path);
    return extract_source(file, format, selection, tuning, {}, buffer_size);
}

}  // namespace charlib
