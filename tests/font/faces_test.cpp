// Choosing a face of a collection: collections made here from one small font
// under different names.
#include <gtest/gtest.h>

#include "face.h"
#include "font/font.h"
#include "sfnt.h"
#include "temp_dir.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

// A face named `family` in English, Regular, with further names.
std::string named_face(const std::u16string& family, std::vector<sfnt::Name> more = {})
{
    static const std::string small(subset_font(Font(microhei), U"中文", false).bytes());
    more.push_back({1, 0x0409, family});
    more.push_back({2, 0x0409, u"Regular"});
    return sfnt::with_names(small, more);
}

TEST(Faces, ACollectionUsesTheFirstFaceMarkedForSimplifiedChinese)
{
    const std::string jp = named_face(u"Test JP"), kr = named_face(u"Test KR"), sc = named_face(u"Test SC");
    const std::string chinese_name = named_face(u"Test Han", {{1, 0x0804, u"测试黑体"}});
    const std::string taiwan_name = named_face(u"Test Hant", {{1, 0x0404, u"測試黑體"}});
    // A word of the family name first, then a family name in simplified Chinese, then face 0.
    TempDir dir;
    for (const auto& [faces, chosen] :
        std::initializer_list<std::pair<std::vector<std::string>, unsigned>>{{{jp, kr, chinese_name, sc}, 3},
            {{jp, chinese_name, taiwan_name}, 1}, {{jp, taiwan_name, kr}, 0}, {{sc}, 0}}) {
        const Font font(dir.write("set.ttc", sfnt::collection(faces)), FaceChoice{});
        const std::vector<FaceName>& names = font.face_names();
        EXPECT_EQ(font.face_index(), chosen) << faces.size() << " faces";
        ASSERT_EQ(names.size(), faces.size());
        EXPECT_EQ(font.family(), names[chosen].family) << "the face FreeType reads";
        for (std::size_t i = 0; i < faces.size(); ++i)  // traditional Chinese is not simplified
            EXPECT_EQ(names[i].chinese_family, faces[i] == chinese_name ? "测试黑体" : "") << i;
        EXPECT_EQ(std::tuple(names[0].family, names[0].style, names[0].says_simplified),
            faces.size() > 1 ? std::tuple("Test JP", "Regular", false)
                             : std::tuple("Test SC", "Regular", true));
    }
}

TEST(Faces, FamilyNamesSayTheyAreForSimplifiedChineseByWholeWords)
{
    const std::pair<std::u16string, bool> families[] = {{u"Noto Sans CJK SC", true}, {u"AR PL UKai CN", true},
        {u"Test GB18030", true}, {u"Test_GBK", true}, {u"Test-GB", true}, {u"Test Simplified", true},
        {u"Test Hans", true}, {u"方正书宋简体", true}, {u"思源黑体SC", true}, {u"Disco Script", false},
        {u"Test GBX", false}, {u"Test TC", false}, {u"Test Traditional", false}, {u"Scandic", false}};
    std::vector<std::string> faces;
    for (const auto& [family, simplified] : families)
        faces.push_back(named_face(family));
    // The typographic family and style (names 16 and 17) come before names 1 and 2.
    faces.push_back(named_face(u"Typo Medium", {{16, 0x0409, u"Typo SC"}, {17, 0x0409, u"Medium"}}));
    TempDir dir;
    const Font font(dir.write("set.ttc", sfnt::collection(faces)), 3);
    const std::vector<FaceName>& names = font.face_names();
    ASSERT_EQ(names.size(), faces.size());
    for (std::size_t i = 0; i < std::size(families); ++i)
        EXPECT_EQ(names[i].says_simplified, families[i].second) << names[i].family;
    EXPECT_EQ(std::tuple(names.back().family, names.back().style, names.back().says_simplified),
        std::tuple("Typo SC", "Medium", true));
}

TEST(Faces, AFaceIsChosenByNumberOrByAnyOfItsNamesInAnyCase)
{
    TempDir dir;
    const auto path = dir.write("set.ttc",
        sfnt::collection({named_face(u"Test JP"), named_face(u"Test Han", {{1, 0x0804, u"测试黑体"}}),
            named_face(u"Twin", {{4, 0x0409, u"Twin One"}}),
            named_face(u"Twin", {{4, 0x0409, u"Twin Two"}})}));
    const std::pair<FaceChoice, unsigned> chosen[] = {{{1u, "Twin"}, 1}, {{{}, "test jp"}, 0},
        {{{}, "测试黑体"}, 1}, {{{}, "TEST HAN REGULAR"}, 1}, {{{}, "Twin Two"}, 3}};
    for (const auto& [choice, index] : chosen)
        EXPECT_EQ(Font(path, choice).face_index(), index) << choice.name;

    // Refused with the count of the file's faces, which the caller can list.
    const struct {
        std::filesystem::path file;
        FaceChoice choice;
        std::string outcome;
        std::size_t faces;
    } refused[] = {{path, {4u, ""}, "no-such-face face=4 count=4", 4},
        {path, {{}, "Test"}, "no-face-named name=Test count=4", 4},
        {path, {{}, "twin"}, "face-name-ambiguous name=twin matches=2 count=4", 4},
        {inconsolata, {1u, ""}, "no-such-face face=1 count=1", 1}};
    for (const auto& test : refused) {
        EXPECT_EQ(failure_of([&] { Font font(test.file, test.choice); }), test.outcome);
        const std::vector<FaceName> listed = face_names_of(test.file);
        ASSERT_EQ(listed.size(), test.faces);
        EXPECT_EQ(listed[0].family, test.faces == 1 ? "Inconsolata" : "Test JP");
    }
}

}  // namespace
