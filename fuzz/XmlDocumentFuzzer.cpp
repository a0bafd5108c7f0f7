// Parses the input as a document, then runs a sequence of moves, reads and
// edits chosen by the bytes after the input's last "\0OPS" marker (so plain
// documents are good seeds). After every edit the element index
// must be the one a fresh parse of the edited text builds, and every record
// must lie inside the text.

#include "online/XmlDocument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using online::CXmlDocument;

namespace {

constexpr const char* kNames[] = {"",    "a",   "b",  "r",        "item",     "x",  "A",
                                  "doc", "n:s", "_u", "\xC3\xA9", "bad name", "x>", "1st"};
constexpr const char* kValues[] = {"",      "v",    "a<b&c>d",         "q\"'", "]]>", "x]]>y",
                                   "&amp;", "\r\n", "\xF0\x9F\x98\x80"};

void Fail(const char* what, const CXmlDocument& doc) {
    std::fprintf(stderr, "%s\n--- text ---\n%s\n", what, doc.GetDocumentText().c_str());
    std::abort();
}

void CheckRecords(const CXmlDocument& doc) {
    const std::string& text = doc.GetDocumentText();
    for (const auto& e : doc.IndexSnapshot()) {
        if (std::size_t{e.start} + e.length > text.size() || e.startTagLength > e.length ||
            e.endTagLength > e.length - e.startTagLength || e.startTagLength < 2) {
            Fail("record outside the text", doc);
        }
        if (text[e.start] != '<' || text[e.start + e.startTagLength - 1] != '>') {
            Fail("start tag not between < and >", doc);
        }
        if (e.endTagLength != 0 &&
            text.compare(e.start + e.length - e.endTagLength, 2, "</") != 0) {
            Fail("end tag does not start with </", doc);
        }
    }
}

void CheckAgainstFreshParse(const CXmlDocument& doc) {
    CheckRecords(doc);
    CXmlDocument fresh;
    fresh.SetDocumentFlags(doc.GetDocumentFlags());
    fresh.SetDocumentText(doc.GetDocumentText());
    if (fresh.IndexSnapshot() != doc.IndexSnapshot()) {
        Fail("index differs from a fresh parse", doc);
    }
}

template <std::size_t N>
const char* Pick(FuzzedDataProvider& input, const char* const (&table)[N]) {
    return table[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

void RunOperation(FuzzedDataProvider& input, CXmlDocument& doc) {
    std::string sink;
    switch (input.ConsumeIntegralInRange(0, 11)) {
    case 0:
        doc.ResetPosition();
        return;
    case 1:
        doc.FindElement(Pick(input, kNames));
        return;
    case 2:
        doc.FindChildElement(Pick(input, kNames));
        return;
    case 3:
        doc.EnterElement();
        return;
    case 4:
        doc.LeaveElement();
        return;
    case 5:
        sink = doc.GetAttribute(Pick(input, kNames)) + doc.GetChildAttribute(Pick(input, kNames)) +
               doc.GetElementText() + doc.GetChildElementText() + doc.GetTagName();
        return;
    case 6:
        doc.SetAttribute(Pick(input, kNames), Pick(input, kValues));
        break;
    case 7:
        doc.SetChildAttribute(Pick(input, kNames), Pick(input, kValues));
        break;
    case 8:
        doc.AppendElement(Pick(input, kNames), Pick(input, kValues), input.ConsumeBool());
        break;
    case 9:
        doc.AppendChildElement(Pick(input, kNames), Pick(input, kValues), input.ConsumeBool());
        break;
    case 10:
        doc.SetDocumentText(std::string(doc.GetDocumentText()));
        break;
    default:
        sink = CXmlDocument::Unescape(doc.GetDocumentText());
        return;
    }
    CheckAgainstFreshParse(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    const std::size_t marker = whole.rfind(std::string_view("\0OPS", 4));
    const std::string text(whole.substr(0, marker));
    const std::string_view opcodes =
        marker == std::string_view::npos ? std::string_view() : whole.substr(marker + 4);
    FuzzedDataProvider ops(reinterpret_cast<const std::uint8_t*>(opcodes.data()), opcodes.size());
    const bool noCase = ops.ConsumeBool();

    CXmlDocument doc;
    doc.SetDocumentFlags(noCase ? CXmlDocument::kNoCase : 0);
    doc.SetDocumentText(text);
    CheckRecords(doc);
    if (doc.IsWellFormedDocument() != doc.GetErrorText().empty()) {
        Fail("verdict and error text disagree", doc);
    }

    for (int i = 0; i < 64 && ops.remaining_bytes() > 0; ++i) {
        RunOperation(ops, doc);
    }
    return 0;
}
