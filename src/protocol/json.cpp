// Writing messages and reading a client's fields safely. A field of the wrong type reads as
// its fallback, as an absent one does: the servers then answer with an error of their
// protocol, never with an exception.
#include "protocol/json.h"

namespace tavro::protocol {

std::string dumpJson(const Json& message) {
    return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string stringField(const Json& object, const char* key, std::string_view fallback) {
    if (!object.is_object()) return std::string(fallback);
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::string(fallback);
    return it->get_ref<const std::string&>();
}

int64_t intField(const Json& object, const char* key, int64_t fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    // nlohmann counts an unsigned number as an integer too: it is read first, or 2^64 - 1
    // would come back as -1.
    if (it->is_number_unsigned()) {
        uint64_t value = it->get<uint64_t>();
        return value > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(value);
    }
    if (it->is_number_integer()) return it->get<int64_t>();
    return fallback;
}

bool boolField(const Json& object, const char* key, bool fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return fallback;
    return it->get<bool>();
}

const Json& nestedField(const Json& object, const char* key) {
    static const Json EMPTY = Json::object();
    if (!object.is_object()) return EMPTY;
    auto it = object.find(key);
    if (it == object.end() || !(it->is_object() || it->is_array())) return EMPTY;
    return *it;
}

}  // namespace tavro::protocol
