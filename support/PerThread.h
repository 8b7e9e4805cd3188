#pragma once
// One object of T per thread, made on first use and destroyed when its thread ends.
//
// Instead of a `thread_local T`: MinGW-w64's runtime frees a thread's
// `thread_local` storage before it runs the destructors of the objects in it,
// so a thread that ends with such an object (a string, a map, an open folder)
// writes into freed heap memory, and the heap faults later elsewhere. Here the
// thread-local slot is a plain pointer, and the object's destructor is handed
// the object itself, never the slot.
#include <cxxabi.h>

extern "C" void* __dso_handle;

namespace qb {

template <class T>
void QB_CDTOR_CALL DeletePerThread(void* object) {
    delete static_cast<T*>(object);
}

// Tag tells apart two objects of the same type.
template <class T, class Tag = T>
T& PerThread() {
    thread_local T* object = nullptr;
    if (!object) {
        T* made = new T();
        __cxxabiv1::__cxa_thread_atexit(&DeletePerThread<T>, made, &__dso_handle);
        object = made;
    }
    return *object;
}

}  // namespace qb
