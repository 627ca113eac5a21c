#include "CaseTable.h"

#include <cctype>
#include <cstdio>
#include <memory>

namespace quillon::test {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

namespace {

template <typename Run>
std::string RunOnCopy(std::string_view input, Run run) {
    // A block of exactly the input's size (none for an empty input), so that the sanitizer build
    // reports any byte read or written beyond it.
    std::unique_ptr<std::uint8_t[]> buffer;
    if (!input.empty()) {
        buffer = std::make_unique<std::uint8_t[]>(input.size());
        std::copy(input.begin(), input.end(), buffer.get());
    }
    const auto length = static_cast<TextLength>(input.size());
    const TextLength result = run(buffer.get(), length);
    EXPECT_GE(result, 0);
    EXPECT_LE(result, length) << "a pass must never lengthen the text";
    if (result < 0 || result > length) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(buffer.get()),
                       static_cast<std::size_t>(result));
}

}  // namespace

std::string RunPass(TextPass pass, std::string_view input) {
    return RunOnCopy(input, pass);
}

std::string RunPass(PagePass pass, const PageOptions& options, std::string_view input) {
    return RunOnCopy(input, [pass, &options](std::uint8_t* text, TextLength length) {
        return pass(text, length, options);
    });
}

std::string Visible(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (b >= 0x20 && b < 0x7F) {
                    out += c;
                } else {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
                    out += escaped;
                }
        }
    }
    return out;
}

std::string Identifier(std::string_view name) {
    std::string out;
    for (const char c : name) {
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return out.empty() ? "empty" : out;
}

void PrintTo(const PassCase& row, std::ostream* out) {
    *out << '"' << row.name << "\": \"" << Visible(row.input) << "\" -> \"" << Visible(row.expected)
         << '"';
}

void ExpectPassRow(TextPass pass, const PassCase& row) {
    EXPECT_EQ(Visible(RunPass(pass, row.input)), Visible(row.expected)) << row.name;
}

void ExpectPassRow(PagePass pass, const PageOptions& options, const PassCase& row) {
    EXPECT_EQ(Visible(RunPass(pass, options, row.input)), Visible(row.expected)) << row.name;
}

}  // namespace quillon::test
