// Every translation-file reader on arbitrary bytes: a result or a located
// error, never a crash, a hang or a leak; and strip_markup on what comes out
// (tags, BBCode, MessageFormat), on code points and on UTF-8 alike.

#include "../fuzz_input.h"
#include "base/outcome.h"
#include "codec/utf.h"
#include "formats/entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace charlib;
    if (size < 2) return 0;
    // The first byte picks the format (its low four bits, as TextFormat numbers
    // them, as the seeds begin) and the reading; the rest is the file.
    const auto format = static_cast<TextFormat>(1 + ((data[0] & 0x0F) + 12) % 13);
    const bool arb = data[0] & 0x10, forced = data[0] & 0x20;
    EntryOptions options;
    if (forced) options.encoding = static_cast<Encoding>(data[1] % 5);
    const auto detected = static_cast<Encoding>(data[1] / 5 % 5);
    options.detect = [detected] { return detected; };
    if (data[1] & 0x80) options.columns = {"2", "text"};
    if (data[0] & 0x80) options.key_column = data[1] & 0x40 ? "3" : "";
    options.xliff_source = data[0] & 0x40;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    try {
        const EntriesRead read = read_entries(format, bytes, arb ? "fuzz.arb" : "fuzz.pot", options);
        for (const Entry& entry : read.entries) {
            FUZZ_CHECK(!entry.text.empty());
            FUZZ_CHECK(entry.line >= 1 && entry.column >= 1);
            // Stripped on code points and on UTF-8 in place alike, never longer.
            const std::u32string stripped = strip_markup(entry.text);
            std::string in_place = to_utf8(entry.text);
            strip_markup_in_place(in_place);
            FUZZ_CHECK(stripped.size() <= entry.text.size() && to_utf8(stripped) == in_place);
        }
    } catch (const Failure& error) {
        FUZZ_CHECK(error.outcome().code == Code::CannotParse);
    }
    return 0;
}
