#include "CaseTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace quillon::test {

PagePass FindStep(std::string_view step) {
    for (const PageStep& candidate : PageChainSteps()) {
        if (step == kLayoutSteps && candidate.joinedPass) {
            return candidate.joinedPass;
        }
        if (candidate.name == step) {
            return candidate.pass;
        }
    }
    return nullptr;
}

std::string RunStep(std::string_view step, std::string_view input, const PageOptions& options) {
    std::unique_ptr<std::uint8_t[]> buffer;
    if (!input.empty()) {
        buffer = std::make_unique<std::uint8_t[]>(input.size());
        std::copy(input.begin(), input.end(), buffer.get());
    }
    const auto length = static_cast<TextLength>(input.size());
    TextLength result = 0;
    if (step == kWholeChain) {
        result = RunPageChain(buffer.get(), length, PageSettings{});
    } else if (const PagePass pass = FindStep(step)) {
        result = pass(buffer.get(), length, options);
    } else {
        ADD_FAILURE() << "no step " << step;
        return {};
    }
    EXPECT_GE(result, 0) << step;
    EXPECT_LE(result, length) << step << " lengthened the text";
    if (result < 0 || result > length) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(buffer.get()),
                       static_cast<std::size_t>(result));
}

std::string Visible(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\n' || b == '\r' || b == '\t' || b == '\\') {
            out += '\\';
            out += b == '\n' ? 'n' : b == '\r' ? 'r' : b == '\t' ? 't' : '\\';
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        }
    }
    return out;
}

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int k = 0; k < times; ++k) {
        text += piece;
    }
    return text;
}

void ExpectRows(std::span<const StepRow> rows) {
    for (const StepRow& row : rows) {
        EXPECT_EQ(Visible(RunStep(row.step, row.input, row.options)), Visible(row.expected))
            << row.step << ": " << row.name << "\n  input: " << Visible(row.input);
    }
}

}  // namespace quillon::test
