# The one version of mptest, set in project() at the top of CMakeLists.txt.
# Every program reads it as MPTEST_VERSION ("1.0.0"); the Windows version
# resource, the packages' names and the changelog take the same number.
add_compile_definitions($<$<COMPILE_LANGUAGE:CXX>:MPTEST_VERSION="${PROJECT_VERSION}">)

# The changelog's newest entry is this version: a new number in project()
# without its entry stops the build here rather than shipping a package whose
# changelog tells of another release. Its date is the release's date in the
# packages (MPTEST_RELEASE_DATE, YYYY-MM-DD).
file(STRINGS ${CMAKE_SOURCE_DIR}/CHANGELOG.md MPTEST_CHANGELOG_HEADS REGEX "^## ")
list(GET MPTEST_CHANGELOG_HEADS 0 MPTEST_CHANGELOG_NEWEST)
if(NOT MPTEST_CHANGELOG_NEWEST MATCHES "^## ${PROJECT_VERSION} \\(([0-9]+-[0-9]+-[0-9]+)\\)")
  message(FATAL_ERROR "CHANGELOG.md's newest entry is \"${MPTEST_CHANGELOG_NEWEST}\", not \"## ${PROJECT_VERSION} (YYYY-MM-DD)\"")
endif()
set(MPTEST_RELEASE_DATE ${CMAKE_MATCH_1})
