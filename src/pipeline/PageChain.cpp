#include "pipeline/PageChain.h"

#include <array>

#include "pipeline/SettingsKeys.h"
#include "textopt/Entities.h"
#include "textopt/WhitespacePasses.h"

namespace quillon {
namespace {

using enum StepGate;

constexpr std::array kSteps = {
    PageStep{"Preprocessing...", NormalizeLineEnds, kAlways, false},
    PageStep{"", TabsToSpaces, kAlways, false},
    PageStep{"Optimizing syntax...", ShortenEntities, kAlways, true},
    PageStep{"Removing excess formatting...", CollapseSpaces, kAlways, false},
    PageStep{"", TrimAroundLineEnds, kAlways, false},
    PageStep{"", CollapseBlankLines, kAlways, true},
    PageStep{"", TrimAroundBlockTags, kAlways, false},
};

bool GateOpen(StepGate gate, const SettingsStore& settings, bool inlineJavaScript) {
    switch (gate) {
        case kAlways:
            return true;
        case kRemoveComments:
            return settings.GetInt(section::kHtml, key::kRemoveComments, 1) == 1;
        case kInlineJavaScript:
            return inlineJavaScript;
        case kRemoveOptionalTags:
            return settings.GetInt(section::kHtml, key::kRemoveOptionalTags, 1) == 1;
        case kRemoveEditorTags:
            return settings.GetInt(section::kHtml, key::kRemoveWysiwygTags, 1) == 1;
    }
    return false;
}

}  // namespace

std::span<const PageStep> PageChainSteps() {
    return kSteps;
}

TextLength RunPageChain(std::uint8_t* text, TextLength length, const SettingsStore& settings,
                        bool inlineJavaScript, PageChainObserver* observer) {
    for (const PageStep& step : kSteps) {
        if (observer && !step.status.empty()) {
            observer->OnStatus(step.status);
        }
        if (GateOpen(step.gate, settings, inlineJavaScript)) {
            length = step.pass(text, length);
        }
        if (observer && step.checkpointAfter) {
            observer->OnCheckpoint();
        }
    }
    return length;
}

}  // namespace quillon
