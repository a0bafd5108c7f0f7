// Build tool: makes the template catalogue from schema.sql.
//   orvanta-mkcatalog schema.sql db.db3
// The file is written in WAL journal mode under a temporary name and renamed
// into place, so an interrupted build never leaves a half-made template.

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: orvanta-mkcatalog SCHEMA.sql OUTPUT.db3\n";
        return 1;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "orvanta-mkcatalog: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::stringstream script;
    script << in.rdbuf();

    const std::string output = argv[2];
    const std::string temp = output + ".new";
    std::remove(temp.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(temp.c_str(), &db) != SQLITE_OK) {
        std::cerr << "orvanta-mkcatalog: " << sqlite3_errmsg(db) << "\n";
        sqlite3_close(db);
        return 1;
    }
    char* error = nullptr;
    std::string all = "PRAGMA journal_mode=WAL;\n" + script.str();
    if (sqlite3_exec(db, all.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::cerr << "orvanta-mkcatalog: " << (error ? error : "error") << "\n";
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(temp.c_str());
        return 1;
    }
    if (sqlite3_close(db) != SQLITE_OK) {
        std::cerr << "orvanta-mkcatalog: close failed\n";
        return 1;
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::cerr << "orvanta-mkcatalog: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
