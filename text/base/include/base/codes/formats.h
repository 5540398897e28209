#pragma once
// The outcomes of the formats room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
// A file that cannot be read as its format says where: path, line and column
// (characters, from 1); `detail` is a parser's own reason, in its words.
#define CHARLIB_FORMAT_CODES(X) \
    X(NulInText, "nul-in-text")                       /* path, line, column, encoding */ \
    X(XmlUnknownEncoding, "xml-unknown-encoding")     /* path, line, column, encoding */ \
    X(XmlSyntax, "xml-syntax")                        /* path, line, column, detail */ \
    X(XmlUnclosedCdata, "xml-unclosed-cdata")         /* path, line, column */ \
    X(XmlTooDeep, "xml-too-deep")                     /* path, line, column, name, limit */ \
    X(XmlUndefinedEntity, "xml-undefined-entity")     /* path, line, column, name: "&nbsp;" */ \
    X(XmlExternalEntity, "xml-external-entity")       /* path, line, column, name, system */ \
    X(XmlExternalEntityInAttribute, "xml-external-entity-in-attribute") /* path, line, column, name */ \
    X(XmlBadCharacterReference, "xml-bad-character-reference") /* path, line, column, name: "&#0;" */ \
    X(XmlBareAmpersand, "xml-bare-ampersand")         /* path, line, column */ \
    X(XmlEntitiesTooLong, "xml-entities-too-long")    /* path, line, column */ \
    X(HtmlTooDeep, "html-too-deep")                   /* path, line, column, name, limit */ \
    X(HtmlTooManyAttributes, "html-too-many-attributes") /* path, line, column, name, limit */ \
    X(JsonSyntax, "json-syntax")                      /* path, line, column, detail */ \
    X(YamlSyntax, "yaml-syntax")                      /* path, line, column, detail */ \
    X(YamlTooDeep, "yaml-too-deep")                   /* path, line, column, depth, limit */ \
    X(PoSyntax, "po-syntax")                          /* path, line, column, detail */ \
    X(PoTooManyDomains, "po-too-many-domains")        /* path, line, column, limit */ \
    X(CsvUnclosedQuote, "csv-unclosed-quote")         /* path, line, column */ \
    X(NoSuchColumn, "no-such-column")                 /* path, line, column, name, header: “a”, “b” */ \
    X(NoSuchKeyColumn, "no-such-key-column")          /* path, line, column, name, header */ \
    X(NoHeaderRow, "no-header-row")                   /* path, line, column, name: the column asked for */ \
    X(StringsUnclosedComment, "strings-unclosed-comment") /* path, line, column */ \
    X(StringsExpected, "strings-expected")            /* path, line, column, character: '=' or ';' */ \
    X(StringsExpectedString, "strings-expected-string") /* path, line, column */ \
    X(StringsUnclosedString, "strings-unclosed-string") /* path, line, column */ \
    X(StringsBadUnicodeEscape, "strings-bad-unicode-escape") /* path, line, column, escape: as written, a backslash and u or U */ \
    X(PropertiesBadUnicodeEscape, "properties-bad-unicode-escape") /* path, line, column */ \
    X(VttNoHeader, "vtt-no-header")                   /* path, line, column */
