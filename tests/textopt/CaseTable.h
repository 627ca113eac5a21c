// Helpers for the table-driven tests of the web-page passes: every row names its case, and a
// failing row prints its bytes with control and non-ASCII bytes spelled out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "textopt/PageOptions.h"
#include "textopt/TextBuffer.h"

namespace quillon::test {

// One row of a pass table. Inputs and outputs are std::string so that rows can hold 0 bytes
// (write them with the ""s suffix).
struct PassCase {
    std::string name;
    std::string input;
    std::string expected;
};

// The text as bytes, in a heap block of exactly its size: a read past the end is then caught by
// AddressSanitizer.
std::vector<std::uint8_t> Bytes(std::string_view text);

// Runs the pass over a copy of the input and returns the text it leaves; fails the test when the
// pass claims a length outside [0, input size].
std::string RunPass(TextPass pass, std::string_view input);

// The same for a pass that takes the page options.
std::string RunPass(PagePass pass, const PageOptions& options, std::string_view input);

// The bytes with \n, \r, \t, \0 and every byte outside 0x20-0x7E written as escapes.
std::string Visible(std::string_view bytes);

// A gtest-acceptable name for a row ("edge: </PRX>" becomes "edge___PRX_").
std::string Identifier(std::string_view name);

template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& info) {
    return Identifier(info.param.name);
}

void PrintTo(const PassCase& row, std::ostream* out);

// Other row types print as their name. A test file's row types live in its unnamed namespace,
// so each such namespace brings this in with `using test::PrintTo;` for gtest to find it.
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << '"' << row.name << '"';
}

// Checks one row: the pass gives the expected text, never a longer one.
void ExpectPassRow(TextPass pass, const PassCase& row);
void ExpectPassRow(PagePass pass, const PageOptions& options, const PassCase& row);

}  // namespace quillon::test
