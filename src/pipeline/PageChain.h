// The fixed chain of in-place passes that every web page goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "pipeline/SettingsStore.h"
#include "textopt/PageOptions.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// The option a step depends on; the step is skipped when its option is off.
enum class StepGate {
    kAlways,
    kRemoveComments,      // "HTML Options" / "Remove Comments" = 1
    kInlineJavaScript,    // "JAVA Options" / "Enable JavaScript Optimizer", read once per file
    kRemoveOptionalTags,  // "HTML Options" / "Remove Optional Close Tags" = 1
    kRemoveEditorTags,    // "HTML Options" / "Remove Unneeded WYSIWYG Tags" = 1
};

struct PageStep {
    std::string_view name;    // the pass's name, for logs, tests and benchmarks
    std::string_view status;  // shown when the step begins, whatever its gate; empty: no change
    PagePass pass;
    StepGate gate;
    bool checkpointAfter;  // a run may be cancelled after this step
    // When set: does what this step and the `joinedSteps - 1` steps after it do, in one walk.
    // The chain uses it when all of them run; statuses and checkpoints stay where they are.
    PagePass joinedPass = nullptr;
    std::size_t joinedSteps = 0;
};

// The steps in chain order.
std::span<const PageStep> PageChainSteps();

// The settings behind the gates and the page options, read once for each page: a run reads its
// settings per file, so no user can tell this from reading them per tag, and a page of ten
// thousand tags does not make ten thousand settings reads.
struct PageSettings {
    bool removeComments = true;
    bool inlineJavaScript = false;
    bool removeOptionalTags = true;
    bool removeEditorTags = true;
    PageOptions options;
    // From this length on, the script step's work on the bodies starts on a second thread
    // while the steps before it run (a smaller page gains less than the thread costs).
    TextLength scriptsAheadFrom = TextLength{1} << 20;
};

// inlineJavaScript is the "Enable JavaScript Optimizer" value the pipeline read for this file.
PageSettings ReadPageSettings(const SettingsStore& settings, bool inlineJavaScript);

// Whether a step with this gate runs under these settings.
bool GateOpen(StepGate gate, const PageSettings& settings);

// The pipeline's side of the chain: status texts as groups of steps begin, and the checkpoints
// where a cancel ends the chain (by throwing out of OnCheckpoint).
class PageChainObserver {
  public:
    virtual ~PageChainObserver() = default;
    virtual void OnStatus(std::string_view status) = 0;
    virtual void OnCheckpoint() = 0;
};

// Runs every step whose gate is open over the text, which holds no 0 byte (the pipeline keeps
// such files out of the chain); returns the new length.
TextLength RunPageChain(std::uint8_t* text, TextLength length, const PageSettings& settings,
                        PageChainObserver* observer = nullptr);
TextLength RunPageChain(std::uint8_t* text, TextLength length, const SettingsStore& settings,
                        bool inlineJavaScript, PageChainObserver* observer = nullptr);

}  // namespace quillon
