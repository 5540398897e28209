#include <gtest/gtest.h>

#include "entries_check.h"

namespace charlib {
namespace {

std::string utf16le_with_mark(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

const std::string xliff12 = R"(<?xml version="1.0" encoding="UTF-8"?>
<xliff version="1.2" xmlns="urn:oasis:names:tc:xliff:document:1.2">
 <file source-language="en" target-language="zh-CN" datatype="plaintext" original="a">
  <body>
   <group id="g">
    <trans-unit id="1" resname="greeting">
     <source>Hello <g id="1">world</g></source>
     <target>你好<g id="1">世界</g><x id="2"/>！</target>
    </trans-unit>
   </group>
   <trans-unit id="2">
    <source>Bold <bpt id="1">&lt;b&gt;</bpt>text<ept id="1">&lt;/b&gt;</ept></source>
    <target>粗<bpt id="1">&lt;b&gt;</bpt>体<ept id="1">&lt;/b&gt;</ept> &amp; <ph id="3">&lt;img alt="<sub>图标</sub>"&gt;</ph></target>
   </trans-unit>
   <trans-unit id="3"><source>Only source</source></trans-unit>
  </body>
 </file>
</xliff>
)";

TEST(MarkupXml, ReadsTheTextUsersSee)
{
    const Read cases[] = {
        {"xliff 1.2 targets: codes dropped, <sub> kept, unit without target skipped", TextFormat::Xliff, "t",
            xliff12, {{"你好世界！", "greeting", 8, 6}, {"粗体 & 图标", "2"}}, {}, "utf-8"},
        {"xliff 1.2 sources", TextFormat::Xliff, "t", xliff12,
            {{"Hello world", "greeting"}, {"Bold text", "2"}, {"Only source", "3", 15, 23}},
            {.encoding = {}, .columns = {}, .xliff_source = true}},
        {"xliff 2.0 segments, pc kept, ph and cp dropped, CDATA", TextFormat::Xliff, "t",
            R"(<xliff xmlns="urn:oasis:names:tc:xliff:document:2.0" version="2.0" srcLang="en" trgLang="zh">
<file id="f1">
<unit id="u1">
<segment id="s1"><source>Hi.</source><target>嗨。</target></segment>
<ignorable><source> </source><target> </target></ignorable>
<segment><source>Click <pc id="1">here</pc></source><target>点<pc id="1">这里</pc><ph id="2"/><cp hex="0001"/></target></segment>
</unit>
<unit id="u2"><segment><source><![CDATA[a < b]]></source><target><![CDATA[甲 < 乙]]></target></segment></unit>
</file>
</xliff>)",
            {{"嗨。", "u1/s1"}, {"点这里", "u1/2"}, {"甲 < 乙", "u2", 8, 58}}},
        {"xliff with its elements prefixed", TextFormat::Xliff, "t",
            R"(<x:xliff xmlns:x="urn:oasis:names:tc:xliff:document:1.2" version="1.2"><x:file><x:body>)"
            R"(<x:trans-unit id="p"><x:source>Go</x:source><x:target>走</x:target></x:trans-unit>)"
            R"(</x:body></x:file></x:xliff>)",
            {{"走", "p"}}},
        {"android: entities, escapes, whitespace, quotes, styling, CDATA, references, plurals, arrays",
            TextFormat::Android, "t", R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE resources [<!ENTITY app "Charlib">]>
<resources xmlns:xliff="urn:oasis:names:tc:xliff:document:1.2">
    <string name="app_name" translatable="false">&app;</string>
    <string name="escapes">Don\'t \"quote\"\nnew\tline \\ \@home \?x \u4E2D\uD83D\uDE00</string>
    <string name="spaces">  many    spaces
        here  </string>
    <string name="quoted">"  keep   this  "</string>
    <string name="styled">Hello <b>bold</b> <xliff:g id="n" example="3">%d</xliff:g> items</string>
    <string name="cdata"><![CDATA[<i>Ital</i> &amp;]]></string>
    <string name="alias">@string/app_name</string>
    <plurals name="days">
        <item quantity="one">%d day</item>
        <item quantity="other">%d days</item>
    </plurals>
    <string-array name="planets"><item>水星</item><item>@string/app_name</item><item>金星</item></string-array>
    <item name="extra" type="string">额外</item>
    <dimen name="margin">8dp</dimen>
</resources>)",
            {{"Charlib", "app_name", 4, 5}, {"Don't \"quote\"\nnew\tline \\ @home ?x 中😀", "escapes"},
                {"many spaces here", "spaces", 6, 5}, {"  keep   this  ", "quoted"},
                {"Hello bold %d items", "styled"}, {"<i>Ital</i> &amp;", "cdata"}, {"%d day", "days[one]"},
                {"%d days", "days[other]"}, {"水星", "planets[0]"}, {"金星", "planets[2]", 16, 78},
                {"额外", "extra"}}},
        {"resx: strings only", TextFormat::Resx, "t", R"(<?xml version="1.0" encoding="utf-8"?>
<root>
  <xsd:schema id="root" xmlns="" xmlns:xsd="http://www.w3.org/2001/XMLSchema"><xsd:element name="root"/></xsd:schema>
  <resheader name="resmimetype"><value>text/microsoft-resx</value></resheader>
  <data name="Greeting" xml:space="preserve"><value>你好，{0}！</value><comment>shown first</comment></data>
  <data name="Title" type="System.String, mscorlib"><value>标题</value></data>
  <data name="Icon" type="System.Drawing.Bitmap, System.Drawing" mimetype="application/x-microsoft.net.object.bytearray.base64"><value>iVBORw0KGgo=</value></data>
  <data name="label1.TabIndex" type="System.Int32, mscorlib"><value>3</value></data>
  <data name="&gt;&gt;label1.Name" xml:space="preserve"><value>label1</value></data>
</root>)",
            {{"你好，{0}！", "Greeting", 5, 46}, {"标题", "Title"}}},
        {"declared GBK, GBK bytes", TextFormat::Android, "t",
            "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<resources><string "
            "name=\"a\">\xD6\xD0\xCE\xC4</string></resources>",
            {{"中文", "a", 2, 12}}, {}, "gbk"},
        {"-e over the declaration", TextFormat::Android, "t",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><resources><string "
            "name=\"a\">\xD6\xD0</string></resources>",
            {{"中", "a"}}, {.encoding = Encoding::Gbk, .columns = {}}, "gbk"},
        {"UTF-16 with a byte-order mark", TextFormat::Resx, "t",
            utf16le_with_mark(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<root><data name=\"k\"><value>"
                              u"宽字符</value></data></root>"),
            {{"宽字符", "k", 2, 22}}, {}, "utf-16le"},
        {"UTF-16 without a mark, CR LF in the text", TextFormat::Resx, "t",
            utf16le_with_mark(
                u"<?xml version=\"1.0\"?><root><data name=\"k\"><value>宽\r\n字</value></data></root>")
                .substr(2),
            {{"宽\n字", "k"}}, {}, "utf-16le"},
        {"html: title, runs, entities, attributes; no script, style, comment, template", TextFormat::Html,
            "t",
            R"(<!DOCTYPE html>
<html><head><title>标题 &amp; 名</title>
<style>p { color: red }</style><script>var s = "不要";</script></head>
<body>
<!-- 注释 -->
<p>Hello,   <b>wörld</b>&nbsp;&lt;3
  again</p>
<img src="a.png" alt="图片"><input placeholder="输入" type="text"><input type="submit" value="发送">
<div title="提示">块<br>二</div>
<template><p>模板</p></template>
<pre>  a
  b</pre>
</body></html>)",
            {{"标题 & 名", "title", 2, 20}, {"Hello, wörld\u00A0<3 again", "p", 6, 4},
                {"图片", "img@alt", 8, 23}, {"输入", "input@placeholder"}, {"发送", "input@value"},
                {"提示", "div@title"}, {"块", "div"}, {"二", "div"}, {"a\n  b", "pre", 11, 8}}},
        {"html: text outside any element, a script ended only by </script>, the first of two alts after "
         "its run, svg's elements as blocks, CR LF in pre, a <meta> charset that does not apply, "
         "references and text past the parser's buffer placed",
            TextFormat::Html, "t",
            "前言<meta charset=\"iso-8859-1\">\n<p>a<img alt=\"一\" ALT=\"二\">b<script>if (x</p>) "
            "y</script>c</p>\n"
            "<svg><text>甲</text><text>乙</text><style>.a{}</style></svg>\n<pre>x\r\ny</pre>\n"
            "<dt><code>&amp;&amp;,</code></dt>\n<p>  " +
                std::string(1500, 'x') + "</p>",
            {{"前言", "body", 1, 1}, {"abc", "p", 2, 4}, {"一", "img@alt", 2, 15}, {"甲", "text"},
                {"乙", "text", 3, 26}, {"x\ny", "pre", 4, 6}, {"&&,", "dt", 6, 11},
                {std::string(1500, 'x'), "p", 7, 6}}},
    };
    for (const Read& test : cases)
        expect_read(test);
}

TEST(MarkupXml, PlacesMalformedXml)
{
    const Refused cases[] = {
        {TextFormat::Android, "<resources>\n  <string name=\"a\">x</resources>",
            {Code::XmlSyntax, 2, 23, {"detail=mismatched tag"}}},
        {TextFormat::Xliff, "<xliff><file><unit id=\"1\"><segment><target><![CDATA[x",
            {Code::XmlUnclosedCdata, 1, 44}},
        {TextFormat::Android, "<resources>\n  <string name=\"a\">Tom &bogus; Jerry</string></resources>",
            {Code::XmlUndefinedEntity, 2, 24, {"name=&bogus;"}}},
        {TextFormat::Android, "<resources>\n<string name=\"a\">Tom & Jerry</string></resources>",
            {Code::XmlBareAmpersand, 2, 22}},
        {TextFormat::Resx, "<root><data name=\"k\"><value>\n&#0;</value></data></root>",
            {Code::XmlBadCharacterReference, 2, 1, {"name=&#0;"}}},
        {TextFormat::Resx, "<?xml version=\"1.0\" encoding=\"no-such-charset\"?><root/>",
            {Code::XmlUnknownEncoding, 1, 31, {"encoding=no-such-charset"}}},
        {TextFormat::Xliff, std::string("<xliff>\n \0</xliff>", 19), {Code::NulInText, 2, 2, {"encoding=utf-8"}}},
    };
    for (const Refused& test : cases)
        expect_refused(test);
}

void expect_stripped(std::string_view text, std::string_view kept)
{
    EXPECT_EQ(to_utf8(strip_markup(*from_utf8(text))), kept) << text;
    // The same on UTF-8, in place, as entries are stripped.
    std::string in_place(text);
    strip_markup_in_place(in_place);
    EXPECT_EQ(in_place, kept) << text;
}

TEST(MarkupXml, StripsWhatIsNotDrawn)
{
    const std::pair<const char*, const char*> cases[] = {
        {"<b>粗</b>体<i>斜</i>", "粗体斜"},
        {"<color=#ff0000>红</color><size=20>大</size>换<br/>行<sprite name=\"x\">", "红大换行"},
        {"a < b > c, <3, <中>, </>, <b\n>, <<b>>", "a < b > c, <3, <中>, </>, <b\n>, <>"},
        {"{0}个{name}{{count}}{0:N2}{ n }{}{:.2f}{0,number}{user.name}", "个"},
        {"{注意: 重要}, { }, {a b}, {, }, {{0}, {x", "{注意: 重要}, { }, {a b}, {, }, {, {x"},
        {"%s|%d|%1$d|%.2f|%-5s|%@|%lld|%(name)s|%zu|%*d|%n|%10d|%2$08.3f", "||||||||||||"},
        {"100%% 完成, 50% 的人, 50 % des gens, %off, %1, %l, %",
            "100% 完成, 50% 的人, 50 % des gens, %off, %1, %l, %"},
        {"第一行%n第二行", "第一行第二行"},
        // BBCode by name, as Godot and forums write it; other brackets are text.
        {"[b]粗[/b][color=yellow]黄[/color][url=https://example.com/?a=1]链接[/url][font_size=24]大[/"
         "font_size]"
         "[wave amp=50 freq=2]波[/wave][p align=center]中[/p][list][*]项[/list]",
            "粗黄链接大波中项"},
        {"[img]res://icons/coin.png[/img]金币[img width=32]a.png[/img][youtube]dQw4w9WgXcQ[/youtube]",
            "金币"},
        {"[注][1] [b [/b x] [B]大[/B] [bold] [color=red [url]",
            "[注][1] [b [/b x] [B]大[/B] [bold] [color=red "},
        {"[lb]括号[rb][char=4E2D][char=1F600][char=D800][char=zz][lrm][zwj]",
            "[括号]中😀[char=D800][char=zz]"},
        {"[img]a.png 没有闭合[img]b.png", "a.png 没有闭合b.png"},
    };
    for (const auto& [text, kept] : cases)
        expect_stripped(text, kept);
}

// ICU MessageFormat: a text with a plural, select or selectordinal argument
// keeps the text of its sub-messages and none of its syntax.
TEST(MarkupXml, MessageFormatKeepsTheTextOfItsSubMessages)
{
    const std::pair<const char*, const char*> cases[] = {
        {"{n, plural, =0{没有} other{# 个文件}}", "没有 个文件"},
        {"{count,plural,one{# item}other{# items}}", " item items"},
        {"{n, selectordinal, one{#st} two{#nd} other{#th}}", "stndth"},
        {"{n, plural, offset:1 =0 {无人} other {你和另外 # 人}}", "无人你和另外  人"},
        // Nested: # is the number only directly inside a plural's sub-message; a lone ' is text.
        {"{g, select, male{他有{n, plural, =0{没有} other{# 条}}} other{# 号's}}", "他有没有 条# 号's"},
        // Simple arguments are syntax; tags and conversions in the text are stripped as anywhere.
        {"{name}给你{n, number}个{d, date, ::yyyyMMdd}{n, plural, other{<b>#</b> 个%s}}", "给你个 个"},
        // ICU's apostrophes, throughout the text: '' is one, '{' and '#' quote.
        {"It''s '{'n'}' {n, plural, other{'#' # don't '{x}' ''}}", "It's {n} #  don't {x} '"},
        // Not MessageFormat: no plural or select, a broken one.
        {"'{0}' plural", "'' plural"}, {"{n, plural, one{x}", "{n, plural, one"},
        {"{n, plural, one{'{x}}", "{n, plural, one{'}"},  // quoted to the end: never closed
    };
    for (const auto& [text, kept] : cases)
        expect_stripped(text, kept);
    // Arguments nested 32 deep are read; one more is read as other text.
    const auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "{a, select, other{";
        return text + "字" + std::string(2 * static_cast<std::size_t>(depth), '}');
    };
    expect_stripped(nested(32), "字");
    std::string deeper = nested(33);
    strip_markup_in_place(deeper);
    EXPECT_EQ(deeper.find("{a, select, other"), 0u);
}

// What real files hold: an .arb with a plural inside a select, an Angular
// XLIFF whose target is a plural with an interpolation.
TEST(MarkupXml, MessageFormatInArbAndXliffFiles)
{
    const std::string arb = R"({
  "@@locale": "zh",
  "inbox": "{gender, select, male{他有{count, plural, =0{没有新邮件} =1{一封新邮件} other{{count} 封新邮件}}} female{她有{count, plural, =0{没有新邮件} other{# 封新邮件}}} other{有 # 封}}",
  "@inbox": {"placeholders": {"gender": {"type": "String"}, "count": {"type": "int"}}},
  "quoted": "用 '{'name'}' 表示名字，It''s {n, plural, other{第 {n} 项}}",
  "plain": "{user} 上线了"
})";
    const std::string xliff = R"(<?xml version="1.0" encoding="UTF-8" ?>
<xliff version="1.2" xmlns="urn:oasis:names:tc:xliff:document:1.2">
  <file source-language="en" target-language="zh-Hans" datatype="plaintext" original="ng2.template">
    <body>
      <trans-unit id="minutesAgo" datatype="html">
        <source>{VAR_PLURAL, plural, =0 {just now} =1 {one minute ago} other {<x id="INTERPOLATION" equiv-text="{{minutes}}"/> minutes ago}}</source>
        <target>{VAR_PLURAL, plural, =0 {刚刚} =1 {一分钟前} other {<x id="INTERPOLATION" equiv-text="{{minutes}}"/> 分钟前}}</target>
      </trans-unit>
      <trans-unit id="gender" datatype="html">
        <source>{VAR_SELECT, select, male {male} female {female} other {other}}</source>
        <target>{VAR_SELECT, select, male {男} female {女} other {其他}}</target>
      </trans-unit>
    </body>
  </file>
</xliff>)";
    const struct {
        TextFormat format;
        const char* path;
        const std::string& bytes;
        std::vector<std::string> kept;
    } files[] = {
        {TextFormat::Json, "app_zh.arb", arb,
            {"他有没有新邮件一封新邮件 封新邮件她有没有新邮件 封新邮件有 # 封",
                "用 {name} 表示名字，It's 第  项", " 上线了"}},
        {TextFormat::Xliff, "messages.zh.xlf", xliff, {"刚刚一分钟前 分钟前", "男女其他"}},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.path);
        const EntriesRead read = read_entries(file.format, file.bytes, file.path, {});
        std::vector<std::string> kept;
        for (const Entry& entry : read.entries)
            kept.push_back(to_utf8(strip_markup(entry.text)));
        EXPECT_EQ(kept, file.kept);
    }
}

}  // namespace
}  // namespace charlib
