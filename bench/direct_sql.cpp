#include "bench/direct_sql.h"

#include <cstdlib>

namespace bench {

long long DirectSql::QueryNumber(const std::string& sql) {
    const std::vector<Row> rows = Query(sql);
    if (rows.empty() || rows.front().empty() || rows.front().front() == "<null>")
        return 0;
    return std::atoll(rows.front().front().c_str());
}

std::string SqlText(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += '\'';
        quoted += c;
    }
    return quoted + '\'';
}

std::string LocalTimestampText(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string ServerLocation::ConnectionInfo(const std::string& database) const {
    const auto value = [](const std::string& text) {
        std::string quoted = "'";
        for (char c : text) {
            if (c == '\'' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return quoted + '\'';
    };
    return "host=" + value(host) + " port=" + value(port) + " dbname=" + value(database);
}

}  // namespace bench
