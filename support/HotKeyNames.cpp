#include "support/HotKeyNames.h"

#include <cctype>

namespace quorvel {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "F1" to "F12". Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about
// "F" + std::to_string(n).
std::string FunctionKeyName(int n) {
    std::string name(1, 'F');
    name += std::to_string(n);
    return name;
}

} // namespace

const std::vector<std::string>& HotKeyListEntries() {
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> list{"PrintScreen"};
        for (char c = 'A'; c <= 'Z'; ++c)
            list.emplace_back(1, c);
        for (char c = '1'; c <= '9'; ++c)
            list.emplace_back(1, c);
        list.emplace_back("0");
        for (int f = 1; f <= 12; ++f)
            list.push_back(FunctionKeyName(f));
        list.emplace_back("DEL");
        return list;
    }();
    return entries;
}

std::string KeyNameOf(std::uint8_t vk) {
    if (vk == kVkPrintScreen)
        return "Sys Req";
    if (vk == kVkDelete)
        return "Del";
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return std::string(1, static_cast<char>(vk));
    if (vk >= kVkF1 && vk < kVkF1 + 12)
        return FunctionKeyName(vk - kVkF1 + 1);
    return {};
}

std::optional<std::uint8_t> KeyOfName(const std::string& name) {
    const std::string wanted = Upper(name);
    if (wanted.empty())
        return std::nullopt;
    for (int vk = 1; vk < 256; ++vk) {
        const std::string known = KeyNameOf(static_cast<std::uint8_t>(vk));
        if (!known.empty() && Upper(known) == wanted)
            return static_cast<std::uint8_t>(vk);
    }
    return std::nullopt;
}

std::string EntryOfKey(std::uint8_t vk) {
    std::string name = KeyNameOf(vk);
    if (name == "Sys Req")
        name = "PrintScreen";
    for (const std::string& entry : HotKeyListEntries())
        if (!name.empty() && Upper(entry) == Upper(name))
            return entry;
    return {};
}

std::optional<std::uint8_t> KeyOfEntry(const std::string& entry) {
    return KeyOfName(entry == "PrintScreen" ? std::string("Sys Req") : entry);
}

unsigned ModifiersOf(std::uint16_t shortCut) {
    unsigned flags = 0;
    if (shortCut & kShortCutAlt)
        flags |= kModAlt;
    if (shortCut & kShortCutCtrl)
        flags |= kModControl;
    if (shortCut & kShortCutShift)
        flags |= kModShift;
    return flags;
}

} // namespace quorvel
