// The web-page chain as a whole: its 13 steps in order with their gates, status texts and
// cancel checkpoints, the settings it reads once per page, and what it does to real pages.
#include "pipeline/PageChain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Corpus.h"
#include "MemorySettingsStore.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

struct ExpectedStep {
    std::string_view name;
    std::string_view status;
    StepGate gate;
    bool checkpointAfter;
};

TEST(PageChain, HoldsTheThirteenStepsInOrder) {
    using enum StepGate;
    const ExpectedStep expected[] = {
        {"NormalizeLineEnds", "Preprocessing...", kAlways, false},
        {"TabsToSpaces", "", kAlways, false},
        {"RemoveComments", "Optimizing syntax...", kRemoveComments, true},
        {"ShortenEntities", "", kAlways, false},
        {"OptimizeMetaAndImg", "", kAlways, false},
        {"NormalizeTags", "", kAlways, false},
        {"OptimizeInlineScripts", "", kInlineJavaScript, true},
        {"RemoveOptionalTags", "", kRemoveOptionalTags, false},
        {"CollapseSpaces", "Removing excess formatting...", kAlways, false},
        {"TrimAroundLineEnds", "", kAlways, false},
        {"CollapseBlankLines", "", kAlways, true},
        {"TrimAroundBlockTags", "", kAlways, false},
        {"RemoveNoopTags", "", kRemoveEditorTags, true},
    };
    const auto steps = PageChainSteps();
    ASSERT_EQ(steps.size(), std::size(expected));
    for (std::size_t k = 0; k < steps.size(); ++k) {
        SCOPED_TRACE(expected[k].name);
        EXPECT_EQ(steps[k].name, expected[k].name);
        EXPECT_EQ(steps[k].status, expected[k].status);
        EXPECT_EQ(steps[k].gate, expected[k].gate);
        EXPECT_EQ(steps[k].checkpointAfter, expected[k].checkpointAfter);
        EXPECT_NE(steps[k].pass, nullptr);
    }
}

TEST(PageChain, SettingsDefaultWhenAbsent) {
    const test::MemorySettingsStore empty;
    const PageSettings page = ReadPageSettings(empty, false);
    EXPECT_TRUE(page.removeComments);
    EXPECT_FALSE(page.inlineJavaScript);
    EXPECT_TRUE(page.removeOptionalTags);
    EXPECT_TRUE(page.removeEditorTags);
    EXPECT_EQ(page.options.quotes, QuoteRule::kStrict);
    EXPECT_EQ(page.options.metaTags, MetaTagRule::kRemoveUnused);
    EXPECT_TRUE(page.options.removeScriptComments);
    EXPECT_TRUE(ReadPageSettings(empty, true).inlineJavaScript);
}

TEST(PageChain, SettingsPickTheOptions) {
    test::MemorySettingsStore settings;
    settings.PutInt(section::kHtml, key::kStrictQuotes, 0);
    settings.PutInt(section::kHtml, key::kMetaTagsOption, 1);
    settings.PutInt(section::kJava, key::kRemoveComments, 0);
    settings.PutInt(section::kHtml, key::kRemoveComments, 0);
    settings.PutInt(section::kHtml, key::kRemoveOptionalTags, 0);
    settings.PutInt(section::kHtml, key::kRemoveWysiwygTags, 2);
    const PageSettings page = ReadPageSettings(settings, true);
    EXPECT_EQ(page.options.quotes, QuoteRule::kLax);
    EXPECT_EQ(page.options.metaTags, MetaTagRule::kRemoveGenerator);
    EXPECT_FALSE(page.options.removeScriptComments);
    EXPECT_FALSE(page.removeComments);
    EXPECT_FALSE(page.removeOptionalTags);
    EXPECT_FALSE(page.removeEditorTags) << "only 1 opens a gate";
    settings.PutInt(section::kHtml, key::kMetaTagsOption, 2);
    settings.PutInt(section::kHtml, key::kStrictQuotes, 5);
    EXPECT_EQ(ReadPageSettings(settings, true).options.metaTags, MetaTagRule::kKeepAll);
    EXPECT_EQ(ReadPageSettings(settings, true).options.quotes, QuoteRule::kStrict);
    settings.PutInt(section::kHtml, key::kMetaTagsOption, 7);
    EXPECT_EQ(ReadPageSettings(settings, true).options.metaTags, MetaTagRule::kRemoveUnused);
}

// Counts every settings read, so a test can tell reads per page from reads per tag.
class CountingSettings : public test::MemorySettingsStore {
  public:
    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override {
        ++reads;
        return MemorySettingsStore::GetInt(section, key, fallback);
    }
    mutable int reads = 0;
};

std::string Chain(std::string page, const SettingsStore& settings, bool inlineJavaScript) {
    auto* text = reinterpret_cast<std::uint8_t*>(page.data());
    const TextLength length =
        RunPageChain(text, static_cast<TextLength>(page.size()), settings, inlineJavaScript);
    page.resize(static_cast<std::size_t>(length));
    return page;
}

const std::string kPage =
    "<HTML>\r\n<HEAD><META NAME=GENERATOR CONTENT=x><META NAME=AUTHOR CONTENT=y></HEAD>\r\n"
    "<BODY>\t<!-- note --> <TD ALIGN='center'>caf&eacute;</TD>\r\n"
    "<UL><LI>a</LI></UL><NOOP>n</NOOP>\r\n<A HREF='dir/x.htm'>l</A>\r\n"
    "<SCRIPT>\r\n  var a = 1 ; // one\r\n</SCRIPT></BODY></HTML>\r\n";

TEST(PageChain, DefaultsRunEveryStep) {
    const test::MemorySettingsStore defaults;
    EXPECT_EQ(Chain(kPage, defaults, true),
              "<HTML><HEAD><BODY><TD ALIGN=center>caf&#233;</TD><UL><LI>a</UL>n\n"
              // The blank between a link and a script stays: a script is no block.
              "<A HREF='dir/x.htm'>l</A>\n<SCRIPT>var a=1;</SCRIPT>");
}

TEST(PageChain, ClosedGatesSkipTheirSteps) {
    test::MemorySettingsStore settings;
    settings.PutInt(section::kHtml, key::kRemoveComments, 0);
    settings.PutInt(section::kHtml, key::kRemoveOptionalTags, 0);
    settings.PutInt(section::kHtml, key::kRemoveWysiwygTags, 0);
    settings.PutInt(section::kHtml, key::kStrictQuotes, 0);
    settings.PutInt(section::kHtml, key::kMetaTagsOption, 1);
    EXPECT_EQ(Chain(kPage, settings, false),
              "<HTML><HEAD><META NAME=AUTHOR CONTENT=y></HEAD><BODY><!-- note --><TD "
              "ALIGN=center>caf&#233;</TD><UL><LI>a</LI></UL><NOOP>n</NOOP>\n"
              "<A HREF=dir/x.htm>l</A>\n<SCRIPT>var a = 1 ; // one</SCRIPT></BODY></HTML>");
}

TEST(PageChain, ReadsTheSettingsOncePerPageNotPerTag) {
    std::string page;
    for (int k = 0; k < 500; ++k) {
        page += "<TD ALIGN='x'><META NAME=A><SCRIPT>a = 1 // c\n</SCRIPT>";
    }
    CountingSettings settings;
    Chain(page, settings, true);
    EXPECT_LE(settings.reads, 10);
}

class RecordingObserver : public PageChainObserver {
  public:
    void OnStatus(std::string_view status) override { events.emplace_back(status); }
    void OnCheckpoint() override { events.emplace_back("checkpoint"); }
    std::vector<std::string> events;
};

TEST(PageChain, StatusTextsAndCheckpointsWhateverTheGates) {
    test::MemorySettingsStore settings;
    settings.PutInt(section::kHtml, key::kRemoveComments, 0);
    settings.PutInt(section::kHtml, key::kRemoveWysiwygTags, 0);
    std::string page = "a  b";
    RecordingObserver observer;
    RunPageChain(reinterpret_cast<std::uint8_t*>(page.data()), 4, ReadPageSettings(settings, false),
                 &observer);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"Preprocessing...", "Optimizing syntax...", "checkpoint",
                                        "checkpoint", "Removing excess formatting...", "checkpoint",
                                        "checkpoint"}));
}

// ---- On every corpus page

std::vector<std::pair<std::string, std::string>> CorpusPages() {
    std::vector<std::pair<std::string, std::string>> pages;
    for (const auto& path : test::CorpusFiles("html", {".html", ".htm"})) {
        const auto bytes = test::ReadBytes(path);
        std::string text(bytes.begin(), bytes.end());
        // The pipeline keeps pages holding 0 bytes (UTF-16, binary) away from the chain.
        if (text.find('\0') == std::string::npos) {
            pages.emplace_back(path.filename().string(), std::move(text));
        }
    }
    return pages;
}

// A second run can still find work: `<SCRIPT` followed by a line feed opens a region that
// RemoveComments skips to the end of the page, and only NormalizeTags, later in the first run,
// turns that line feed into a space. A third run finds nothing left.
TEST(PageChainCorpus, ChainSettlesAndNeverLengthens) {
    const test::MemorySettingsStore defaults;
    for (const auto& [name, text] : CorpusPages()) {
        SCOPED_TRACE(name);
        const std::string once = Chain(text, defaults, true);
        EXPECT_LE(once.size(), text.size());
        const std::string twice = Chain(once, defaults, true);
        EXPECT_TRUE(Chain(twice, defaults, true) == twice) << "a third run changed the page";
    }
}

// Every step, given what the steps before it leave, finds nothing left to do the second time.
TEST(PageChainCorpus, EveryStepIsIdempotent) {
    const PageSettings settings = ReadPageSettings(test::MemorySettingsStore(), true);
    for (auto [name, text] : CorpusPages()) {
        for (const PageStep& step : PageChainSteps()) {
            SCOPED_TRACE(name + " / " + std::string(step.name));
            auto* bytes = reinterpret_cast<std::uint8_t*>(text.data());
            text.resize(static_cast<std::size_t>(
                step.pass(bytes, static_cast<TextLength>(text.size()), settings.options)));
            std::string again = text;
            again.resize(static_cast<std::size_t>(
                step.pass(reinterpret_cast<std::uint8_t*>(again.data()),
                          static_cast<TextLength>(again.size()), settings.options)));
            EXPECT_TRUE(again == text) << text.size() << " -> " << again.size() << " bytes";
        }
    }
}

TEST(PageChainCorpus, SavesOnEveryKindOfPage) {
    const test::MemorySettingsStore defaults;
    std::size_t before = 0;
    std::size_t after = 0;
    for (const auto& [name, text] : CorpusPages()) {
        before += text.size();
        after += Chain(text, defaults, true).size();
    }
    EXPECT_LT(after, before - before / 10) << "the chain should save over a tenth of the corpus";
}

}  // namespace
}  // namespace quillon
