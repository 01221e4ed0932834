// An exception that escapes everything ends the run with a plain abort. libstdc++'s
// default handler would print the exception's name to a console that a windowless
// program does not have, and it links the demangler and stdio in to do so: about a
// fifth of the exe. Defining it here keeps the library's copy out of the link.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler();

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
