// Runs the whole web-page chain over one file and writes the result, for the differential check
// that compares pages before and after it.
//
//   quillon_page_chain [--set "Section/Key=value"]... [--javascript 0|1] input output
//
// Settings not given keep their defaults; the JavaScript optimizer is on unless told otherwise.
#include <cstdio>
#include <string>
#include <vector>

#include "Corpus.h"
#include "MemorySettingsStore.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/PageChain.h"

int main(int argc, char** argv) {
    quillon::test::MemorySettingsStore settings;
    bool javaScript = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        const auto slash = value.find('/'), equals = value.rfind('=');
        if (argument == "--javascript" && i + 1 < argc) {
            javaScript = value != "0";
            ++i;
        } else if (argument == "--set" && slash < equals && equals != std::string::npos) {
            settings.PutInt(value.substr(0, slash), value.substr(slash + 1, equals - slash - 1),
                            static_cast<std::uint32_t>(std::stoul(value.substr(equals + 1))));
            ++i;
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) {
        std::fputs(
            "usage: quillon_page_chain [--set Section/Key=value]... [--javascript 0|1] "
            "input output\n",
            stderr);
        return 2;
    }
    std::vector<std::uint8_t> text = quillon::test::ReadBytes(files[0]);
    // The pipeline keeps pages holding 0 bytes (UTF-16, binary files) and pages holding no
    // markup (plain text) away from the chain.
    if (quillon::PageGoesThroughChain(text.data(), text.size())) {
        text.resize(static_cast<std::size_t>(quillon::RunPageChain(
            text.data(), static_cast<quillon::TextLength>(text.size()), settings, javaScript)));
    }
    quillon::test::WriteBytes(files[1], text);
    return 0;
}
