#pragma once
// The bundled sample database, ready for a test to export.
#include <string>

#include "tests/support/TestSupport.h"

namespace qbtest {

// The sample imported into a scratch file and opened; closed and removed with
// this object. A failed import or open is reported as a test failure and
// leaves Handle() at 0.
class SampleDatabase {
public:
    SampleDatabase();
    ~SampleDatabase();
    SampleDatabase(const SampleDatabase&) = delete;
    SampleDatabase& operator=(const SampleDatabase&) = delete;
    int Handle() const { return handle_; }
    const std::string& File() const { return file_; }

private:
    TempDir dir_;
    std::string file_;
    int handle_ = 0;
};

}  // namespace qbtest
