#pragma once
// What the end-to-end suites share: they start a program, wait for what it does and read
// what it wrote.

#include <functional>
#include <string>

namespace mhtest {

// Polls `done` every 20 ms until it holds (true) or `seconds` have passed (false).
bool WaitFor(const std::function<bool()>& done, double seconds);
// The whole file as it is on disk; empty when it cannot be read.
std::string ReadFile(const std::string& path);

} // namespace mhtest
