#pragma once
// The error a call raises, for tests that check its number or text.

#include "ado/error.h"

#include <gtest/gtest.h>

#include <functional>

// The error that action raises; a test failure when it raises none.
inline ado::Error ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ado::Error& err) {
        return err;
    }
    ADD_FAILURE() << "no error was raised";
    return ado::Error(0, 0, QString());
}
