#include "catalogue/CppSQLite3.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr const char* kDatabaseNotOpen = "Database not open";
constexpr const char* kNullStatement = "Null Virtual Machine pointer";
constexpr const char* kInvalidField = "Invalid field index requested";

std::string ErrorText(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : std::string();
}

} // namespace

CppSQLite3Exception::CppSQLite3Exception(int errorCode, const std::string& detail)
    : m_errorCode(errorCode) {
    m_message = std::string(ErrorCodeAsString(errorCode)) + "[" + std::to_string(errorCode) +
                "]: " + detail;
}

const char* CppSQLite3Exception::ErrorCodeAsString(int errorCode) {
    switch (errorCode) {
    case SQLITE_OK:
        return "SQLITE_OK";
    case SQLITE_ERROR:
        return "SQLITE_ERROR";
    case SQLITE_INTERNAL:
        return "SQLITE_INTERNAL";
    case SQLITE_PERM:
        return "SQLITE_PERM";
    case SQLITE_ABORT:
        return "SQLITE_ABORT";
    case SQLITE_BUSY:
        return "SQLITE_BUSY";
    case SQLITE_LOCKED:
        return "SQLITE_LOCKED";
    case SQLITE_NOMEM:
        return "SQLITE_NOMEM";
    case SQLITE_READONLY:
        return "SQLITE_READONLY";
    case SQLITE_INTERRUPT:
        return "SQLITE_INTERRUPT";
    case SQLITE_IOERR:
        return "SQLITE_IOERR";
    case SQLITE_CORRUPT:
        return "SQLITE_CORRUPT";
    case SQLITE_NOTFOUND:
        return "SQLITE_NOTFOUND";
    case SQLITE_FULL:
        return "SQLITE_FULL";
    case SQLITE_CANTOPEN:
        return "SQLITE_CANTOPEN";
    case SQLITE_PROTOCOL:
        return "SQLITE_PROTOCOL";
    case SQLITE_EMPTY:
        return "SQLITE_EMPTY";
    case SQLITE_SCHEMA:
        return "SQLITE_SCHEMA";
    case SQLITE_TOOBIG:
        return "SQLITE_TOOBIG";
    case SQLITE_CONSTRAINT:
        return "SQLITE_CONSTRAINT";
    case SQLITE_MISMATCH:
        return "SQLITE_MISMATCH";
    case SQLITE_MISUSE:
        return "SQLITE_MISUSE";
    case SQLITE_NOLFS:
        return "SQLITE_NOLFS";
    case SQLITE_AUTH:
        return "SQLITE_AUTH";
    case SQLITE_FORMAT:
        return "SQLITE_FORMAT";
    case SQLITE_RANGE:
        return "SQLITE_RANGE";
    case SQLITE_ROW:
        return "SQLITE_ROW";
    case SQLITE_DONE:
        return "SQLITE_DONE";
    case kCppSqliteError:
        return "CPPSQLITE_ERROR";
    default:
        return "UNKNOWN_ERROR";
    }
}

// ---- CppSQLite3Query ----

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool endOfRows,
                                 bool ownsStatement)
    : m_db(db), m_statement(statement), m_endOfRows(endOfRows),
      m_columnCount(statement != nullptr ? sqlite3_column_count(statement) : 0),
      m_ownsStatement(ownsStatement) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr)),
      m_endOfRows(other.m_endOfRows), m_columnCount(other.m_columnCount),
      m_ownsStatement(std::exchange(other.m_ownsStatement, false)) {}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        try {
            Finalize();
        } catch (const CppSQLite3Exception&) {
        }
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
        m_endOfRows = other.m_endOfRows;
        m_columnCount = other.m_columnCount;
        m_ownsStatement = std::exchange(other.m_ownsStatement, false);
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    try {
        Finalize();
    } catch (const CppSQLite3Exception&) {
        // No exception leaves a destructor.
    }
}

void CppSQLite3Query::CheckStatement() const {
    if (m_statement == nullptr) {
        throw CppSQLite3Exception(kCppSqliteError, kNullStatement);
    }
}

void CppSQLite3Query::CheckColumn(int column) const {
    CheckStatement();
    if (column < 0 || column >= m_columnCount) {
        throw CppSQLite3Exception(kCppSqliteError, kInvalidField);
    }
}

bool CppSQLite3Query::IsEnd() const {
    CheckStatement();
    return m_endOfRows;
}

void CppSQLite3Query::Next() {
    CheckStatement();
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_DONE) {
        m_endOfRows = true;
        return;
    }
    if (rc == SQLITE_ROW) {
        return;
    }
    std::string detail = ErrorText(m_db);
    rc = sqlite3_finalize(m_statement);
    m_statement = nullptr;
    throw CppSQLite3Exception(rc != SQLITE_OK ? rc : SQLITE_ERROR, detail);
}

int CppSQLite3Query::ColumnCount() const {
    CheckStatement();
    return m_columnCount;
}

int CppSQLite3Query::ColumnType(int column) const {
    CheckColumn(column);
    return sqlite3_column_type(m_statement, column);
}

std::string CppSQLite3Query::ColumnText(int column) const {
    CheckColumn(column);
    const unsigned char* text = sqlite3_column_text(m_statement, column);
    if (text == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(m_statement, column)));
}

int CppSQLite3Query::ColumnInt(int column) const {
    CheckColumn(column);
    return sqlite3_column_int(m_statement, column);
}

long long CppSQLite3Query::ColumnInt64(int column) const {
    CheckColumn(column);
    return sqlite3_column_int64(m_statement, column);
}

bool CppSQLite3Query::ColumnIsNull(int column) const {
    return ColumnType(column) == SQLITE_NULL;
}

void CppSQLite3Query::Finalize() {
    if (m_statement == nullptr || !m_ownsStatement) {
        m_statement = nullptr;
        return;
    }
    int rc = sqlite3_finalize(m_statement);
    m_statement = nullptr;
    if (rc != SQLITE_OK) {
        throw CppSQLite3Exception(rc, ErrorText(m_db));
    }
}

// ---- CppSQLite3DB ----

CppSQLite3DB::~CppSQLite3DB() {
    try {
        Close();
    } catch (const CppSQLite3Exception&) {
        // No exception leaves a destructor.
    }
}

void CppSQLite3DB::Open(const std::string& path) {
    Close();
    int rc = sqlite3_open(path.c_str(), &m_db);
    if (rc != SQLITE_OK) {
        std::string detail = ErrorText(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw CppSQLite3Exception(rc, detail);
    }
    SetBusyTimeout(m_busyTimeoutMs);
}

void CppSQLite3DB::Close() {
    if (m_db == nullptr) {
        return;
    }
    int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK) {
        std::string detail = ErrorText(m_db);
        // The handle stays usable so its statements can still be finalized; a
        // second close then releases it.
        throw CppSQLite3Exception(rc, detail);
    }
    m_db = nullptr;
}

void CppSQLite3DB::SetBusyTimeout(int milliseconds) {
    m_busyTimeoutMs = milliseconds;
    if (m_db != nullptr) {
        sqlite3_busy_timeout(m_db, milliseconds);
    }
}

void CppSQLite3DB::CheckDatabase() const {
    if (m_db == nullptr) {
        throw CppSQLite3Exception(kCppSqliteError, kDatabaseNotOpen);
    }
}

sqlite3_stmt* CppSQLite3DB::Prepare(const std::string& statement) {
    CheckDatabase();
    sqlite3_stmt* prepared = nullptr;
    // prepare_v2 re-prepares after a schema change by itself, which is the
    // retry the older interface needed by hand.
    int rc = sqlite3_prepare_v2(m_db, statement.c_str(), static_cast<int>(statement.size()),
                                &prepared, nullptr);
    if (rc != SQLITE_OK) {
        std::string detail = ErrorText(m_db);
        sqlite3_finalize(prepared);
        throw CppSQLite3Exception(rc, detail);
    }
    if (prepared == nullptr) {
        // Only white space or a comment: nothing to run.
        throw CppSQLite3Exception(SQLITE_MISUSE, "empty statement");
    }
    return prepared;
}

int CppSQLite3DB::Execute(const std::string& statement) {
    sqlite3_stmt* prepared = Prepare(statement);
    int rc = sqlite3_step(prepared);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
        return sqlite3_finalize(prepared);
    }
    // Every failed step raises, a busy time-out included: callers treat an
    // exception as the failure of their operation, so a write that never
    // happened is not reported as done.
    std::string detail = ErrorText(m_db);
    sqlite3_finalize(prepared);
    throw CppSQLite3Exception(rc, detail);
}

CppSQLite3Query CppSQLite3DB::Query(const std::string& statement) {
    sqlite3_stmt* prepared = Prepare(statement);
    int rc = sqlite3_step(prepared);
    if (rc == SQLITE_DONE) {
        return CppSQLite3Query(m_db, prepared, true, true);
    }
    if (rc == SQLITE_ROW) {
        return CppSQLite3Query(m_db, prepared, false, true);
    }
    std::string detail = ErrorText(m_db);
    sqlite3_finalize(prepared);
    throw CppSQLite3Exception(rc, detail);
}

long long CppSQLite3DB::LastRowId() const {
    CheckDatabase();
    return sqlite3_last_insert_rowid(m_db);
}

int CppSQLite3DB::RowsChanged() const {
    CheckDatabase();
    return sqlite3_changes(m_db);
}

std::string EscapeSql(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out;
}

std::string FormatSql(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}
