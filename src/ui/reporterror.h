#pragma once

#include "core/result.h"

// How a window shows an Error the store returned: a shortage as the plain
// "库存不足" message, everything else in the error box, an engine's text put
// into the user's words there. Every window reports store errors this way.
void reportError(const Error& error);

// The value of a result, or `fallback` after the error is reported.
template <typename T> T valueOrReport(Result<T> result, T fallback)
{
    if (result)
        return std::move(result).value();
    reportError(result.error());
    return fallback;
}

// True when the operation succeeded; false after its error is reported.
template <typename T> bool succeeded(const Result<T>& result)
{
    if (result)
        return true;
    reportError(result.error());
    return false;
}
