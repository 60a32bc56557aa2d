// Any bytes as the content of a property file such as /app/VERSION.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Property.h"

namespace {

bool IsBlank(char c) {
    return c != '\0' && std::strchr(" \t\f\r", c) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PropertyManager manager;
    manager.LoadText(std::string(reinterpret_cast<const char*>(data), size));
    (void)manager.AddProperty("PROPERTY_TYPE_STRING", "PRELIMINARY_VERSION", "");
    const std::string value = manager.GetValue("PRELIMINARY_VERSION");
    // A value is part of one line, with no blanks at either end.
    if (value.find('\n') != std::string::npos) __builtin_trap();
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) __builtin_trap();
    return 0;
}
