#include "wordings/wording.h"

namespace charlib {

namespace {

// A file that cannot be read as its format: the file and the place first.
constexpr Wording wordings[] = {
    {Code::NulInText,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "there is a NUL character (U+0000), which no text has: this is not text written in {encoding}")},
    {Code::XmlUnknownEncoding,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the encoding “{encoding}” that the XML declaration names is unknown")},
    {Code::XmlSyntax,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "XML syntax error: {detail}")},
    {Code::XmlUnclosedCdata,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "XML syntax error: a CDATA section does not end with ]]>")},
    {Code::XmlTooDeep,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "XML elements are nested more than {limit} deep: <{name}>")},
    {Code::XmlUndefinedEntity,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the entity “{name}” is not defined")},
    {Code::XmlExternalEntity,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the external entity “{name}” ({system}) is not read")},
    {Code::XmlExternalEntityInAttribute,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the external entity “{name}” in an attribute value is not read")},
    {Code::XmlBadCharacterReference,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the character reference “{name}” is not a character XML allows")},
    {Code::XmlBareAmpersand,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "“&” must begin an entity reference (such as &amp;), or be written &amp;")},
    {Code::XmlEntitiesTooLong,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the text is too long once its entities are expanded")},
    {Code::HtmlTooDeep,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "HTML elements are nested more than {limit} deep: <{name}>")},
    {Code::HtmlTooManyAttributes,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "the HTML element <{name}> has more than {limit} attributes")},
    {Code::JsonSyntax,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "JSON syntax error: {detail}")},
    {Code::YamlSyntax,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "YAML syntax error: {detail}")},
    {Code::YamlTooDeep,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "YAML nested too deep: the [ ] or { } here are nested {depth} deep, and at most {limit} are read")},
    {Code::PoSyntax,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "PO syntax error: {detail}")},
    {Code::PoTooManyDomains,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "PO syntax error: more than {limit} domains, which is not what a translation file has")},
    {Code::CsvUnclosedQuote,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "CSV syntax error: a quote is not closed")},
    {Code::NoSuchColumn,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "no column named “{name}” (the header's columns: {header:list})")},
    {Code::NoSuchKeyColumn,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "no column named “{name}” for the rows' keys (the header's columns: {header:list})")},
    {Code::NoHeaderRow,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "no column named “{name}”: there is no header row")},
    {Code::StringsUnclosedComment,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".strings syntax error: a comment has no closing “*/”")},
    {Code::StringsExpected,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".strings syntax error: “{character:glyph}” was expected here")},
    {Code::StringsExpectedString,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".strings syntax error: a quoted string was expected here")},
    {Code::StringsUnclosedString,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".strings syntax error: a string has no closing quote")},
    {Code::StringsBadUnicodeEscape,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".strings syntax error: {escape} must be followed by 4 hexadecimal digits")},
    {Code::PropertiesBadUnicodeEscape,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           ".properties syntax error: \\u must be followed by 4 hexadecimal digits")},
    {Code::VttNoHeader,
        N_("Cannot parse the file “{path}”: line {line}, column {column}: "
           "this is not a WebVTT file: its first line must be WEBVTT")},
};

}  // namespace

std::span<const Wording> format_wordings() { return wordings; }

}  // namespace charlib
