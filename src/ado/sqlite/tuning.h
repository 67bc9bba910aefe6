#pragma once
// The embedded provider's three mechanisms for speed, each of which can be switched off on its own to measure
// what it brings (the bench does) or to rule it out when a fault is looked for. Read once per process from
// the environment; the defaults are what production runs.
//   KESTRANE_SQLITE_GROUP_MS       the age in milliseconds at which grouped writes are committed; 0 writes
//   every
//                                  by-key write in a transaction of its own (default 50)
//   KESTRANE_SQLITE_SHARED_HANDLE  0: every session opens an engine handle of its own (default 1: one per
//   file) KESTRANE_SQLITE_SHAPES         0: every query is translated anew (default 1: a known shape is not)

#include <chrono>

namespace ado::sqlite {

struct Tuning {
    std::chrono::milliseconds groupAge{50};
    bool sharedHandle = true;
    bool queryShapes = true;
};

// The tuning of this process. A value that is not a number, or is negative, is refused on standard error once
// and the default kept.
const Tuning& ProcessTuning();

}  // namespace ado::sqlite
