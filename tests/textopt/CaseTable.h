// The tables of the web-page steps: each row gives an input and the text a step, run as the
// chain runs it, must leave. A failing row prints its name and its bytes with control and
// non-ASCII bytes spelled out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pipeline/PageChain.h"
#include "textopt/ScriptPasses.h"

namespace quillon::test {

// The blank-run and block-tag steps, which the chain runs as one walk.
inline constexpr std::string_view kLayoutSteps = "layout";
// The whole chain with its default settings (JavaScript optimizer off).
inline constexpr std::string_view kWholeChain = "chain";

struct StepRow {
    std::string name;
    std::string input;
    std::string expected;  // kUnchanged: the input as it is
};
inline const std::string kUnchanged = "(unchanged)";

// The pass the chain runs for a step name of PageChainSteps() or kLayoutSteps, or nullptr.
inline PagePass FindStep(std::string_view step) {
    for (const PageStep& candidate : PageChainSteps()) {
        if (step == kLayoutSteps ? candidate.joinedPass != nullptr : candidate.name == step) {
            return step == kLayoutSteps ? candidate.joinedPass : candidate.pass;
        }
    }
    return nullptr;
}

// Runs the step over a copy of the input held in a heap block of exactly its size, so that the
// sanitizer build reports any byte read past it. Fails the test when the step claims a length
// outside [0, input size].
inline std::string RunStep(std::string_view step, std::string_view input,
                           const PageOptions& options = {}) {
    const auto buffer = std::make_unique<std::uint8_t[]>(input.size());
    std::copy(input.begin(), input.end(), buffer.get());
    const auto length = static_cast<TextLength>(input.size());
    TextLength result = 0;
    if (step == kWholeChain) {
        result = RunPageChain(buffer.get(), length, PageSettings{});
    } else if (const PagePass pass = FindStep(step)) {
        result = pass(buffer.get(), length, options);
    } else {
        ADD_FAILURE() << "no step " << step;
    }
    EXPECT_TRUE(result >= 0 && result <= length) << step << " gave length " << result;
    std::string output(reinterpret_cast<const char*>(buffer.get()),
                       static_cast<std::size_t>(std::clamp<TextLength>(result, 0, length)));
    // The script step on a large page takes its bodies worked out ahead; it must come to the
    // same bytes.
    if (step == "OptimizeInlineScripts") {
        std::copy(input.begin(), input.end(), buffer.get());
        ScriptBodiesAhead ahead(buffer.get(), length, options);
        const TextLength aheadLength = OptimizeInlineScripts(buffer.get(), length, options, &ahead);
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer.get()),
                                   static_cast<std::size_t>(aheadLength)),
                  output)
            << "with the bodies worked out ahead";
    }
    return output;
}

// The bytes with \n, \r, \t, \\ and every byte outside 0x20-0x7E written as escapes.
inline std::string Visible(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        out += b == '\n'                 ? "\\n"
               : b == '\r'               ? "\\r"
               : b == '\t'               ? "\\t"
               : b == '\\'               ? "\\\\"
               : (b >= 0x20 && b < 0x7F) ? std::string(1, c)
                                         : std::string(hex);
    }
    return out;
}

// The piece written `times` times over.
inline std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int k = 0; k < times; ++k) {
        text += piece;
    }
    return text;
}

inline void ExpectRows(std::string_view step, std::span<const StepRow> rows,
                       const PageOptions& options = {}) {
    for (const StepRow& row : rows) {
        const std::string& expected = row.expected == kUnchanged ? row.input : row.expected;
        EXPECT_EQ(Visible(RunStep(step, row.input, options)), Visible(expected))
            << step << ": " << row.name << "\n  input: " << Visible(row.input);
    }
}

}  // namespace quillon::test
