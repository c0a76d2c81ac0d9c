// The command line a shortcut or AutoPlay starts the program with, as UTF-16LE text: the
// arguments after the program name, and their tokens.
#include "app/CommandLine.h"
#include "fuzz/Utf16.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The system hands the line over as a zero-terminated string.
    std::wstring full = fuzz::Utf16Text(data, size);
    full.resize(std::min(full.size(), full.find(L'\0')));
    const std::wstring arguments = CommandLineArguments(full.c_str());
    // The arguments are the end of the full line.
    if (arguments.size() > full.size() || full.compare(full.size() - arguments.size(), arguments.size(), arguments) != 0)
        std::abort();
    for (const std::wstring* line : {static_cast<const std::wstring*>(&full), &arguments}) {
        const CCommandLineTokens tokens(*line);
        size_t total = 0;
        for (size_t i = 0; i < tokens.TokenCount(); ++i) total += tokens.Token(i).size();
        // Tokens are pieces of the line: together never longer than it.
        if (total > line->size() || !tokens.Token(tokens.TokenCount()).empty()) std::abort();
    }
    return 0;
}
