// Runs the whole web-page chain over one file and writes the result, for the differential
// checks that compare pages and scripts before and after it.
//
//   quillon_page_chain [--set "Section/Key=value"]... [--javascript 0|1] input output
//
// Settings not given keep their defaults; the JavaScript optimizer is on unless told otherwise.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Corpus.h"
#include "MemorySettingsStore.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/PageChain.h"

namespace {

int Usage() {
    std::fputs(
        "usage: quillon_page_chain [--set Section/Key=value]... [--javascript 0|1] "
        "input output\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    quillon::test::MemorySettingsStore settings;
    bool javaScript = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--javascript" && i + 1 < argc) {
            javaScript = std::strcmp(argv[++i], "0") != 0;
        } else if (argument == "--set" && i + 1 < argc) {
            const std::string setting = argv[++i];
            const auto slash = setting.find('/');
            const auto equals = setting.rfind('=');
            if (slash == std::string::npos || equals == std::string::npos || equals < slash) {
                return Usage();
            }
            settings.PutInt(setting.substr(0, slash), setting.substr(slash + 1, equals - slash - 1),
                            static_cast<std::uint32_t>(std::stoul(setting.substr(equals + 1))));
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) {
        return Usage();
    }
    std::vector<std::uint8_t> text = quillon::test::ReadBytes(files[0]);
    // The pipeline keeps pages holding 0 bytes (UTF-16, binary files) and pages holding no
    // markup (plain text) away from the chain.
    if (quillon::PageGoesThroughChain(text.data(), text.size())) {
        const auto length = quillon::RunPageChain(
            text.data(), static_cast<quillon::TextLength>(text.size()), settings, javaScript);
        text.resize(static_cast<std::size_t>(length));
    }
    quillon::test::WriteBytes(files[1], text);
    return 0;
}
