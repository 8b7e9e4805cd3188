// Test-only writers of libdvo. They store names exactly as given, so tests can
// put names into a database that the importer refuses ("..", "a/b", control
// characters) and check that the readers of the database cope with them.
// Never call them from product code.
#pragma once
#include <cstddef>

extern "C" {

// Appends a sub-item as the last child of the item at parentPath; false when
// the parent does not exist or a sibling has the same name (ASCII case ignored).
bool dvo_testing_add_item(int db, const char* parentPath, const char* name, const char* caption);

// Stores a file in the item at itemPath, replacing one of the same name; false
// when the item does not exist.
bool dvo_testing_add_file(int db, const char* itemPath, const char* name, const void* data, size_t size);
}
