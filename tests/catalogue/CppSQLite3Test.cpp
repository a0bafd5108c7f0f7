#include "catalogue/CppSQLite3.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

namespace {

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CppSQLite3Exception& e) {
        return e.ErrorMessage();
    }
    return "no exception";
}

} // namespace

TEST(CppSQLite3, ErrorsOfTheLayerCarryTheirFixedTexts) {
    CppSQLite3DB never;
    EXPECT_EQ(MessageOf([&] { never.Execute("SELECT 1"); }),
              "CPPSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(MessageOf([&] { never.Query("SELECT 1"); }),
              "CPPSQLITE_ERROR[1000]: Database not open");

    testsupport::ScopedTestHome home;
    CppSQLite3DB db;
    db.Open(home.Root() + "/x.db3");
    CppSQLite3Query query = db.Query("SELECT 1, 2");
    EXPECT_EQ(MessageOf([&] { query.ColumnInt(3); }),
              "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(MessageOf([&] { query.ColumnText(-1); }),
              "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    query.Finalize();
    EXPECT_EQ(MessageOf([&] { query.IsEnd(); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
}

TEST(CppSQLite3, SqliteErrorsNameTheirCode) {
    testsupport::ScopedTestHome home;
    CppSQLite3DB db;
    db.Open(home.Root() + "/new.db3");
    EXPECT_EQ(MessageOf([&] { db.Query("SELECT id FROM albums"); }),
              "SQLITE_ERROR[1]: no such table: albums");
    db.Execute("CREATE TABLE t (k INTEGER UNIQUE)");
    db.Execute("INSERT INTO t VALUES (1)");
    EXPECT_EQ(MessageOf([&] { db.Execute("INSERT INTO t VALUES (1)"); }),
              "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: t.k");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(26), "UNKNOWN_ERROR");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(101), "SQLITE_DONE");
}

TEST(CppSQLite3, QueriesWalkTheirRowsAndNullsReadAsEmpty) {
    testsupport::ScopedTestHome home;
    CppSQLite3DB db;
    db.Open(home.Root() + "/rows.db3");
    db.Execute("CREATE TABLE t (n INTEGER, s TEXT)");
    EXPECT_TRUE(db.Query("SELECT n FROM t").IsEnd()) << "no row: at the end at once";

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(db.Execute(FormatSql("INSERT INTO t VALUES (%d, '%s')", i,
                                       EscapeSql("Bob's party").c_str())),
                  0);
        EXPECT_EQ(db.LastRowId(), i + 1);
    }
    db.Execute("INSERT INTO t VALUES (NULL, NULL)");
    CppSQLite3Query q = db.Query("SELECT n, s FROM t ORDER BY rowid");
    std::vector<std::string> texts;
    for (; !q.IsEnd(); q.Next()) {
        texts.push_back(std::to_string(q.ColumnInt(0)) + "|" + q.ColumnText(1));
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"0|Bob's party", "1|Bob's party", "2|Bob's party", "0|"}));
    db.Execute("DELETE FROM t WHERE n < 2");
    EXPECT_EQ(db.RowsChanged(), 2);
}

TEST(CppSQLite3, EscapingDoublesEveryQuote) {
    EXPECT_EQ(EscapeSql("it's 'quoted'"), "it''s ''quoted''");
    EXPECT_EQ(EscapeSql(""), "");
    EXPECT_EQ(FormatSql("SELECT '%s', %d", EscapeSql("O'Neil").c_str(), -1),
              "SELECT 'O''Neil', -1");
}

TEST(CppSQLite3, AStatementAfterASchemaChangeOnAnotherConnectionStillRuns) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/schema.db3";
    CppSQLite3DB a, b;
    a.Open(path);
    b.Open(path);
    a.Execute("CREATE TABLE t (n INTEGER)");
    EXPECT_TRUE(b.Query("SELECT n FROM t").IsEnd());
    a.Execute("ALTER TABLE t ADD COLUMN m INTEGER DEFAULT 7");
    a.Execute("INSERT INTO t (n) VALUES (1)");
    CppSQLite3Query q = b.Query("SELECT m FROM t");
    ASSERT_FALSE(q.IsEnd());
    EXPECT_EQ(q.ColumnInt(0), 7);
}

TEST(CppSQLite3, ABusyCatalogueFailsAfterTheTimeOut) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/busy.db3";
    testsupport::RawExec(path, "CREATE TABLE t (n INTEGER)");
    CppSQLite3DB writer, other;
    writer.Open(path);
    other.Open(path);
    other.SetBusyTimeout(50);
    writer.Execute("BEGIN EXCLUSIVE");
    EXPECT_EQ(MessageOf([&] { other.Execute("INSERT INTO t VALUES (1)"); }),
              "SQLITE_BUSY[5]: database is locked");
    writer.Execute("COMMIT");
    EXPECT_EQ(other.Execute("INSERT INTO t VALUES (1)"), 0);
}
