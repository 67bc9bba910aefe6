#include "ado/session_pool.h"

#include "platform/clock.h"

#include <deque>
#include <map>
#include <mutex>

namespace ado::pool {

namespace {

struct Idle {
    std::unique_ptr<provider::Session> session;
    QDateTime since;
};

struct Pool {
    std::mutex mutex;
    std::map<QString, std::deque<Idle>> byKey;  // oldest first
};

Pool& GetPool() {
    static Pool pool;
    return pool;
}

// Drops the sessions idle for longer than kIdleSeconds at now. The caller holds the pool's mutex.
void DropExpired(Pool& pool, const QDateTime& now) {
    for (auto it = pool.byKey.begin(); it != pool.byKey.end();) {
        auto& idle = it->second;
        while (!idle.empty() && platform::DateDiffSeconds(idle.front().since, now) > kIdleSeconds)
            idle.pop_front();
        it = idle.empty() ? pool.byKey.erase(it) : std::next(it);
    }
}

}  // namespace

std::unique_ptr<provider::Session> Take(const QString& key) {
    Pool& pool = GetPool();
    std::unique_ptr<provider::Session> session;
    {
        const std::lock_guard lock(pool.mutex);
        DropExpired(pool, platform::Now());
        auto it = pool.byKey.find(key);
        if (it == pool.byKey.end())
            return nullptr;
        session = std::move(it->second.back().session);  // the most recently used
        it->second.pop_back();
        if (it->second.empty())
            pool.byKey.erase(it);
    }
    return !session->Broken() && session->Reusable() ? std::move(session) : nullptr;
}

void Give(const QString& key, std::unique_ptr<provider::Session> session) {
    if (session->Broken() || !session->Reusable())
        return;
    Pool& pool = GetPool();
    std::deque<Idle> dropped;  // closed after the mutex is released
    const std::lock_guard lock(pool.mutex);
    const QDateTime now = platform::Now();
    DropExpired(pool, now);
    auto& idle = pool.byKey[key];
    while (static_cast<int>(idle.size()) >= kMaxIdlePerKey) {
        dropped.push_back(std::move(idle.front()));
        idle.pop_front();
    }
    idle.push_back(Idle{std::move(session), now});
}

void Clear() {
    Pool& pool = GetPool();
    std::map<QString, std::deque<Idle>> dropped;
    const std::lock_guard lock(pool.mutex);
    dropped.swap(pool.byKey);
}

}  // namespace ado::pool
