#include "tests/support/SampleDatabase.h"

#include <gtest/gtest.h>

#include "dvo/dvo.h"

namespace qbtest {

SampleDatabase::SampleDatabase() : file_(dir_ / "sample.kvdb") {
    if (dvo_import(QB_SOURCE_DIR "/examples/sample", file_.c_str()) != 1) {
        ADD_FAILURE() << "the sample did not import: " << dvo_last_error();
        return;
    }
    handle_ = dvo_open(file_.c_str());
    if (handle_ <= 0) {
        ADD_FAILURE() << "the imported sample did not open: " << dvo_last_error();
        handle_ = 0;
    }
}

SampleDatabase::~SampleDatabase() {
    if (handle_ > 0) dvo_close(handle_);
}

}  // namespace qbtest
