#pragma once

// The thin layer every SQL statement of the program runs through: a
// connection, the rows of a query, and the one error type. Text is UTF-8.
// A connection and its queries belong to one thread.

#include <string>

struct sqlite3;
struct sqlite3_stmt;

inline constexpr int kCppSqliteError = 1000;
inline constexpr int kBusyTimeoutMs = 60000;

class CppSQLite3Exception {
public:
    // Message: "<code name>[<code>]: <detail>".
    CppSQLite3Exception(int errorCode, const std::string& detail);
    virtual ~CppSQLite3Exception() = default;

    int ErrorCode() const { return m_errorCode; }
    const std::string& ErrorMessage() const { return m_message; }

    static const char* ErrorCodeAsString(int errorCode);

private:
    int m_errorCode;
    std::string m_message;
};

class CppSQLite3Query {
public:
    CppSQLite3Query() = default;
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool endOfRows, bool ownsStatement);
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    virtual ~CppSQLite3Query();

    bool IsEnd() const;
    void Next();
    int ColumnCount() const;
    int ColumnType(int column) const;
    // SQL NULL reads as "" and 0.
    std::string ColumnText(int column) const;
    int ColumnInt(int column) const;
    long long ColumnInt64(int column) const;
    bool ColumnIsNull(int column) const;
    void Finalize();

private:
    void CheckStatement() const;
    void CheckColumn(int column) const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    bool m_endOfRows = true;
    int m_columnCount = 0;
    bool m_ownsStatement = false;
};

class CppSQLite3DB {
public:
    CppSQLite3DB() = default;
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    virtual ~CppSQLite3DB();

    // Creates an empty database when the file does not exist.
    void Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }

    void SetBusyTimeout(int milliseconds);

    // For statements that return no rows. Returns a result code (0 on success).
    int Execute(const std::string& statement);
    CppSQLite3Query Query(const std::string& statement);

    long long LastRowId() const;
    int RowsChanged() const;

private:
    sqlite3_stmt* Prepare(const std::string& statement);
    void CheckDatabase() const;

    sqlite3* m_db = nullptr;
    int m_busyTimeoutMs = kBusyTimeoutMs;
};

// Doubles every single quote, the one escaping statement texts get.
std::string EscapeSql(const std::string& text);

// printf-style formatting of a statement template.
std::string FormatSql(const char* format, ...) __attribute__((format(printf, 1, 2)));
