// Builds the empty ledger from the schema script: make_empty_ledger <schema.sql> <output file>.
// The file is written under a temporary name and renamed, so a broken build never leaves half
// a ledger behind.

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_empty_ledger <schema.sql> <output>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream script;
    script << in.rdbuf();
    const std::string out = argv[2];
    const std::string tmp = out + ".tmp";
    std::remove(tmp.c_str());
    try {
        SQLite::Database db(tmp, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(script.str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_empty_ledger: %s\n", e.what());
        std::remove(tmp.c_str());
        return 1;
    }
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::perror("make_empty_ledger: rename");
        return 1;
    }
    return 0;
}
