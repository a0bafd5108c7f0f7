#pragma once

// CXmlDocument: the program's own XML reader and writer. It keeps one text and
// an index of the elements found in it (no node tree); reads move a position
// through the index, writes splice the text and shift the index. One thread
// at a time uses a document.
//
// The text is UTF-8. Offsets in the error texts count UTF-16 code units, so
// they read the same as for the decoded text the messages were written for.
// No DTD processing, no entity definitions, no encoding detection.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace online {

class CXmlDocument {
public:
    // Document flags.
    static constexpr std::uint32_t kNoCase = 1; // names compare without regard to ASCII case

    // Element record flags (upper bits of the flags-and-level word).
    static constexpr std::uint32_t kFirstChild = 0x80000000u;
    static constexpr std::uint32_t kNotEnded = 0x40000000u;
    static constexpr std::uint32_t kIllData = 0x20000000u;
    static constexpr std::uint32_t kIllFormed = 0x10000000u;
    static constexpr std::uint32_t kLevelMask = 0x0000FFFFu;

    // Records are stored in segments of this many, so the table grows
    // without moving the records of a full segment.
    static constexpr std::uint32_t kSegmentSize = 65536;

    // One element of the text. Offsets and lengths count bytes of the text.
    struct ElementRecord {
        std::uint32_t start = 0;          // offset of the element's "<"
        std::uint32_t length = 0;         // through the end of its end tag (or its start tag)
        std::uint32_t startTagLength = 0; // "<" through ">"
        std::uint32_t endTagLength = 0;   // "</" name ">", 0 when there is none
        std::uint32_t flagsAndLevel = 0;  // flags above, nesting level in the low 16 bits
        std::uint32_t parent = 0;
        std::uint32_t firstChild = 0;
        std::uint32_t nextSibling = 0;
        std::uint32_t previousSibling = 0; // for a first child: the last child of the parent
    };

    // An element as a check sees it, in document order (see IndexSnapshot).
    struct ElementView {
        std::uint32_t start, length, startTagLength, endTagLength, flagsAndLevel;
        std::uint32_t depth; // number of element ancestors, from the links
        bool operator==(const ElementView&) const = default;
    };

    CXmlDocument();
    explicit CXmlDocument(std::string_view text);
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;
    ~CXmlDocument();

    void SetDocumentFlags(std::uint32_t flags) { m_documentFlags = flags; }
    std::uint32_t GetDocumentFlags() const { return m_documentFlags; }

    // Replaces the text, parses it and resets the position.
    bool SetDocumentText(std::string_view text);
    const std::string& GetDocumentText() const { return m_text; }
    const std::string& GetErrorText() const { return m_error; }
    bool IsWellFormedDocument() const;

    void ResetPosition();
    bool FindElement(std::string_view name = {});
    bool FindChildElement(std::string_view name = {});
    bool EnterElement();
    bool LeaveElement();

    // Tag names of the current and the child element, empty when there is none.
    std::string GetTagName() const;
    std::string GetChildTagName() const;

    std::string GetAttribute(std::string_view name) const;
    std::string GetChildAttribute(std::string_view name) const;
    std::string GetElementText() const;
    std::string GetChildElementText() const;

    // Names must be usable as names: a character that can start a tag name,
    // then none of the characters that end one, nor quotes, "&" or controls.
    bool SetAttribute(std::string_view name, std::string_view value);
    bool SetChildAttribute(std::string_view name, std::string_view value);
    bool AppendElement(std::string_view name, std::string_view value = {}, bool asCData = false);
    bool AppendChildElement(std::string_view name, std::string_view value = {},
                            bool asCData = false);

    // The element index in document order, following the links from the
    // virtual root; lets a check compare the index with a fresh parse.
    std::vector<ElementView> IndexSnapshot() const;
    std::uint32_t ElementCount() const { return m_count > 0 ? m_count - 1 : 0; }

    static std::string EscapeText(std::string_view text);
    static std::string EscapeAttribute(std::string_view text);
    static std::string Unescape(std::string_view text);
    // "<![CDATA[" value "]]>", with every "]]>" in the value split across two sections.
    static std::string MakeCData(std::string_view value);

private:
    class Parser;
    friend class Parser;

    ElementRecord& Record(std::uint32_t index);
    const ElementRecord& Record(std::uint32_t index) const;
    std::uint32_t NewRecord();
    void ReserveRecords(std::uint32_t count);
    void ClearIndex();

    std::string_view NameAt(std::uint32_t index) const;
    bool NameMatches(std::uint32_t index, std::string_view name) const;
    bool NamesEqual(std::string_view a, std::string_view b) const;
    std::uint32_t FindSibling(std::uint32_t from, std::string_view name) const;

    std::string AttributeOf(std::uint32_t index, std::string_view name) const;
    std::string TextOf(std::uint32_t index) const;
    bool SetAttributeOn(std::uint32_t index, std::string_view name, std::string_view value);
    // A splice an edit makes: where, how much it replaces, and with what.
    struct Insertion {
        std::uint32_t offset = 0;
        std::uint32_t removed = 0;
        std::string text;
        std::uint32_t elementStart = 0; // of a new element
        bool opensParent = false;       // an empty-element parent gets an end tag
    };
    Insertion PlanAttribute(std::uint32_t index, std::string_view name,
                            std::string_view value) const;
    Insertion PlanInsertion(std::uint32_t parent, std::uint32_t after,
                            const std::string& element) const;
    std::uint32_t AppendUnder(std::uint32_t parent, std::uint32_t after, std::string_view name,
                              std::string_view value, bool asCData);

    void Splice(std::uint32_t offset, std::uint32_t removed, std::string_view inserted);
    void LinkAfter(std::uint32_t parent, std::uint32_t after, std::uint32_t index);

    static constexpr std::uint32_t kNoOffset = 0xFFFFFFFFu;

    std::string m_text;
    std::string m_error;
    // Start of a node that runs unterminated to the end of the text, if any.
    std::uint32_t m_openTail = kNoOffset;
    std::uint32_t m_documentFlags = 0;

    // Segment k holds records k * kSegmentSize onwards; only the last one may
    // have less room than a full segment.
    std::vector<std::vector<ElementRecord>> m_segments;
    std::uint32_t m_count = 0;    // records in use, record 0 included
    std::uint32_t m_capacity = 0; // records with room reserved

    std::uint32_t m_parent = 0;
    std::uint32_t m_current = 0;
    std::uint32_t m_child = 0; // the current node is an element exactly when m_current != 0
};

} // namespace online
