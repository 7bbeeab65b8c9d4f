// The program defines some functions of libpappl, libcups and libavahi again: the dynamic linker
// binds the libraries' calls to the program's definitions first, and these reach the library's
// own through nextDefinition. guards.cpp and access.cpp say which, and why.
#pragma once

#include <dlfcn.h>

// The library's own definition of a function the program defines again (`self` gives its type).
template <typename F>
F nextDefinition(const char* name, F self)
{
    (void)self;
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
