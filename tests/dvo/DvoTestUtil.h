// Helpers shared by the dvo tests: folder trees on disk and reading a database back.
#pragma once
#include <string>
#include <vector>

#include "dvo/dvo.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

namespace dvotest {

inline const std::string kRoot = "\\Organizer\\data\\";

struct Entry {
    bool isFolder;
    std::string name;
    std::string caption;
    int value;
};

// Every entry dvo_enum_entries reports for the path, in order.
std::vector<Entry> Enumerate(int db, const std::string& path);
// "name" for files, "name\" for sub-items, in enumeration order.
std::vector<std::string> EntryNames(int db, const std::string& path);

// Imports src into dbFile and fails the test with the library's message if it is refused.
void MustImport(const std::string& src, const std::string& dbFile);
// Imports and expects a refusal; returns the message.
std::string ImportError(const std::string& src, const std::string& dbFile);

// Bytes of the stored file at path, exported through a temporary file; "<missing>" when export fails.
std::string Exported(int db, const std::string& path, const qbtest::TempDir& tmp);

// Closes the handle when the test ends.
class Db {
public:
    explicit Db(const std::string& file) : handle_(dvo_open(file.c_str())) {}
    ~Db() { dvo_close(handle_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    int get() const { return handle_; }

private:
    int handle_;
};

using qbtest::MakeDeepChain;
using qbtest::RemoveDeepChain;

}  // namespace dvotest
