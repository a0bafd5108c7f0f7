// orvanta-xml-parse-file FILE [--repeat N]
// orvanta-xml-parse-file --write-flat MB FILE | --write-nested DEPTH FILE
//
// Parses a file with CXmlDocument and prints the verdict and the parse speed
// with and without reading the file; or writes one of the
// benchmark documents to a file.

#include "XmlBenchDocuments.h"
#include "online/XmlDocument.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

bool ReadFile(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    text.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    return static_cast<bool>(in.read(text.data(), static_cast<std::streamsize>(text.size())));
}

int Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return out ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write-flat") {
        return Write(argv[3], bench::MakeFlatDocument(std::strtoul(argv[2], nullptr, 10) << 20));
    }
    if (argc == 4 && std::string(argv[1]) == "--write-nested") {
        return Write(argv[3], bench::MakeNestedDocument(std::atoi(argv[2])));
    }
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--repeat")) {
        std::cerr << "usage: " << argv[0] << " FILE [--repeat N]\n";
        return 2;
    }
    const int repeat = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
    using Clock = std::chrono::steady_clock;
    Clock::duration total{}, parsing{};
    std::size_t bytes = 0;
    bool wellFormed = false;
    for (int i = 0; i < repeat; ++i) {
        const auto begin = Clock::now();
        std::string text;
        if (!ReadFile(argv[1], text)) {
            std::cerr << "cannot read " << argv[1] << "\n";
            return 1;
        }
        const auto read = Clock::now();
        online::CXmlDocument doc;
        wellFormed = doc.SetDocumentText(text);
        const auto end = Clock::now();
        total += end - begin;
        parsing += end - read;
        bytes = text.size();
    }
    const double seconds = std::chrono::duration<double>(total).count() / repeat;
    const double parseSeconds = std::chrono::duration<double>(parsing).count() / repeat;
    std::printf("%s: %zu bytes, %s, read and parse %.1f ms, parse %.1f ms (%.0f MB/s)\n", argv[1],
                bytes, wellFormed ? "well-formed" : "not well-formed", seconds * 1000,
                parseSeconds * 1000, bytes / parseSeconds / 1e6);
    return wellFormed ? 0 : 3;
}
