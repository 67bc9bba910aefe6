#pragma once
// Sets (with no value: removes) an environment variable for the life of a scope, then puts back the old one.
#include <QByteArray>

#include <optional>

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name))
            previous_ = qgetenv(name);
        Apply(value);
    }
    ~ScopedEnvironment() { Apply(previous_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Apply(const std::optional<QByteArray>& value) { value ? qputenv(name_, *value) : qunsetenv(name_); }
    const char* name_;
    std::optional<QByteArray> previous_;
};
