#pragma once
// Leaks inside system libraries that tests cannot avoid: the image library loses a buffer
// when it gives up on a damaged PNG, and fontconfig keeps parts of its parsed configuration.
// Including this header in a test's sources tells LeakSanitizer to ignore them.

extern "C" __attribute__((used)) inline const char* __lsan_default_suppressions() {
    return "leak:libIL.so\n"
           "leak:libfontconfig.so\n";
}
