#include "sinks/DarkenColor.h"

namespace quorvel {

TColorRef DarkenColor(TColorRef Color, std::uint8_t Percent) {
    const unsigned percent = Percent > 100 ? 100u : Percent;
    TColorRef result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned c = (Color >> shift) & 0xFFu;
        const unsigned darker = c - (c * percent + 50) / 100;
        result |= darker << shift;
    }
    return result;
}

} // namespace quorvel
