#include "pipeline/PageChain.h"

#include <algorithm>
#include <array>
#include <memory>

#include "pipeline/SettingsKeys.h"
#include "textopt/Entities.h"
#include "textopt/ScriptPasses.h"
#include "textopt/TagPasses.h"
#include "textopt/WhitespacePasses.h"

namespace quillon {
namespace {

using enum StepGate;

// The passes that need no options, in the chain's shape.
template <TextPass Pass>
TextLength Plain(std::uint8_t* text, TextLength length, const PageOptions&) {
    return Pass(text, length);
}

constexpr std::array kSteps = {
    PageStep{"NormalizeLineEnds", "Preprocessing...", Plain<NormalizeLineEnds>, kAlways, false},
    PageStep{"TabsToSpaces", "", Plain<TabsToSpaces>, kAlways, false},
    PageStep{"RemoveComments", "Optimizing syntax...", Plain<RemoveComments>, kRemoveComments,
             true},
    PageStep{"ShortenEntities", "", Plain<ShortenEntities>, kAlways, false},
    PageStep{"OptimizeMetaAndImg", "", OptimizeMetaAndImg, kAlways, false},
    PageStep{"NormalizeTags", "", NormalizeTags, kAlways, false},
    PageStep{"OptimizeInlineScripts", "", OptimizeInlineScripts, kInlineJavaScript, true},
    PageStep{"RemoveOptionalTags", "", Plain<RemoveOptionalTags>, kRemoveOptionalTags, false},
    // The three blank-run steps read the text once when they run together, and the block-tag
    // step after them reuses what that walk found.
    PageStep{"CollapseSpaces", "Removing excess formatting...", Plain<CollapseSpaces>, kAlways,
             false, Plain<CollapseBlankRunsAndTrimBlockTags>, 4},
    PageStep{"TrimAroundLineEnds", "", Plain<TrimAroundLineEnds>, kAlways, false},
    PageStep{"CollapseBlankLines", "", Plain<CollapseBlankLines>, kAlways, true},
    PageStep{"TrimAroundBlockTags", "", Plain<TrimAroundBlockTags>, kAlways, false},
    PageStep{"RemoveNoopTags", "", Plain<RemoveNoopTags>, kRemoveEditorTags, true},
};

// No step after this one and before the script step changes a script body, so from here the
// bodies can be worked out ahead.
constexpr std::size_t kScriptBodiesSettled = 1;
constexpr std::size_t kScriptStep = 6;
static_assert(kSteps[kScriptBodiesSettled].name == "TabsToSpaces" &&
              kSteps[kScriptStep].name == "OptimizeInlineScripts");

}  // namespace

bool GateOpen(StepGate gate, const PageSettings& settings) {
    switch (gate) {
        case kAlways:
            return true;
        case kRemoveComments:
            return settings.removeComments;
        case kInlineJavaScript:
            return settings.inlineJavaScript;
        case kRemoveOptionalTags:
            return settings.removeOptionalTags;
        case kRemoveEditorTags:
            return settings.removeEditorTags;
    }
    return false;
}

namespace {

MetaTagRule MetaTagRuleOf(std::uint32_t option) {
    switch (option) {
        case 1:
            return MetaTagRule::kRemoveGenerator;
        case 2:
            return MetaTagRule::kKeepAll;
        default:
            return MetaTagRule::kRemoveUnused;
    }
}

}  // namespace

std::span<const PageStep> PageChainSteps() {
    return kSteps;
}

PageSettings ReadPageSettings(const SettingsStore& settings, bool inlineJavaScript) {
    PageSettings page;
    page.removeComments = settings.GetInt(section::kHtml, key::kRemoveComments, 1) == 1;
    page.inlineJavaScript = inlineJavaScript;
    page.removeOptionalTags = settings.GetInt(section::kHtml, key::kRemoveOptionalTags, 1) == 1;
    page.removeEditorTags = settings.GetInt(section::kHtml, key::kRemoveWysiwygTags, 1) == 1;
    // Only 0 picks the lax set; any other value keeps the quotes the strict set would keep.
    page.options.quotes = settings.GetInt(section::kHtml, key::kStrictQuotes, 1) == 0
                              ? QuoteRule::kLax
                              : QuoteRule::kStrict;
    page.options.metaTags = MetaTagRuleOf(settings.GetInt(section::kHtml, key::kMetaTagsOption, 0));
    page.options.removeScriptComments =
        settings.GetInt(section::kJava, key::kRemoveComments, 1) == 1;
    return page;
}

TextLength RunPageChain(std::uint8_t* text, TextLength length, const PageSettings& settings,
                        PageChainObserver* observer) {
    const auto allOpen = [&settings](std::size_t first, std::size_t count) {
        return first + count <= kSteps.size() &&
               std::all_of(kSteps.begin() + first, kSteps.begin() + first + count,
                           [&settings](const PageStep& s) { return GateOpen(s.gate, settings); });
    };
    std::size_t doneBefore = 0;  // steps below this index were done by a joined pass
    std::unique_ptr<ScriptBodiesAhead> scriptsAhead;
    for (std::size_t k = 0; k < kSteps.size(); ++k) {
        const PageStep& step = kSteps[k];
        if (observer && !step.status.empty()) {
            observer->OnStatus(step.status);
        }
        if (k >= doneBefore && GateOpen(step.gate, settings)) {
            if (k == kScriptStep && scriptsAhead) {
                length = OptimizeInlineScripts(text, length, settings.options, scriptsAhead.get());
                scriptsAhead.reset();
            } else if (step.joinedPass && allOpen(k, step.joinedSteps)) {
                length = step.joinedPass(text, length, settings.options);
                doneBefore = k + step.joinedSteps;
            } else {
                length = step.pass(text, length, settings.options);
            }
        }
        if (k == kScriptBodiesSettled && length >= settings.scriptsAheadFrom &&
            GateOpen(kSteps[kScriptStep].gate, settings)) {
            scriptsAhead = std::make_unique<ScriptBodiesAhead>(text, length, settings.options);
        }
        if (observer && step.checkpointAfter) {
            observer->OnCheckpoint();
        }
    }
    return length;
}

TextLength RunPageChain(std::uint8_t* text, TextLength length, const SettingsStore& settings,
                        bool inlineJavaScript, PageChainObserver* observer) {
    return RunPageChain(text, length, ReadPageSettings(settings, inlineJavaScript), observer);
}

}  // namespace quillon
