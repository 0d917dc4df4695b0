// The load ledger: a record of every loaded file, written in the load's own
// transaction, so that a file found there again (after a kill between the
// commit and the move, or a move that failed) is relocated, never loaded twice.
#pragma once
#include <cstdint>
#include <string>

// What the import learns about a file before its load.
enum class LedgerLookup {
    kNew,          // no record: load it inside a ledger transaction
    kLoaded,       // a record of this very content: relocate it as imported
    kUnprotected,  // the database has no ledger: load it as before
    kLeave,        // the ledger cannot be read now: the file stays for a later run
};

// The file as it is about to be loaded.
struct LoadRecord {
    std::string name;  // base name
    std::uint64_t size = 0;
    std::string hash;  // SHA-256 of the content, lower-case hex
};
