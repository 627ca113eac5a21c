// The tables of the web-page steps: a row names a step of the chain as the chain runs it, an
// input and the text the step must leave. A failing row prints its name and its bytes with
// control and non-ASCII bytes spelled out.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "pipeline/PageChain.h"

namespace quillon::test {

// The blank-run and block-tag steps, which the chain runs as one walk.
inline constexpr std::string_view kLayoutSteps = "layout";
// The whole chain with its default settings (JavaScript optimizer off).
inline constexpr std::string_view kWholeChain = "chain";

struct StepRow {
    std::string_view step;  // a name of PageChainSteps(), kLayoutSteps or kWholeChain
    std::string name;
    std::string input;
    std::string expected;
    PageOptions options = {};
};

// The pass the chain runs for a step name, or nullptr.
PagePass FindStep(std::string_view step);

// Runs the step over a copy of the input held in a heap block of exactly its size, so that the
// sanitizer build reports any byte read past it. Fails the test when the step claims a length
// outside [0, input size].
std::string RunStep(std::string_view step, std::string_view input, const PageOptions& options = {});

// The bytes with \n, \r, \t, \\ and every byte outside 0x20-0x7E written as escapes.
std::string Visible(std::string_view bytes);

// The piece written `times` times over.
std::string Repeat(std::string_view piece, int times);

void ExpectRows(std::span<const StepRow> rows);

}  // namespace quillon::test
