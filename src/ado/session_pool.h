#pragma once
// Closed connections' sessions kept for the next Open of the same provider and connection string, as OLE DB
// session pooling did.

#include "ado/provider.h"

#include <QString>

#include <memory>

namespace ado::pool {

inline constexpr int kIdleSeconds = 60;  // a session idle longer is dropped
inline constexpr int kMaxIdlePerKey = 8;

// An idle session for key, or nullptr when there is none that is still unbroken and reusable.
std::unique_ptr<provider::Session> Take(const QString& key);
// Keeps session for key when it is unbroken and reusable; otherwise (or when the key already has the most
// idle sessions it may keep, the oldest making room) closes it.
void Give(const QString& key, std::unique_ptr<provider::Session> session);
// Closes every idle session.
void Clear();

}  // namespace ado::pool
