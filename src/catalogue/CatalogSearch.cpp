#include "catalogue/Catalog.h"

#include "catalogue/QuickSearchParser.h"

namespace {

constexpr const char* kTagTemplate =
    "SELECT DISTINCT assettokeyword.assetid FROM assettokeyword, keywords WHERE "
    "(keywords.keyword LIKE '%REPLACE_ME%') AND keywords.id=assettokeyword.keywordid";
constexpr const char* kFileNameTemplate =
    "SELECT DISTINCT id FROM assets WHERE filename LIKE '%REPLACE_ME%'";
constexpr const char* kMetadataTemplate =
    "SELECT DISTINCT assetid FROM image WHERE description LIKE '%REPLACE_ME%' OR title LIKE "
    "'%REPLACE_ME%' OR artist LIKE '%REPLACE_ME%' OR copyright LIKE '%REPLACE_ME%' OR "
    "usercomment LIKE '%REPLACE_ME%' OR equipmake LIKE '%REPLACE_ME%' OR  equipmodel LIKE "
    "'%REPLACE_ME%' OR makernote LIKE '%REPLACE_ME%' OR datetaken LIKE '%REPLACE_ME%'";
constexpr const char* kRatingTemplate =
    "SELECT DISTINCT assetid FROM image WHERE rating OPERATOR %d";

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

} // namespace

void CCatalog::AddSearchResults(const std::string& statement) {
    try {
        for (CppSQLite3Query query = m_searchDb.Query(statement); !query.IsEnd(); query.Next()) {
            const auto id = static_cast<std::uint32_t>(query.ColumnInt(0));
            m_searchResults.emplace(id, id);
        }
    } catch (const CppSQLite3Exception&) {
        // A failing term adds nothing; the other terms still run.
    }
}

void CCatalog::TagSearch(const std::string& term) {
    AddSearchResults(ReplaceAll(kTagTemplate, "REPLACE_ME", EscapeSql(term)));
}

void CCatalog::FileNameSearch(const std::string& term) {
    AddSearchResults(ReplaceAll(kFileNameTemplate, "REPLACE_ME", EscapeSql(term)));
}

void CCatalog::MetadataSearch(const std::string& term) {
    AddSearchResults(ReplaceAll(kMetadataTemplate, "REPLACE_ME", EscapeSql(term)));
}

void CCatalog::RatingSearch(int stars, char op) {
    AddSearchResults(ReplaceAll(FormatSql(kRatingTemplate, stars), "OPERATOR", std::string(1, op)));
}

void CCatalog::FreeTextSearch(const std::string& term) {
    TagSearch(term);
    FileNameSearch(term);
    MetadataSearch(term);
}

void CCatalog::RunSearchTerms(const std::string& text) {
    m_searchResults.clear();
    for (const SearchTerm& term : ParseQuickSearch(text)) {
        switch (term.kind) {
        case SearchTerm::Kind::FreeText:
            FreeTextSearch(term.value);
            break;
        case SearchTerm::Kind::Tag:
            TagSearch(term.value);
            break;
        case SearchTerm::Kind::FileName:
            FileNameSearch(term.value);
            break;
        case SearchTerm::Kind::Rating:
            RatingSearch(term.stars, term.op);
            break;
        }
    }
}

void CCatalog::RunIdStatement(const std::string& statement) {
    m_searchResults.clear();
    AddSearchResults(statement);
}
