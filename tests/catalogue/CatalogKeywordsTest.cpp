#include "catalogue/Catalog.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using testsupport::TemplateCatalog;

TEST(CatalogKeywords, LookupInsertsANewKeywordOnceAndLetterCaseCounts) {
    struct Case {
        const char* keyword;
        const char* sameAs; // an earlier keyword that must give the same id, or null
    };
    const Case cases[] = {
        {"sea", nullptr}, {"Sea", nullptr},   {"SEA", nullptr},
        {"sea", "sea"},   {"Bob's", nullptr}, {"Bob's", "Bob's"},
        {"''", nullptr},  {"Sea", "Sea"},     {"sea ", nullptr},
    };
    TemplateCatalog db;
    std::map<std::string, std::int32_t> ids;
    std::set<std::int32_t> distinct;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        const std::int32_t id = db.Catalog().LookupKeywordId(c.keyword);
        ASSERT_GT(id, 0);
        if (c.sameAs != nullptr) {
            EXPECT_EQ(id, ids.at(c.sameAs));
            continue;
        }
        EXPECT_TRUE(distinct.insert(id).second) << "a new text gets a new id";
        ids[c.keyword] = id;
        EXPECT_EQ(db.Value("SELECT keyword FROM keywords WHERE id=" + std::to_string(id)),
                  c.keyword);
        EXPECT_EQ(db.Catalog().LookupKeywordText(id), c.keyword);
    }
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM keywords"), std::to_string(distinct.size()));
    EXPECT_EQ(db.Catalog().LookupKeywordText(4242), "");
}

TEST(CatalogKeywords, InsertAlwaysAddsARow) {
    TemplateCatalog db;
    const std::int32_t first = db.Catalog().InsertKeyword("it's");
    const std::int32_t second = db.Catalog().InsertKeyword("it's");
    EXPECT_GT(first, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM keywords WHERE keyword='it''s'"), "2");
    EXPECT_EQ(db.Catalog().LookupKeywordId("it's"), first) << "the first row in table order";
}
