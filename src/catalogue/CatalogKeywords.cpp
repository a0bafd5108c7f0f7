// CCatalog: the keyword vocabulary. Keywords are never deleted.

#include "catalogue/Catalog.h"

std::int32_t CCatalog::LookupKeywordId(const std::string& keyword) {
    try {
        {
            // "=" compares with the binary collation: letter case counts.
            CppSQLite3Query row = m_mainDb.Query(
                FormatSql("SELECT keywords.id FROM keywords WHERE (keywords.keyword = '%s')",
                          EscapeSql(keyword).c_str()));
            if (!row.IsEnd()) {
                return row.ColumnInt(0);
            }
        }
        return InsertKeyword(keyword);
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}

std::string CCatalog::LookupKeywordText(std::int32_t keywordId) {
    try {
        CppSQLite3Query row =
            m_mainDb.Query(FormatSql("SELECT keyword FROM keywords WHERE id=%d", keywordId));
        return row.IsEnd() ? std::string() : row.ColumnText(0);
    } catch (const CppSQLite3Exception&) {
        return {};
    }
}

std::int32_t CCatalog::InsertKeyword(const std::string& keyword) {
    try {
        m_mainDb.Execute(
            FormatSql("INSERT INTO keywords (keyword) VALUES('%s')", EscapeSql(keyword).c_str()));
        return static_cast<std::int32_t>(m_mainDb.LastRowId());
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}
