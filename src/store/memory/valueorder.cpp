#include "store/memory/valueorder.h"

#include <algorithm>
#include <cstring>

namespace valueorder {

int collateTexts(std::string_view a, std::string_view b, bool nocase)
{
    const size_t n = std::min(a.size(), b.size());
    if (!nocase) {
        const int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
        return r != 0 ? r : (a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
    }
    // NOCASE folds ASCII letters and, like the engine, stops at a NUL in the first text.
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    for (size_t i = 0; i < n; ++i) {
        if (x[i] == 0 || foldAscii(x[i]) != foldAscii(y[i]))
            return int(foldAscii(x[i])) - int(foldAscii(y[i]));
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace valueorder
