# Included after project() by the windows-release preset: takes the checkout's path out
# of what the compiler writes, so that the release is the same bytes from any folder.
# A flags string would be split at a blank in that path; an option here stays whole.
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>")
