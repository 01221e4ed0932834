// Two parts of the static C++ runtime replaced with the little this program needs of
// them. Together they pull in nearly 90 KiB of a 250 KiB exe: the library's exception
// constructors bring its old copy-on-write string and std::random_device along, and
// its terminate handler brings the demangler and stdio.
//
// Only the throw helpers our code calls are defined. Should a new one be needed, the
// library's member that holds them all comes back and the link fails on the doubled
// names, rather than the size growing in silence.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// A fault in the program itself: no trap handles it, so it ends the process through
// the terminate handler below, as the library's std::logic_error and std::out_of_range did.
struct ProgrammingFault {};

}  // namespace

namespace std {

void __throw_bad_alloc() {
    throw std::bad_alloc();
}

void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}

// Every trap takes a length beyond max_size() for running out of memory, so the
// cheaper of the two exceptions it treats alike does.
void __throw_length_error(const char*) {
    throw std::bad_alloc();
}

void __throw_logic_error(const char*) {
    throw ProgrammingFault();
}

void __throw_out_of_range_fmt(const char*, ...) {
    throw ProgrammingFault();
}

}  // namespace std

namespace __gnu_cxx {

// The library's default terminate handler, for a C++ exception that nothing catches.
// It raises the code of a fatal application exit, so that the process's fault filter
// ends it: in the run, status 8 and its line; in the web-post library's child, that code.
// And it keeps the verbose handler out of the exe (a windowless program has no console).
void __verbose_terminate_handler() {
    RaiseException(0x40000015, EXCEPTION_NONCONTINUABLE, 0, nullptr);  // STATUS_FATAL_APP_EXIT
    std::abort();
}

}  // namespace __gnu_cxx
