// The settings a run starts from and what the stages make of them, and the web-page chain as a
// whole on real pages.
#include "pipeline/PageChain.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Corpus.h"
#include "MemorySettingsStore.h"
#include "pipeline/FileKinds.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

// The start-up pass fills in what is missing and keeps what is stored. Keys no settings page
// owns (the statistics, the second GIF gate) it leaves alone, so it never resets them.
TEST(SettingsKeys, StartupPassFillsInWhatIsMissingAndKeepsTheRest) {
    test::MemorySettingsStore store;
    store.PutInt(section::kHtml, key::kMetaTagsOption, 2);
    store.PutString(section::kDestination, key::kDestination, "/srv/out");
    StorePageDefaults(store, "/home/ada/Desktop");
    EXPECT_EQ(store.GetInt(section::kHtml, key::kMetaTagsOption, 9), 2u);
    EXPECT_EQ(store.GetString(section::kDestination, key::kDestination, ""), "/srv/out");
    EXPECT_EQ(store.GetString(section::kReport, key::kBrowserName, "absent"), "");
    test::MemorySettingsStore fresh;
    StorePageDefaults(fresh, "/home/ada/Desktop");
    EXPECT_EQ(fresh.GetString(section::kDestination, key::kDestination, ""),
              "/home/ada/Desktop/Quillon Optimized Files");
    EXPECT_EQ(fresh.GetInt(section::kGif, key::kEnableGifStage, 9), 9u);
    EXPECT_EQ(fresh.GetInt(section::kStatistics, key::kBytesSaved, 9), 9u);
}

// What the JPEG stage is told for each stored "Recompress"; a value this program does not know
// means stripping alone, as the settings page shows it.
TEST(SettingsKeys, JpegRecompressionReachesTheStage) {
    using enum JpegRecompression;
    const std::pair<std::optional<std::uint32_t>, JpegRecompression> rows[] = {
        {std::nullopt, kProgressive},
        {0, kOff},
        {1, kOptimizedTables},
        {2, kProgressive},
        {3, kOff}};
    for (const auto& [stored, expected] : rows) {
        test::MemorySettingsStore store;
        if (stored) {
            store.PutInt(section::kJpeg, key::kJpegRecompress, *stored);
        }
        EXPECT_EQ(ReadStageSettings(store).jpegRecompression, expected) << stored.value_or(99);
    }
}

std::string ChainWith(std::string page, const PageSettings& settings) {
    page.resize(
        static_cast<std::size_t>(RunPageChain(reinterpret_cast<std::uint8_t*>(page.data()),
                                              static_cast<TextLength>(page.size()), settings)));
    return page;
}

std::string Chain(std::string page, const SettingsStore& settings, bool inlineJavaScript) {
    return ChainWith(std::move(page), ReadPageSettings(settings, inlineJavaScript));
}

// A page through the chain under the defaults, with every gate closed, and with values no page
// writes, read as the page's own choices would be: only 0 picks lax quotes, only 1 opens a gate.
TEST(PageChain, SettingsPickTheStepsAndTheirOptions) {
    const std::string page =
        "<HTML>\r\n<HEAD><META NAME=GENERATOR CONTENT=x><META NAME=AUTHOR CONTENT=y></HEAD>\r\n"
        "<BODY>\t<!-- note --> <TD ALIGN='center'>caf&eacute;</TD>\r\n"
        "<UL><LI>a</LI></UL><NOOP>n</NOOP>\r\n<A HREF='dir/x.htm'>l</A>\r\n"
        "<SCRIPT>\r\n  var a = 1 ; // one\r\n</SCRIPT></BODY></HTML>\r\n";
    struct Put {
        std::string_view section, key;
        std::uint32_t value;
    };
    struct Row {
        const char* name;
        std::vector<Put> puts;
        bool inlineJavaScript;
        std::string expected;
    };
    // clang-format off
    const Row rows[] = {
        // The blank between a link and a script stays: a script is no block.
        {"defaults", {}, true,
         "<HTML><HEAD><BODY><TD ALIGN=center>caf&#233;</TD><UL><LI>a</UL>n\n"
         "<A HREF='dir/x.htm'>l</A>\n<SCRIPT>var a=1;</SCRIPT>"},
        {"gates closed",
         {{section::kHtml, key::kRemoveComments, 0},
          {section::kHtml, key::kRemoveOptionalTags, 0},
          {section::kHtml, key::kRemoveWysiwygTags, 0},
          {section::kHtml, key::kStrictQuotes, 0},
          {section::kHtml, key::kMetaTagsOption, 1}}, false,
         "<HTML><HEAD><META NAME=AUTHOR CONTENT=y></HEAD><BODY><!-- note --><TD "
         "ALIGN=center>caf&#233;</TD><UL><LI>a</LI></UL><NOOP>n</NOOP>\n"
         "<A HREF=dir/x.htm>l</A>\n<SCRIPT>var a = 1 ; // one</SCRIPT></BODY></HTML>"},
        {"values no page writes",
         {{section::kHtml, key::kRemoveWysiwygTags, 2},
          {section::kHtml, key::kStrictQuotes, 5},
          {section::kHtml, key::kMetaTagsOption, 2},
          {section::kJava, key::kRemoveComments, 0}}, true,
         "<HTML><HEAD><META NAME=GENERATOR CONTENT=x><META NAME=AUTHOR CONTENT=y><BODY><TD "
         "ALIGN=center>caf&#233;</TD><UL><LI>a</UL><NOOP>n</NOOP>\n"
         "<A HREF='dir/x.htm'>l</A>\n<SCRIPT>var a=1;// one</SCRIPT>"},
    };
    // clang-format on
    for (const Row& row : rows) {
        test::MemorySettingsStore settings;
        for (const Put& put : row.puts) {
            settings.PutInt(put.section, put.key, put.value);
        }
        EXPECT_EQ(Chain(page, settings, row.inlineJavaScript), row.expected) << row.name;
    }
}

std::string Pass(const PageStep& step, std::string text, const PageOptions& options) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(text.data());
    text.resize(
        static_cast<std::size_t>(step.pass(bytes, static_cast<TextLength>(text.size()), options)));
    return text;
}

// Over the corpus the chain saves over a tenth, never lengthens a page, comes to the same bytes
// when a large page's script bodies are worked out on a second thread, and settles: a second run
// may still find work (`<SCRIPT` and a line feed open a region RemoveComments skips to the end of
// the page; only NormalizeTags, later, makes that line feed a space), a third finds nothing. Each
// step, given what the steps before it leave, finds nothing left to do the second time. Pages
// holding 0 bytes (UTF-16, binary) the pipeline keeps away from the chain.
TEST(PageChainCorpus, ChainSavesAndSettlesAndEachStepIsIdempotent) {
    const test::MemorySettingsStore defaults;
    const PageOptions options = ReadPageSettings(defaults, true).options;
    std::size_t before = 0, after = 0;
    for (const auto& path : test::CorpusFiles("html", {".html", ".htm"})) {
        std::string text = test::ReadText(path);
        if (text.find('\0') != std::string::npos) {
            continue;
        }
        SCOPED_TRACE(path.filename());
        const std::string once = Chain(text, defaults, true);
        EXPECT_LE(once.size(), text.size());
        PageSettings settings = ReadPageSettings(defaults, true);
        settings.scriptsAheadFrom = std::numeric_limits<TextLength>::max();
        const std::string plain = ChainWith(text, settings);
        settings.scriptsAheadFrom = 0;
        EXPECT_TRUE(ChainWith(text, settings) == plain)
            << "with the script bodies worked out ahead";
        before += text.size();
        after += once.size();
        const std::string twice = Chain(once, defaults, true);
        EXPECT_TRUE(Chain(twice, defaults, true) == twice) << "a third run changed the page";
        for (const PageStep& step : PageChainSteps()) {
            text = Pass(step, text, options);
            EXPECT_TRUE(Pass(step, text, options) == text) << step.name;
        }
    }
    EXPECT_LT(after, before - before / 10);
}

}  // namespace
}  // namespace quillon
