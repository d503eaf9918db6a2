// A colour as the views give it: red, green and blue components.
#pragma once

#include <cstdint>

namespace qm {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

}  // namespace qm
