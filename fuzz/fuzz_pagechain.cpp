// Arbitrary bytes through the web-page passes, with the chain's options taken from the first
// byte. The whole chain must never lengthen the text nor read or write outside it (the sanitizers
// watch); the layout passes alone must also never lose a byte 0x80-0xFF, since those are parts of
// multibyte characters and only markup the tag passes remove may take some with it; the chain
// must give the same bytes with its script bodies worked out on a second thread; and the
// one-walk blank-run pass the chain uses must give what its three passes give in turn.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pipeline/PageChain.h"
#include "textopt/WhitespacePasses.h"

namespace {

quillon::PageSettings SettingsFrom(std::uint8_t choices) {
    quillon::PageSettings settings;
    settings.removeComments = choices & 1;
    settings.inlineJavaScript = choices & 2;
    settings.removeOptionalTags = choices & 4;
    settings.removeEditorTags = choices & 8;
    settings.options.quotes = choices & 16 ? quillon::QuoteRule::kLax : quillon::QuoteRule::kStrict;
    settings.options.removeScriptComments = choices & 32;
    return settings;
}

std::ptrdiff_t HighBytes(const std::vector<std::uint8_t>& text, quillon::TextLength length) {
    return std::count_if(text.begin(), text.begin() + length,
                         [](std::uint8_t b) { return b >= 0x80; });
}

void CheckLength(quillon::TextLength length, std::size_t before) {
    if (length < 0 || static_cast<std::size_t>(length) > before) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The pipeline keeps pages holding a 0 byte away from the passes.
    if (size == 0 || std::memchr(data + 1, 0, size - 1) != nullptr) {
        return 0;
    }
    const std::vector<std::uint8_t> page(data + 1, data + size);

    std::vector<std::uint8_t> text = page;
    quillon::PageSettings settings = SettingsFrom(data[0]);
    const auto chained =
        quillon::RunPageChain(text.data(), static_cast<quillon::TextLength>(text.size()), settings);
    CheckLength(chained, page.size());
    std::vector<std::uint8_t> ahead = page;
    settings.scriptsAheadFrom = 0;
    const auto aheadLength = quillon::RunPageChain(
        ahead.data(), static_cast<quillon::TextLength>(ahead.size()), settings);
    if (aheadLength != chained ||
        !std::equal(text.begin(), text.begin() + chained, ahead.begin())) {
        std::abort();
    }

    text = page;
    auto length = static_cast<quillon::TextLength>(text.size());
    const std::ptrdiff_t highBefore = HighBytes(text, length);
    for (const quillon::TextPass pass :
         {quillon::NormalizeLineEnds, quillon::TabsToSpaces, quillon::CollapseSpaces,
          quillon::TrimAroundLineEnds, quillon::CollapseBlankLines, quillon::TrimAroundBlockTags}) {
        const quillon::TextLength before = length;
        length = pass(text.data(), length);
        CheckLength(length, static_cast<std::size_t>(before));
    }
    if (HighBytes(text, length) != highBefore) {
        std::abort();
    }

    std::vector<std::uint8_t> joined = page;
    std::vector<std::uint8_t> stepwise = page;
    const auto pageLength = static_cast<quillon::TextLength>(page.size());
    const auto joinedLength = quillon::CollapseBlankRuns(joined.data(), pageLength);
    auto stepwiseLength = quillon::CollapseSpaces(stepwise.data(), pageLength);
    stepwiseLength = quillon::TrimAroundLineEnds(stepwise.data(), stepwiseLength);
    stepwiseLength = quillon::CollapseBlankLines(stepwise.data(), stepwiseLength);
    if (joinedLength != stepwiseLength ||
        !std::equal(joined.begin(), joined.begin() + joinedLength, stepwise.begin())) {
        std::abort();
    }
    return 0;
}
