#include "pipeline/FileKinds.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(FileClass, EndsWithNoCase) {
    struct Row {
        std::string_view text, suffix;
        bool expected;
    };
    const Row rows[] = {
        {"page.htm", "HTM", true}, {"PAGE.HTM", "htm", true},  {"xhtm", "HTM", true},
        {"htm", "HTM", true},      {"tm", "HTM", false},       {"page.htm", "", false},
        {"", "HTM", false},        {"page.hxm", "HTM", false}, {"page.htm ", "HTM", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EndsWithNoCase(row.text, row.suffix), row.expected)
            << row.text << " / " << row.suffix;
    }
}

TEST(FileClass, ClassifyPath) {
    struct Row {
        std::string_view path;
        FileClass expected;
    };
    const Row rows[] = {
        {"/site/page.HTML", FileClass::kWebPage},  {"/site/page.htm", FileClass::kWebPage},
        {"/site/PAGE.SHTML", FileClass::kWebPage}, {"/site/notes.txt", FileClass::kWebPage},
        {"/site/a.lasso", FileClass::kWebPage},    {"/site/a.incl", FileClass::kWebPage},
        {"/site/a.asp", FileClass::kWebPage},      {"/site/a.inc", FileClass::kWebPage},
        {"/site/a.cfm", FileClass::kWebPage},      {"/site/a.ssi", FileClass::kWebPage},
        {"/site/xhtm", FileClass::kWebPage},       {"/site/logo.GIF", FileClass::kGif},
        {"/site/photo.jpg", FileClass::kJpeg},     {"/site/photo.JPEG", FileClass::kJpeg},
        {"/site/site.css", FileClass::kNone},      {"/site/app.js", FileClass::kNone},
        {"/site/feed.xml", FileClass::kNone},      {"/site/index.htm.bak", FileClass::kNone},
        {"/site/image.png", FileClass::kNone},     {"/site/README", FileClass::kNone},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ClassifyPath(row.path), row.expected) << row.path;
    }
}

}  // namespace
}  // namespace quillon
