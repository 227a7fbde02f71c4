# The one version of mptest, set in project() at the top of CMakeLists.txt.
# Every program reads it as MPTEST_VERSION ("1.0.0"); the Windows version
# resource, the packages' names and the changelog take the same number.
add_compile_definitions($<$<COMPILE_LANGUAGE:CXX>:MPTEST_VERSION="${PROJECT_VERSION}">)
