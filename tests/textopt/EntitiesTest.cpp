// Shortening of named character references.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/Entities.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

class ShortenEntitiesTable : public testing::TestWithParam<PassCase> {};
TEST_P(ShortenEntitiesTable, GivesTheExpectedText) {
    ExpectPassRow(ShortenEntities, GetParam());
}

const PassCase kEntityExamples[] = {
    {"lower and upper case", "caf&eacute; &Ntilde;", "caf&#233; &#209;"},
    {"upper case picks the first code", "&Eacute;", "&#201;"},
    {"link address kept, text shortened", "<A HREF='x?a=1&eacute;'>&eacute;</A>",
     "<A HREF='x?a=1&eacute;'>&#233;</A>"},
    {"PRE kept", "<PRE>&eacute;</PRE>", "<PRE>&eacute;</PRE>"},
    {"six-letter name saves two bytes", "&frac12;", "&#189;"},
    {"five-letter name saves one byte", "&pound;", "&#163;"},
};
INSTANTIATE_TEST_SUITE_P(Examples, ShortenEntitiesTable, testing::ValuesIn(kEntityExamples),
                         RowName<PassCase>);

const PassCase kEntityEdges[] = {
    {"numeric reference stays", "&#233;", "&#233;"},
    {"uncased name in upper case", "&POUND;", "&#163;"},
    {"yacute", "&yacute;", "&#253;"},
    {"Yacute", "&Yacute;", "&#221;"},
    {"THORN all upper", "&THORN;", "&#222;"},
    {"mixed case follows the first letter", "&eACUTE;", "&#233;"},
    {"AACUTE needs a lower-case final e", "&AACUTE;", "&AACUTE;"},
    {"AGRAVE needs a lower-case final e", "&AGRAVE;", "&AGRAVE;"},
    {"ATILDE needs a lower-case final e", "&ATILDE;", "&ATILDE;"},
    {"AACUTe has it", "&AACUTe;", "&#193;"},
    {"Aacute", "&Aacute;", "&#193;"},
    {"aacute", "&aacute;", "&#225;"},
    {"EACUTE is replaced", "&EACUTE;", "&#201;"},
    {"FRAC34 digits", "&FRAC34;", "&#190;"},
    {"short names stay", "&nbsp;&copy;&auml;&cent;", "&nbsp;&copy;&auml;&cent;"},
    {"names outside the table stay", "&acute;&middot;&alpha;&hellip;",
     "&acute;&middot;&alpha;&hellip;"},
    {"frac13 is not in the table", "&frac13;", "&frac13;"},
    {"longer name", "&eacutex;", "&eacutex;"},
    {"no semicolon before text", "&eacute x", "&eacute x"},
    {"escaped ampersand", "&amp;eacute;", "&amp;eacute;"},
    {"double ampersand", "&&eacute;", "&&#233;"},
    {"references in a row", "&times;&divide;&laquo;&raquo;", "&#215;&#247;&#171;&#187;"},
    {"STYLE contents are processed", "<STYLE>p:after{content:'&eacute;'}</STYLE>",
     "<STYLE>p:after{content:'&#233;'}</STYLE>"},
    {"SCRIPT contents are kept", "<SCRIPT>s='&eacute;';</SCRIPT>&eacute;",
     "<SCRIPT>s='&eacute;';</SCRIPT>&#233;"},
    {"known tag attributes are kept", "<IMG ALT='&eacute;'>", "<IMG ALT='&eacute;'>"},
    {"unknown tag attributes are processed", "<FOO title='&eacute;'>", "<FOO title='&#233;'>"},
    {"P is not a known tag", "<P title='&eacute;'>", "<P title='&#233;'>"},
    {"close tag is no known tag", "</A &eacute;>", "</A &#233;>"},
    {"XMP and NOOP kept", "<XMP>&eacute;</XMP><NOOP>&eacute;</NOOP>",
     "<XMP>&eacute;</XMP><NOOP>&eacute;</NOOP>"},
    {"PRX does not end PRE", "<PRE>&eacute;</PRX>&eacute;</PRE>&eacute;",
     "<PRE>&eacute;</PRX>&eacute;</PRE>&#233;"},
    {"TEXTAREA contents stay as written", "<TEXTAREA>&eacute;</TEXTAREA>",
     "<TEXTAREA>&eacute;</TEXTAREA>"},
    {"server code stays as written", "<% w(\"&eacute;\") %>&eacute;",
     "<% w(\"&eacute;\") %>&#233;"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, ShortenEntitiesTable, testing::ValuesIn(kEntityEdges),
                         RowName<PassCase>);

const PassCase kEntityEndings[] = {
    {"no semicolon at the end", "caf&eacute", "caf&eacute"},
    {"five letters, no semicolon at the end", "&pound", "&pound"},
    {"reference ends the text", "caf&eacute;", "caf&#233;"},
    {"ampersand last", "a&", "a&"},
    {"cut name", "&ea", "&ea"},
    {"unclosed SCRIPT keeps to the end", "<SCRIPT>&eacute;", "<SCRIPT>&eacute;"},
    {"unclosed known tag keeps to the end", "<A HREF='&eacute;", "<A HREF='&eacute;"},
    {"unclosed PRE keeps to the end", "&eacute;<PRE>&eacute;", "&#233;<PRE>&eacute;"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, ShortenEntitiesTable, testing::ValuesIn(kEntityEndings),
                         RowName<PassCase>);

const PassCase kEntityHighBytes[] = {
    {"UTF-8 around a reference", "\xC3\xA9&eacute;\xE2\x80\x94", "\xC3\xA9&#233;\xE2\x80\x94"},
    {"high byte inside the name",
     "&e\xC1"
     "cute;",
     "&e\xC1"
     "cute;"},
    {"deleted byte inside the name", "&eac\0ute;"s, "&eacute;"},
    {"deleted bytes are squeezed out", "a\0&eacute;\0"s, "a&#233;"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, ShortenEntitiesTable,
                         testing::ValuesIn(kEntityHighBytes), RowName<PassCase>);

// Every one of the 40 names, in both cases where the case matters: the code table.
struct CodeRow {
    std::string name;
    std::string lowerCode;
    std::string upperCode;
};

class EntityCodeTable : public testing::TestWithParam<CodeRow> {};

TEST_P(EntityCodeTable, BothCasesGiveTheirCodes) {
    const CodeRow& row = GetParam();
    std::string capitalised = row.name;
    capitalised[0] = static_cast<char>(capitalised[0] - 32);
    EXPECT_EQ(RunPass(ShortenEntities, "&" + row.name + ";"), "&#" + row.lowerCode + ";");
    EXPECT_EQ(RunPass(ShortenEntities, "&" + capitalised + ";"), "&#" + row.upperCode + ";");
}

const CodeRow kCodes[] = {
    {"aacute", "225", "193"}, {"acirc", "226", "194"},  {"aelig", "230", "198"},
    {"agrave", "224", "192"}, {"aring", "229", "197"},  {"atilde", "227", "195"},
    {"brvbar", "166", "166"}, {"ccedil", "231", "199"}, {"cedil", "184", "184"},
    {"curren", "164", "164"}, {"divide", "247", "247"}, {"eacute", "233", "201"},
    {"ecirc", "234", "202"},  {"egrave", "232", "200"}, {"frac12", "189", "189"},
    {"frac14", "188", "188"}, {"frac34", "190", "190"}, {"iacute", "237", "205"},
    {"icirc", "238", "206"},  {"iexcl", "161", "161"},  {"igrave", "236", "204"},
    {"iquest", "191", "191"}, {"laquo", "171", "171"},  {"micro", "181", "181"},
    {"ntilde", "241", "209"}, {"oacute", "243", "211"}, {"ocirc", "244", "212"},
    {"ograve", "242", "210"}, {"oslash", "248", "216"}, {"otilde", "245", "213"},
    {"plusmn", "177", "177"}, {"pound", "163", "163"},  {"raquo", "187", "187"},
    {"szlig", "223", "223"},  {"thorn", "254", "222"},  {"times", "215", "215"},
    {"uacute", "250", "218"}, {"ucirc", "251", "219"},  {"ugrave", "249", "217"},
    {"yacute", "253", "221"},
};
INSTANTIATE_TEST_SUITE_P(Examples, EntityCodeTable, testing::ValuesIn(kCodes), RowName<CodeRow>);

TEST(ShortenEntities, NonPositiveLengthGivesZero) {
    std::uint8_t text[] = {'&', 'e', 'a', 'c', 'u', 't', 'e', ';'};
    EXPECT_EQ(ShortenEntities(text, 0), 0);
    EXPECT_EQ(ShortenEntities(text, -8), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 8), "&eacute;");
}

}  // namespace
}  // namespace quillon::test
