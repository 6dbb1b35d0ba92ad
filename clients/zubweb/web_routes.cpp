// Matching the routes of several changers.
#include "clients/zubweb/web_routes.h"

#include <cctype>

#include "clients/zubweb/web_names.h"

const char kChangerRoutePrefix[] = "/api/changers";

namespace {

struct RouteName {
    const char* name;
    const char* method;
    ChangerRoute route;
};

const RouteName kChangerRoutes[] = {
    {"status", "GET", ChangerRoute::kStatus},    {"discs", "GET", ChangerRoute::kDiscs},
    {"command", "POST", ChangerRoute::kCommand}, {"scan", "POST", ChangerRoute::kScan},
    {"events", "GET", ChangerRoute::kEvents},
};

// More digits than any index has; longer text is no index (and cannot
// overflow).
const size_t kIndexDigits = 4;

ChangerRouteMatch Refuse(int status, const std::string& error) {
    ChangerRouteMatch match;
    match.status = status;
    match.error = error;
    return match;
}

ChangerRouteMatch Found(ChangerRoute route, int index = -1) {
    ChangerRouteMatch match;
    match.route = route;
    match.index = index;
    match.status = 200;
    return match;
}

// Only method may ask for this route.
ChangerRouteMatch Allow(const std::string& method, const char* allowed, ChangerRoute route,
                        int index = -1) {
    if (method != allowed) {
        return Refuse(405, std::string("use ") + allowed + " here");
    }
    return Found(route, index);
}

std::string Range(int changerCount) {
    return changerCount == 1 ? "the only changer is 0"
                             : "changers are 0 to " + std::to_string(changerCount - 1);
}

// A decimal index without leading zeros; -1 when text is none.
int ReadIndex(const std::string& text) {
    if (text.empty() || text.size() > kIndexDigits || (text.size() > 1 && text[0] == '0')) {
        return -1;
    }
    int index = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return -1;
        }
        index = index * 10 + (c - '0');
    }
    return index;
}

}  // namespace

ChangerRouteMatch MatchChangerRoute(const std::string& method, const std::string& path,
                                    int changerCount) {
    const std::string prefix = kChangerRoutePrefix;
    std::string rest =
        path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : "-";
    if (!rest.empty() && rest[0] != '/') {
        return Refuse(404, "no such route");
    }
    if (rest.empty() || rest == "/") {
        return Allow(method, "GET", ChangerRoute::kList);
    }
    if (rest == "/events") {
        return Allow(method, "GET", ChangerRoute::kAllEvents);
    }
    size_t slash = rest.find('/', 1);
    std::string indexText =
        rest.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    int index = ReadIndex(indexText);
    if (index < 0) {
        return Refuse(404,
                      "'" + indexText.substr(0, 40) + "' is not a changer: " + Range(changerCount));
    }
    if (index >= changerCount) {
        return Refuse(404, "no changer " + indexText + ": " + Range(changerCount));
    }
    std::string name = slash == std::string::npos ? "" : rest.substr(slash + 1);
    for (const RouteName& route : kChangerRoutes) {
        if (name == route.name) {
            return Allow(method, route.method, route.route, index);
        }
    }
    if (IsNamesPath(name)) {
        ChangerRouteMatch match = Found(ChangerRoute::kNames, index);
        match.rest = name;
        return match;
    }
    return Refuse(404, "no such route");
}
