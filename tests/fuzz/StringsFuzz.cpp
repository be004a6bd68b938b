#include "support/Strings.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Input: three texts separated by 0xFFFF code units, then the include flag in the last
// byte. Checks what must hold for any input: the value lies inside the text, and the
// unescaper never grows the text or raises anything but its conversion error.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const bool include = data[size - 1] & 1;
    std::u16string all;
    for (std::size_t i = 0; i + 1 < size - 1; i += 2)
        all.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::u16string parts[3];
    std::size_t part = 0;
    for (char16_t c : all) {
        if (c == 0xFFFF && part < 2)
            ++part;
        else
            parts[part].push_back(c);
    }
    const std::u16string value = quorvel::ExtractBetween(parts[0], parts[1], parts[2], include);
    if (!include && !value.empty() && parts[0].find(value) == std::u16string::npos)
        __builtin_trap();
    if (value.size() > parts[0].size() + parts[1].size() + parts[2].size())
        __builtin_trap();
    try {
        const std::u16string plain = quorvel::UnescapeJSONString(parts[0]);
        if (plain.size() > parts[0].size())
            __builtin_trap();
    } catch (const quorvel::EConvertError&) {
    }
    return 0;
}
