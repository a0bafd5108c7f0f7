#include "online/XmlDocument.h"

#include "online/Concat.h"
#include "online/XmlText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace online {
namespace {

// Texts at or beyond this size are not parsed: offsets are 32-bit.
constexpr std::size_t kMaxTextLength = std::numeric_limits<std::uint32_t>::max() - 1;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters that end a tag name.
bool IsNameEnd(char c) {
    switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '<':
    case '>':
    case '=':
    case '\\':
    case '/':
    case '?':
    case '!':
        return true;
    default:
        return false;
    }
}

// "<" followed by one of these starts an element tag; every byte of a
// multi-byte UTF-8 sequence is above "a".
bool CanStartName(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || u == ':' || u == '_' || u >= 'a';
}

bool IsUsableName(std::string_view name) {
    if (name.empty() || !CanStartName(name.front())) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return IsNameEnd(c) || c == '"' || c == '\'' || c == '&' || u < 0x20 || u == 0x7F;
    });
}

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t NameEndFrom(std::string_view text, std::size_t pos) {
    while (pos < text.size() && !IsNameEnd(text[pos])) {
        ++pos;
    }
    return pos;
}

// A start tag as the parser reads it: quotes are tracked after "=", so a ">"
// inside a quoted value does not end the tag; a "/" before the ">" makes an
// empty-element tag when it directly follows the name, whitespace or a
// closing quote (after an unquoted value it belongs to the value).
struct StartTagScan {
    std::size_t nameEnd = 0;
    std::size_t end = std::string_view::npos; // offset of the ">", npos when unterminated
    bool empty = false;
};

StartTagScan ScanStartTag(std::string_view text, std::size_t lt) {
    StartTagScan scan;
    scan.nameEnd = NameEndFrom(text, lt + 1);
    std::size_t lastClosingQuote = std::string_view::npos;
    bool afterEquals = false;
    for (std::size_t j = scan.nameEnd; j < text.size(); ++j) {
        const char c = text[j];
        if (c == '>') {
            scan.end = j;
            break;
        }
        if (c == '=') {
            afterEquals = true;
        } else if (afterEquals && (c == '"' || c == '\'')) {
            const std::size_t close = text.find(c, j + 1);
            if (close == std::string_view::npos) {
                return scan;
            }
            lastClosingQuote = close;
            afterEquals = false;
            j = close;
        } else if (afterEquals && !IsSpace(c)) {
            afterEquals = false;
        }
    }
    if (scan.end == std::string_view::npos) {
        return scan;
    }
    const std::size_t slash = scan.end - 1;
    scan.empty = text[slash] == '/' && (slash == scan.nameEnd || IsSpace(text[slash - 1]) ||
                                        lastClosingQuote == slash - 1);
    return scan;
}

} // namespace

// One pass over the text with a stack of open elements.
class CXmlDocument::Parser {
public:
    explicit Parser(CXmlDocument& doc) : m_doc(doc), m_text(doc.m_text) {}

    void Run() {
        const std::size_t n = m_text.size();
        std::size_t i = 0;
        while (i < n) {
            if (m_text[i] != '<') {
                const void* lt = std::memchr(m_text.data() + i, '<', n - i);
                i = lt != nullptr ? static_cast<const char*>(lt) - m_text.data() : n;
                continue;
            }
            i = Node(i);
        }
        CloseOpenElements();
        CheckDocument();
        AssignLevels();
    }

private:
    // Reads the node whose "<" stands at i; returns where the next one starts.
    std::size_t Node(std::size_t i) {
        const std::size_t n = m_text.size();
        if (i + 1 >= n) {
            return Unterminated("tag", i);
        }
        const char c = m_text[i + 1];
        if (c == '/') {
            return EndTag(i);
        }
        if (c == '?') {
            return Terminated(i, "?>", i + 2, "Processing instruction");
        }
        if (c == '!') {
            return Bang(i);
        }
        if (CanStartName(c)) {
            return StartTag(i);
        }
        NodeError(Format("Incorrect tag name character at offset %d", {Offset(i)}));
        return i + 1;
    }

    std::size_t Bang(std::size_t i) {
        const std::size_t n = m_text.size();
        if (i + 2 >= n) {
            return Unterminated("tag", i);
        }
        const char c = m_text[i + 2];
        if (c == '-') {
            if (i + 3 >= n) {
                return Unterminated("Comment", i);
            }
            if (m_text[i + 3] != '-') {
                NodeError(Format("Incorrect comment tag at offset %d", {Offset(i)}));
                return i + 1;
            }
            return Terminated(i, "-->", i + 4, "Comment");
        }
        if (c == '[') {
            if (i + 3 >= n) {
                return Unterminated("CDATA Section", i);
            }
            if (m_text[i + 3] != 'C') {
                NodeError(Format("Incorrect tag at offset %d", {Offset(i)}));
                return i + 1;
            }
            return Terminated(i, "]]>", i + 4, "CDATA Section");
        }
        if (c == 'D') {
            return Doctype(i);
        }
        NodeError(Format("Incorrect ! tag at offset %d", {Offset(i)}));
        return i + 1;
    }

    // A DOCTYPE ends at the first ">" outside the declarations (and
    // comments) of its internal subset.
    std::size_t Doctype(std::size_t i) {
        const std::size_t n = m_text.size();
        std::size_t j = i + 3;
        while (j < n) {
            const char c = m_text[j];
            if (c == '>') {
                return j + 1;
            }
            if (c != '<' || j + 2 >= n || m_text[j + 1] != '!') {
                ++j;
                continue;
            }
            const char kind = m_text[j + 2];
            std::size_t end = std::string_view::npos;
            if (kind == 'E' || kind == 'A' || kind == 'N') {
                end = m_text.find('>', j + 3);
                end = end == std::string_view::npos ? end : end + 1;
            } else if (kind == '-' && j + 3 < n && m_text[j + 3] == '-') {
                end = m_text.find("-->", j + 4);
                end = end == std::string_view::npos ? end : end + 3;
            } else {
                NodeError(Format("Incorrect ! tag at offset %d", {Offset(j)}));
                j += 2;
                continue;
            }
            if (end == std::string_view::npos) {
                break;
            }
            j = end;
        }
        return Unterminated("Doctype", i);
    }

    std::size_t StartTag(std::size_t i) {
        const StartTagScan tag = ScanStartTag(m_text, i);
        if (tag.end == std::string_view::npos) {
            return Unterminated("Element tag", i);
        }
        const std::size_t j = tag.end;
        const std::size_t nameEnd = tag.nameEnd;
        const bool empty = tag.empty;

        const std::uint32_t parent = m_stack.empty() ? 0 : m_stack.back();
        const std::uint32_t index = m_doc.NewRecord();
        ElementRecord& record = m_doc.Record(index);
        record.start = static_cast<std::uint32_t>(i);
        record.startTagLength = static_cast<std::uint32_t>(j + 1 - i);
        record.length = record.startTagLength;
        m_doc.LinkAfter(parent, 0, index);
        if (!empty) {
            m_stack.push_back(index);
            if (m_countsActive) {
                ++m_openNames[m_text.substr(i + 1, nameEnd - i - 1)];
            }
        }
        return j + 1;
    }

    std::size_t EndTag(std::size_t i) {
        const std::size_t nameEnd = NameEndFrom(m_text, i + 2);
        const std::size_t gt = m_text.find('>', i + 2);
        if (gt == std::string_view::npos) {
            return Unterminated("Element end tag", i);
        }
        const std::string_view name = m_text.substr(i + 2, nameEnd - i - 2);
        if (!m_stack.empty() && m_doc.NameMatches(m_stack.back(), name)) {
            Close(i, gt + 1);
            return gt + 1;
        }
        MatchOuter(name, i, gt + 1);
        return gt + 1;
    }

    // The end tag at [tagStart, tagEnd) closes the innermost open element.
    void Close(std::size_t tagStart, std::size_t tagEnd) {
        const std::uint32_t index = m_stack.back();
        ElementRecord& record = m_doc.Record(index);
        record.length = static_cast<std::uint32_t>(tagEnd - record.start);
        record.endTagLength = static_cast<std::uint32_t>(tagEnd - tagStart);
        Pop();
    }

    void Pop() {
        if (m_countsActive) {
            --m_openNames[m_doc.NameAt(m_stack.back())];
        }
        m_stack.pop_back();
    }

    // An end tag that does not match the innermost open element. The open
    // names are counted from the first such tag on, so a run of end tags
    // that match nothing costs no walk down a deep stack.
    void MatchOuter(std::string_view name, std::size_t tagStart, std::size_t tagEnd) {
        if (!m_countsActive) {
            m_countsActive = true;
            for (std::uint32_t open : m_stack) {
                ++m_openNames[m_doc.NameAt(open)];
            }
        }
        auto it = m_openNames.find(name);
        if (it == m_openNames.end() || it->second == 0) {
            NodeError(Format("No start tag for end tag '%s' at offset %d",
                             {std::string(name), Offset(tagStart)}));
            return;
        }
        std::size_t match = m_stack.size() - 1;
        while (!m_doc.NameMatches(m_stack[match], name)) {
            --match;
        }
        const ElementRecord& innermost = m_doc.Record(m_stack.back());
        Error(Format("End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                     {std::string(name), Offset(tagStart + 1),
                      std::string(m_doc.NameAt(m_stack.back())), Offset(innermost.start)}));
        m_doc.Record(0).flagsAndLevel |= kIllFormed;
        for (std::size_t k = match + 1; k < m_stack.size(); ++k) {
            EndWithStartTag(m_stack[k]);
        }
        while (m_stack.size() > match + 1) {
            Pop();
        }
        Close(tagStart, tagEnd);
    }

    // The element is left without end tag: it ends with its start tag and its
    // children become its following siblings. Open elements are ended from
    // the outermost inwards, so each child moves once.
    void EndWithStartTag(std::uint32_t index) {
        ElementRecord& record = m_doc.Record(index);
        record.flagsAndLevel |= kNotEnded;
        record.length = record.startTagLength;
        record.endTagLength = 0;
        const std::uint32_t first = record.firstChild;
        if (first == 0) {
            return;
        }
        const std::uint32_t parent = record.parent;
        const std::uint32_t last = m_doc.Record(first).previousSibling;
        for (std::uint32_t child = first; child != 0; child = m_doc.Record(child).nextSibling) {
            ElementRecord& moved = m_doc.Record(child);
            moved.parent = parent;
            moved.flagsAndLevel &= ~kFirstChild;
        }
        record.firstChild = 0;
        record.nextSibling = first;
        m_doc.Record(first).previousSibling = index;
        // The element was the last child of its parent; its children now are.
        m_doc.Record(m_doc.Record(parent).firstChild).previousSibling = last;
    }

    void CloseOpenElements() {
        if (m_stack.empty()) {
            return;
        }
        const std::uint32_t innermost = m_stack.back();
        Error(
            Format("Element '%s' at offset %d not ended",
                   {std::string(m_doc.NameAt(innermost)), Offset(m_doc.Record(innermost).start)}));
        m_doc.Record(0).flagsAndLevel |= kIllFormed;
        for (std::uint32_t open : m_stack) {
            EndWithStartTag(open);
        }
        m_stack.clear();
    }

    void CheckDocument() {
        const ElementRecord& root = m_doc.Record(0);
        if (m_text.empty()) {
            Error("Empty document");
        } else if (root.firstChild == 0) {
            Error("No root element");
        } else if (m_doc.Record(root.firstChild).nextSibling != 0) {
            Error("Root element has sibling");
        }
    }

    // Parents always precede their children in the index.
    void AssignLevels() {
        for (std::uint32_t i = 1; i < m_doc.m_count; ++i) {
            ElementRecord& record = m_doc.Record(i);
            std::uint32_t level = 0;
            if (record.parent != 0) {
                level = std::min<std::uint32_t>(
                    (m_doc.Record(record.parent).flagsAndLevel & kLevelMask) + 1, kLevelMask);
            }
            record.flagsAndLevel = (record.flagsAndLevel & ~kLevelMask) | level;
        }
    }

    std::size_t Terminated(std::size_t i, std::string_view terminator, std::size_t from,
                           const char* kind) {
        const std::size_t end = m_text.find(terminator, from);
        if (end == std::string_view::npos) {
            return Unterminated(kind, i);
        }
        return end + terminator.size();
    }

    std::size_t Unterminated(const char* kind, std::size_t i) {
        m_doc.m_openTail = static_cast<std::uint32_t>(i);
        NodeError(Format("%s at offset %d unterminated", {kind, Offset(i)}));
        return m_text.size();
    }

    void NodeError(std::string message) {
        m_doc.Record(0).flagsAndLevel |= kIllFormed;
        const std::uint32_t enclosing = m_stack.empty() ? 0 : m_stack.back();
        m_doc.Record(enclosing).flagsAndLevel |= kIllData;
        Error(std::move(message));
    }

    void Error(std::string message) {
        if (m_doc.m_error.empty()) {
            m_doc.m_error = std::move(message);
        }
    }

    // Offsets are only worked out for the first error, so a document full of
    // errors still parses in one pass.
    std::string Offset(std::size_t byteOffset) const {
        if (!m_doc.m_error.empty()) {
            return {};
        }
        return std::to_string(Utf16Length(m_text.substr(0, byteOffset)));
    }

    static std::string Format(std::string_view pattern, std::initializer_list<std::string> args) {
        std::string out;
        auto arg = args.begin();
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == '%' && i + 1 < pattern.size() && arg != args.end() &&
                (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
                out += *arg++;
                ++i;
                continue;
            }
            out += pattern[i];
        }
        return out;
    }

    struct NameHash {
        bool noCase;
        std::size_t operator()(std::string_view s) const {
            std::size_t h = 1469598103934665603ull;
            for (char c : s) {
                h = (h ^ static_cast<unsigned char>(noCase ? FoldCase(c) : c)) * 1099511628211ull;
            }
            return h;
        }
    };
    struct NameEqual {
        const CXmlDocument* doc;
        bool operator()(std::string_view a, std::string_view b) const {
            return doc->NamesEqual(a, b);
        }
    };

    CXmlDocument& m_doc;
    std::string_view m_text;
    std::vector<std::uint32_t> m_stack;
    bool m_countsActive = false;
    std::unordered_map<std::string_view, std::uint32_t, NameHash, NameEqual> m_openNames{
        16, NameHash{(m_doc.m_documentFlags & kNoCase) != 0}, NameEqual{&m_doc}};
};

CXmlDocument::CXmlDocument() {
    ClearIndex();
}

CXmlDocument::CXmlDocument(std::string_view text) {
    SetDocumentText(text);
}

CXmlDocument::~CXmlDocument() = default;

bool CXmlDocument::SetDocumentText(std::string_view text) {
    m_text.assign(text);
    m_error.clear();
    m_openTail = kNoOffset;
    ClearIndex();
    ResetPosition();
    if (m_text.size() >= kMaxTextLength) {
        m_error = "Document too large";
        Record(0).flagsAndLevel |= kIllFormed;
        return false;
    }
    ReserveRecords(static_cast<std::uint32_t>(m_text.size() / 64 + 8));
    Record(0).length = static_cast<std::uint32_t>(m_text.size());
    Parser(*this).Run();
    return IsWellFormedDocument();
}

bool CXmlDocument::IsWellFormedDocument() const {
    if (m_count == 0) {
        return false;
    }
    const ElementRecord& root = Record(0);
    if ((root.flagsAndLevel & kIllFormed) != 0 || root.firstChild == 0) {
        return false;
    }
    return Record(root.firstChild).nextSibling == 0;
}

// --- Index storage ---------------------------------------------------------

CXmlDocument::ElementRecord& CXmlDocument::Record(std::uint32_t index) {
    return m_segments[index / kSegmentSize][index % kSegmentSize];
}

const CXmlDocument::ElementRecord& CXmlDocument::Record(std::uint32_t index) const {
    return m_segments[index / kSegmentSize][index % kSegmentSize];
}

void CXmlDocument::ReserveRecords(std::uint32_t count) {
    if (count <= m_capacity) {
        return;
    }
    const std::uint32_t segments = (count + kSegmentSize - 1) / kSegmentSize;
    m_segments.resize(std::max<std::size_t>(m_segments.size(), segments));
    for (std::uint32_t s = 0; s < segments; ++s) {
        const std::uint32_t room = std::min(kSegmentSize, count - s * kSegmentSize);
        if (m_segments[s].capacity() < room) {
            m_segments[s].reserve(room);
        }
    }
    m_capacity = count;
}

std::uint32_t CXmlDocument::NewRecord() {
    if (m_count == m_capacity) {
        ReserveRecords(m_count + std::max<std::uint32_t>(m_count / 2, 8));
    }
    const std::uint32_t index = m_count++;
    m_segments[index / kSegmentSize].emplace_back();
    return index;
}

void CXmlDocument::ClearIndex() {
    m_segments.clear();
    m_count = 0;
    m_capacity = 0;
    ReserveRecords(8);
    NewRecord(); // the virtual root
}

void CXmlDocument::LinkAfter(std::uint32_t parent, std::uint32_t after, std::uint32_t index) {
    ElementRecord& record = Record(index);
    ElementRecord& owner = Record(parent);
    record.parent = parent;
    if (owner.firstChild == 0) {
        owner.firstChild = index;
        record.previousSibling = index;
        record.nextSibling = 0;
        record.flagsAndLevel |= kFirstChild;
        return;
    }
    ElementRecord& first = Record(owner.firstChild);
    const std::uint32_t last = first.previousSibling;
    if (after == 0 || after == last) {
        Record(last).nextSibling = index;
        record.previousSibling = last;
        record.nextSibling = 0;
        first.previousSibling = index;
        return;
    }
    const std::uint32_t next = Record(after).nextSibling;
    record.previousSibling = after;
    record.nextSibling = next;
    Record(after).nextSibling = index;
    Record(next).previousSibling = index;
}

// --- Names -------------------------------------------------------------------

std::string_view CXmlDocument::NameAt(std::uint32_t index) const {
    if (index == 0) {
        return {};
    }
    const std::string_view text(m_text);
    const std::size_t begin = Record(index).start + 1;
    return text.substr(begin, NameEndFrom(text, begin) - begin);
}

bool CXmlDocument::NamesEqual(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) {
        return false;
    }
    if ((m_documentFlags & kNoCase) == 0) {
        return a == b;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool CXmlDocument::NameMatches(std::uint32_t index, std::string_view name) const {
    return NamesEqual(NameAt(index), name);
}

std::uint32_t CXmlDocument::FindSibling(std::uint32_t from, std::string_view name) const {
    for (std::uint32_t i = from; i != 0; i = Record(i).nextSibling) {
        if (name.empty() || NameMatches(i, name)) {
            return i;
        }
    }
    return 0;
}

// --- Position ----------------------------------------------------------------

void CXmlDocument::ResetPosition() {
    m_parent = m_current = m_child = 0;
}

bool CXmlDocument::FindElement(std::string_view name) {
    const std::uint32_t from =
        m_current != 0 ? Record(m_current).nextSibling : Record(m_parent).firstChild;
    const std::uint32_t found = FindSibling(from, name);
    if (found == 0) {
        return false;
    }
    m_current = found;
    m_child = 0;
    return true;
}

bool CXmlDocument::FindChildElement(std::string_view name) {
    if (m_current == 0 && !FindElement()) {
        return false;
    }
    const std::uint32_t from =
        m_child != 0 ? Record(m_child).nextSibling : Record(m_current).firstChild;
    const std::uint32_t found = FindSibling(from, name);
    if (found == 0) {
        return false;
    }
    m_child = found;
    return true;
}

bool CXmlDocument::EnterElement() {
    if (m_current == 0) {
        return false;
    }
    m_parent = m_current;
    m_current = m_child;
    m_child = 0;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (m_parent == 0) {
        return false;
    }
    m_child = m_current;
    m_current = m_parent;
    m_parent = Record(m_parent).parent;
    return true;
}

std::string CXmlDocument::GetTagName() const {
    return std::string(NameAt(m_current));
}

std::string CXmlDocument::GetChildTagName() const {
    return std::string(NameAt(m_child));
}

// --- Reading -------------------------------------------------------------------

namespace {

// One attribute inside a start tag, as offsets into the text.
struct AttributeSpan {
    std::size_t nameBegin = 0, nameEnd = 0;
    std::size_t valueBegin = 0, valueEnd = 0; // the value with its quotes, empty when none
    bool quoted = false;
};

// Walks the attributes of the start tag [tagBegin, tagEnd), tagEnd being
// the offset of its ">". Quotes and the "/" of an unquoted value are read as
// the parser reads them.
class AttributeReader {
public:
    AttributeReader(std::string_view text, std::size_t tagBegin, std::size_t tagEnd)
        : m_text(text), m_pos(NameEndFrom(text.substr(0, tagEnd), tagBegin + 1)), m_end(tagEnd),
          m_afterLast(m_pos) {}

    bool Next(AttributeSpan& span) {
        while (m_pos < m_end && IsSpace(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos >= m_end || (m_text[m_pos] == '/' && m_pos + 1 == m_end)) {
            return false;
        }
        span = {};
        span.nameBegin = m_pos;
        while (m_pos < m_end && !IsSpace(m_text[m_pos]) && m_text[m_pos] != '=' &&
               !(m_text[m_pos] == '/' && m_pos + 1 == m_end)) {
            ++m_pos;
        }
        span.nameEnd = m_pos;
        if (span.nameEnd == span.nameBegin) {
            ++m_pos; // a stray "=": step over it
        }
        span.valueBegin = span.valueEnd = span.nameEnd;
        ReadValue(span);
        m_afterLast = m_pos;
        return true;
    }

    // Where an attribute added to this tag goes: after the last one.
    std::size_t InsertionPoint() {
        AttributeSpan span;
        while (Next(span)) {
        }
        return m_afterLast;
    }

private:
    void ReadValue(AttributeSpan& span) {
        std::size_t p = m_pos;
        while (p < m_end && IsSpace(m_text[p])) {
            ++p;
        }
        if (p >= m_end || m_text[p] != '=') {
            return;
        }
        ++p;
        while (p < m_end && IsSpace(m_text[p])) {
            ++p;
        }
        span.valueBegin = p;
        if (p < m_end && (m_text[p] == '"' || m_text[p] == '\'')) {
            const std::size_t close = m_text.substr(0, m_end).find(m_text[p], p + 1);
            span.quoted = true;
            p = close == std::string_view::npos ? m_end : close + 1;
        } else {
            while (p < m_end && !IsSpace(m_text[p])) {
                ++p;
            }
        }
        span.valueEnd = p;
        m_pos = p;
    }

    std::string_view m_text;
    std::size_t m_pos;
    std::size_t m_end;
    std::size_t m_afterLast;
};

std::string_view ValueInside(std::string_view text, const AttributeSpan& span) {
    std::string_view value = text.substr(span.valueBegin, span.valueEnd - span.valueBegin);
    if (span.quoted && !value.empty()) {
        value.remove_prefix(1);
        if (!value.empty() && value.back() == text[span.valueBegin]) {
            value.remove_suffix(1);
        }
    }
    return value;
}

// Text pieces and CDATA sections of content that holds markup.
std::string MixedContentText(std::string_view content) {
    std::string out;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t lt = content.find('<', pos);
        out += XmlUnescape(content.substr(pos, lt == std::string_view::npos ? lt : lt - pos));
        if (lt == std::string_view::npos) {
            break;
        }
        const std::string_view rest = content.substr(lt);
        std::size_t end;
        if (rest.starts_with("<![CDATA[")) {
            end = rest.find("]]>", 9);
            out += rest.substr(9, end == std::string_view::npos ? end : end - 9);
            end = end == std::string_view::npos ? end : end + 3;
        } else if (rest.starts_with("<!--")) {
            end = rest.find("-->", 4);
            end = end == std::string_view::npos ? end : end + 3;
        } else if (rest.starts_with("<?")) {
            end = rest.find("?>", 2);
            end = end == std::string_view::npos ? end : end + 2;
        } else if (rest.size() > 1 && (rest[1] == '/' || rest[1] == '!')) {
            end = rest.find('>');
            end = end == std::string_view::npos ? end : end + 1;
        } else {
            out += '<'; // a stray "<" the parser took as text
            end = 1;
        }
        if (end == std::string_view::npos) {
            break;
        }
        pos = lt + end;
    }
    return out;
}

} // namespace

std::string CXmlDocument::AttributeOf(std::uint32_t index, std::string_view name) const {
    if (index == 0) {
        return {};
    }
    const ElementRecord& record = Record(index);
    AttributeReader reader(m_text, record.start, record.start + record.startTagLength - 1);
    AttributeSpan span;
    while (reader.Next(span)) {
        const std::string_view found(m_text.data() + span.nameBegin, span.nameEnd - span.nameBegin);
        if (NamesEqual(found, name)) {
            return XmlUnescape(ValueInside(m_text, span));
        }
    }
    return {};
}

std::string CXmlDocument::GetAttribute(std::string_view name) const {
    return AttributeOf(m_current, name);
}

std::string CXmlDocument::GetChildAttribute(std::string_view name) const {
    return AttributeOf(m_child, name);
}

std::string CXmlDocument::TextOf(std::uint32_t index) const {
    if (index == 0) {
        return {};
    }
    const ElementRecord& record = Record(index);
    if (record.firstChild != 0 || record.endTagLength == 0) {
        return {};
    }
    const std::string_view content = std::string_view(m_text).substr(
        record.start + record.startTagLength,
        record.length - record.startTagLength - record.endTagLength);
    if (content.find('<') == std::string_view::npos) {
        return XmlUnescape(content);
    }
    return MixedContentText(content);
}

std::string CXmlDocument::GetElementText() const {
    return TextOf(m_current);
}

std::string CXmlDocument::GetChildElementText() const {
    return TextOf(m_child);
}

// --- Writing -------------------------------------------------------------------

void CXmlDocument::Splice(std::uint32_t offset, std::uint32_t removed, std::string_view inserted) {
    const std::size_t needed = m_text.size() - removed + inserted.size();
    if (needed > m_text.capacity()) {
        m_text.reserve(needed + needed / 2 + 128);
    }
    m_text.replace(offset, removed, inserted);
    const auto delta = static_cast<std::int64_t>(inserted.size()) - removed;
    for (std::uint32_t i = 1; i < m_count; ++i) {
        ElementRecord& record = Record(i);
        if (record.start >= offset) {
            record.start = static_cast<std::uint32_t>(record.start + delta);
        } else if (record.start + record.length > offset) {
            record.length = static_cast<std::uint32_t>(record.length + delta);
        }
    }
    Record(0).length = static_cast<std::uint32_t>(m_text.size());
    if (m_openTail != kNoOffset && m_openTail >= offset) {
        m_openTail = static_cast<std::uint32_t>(m_openTail + delta);
    }
}

CXmlDocument::Insertion CXmlDocument::PlanAttribute(std::uint32_t index, std::string_view name,
                                                    std::string_view value) const {
    const std::string quoted = Concat({"\"", XmlEscapeAttribute(value), "\""});
    const ElementRecord& record = Record(index);
    AttributeReader reader(m_text, record.start, record.start + record.startTagLength - 1);
    AttributeSpan span;
    bool found = false;
    while (!found && reader.Next(span)) {
        found = NamesEqual(
            std::string_view(m_text).substr(span.nameBegin, span.nameEnd - span.nameBegin), name);
    }
    Insertion plan;
    if (found && span.valueEnd > span.nameEnd) {
        plan.offset = static_cast<std::uint32_t>(span.valueBegin);
        plan.removed = static_cast<std::uint32_t>(span.valueEnd - span.valueBegin);
        plan.text = quoted;
    } else if (found) {
        plan.offset = static_cast<std::uint32_t>(span.nameEnd);
        plan.text = Concat({"=", quoted});
    } else {
        plan.offset = static_cast<std::uint32_t>(reader.InsertionPoint());
        plan.text = Concat({" ", name, "=", quoted});
    }
    return plan;
}

bool CXmlDocument::SetAttributeOn(std::uint32_t index, std::string_view name,
                                  std::string_view value) {
    if (index == 0 || !IsUsableName(name)) {
        return false;
    }
    const Insertion plan = PlanAttribute(index, name, value);
    if (m_text.size() - plan.removed + plan.text.size() >= kMaxTextLength) {
        return false;
    }
    // A tag of stray characters (a "/" after a valueless attribute, say)
    // could read as another kind of tag once changed: leave such tags alone.
    const ElementRecord& record = Record(index);
    const std::string_view oldTag =
        std::string_view(m_text).substr(record.start, record.startTagLength);
    std::string newTag(oldTag);
    newTag.replace(plan.offset - record.start, plan.removed, plan.text);
    const StartTagScan oldScan = ScanStartTag(oldTag, 0);
    const StartTagScan newScan = ScanStartTag(newTag, 0);
    if (newScan.end != newTag.size() - 1 || newScan.empty != oldScan.empty) {
        return false;
    }
    Splice(plan.offset, plan.removed, plan.text);
    Record(index).startTagLength = static_cast<std::uint32_t>(newTag.size());
    return true;
}

bool CXmlDocument::SetAttribute(std::string_view name, std::string_view value) {
    return SetAttributeOn(m_current, name, value);
}

bool CXmlDocument::SetChildAttribute(std::string_view name, std::string_view value) {
    return SetAttributeOn(m_child, name, value);
}

CXmlDocument::Insertion CXmlDocument::PlanInsertion(std::uint32_t parent, std::uint32_t after,
                                                    const std::string& element) const {
    const ElementRecord& owner = Record(parent);
    Insertion plan;
    if (parent != 0 && owner.endTagLength == 0) {
        // "<parent/>" opens into three lines: start tag, new element, end tag.
        plan.opensParent = true;
        plan.offset = owner.start + owner.startTagLength - 2;
        plan.removed = 1;
        plan.text = Concat({">\r\n", element, "\r\n</", NameAt(parent)});
        plan.elementStart = plan.offset + 3;
        return plan;
    }
    std::uint32_t offset = after != 0 ? Record(after).start + Record(after).length
                                      : owner.start + owner.length - owner.endTagLength;
    std::size_t next = offset;
    while (next < m_text.size() && IsSpace(m_text[next])) {
        ++next;
    }
    if (next == m_text.size() || m_text[next] == '<') {
        offset = static_cast<std::uint32_t>(next);
    }
    // A node left unterminated at the end would swallow the new element.
    plan.offset = std::min(offset, m_openTail);
    const bool ownerHasNoContent =
        parent != 0 && owner.length == owner.startTagLength + owner.endTagLength;
    plan.text = Concat({ownerHasNoContent ? "\r\n" : "", element, "\r\n"});
    plan.elementStart = plan.offset + (ownerHasNoContent ? 2 : 0);
    return plan;
}

std::uint32_t CXmlDocument::AppendUnder(std::uint32_t parent, std::uint32_t after,
                                        std::string_view name, std::string_view value,
                                        bool asCData) {
    if (!IsUsableName(name) || (Record(parent).flagsAndLevel & kNotEnded) != 0) {
        return 0;
    }
    const std::string content = asCData ? XmlCData(value) : XmlEscapeText(value);
    const std::string element = value.empty() ? Concat({"<", name, "/>"})
                                              : Concat({"<", name, ">", content, "</", name, ">"});
    const Insertion plan = PlanInsertion(parent, after, element);
    if (m_text.size() - plan.removed + plan.text.size() >= kMaxTextLength) {
        return 0;
    }
    Splice(plan.offset, plan.removed, plan.text);
    if (plan.opensParent) {
        ElementRecord& opened = Record(parent);
        opened.startTagLength -= 1;
        opened.endTagLength = static_cast<std::uint32_t>(NameAt(parent).size() + 3);
    }
    const std::uint32_t index = NewRecord();
    ElementRecord& record = Record(index);
    record.start = plan.elementStart;
    record.length = static_cast<std::uint32_t>(element.size());
    record.startTagLength =
        static_cast<std::uint32_t>(value.empty() ? element.size() : name.size() + 2);
    record.endTagLength = static_cast<std::uint32_t>(value.empty() ? 0 : name.size() + 3);
    if (parent != 0) {
        record.flagsAndLevel =
            std::min<std::uint32_t>((Record(parent).flagsAndLevel & kLevelMask) + 1, kLevelMask);
    }
    LinkAfter(parent, after, index);
    return index;
}

bool CXmlDocument::AppendElement(std::string_view name, std::string_view value, bool asCData) {
    const std::uint32_t index = AppendUnder(m_parent, m_current, name, value, asCData);
    if (index == 0) {
        return false;
    }
    m_current = index;
    m_child = 0;
    return true;
}

bool CXmlDocument::AppendChildElement(std::string_view name, std::string_view value, bool asCData) {
    if (m_current == 0) {
        return false;
    }
    const std::uint32_t index = AppendUnder(m_current, m_child, name, value, asCData);
    if (index == 0) {
        return false;
    }
    m_child = index;
    return true;
}

// --- Checks --------------------------------------------------------------------

std::vector<CXmlDocument::ElementView> CXmlDocument::IndexSnapshot() const {
    std::vector<ElementView> out;
    out.reserve(ElementCount());
    // Iterative walk: documents may nest far deeper than the stack would allow.
    std::uint32_t node = Record(0).firstChild;
    std::uint32_t depth = 0;
    while (node != 0) {
        const ElementRecord& r = Record(node);
        out.push_back(
            {r.start, r.length, r.startTagLength, r.endTagLength, r.flagsAndLevel, depth});
        if (r.firstChild != 0) {
            node = r.firstChild;
            ++depth;
            continue;
        }
        while (node != 0 && Record(node).nextSibling == 0) {
            node = Record(node).parent;
            depth = node != 0 ? depth - 1 : 0;
        }
        if (node != 0) {
            node = Record(node).nextSibling;
        }
    }
    return out;
}

std::string CXmlDocument::EscapeText(std::string_view text) {
    return XmlEscapeText(text);
}

std::string CXmlDocument::EscapeAttribute(std::string_view text) {
    return XmlEscapeAttribute(text);
}

std::string CXmlDocument::Unescape(std::string_view text) {
    return XmlUnescape(text);
}

std::string CXmlDocument::MakeCData(std::string_view value) {
    return XmlCData(value);
}

} // namespace online
