#include "font/font.h"

#include <fcntl.h>
#include <hb-subset.h>
#include <unistd.h>
#include <woff2/encode.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "font/faces.h"

namespace charlib {

namespace {

// Standard error sent to /dev/null while it lives.
class QuietStandardError {
public:
    QuietStandardError() : saved_(::dup(2))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            std::fflush(stderr);
            ::dup2(null, 2);
            ::close(null);
        }
    }
    ~QuietStandardError()
    {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_;
};

}  // namespace

FontError::FontError(const std::filesystem::path& path, const std::string& reason) :
    std::runtime_error("字体“" + path.string() + "”" + reason)
{
}

Font::Font(const std::filesystem::path& path, unsigned face) : path_(path), faces_(std::make_unique<Faces>())
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FontError(path, std::string("无法打开：") + std::strerror(errno));
    data_.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) throw FontError(path, "无法读取");
    Faces& faces = *faces_;
    if (FT_Init_FreeType(&faces.library) != 0) throw FontError(path, "无法启动 FreeType");
    const auto* bytes = reinterpret_cast<const FT_Byte*>(data_.data());
    const auto size = static_cast<FT_Long>(data_.size());
    FT_Face probe = nullptr;
    if (FT_New_Memory_Face(faces.library, bytes, size, -1, &probe) != 0)
        throw FontError(path, "不是能读懂的字体文件（TrueType、OpenType 或字体集）");
    const FT_Long count = probe->num_faces;
    FT_Done_Face(probe);
    if (face >= count)
        throw FontError(path,
            "只有 " + std::to_string(count) + " 个字体（--face 0 到 " + std::to_string(count - 1) +
                "），没有 --face " + std::to_string(face));
    if (FT_New_Memory_Face(faces.library, bytes, size, static_cast<FT_Long>(face), &faces.face) != 0)
        throw FontError(path, "第 " + std::to_string(face) + " 个字体无法读取");
    if (FT_Select_Charmap(faces.face, FT_ENCODING_UNICODE) != 0) throw FontError(path, "没有 Unicode 字符表");
    faces.blob = hb_blob_create(
        data_.data(), static_cast<unsigned>(data_.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    faces.shaping = hb_face_create(faces.blob, face);
}

Font::~Font() = default;

std::string Font::family() const
{
    const char* family = faces_->face->family_name;
    return family ? family : path_.stem().string();
}

bool Font::has(char32_t c) const
{
    return FT_Get_Char_Index(faces_->face, c) != 0;
}

std::u32string Font::missing(std::u32string_view characters) const
{
    std::u32string lacking;
    for (char32_t c : characters)
        if (!is_control(c) && !has(c)) lacking += c;
    return lacking;
}

bool is_control(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

std::string subset_font(const Font& font, std::u32string_view characters, bool woff2)
{
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (!input) throw FontError(font.path(), "无法裁剪：内存不足");
    hb_set_t* unicodes = hb_subset_input_unicode_set(input);
    for (char32_t c : characters)
        hb_set_add(unicodes, c);
    hb_face_t* cut = hb_subset_or_fail(font.faces().shaping, input);
    hb_subset_input_destroy(input);
    if (!cut) throw FontError(font.path(), "无法裁剪（HarfBuzz 不支持这种字体，例如只有点阵字形的字体）");
    hb_blob_t* blob = hb_face_reference_blob(cut);
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    std::string bytes(data, length);
    hb_blob_destroy(blob);
    hb_face_destroy(cut);
    if (bytes.empty()) throw FontError(font.path(), "裁剪结果为空");
    if (!woff2) return bytes;
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    std::string compressed(woff2::MaxWOFF2CompressedSize(in, bytes.size()), '\0');
    std::size_t compressed_length = compressed.size();
    bool converted = false;
    {
        QuietStandardError quiet;  // Debian's libwoff2 reports its ratio there
        converted = woff2::ConvertTTFToWOFF2(
            in, bytes.size(), reinterpret_cast<uint8_t*>(compressed.data()), &compressed_length);
    }
    if (!converted) throw FontError(font.path(), "无法转换为 WOFF2");
    compressed.resize(compressed_length);
    return compressed;
}

}  // namespace charlib
