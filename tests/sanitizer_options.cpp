// The sanitizers' settings for every test program, compiled in so that a
// test run by hand behaves as under ctest. Unused in builds without them.
#ifndef MPTEST_TESTS_DIR
#error "MPTEST_TESTS_DIR names the folder of the suppression files"
#endif

extern "C" {

// Suppressions of races inside Qt's own uninstrumented code are listed,
// each with its reason, in tests/tsan.supp. ignore_noninstrumented_modules:
// see there.
const char* __tsan_default_options()
{
    return "halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 "
           "suppressions=" MPTEST_TESTS_DIR "/tsan.supp";
}

const char* __asan_default_options()
{
    return "detect_leaks=1 strict_string_checks=1";
}

// print_suppressions=0: the programs' tests expect a clean exit to leave
// stderr empty, which the list of suppressions used would not.
const char* __lsan_default_options()
{
    return "print_suppressions=0 suppressions=" MPTEST_TESTS_DIR "/lsan.supp";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1 halt_on_error=1";
}

} // extern "C"
