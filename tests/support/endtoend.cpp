#include "support/endtoend.h"

#include <fstream>
#include <sstream>

#include "render/other.h"

namespace mhtest {

bool WaitFor(const std::function<bool()>& done, double seconds) {
    double end = fxGetTime() + seconds;
    while (!done()) {
        if (fxGetTime() > end) return false;
        fxSleep(0.02);
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace mhtest
