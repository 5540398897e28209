// The web folder's manifest: which pieces each face of each stylesheet lists,
// what they hold and what they were cut from, so that a later cut keeps them.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "codec/utf.h"
#include "files/input_file.h"
#include "font/web.h"
#include "output/output.h"
#include "web_pieces.h"

namespace charlib {

namespace {

using Json = nlohmann::ordered_json;

constexpr int manifest_version = 1;
// A manifest lists pieces of a few hundred KB; one this large is not ours.
constexpr std::uint64_t largest_manifest = std::uint64_t{64} << 20;

// The whole file, as far as `size` bytes.
std::string read_whole(InputFile& file, std::uint64_t size)
{
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t count = file.read_at(got, bytes.data() + got, bytes.size() - got);
        if (count == 0) break;
        got += count;
    }
    bytes.resize(got);
    return bytes;
}

std::string hex16(std::uint64_t value)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

// "U+4E00-4E02,U+4E0A" back into its characters; nothing when malformed.
std::optional<std::u32string> range_characters(const std::string& ranges)
{
    std::u32string characters;
    std::size_t at = 0;
    while (at < ranges.size()) {
        if (ranges.compare(at, 2, "U+") != 0) return std::nullopt;
        at += 2;
        char* end = nullptr;
        const unsigned long first = std::strtoul(ranges.c_str() + at, &end, 16);
        if (end == ranges.c_str() + at) return std::nullopt;
        at = static_cast<std::size_t>(end - ranges.c_str());
        unsigned long last = first;
        if (at < ranges.size() && ranges[at] == '-') {
            ++at;
            last = std::strtoul(ranges.c_str() + at, &end, 16);
            if (end == ranges.c_str() + at) return std::nullopt;
            at = static_cast<std::size_t>(end - ranges.c_str());
        }
        if (first > last || last > 0x10FFFF) return std::nullopt;
        for (unsigned long c = first; c <= last; ++c)
            characters += static_cast<char32_t>(c);
        if (at < ranges.size() && ranges[at++] != ',') return std::nullopt;
    }
    return characters;
}

// Reads one face's entries, naming the first that is wrong.
class FaceReader {
public:
    FaceReader(const std::filesystem::path& path, const Json& face, std::size_t index) :
        path_(path),
        face_(face),
        where_("faces[" + std::to_string(index) + "]")
    {
    }

    WebFaceRecord read() const
    {
        WebFaceRecord record;
        record.stylesheet = text(face_, "stylesheet");
        if (!is_stylesheet_name(record.stylesheet)) wrong("stylesheet");
        record.family = text(face_, "family");
        record.weight = static_cast<unsigned>(number(face_, "weight", 1, 1000));
        record.style = text(face_, "style");
        if (record.style != "normal" && record.style != "italic") wrong("style");
        record.font = text(face_, "font");
        record.features = text(face_, "features");
        const Json& sample = member(face_, "sample");
        if (!sample.is_array()) wrong("sample");
        for (std::size_t i = 0; i < sample.size(); ++i) {
            const auto line = sample[i].is_string() ? from_utf8(sample[i].get<std::string>()) : std::nullopt;
            if (!line) wrong("sample[" + std::to_string(i) + "]");
            record.sample.push_back(*line);
        }
        const Json& pieces = member(face_, "pieces");
        if (!pieces.is_array()) wrong("pieces");
        for (std::size_t i = 0; i < pieces.size(); ++i)
            record.pieces.push_back(piece(pieces[i], "pieces[" + std::to_string(i) + "]"));
        return record;
    }

private:
    WebPieceRecord piece(const Json& entry, const std::string& key) const
    {
        if (!entry.is_object()) wrong(key);
        WebPieceRecord piece;
        piece.file = text(entry, "file", key);
        if (!is_piece_name(piece.file)) wrong(key + ".file");
        const auto characters = range_characters(text(entry, "characters", key));
        if (!characters || characters->empty()) wrong(key + ".characters");
        piece.characters = *characters;
        piece.bytes = number(entry, "bytes", 1, largest_piece, key);
        const std::string digest = text(entry, "digest", key);
        char* end = nullptr;
        piece.digest = std::strtoull(digest.c_str(), &end, 16);
        if (digest.size() != 16 || end != digest.c_str() + digest.size()) wrong(key + ".digest");
        const Json& punctuation = member(entry, "punctuation", key);
        if (!punctuation.is_boolean()) wrong(key + ".punctuation");
        piece.punctuation = punctuation.get<bool>();
        return piece;
    }

    const Json& member(const Json& object, const std::string& name, const std::string& key = "") const
    {
        const auto found = object.find(name);
        if (found == object.end()) wrong((key.empty() ? "" : key + ".") + name);
        return *found;
    }
    std::string text(const Json& object, const std::string& name, const std::string& key = "") const
    {
        const Json& value = member(object, name, key);
        if (!value.is_string()) wrong((key.empty() ? "" : key + ".") + name);
        return value.get<std::string>();
    }
    std::uint64_t number(const Json& object, const std::string& name, std::uint64_t low, std::uint64_t high,
        const std::string& key = "") const
    {
        const Json& value = member(object, name, key);
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() < low || value.get<std::uint64_t>() > high)
            wrong((key.empty() ? "" : key + ".") + name);
        return value.get<std::uint64_t>();
    }
    [[noreturn]] void wrong(const std::string& key) const
    {
        throw Failure(Code::WebManifestEntryWrong, {{"path", path_}, {"key", where_ + "." + key}});
    }

    const std::filesystem::path& path_;
    const Json& face_;
    std::string where_;
};

}  // namespace

std::string write_web_manifest(const WebManifest& manifest)
{
    Json faces = Json::array();
    for (const WebFaceRecord& face : manifest.faces) {
        Json sample = Json::array();
        for (const std::u32string& line : face.sample)
            sample.push_back(to_utf8(line));
        Json pieces = Json::array();
        for (const WebPieceRecord& piece : face.pieces)
            pieces.push_back({{"file", piece.file}, {"characters", unicode_range(piece.characters)},
                {"bytes", piece.bytes}, {"digest", hex16(piece.digest)}, {"punctuation", piece.punctuation}});
        faces.push_back({{"stylesheet", face.stylesheet}, {"family", face.family}, {"weight", face.weight},
            {"style", face.style}, {"font", face.font}, {"features", face.features}, {"sample", sample},
            {"pieces", pieces}});
    }
    const Json json = {{"charlib_web_manifest", manifest_version}, {"faces", faces}, {"retired", manifest.retired}};
    // Invalid UTF-8 cannot come from the characters; a family name from a font could hold it.
    return json.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

WebManifest read_web_manifest(std::string_view text, const std::filesystem::path& path)
{
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::parse_error& error) {
        const std::string_view before = text.substr(0, std::min<std::size_t>(error.byte, text.size()));
        const std::size_t line_start = before.rfind('\n');
        const std::uint64_t line = static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
        const std::uint64_t column = before.size() - (line_start == std::string_view::npos ? 0 : line_start + 1);
        throw Failure(Code::WebManifestUnreadable, {{"path", path}, {"line", line}, {"column", column}});
    }
    const auto wrong = [&](const std::string& key) {
        return Failure(Code::WebManifestEntryWrong, {{"path", path}, {"key", key}});
    };
    if (!json.is_object()) throw wrong("charlib_web_manifest");
    const auto version = json.find("charlib_web_manifest");
    if (version == json.end() || !version->is_number_unsigned()) throw wrong("charlib_web_manifest");
    if (version->get<std::uint64_t>() > manifest_version)
        throw Failure(Code::WebManifestTooNew, {{"path", path}, {"version", version->get<std::uint64_t>()}});
    const auto faces = json.find("faces");
    if (faces == json.end() || !faces->is_array()) throw wrong("faces");
    WebManifest manifest;
    // Older manifests may lack the list.
    if (const auto retired = json.find("retired"); retired != json.end()) {
        if (!retired->is_array()) throw wrong("retired");
        for (const Json& file : *retired) {
            if (!file.is_string() || !is_piece_name(file.get<std::string>())) throw wrong("retired");
            manifest.retired.insert(file.get<std::string>());
        }
    }
    for (std::size_t i = 0; i < faces->size(); ++i) {
        if (!(*faces)[i].is_object()) throw wrong("faces[" + std::to_string(i) + "]");
        manifest.faces.push_back(FaceReader(path, (*faces)[i], i).read());
    }
    return manifest;
}

WebFolder read_web_folder(const std::filesystem::path& folder)
{
    WebFolder found;
    std::error_code error;
    const std::filesystem::path path = folder / web_manifest_name;
    if (std::filesystem::exists(path, error)) {
        InputFile file(path);
        if (file.size() > largest_manifest)
            throw Failure(Code::WebManifestEntryWrong, {{"path", path}, {"key", std::string("charlib_web_manifest")}});
        found.manifest = read_web_manifest(read_whole(file, file.size()), path);
    }
    // A file's digest; nothing when it is not a regular file of at most `most` bytes, or cannot be read.
    const auto digest_of = [&](const std::filesystem::path& file, std::uint64_t most) -> std::optional<std::uint64_t> {
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error) || std::filesystem::file_size(file, error) > most)
            return std::nullopt;
        try {
            InputFile input(file);
            return fnv1a(read_whole(input, input.size()));
        } catch (const Failure&) {
            return std::nullopt;
        }
    };
    std::set<std::string> listed;
    for (const WebFaceRecord& face : found.manifest.faces)
        for (const WebPieceRecord& piece : face.pieces) {
            listed.insert(piece.file);
            if (!found.intact.contains(piece.file) && digest_of(folder / piece.file, piece.bytes) == piece.digest)
                found.intact.insert(piece.file);
        }
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (entry->path().extension() == ".woff2" && !listed.contains(name))
            found.other_pieces.emplace(name, digest_of(entry->path(), largest_piece).value_or(0));
    }
    return found;
}

}  // namespace charlib
