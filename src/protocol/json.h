// JSON for the protocol servers, through nlohmann-json: the one way a message is written, and
// reads of a client's fields that never throw. nlohmann's checked accessors throw on a wrong
// type; every read of a client's field goes through the helpers here instead, which fall back
// to a default, so that no message can raise an exception.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavro::protocol {

using Json = nlohmann::json;

// The compact text of a message; bytes that are not UTF-8 (source lines, paths) are replaced.
std::string dumpJson(const Json& message);
// The field key of object as a string, or fallback when it is absent or not a string.
std::string stringField(const Json& object, const char* key, std::string_view fallback = "");
// The field key of object as an integer, or fallback when it is absent or not an integer.
int64_t intField(const Json& object, const char* key, int64_t fallback);
// The field key of object as a boolean, or fallback when it is absent or not a boolean.
bool boolField(const Json& object, const char* key, bool fallback);
// The field key of object if it is an object or array, else an empty object.
const Json& nestedField(const Json& object, const char* key);

}  // namespace tavro::protocol
