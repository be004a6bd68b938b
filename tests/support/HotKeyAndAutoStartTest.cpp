#include "platform/PortalHotKey.h"
#include "support/AutoStart.h"
#include "support/HotKeyNames.h"

#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvel;

// Every key of the list has a trigger in the desktop portal's notation, modifiers first.
TEST(HotKeyNames, EveryListedKeyHasAPortalTrigger) {
    for (const std::string& entry : HotKeyListEntries())
        EXPECT_TRUE(ShortcutTrigger(*KeyOfEntry(entry), 0).has_value()) << entry;
    EXPECT_EQ(ShortcutTrigger(0x2C, 0), "Print");
    EXPECT_EQ(ShortcutTrigger('A', 2 | 4), "CTRL+SHIFT+a");
    EXPECT_EQ(ShortcutTrigger(0x7B, 1), "ALT+F12");
    EXPECT_EQ(ShortcutTrigger(0x2E, 7), "CTRL+ALT+SHIFT+Delete");
    EXPECT_FALSE(ShortcutTrigger(0x20, 0).has_value());
}

TEST(HotKeyNames, EntriesAndKeysMatchThroughTheirNames) {
    const auto& entries = HotKeyListEntries();
    ASSERT_EQ(entries.size(), 1u + 26u + 10u + 12u + 1u);
    EXPECT_EQ(entries.front(), "PrintScreen");
    EXPECT_EQ(entries[27], "1");
    EXPECT_EQ(entries[36], "0");
    EXPECT_EQ(entries.back(), "DEL");
    for (const std::string& entry : entries) {
        const auto key = KeyOfEntry(entry);
        ASSERT_TRUE(key.has_value()) << entry;
        EXPECT_EQ(EntryOfKey(*key), entry);
    }
    EXPECT_EQ(KeyOfEntry("PrintScreen"), 0x2C);
    EXPECT_EQ(KeyNameOf(0x2C), "Sys Req");
    EXPECT_EQ(KeyOfEntry("DEL"), 0x2E);
    EXPECT_EQ(KeyOfName("del"), 0x2E);
    EXPECT_EQ(KeyOfEntry("F12"), 0x7B);
    EXPECT_EQ(EntryOfKey(0x90), ""); // a key the list does not hold
    EXPECT_FALSE(KeyOfEntry("").has_value());
    EXPECT_EQ(ModifiersOf(0x6041), kModControl | kModShift);
    EXPECT_EQ(ModifiersOf(0x802E), kModAlt);
}

TEST(AutoStart, EntryQuotesThePathAndAddsStart) {
    EXPECT_NE(AutoStartEntry("Quorvel", "/opt/q/quorvel").find("Exec=\"/opt/q/quorvel\" /start\n"),
              std::string::npos);
    // Characters the desktop entry format reserves inside quotes are escaped (and the
    // backslash once more for the file).
    EXPECT_NE(AutoStartEntry("Quorvel", "/a b/$x\"y").find("Exec=\"/a b/\\\\$x\\\\\"y\" /start\n"),
              std::string::npos);
}

TEST(AutoStart, SwitchingOnAndOffAndRepointing) {
    test::TTempFolder home;
    ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    EXPECT_FALSE(IsAutoStart("Quorvel"));
    EXPECT_TRUE(SetAutoStart("Quorvel", false)); // nothing to remove is fine
    EXPECT_TRUE(SetAutoStart("Quorvel", true));
    const std::string file = AutoStartFile("Quorvel");
    EXPECT_EQ(file, (home.Path() / "autostart" / "Quorvel.desktop").string());
    // An entry that points at another copy is pointed at this one.
    home.Touch("autostart/Quorvel.desktop", "[Desktop Entry]\nExec=\"/old/copy\" /start\n");
    EXPECT_TRUE(IsAutoStart("Quorvel"));
    EXPECT_EQ(test::ReadFileBytes(file).find("/old/copy"), std::string::npos);
    EXPECT_TRUE(SetAutoStart("Quorvel", false));
    EXPECT_FALSE(std::filesystem::exists(file));
    // A configuration folder where no entry can be written.
    std::filesystem::remove_all(home.Path() / "autostart");
    home.Touch("autostart", "a file in the way");
    EXPECT_FALSE(SetAutoStart("Quorvel", true));
}

TEST(AutoStart, PercentIsNotAFieldCodeAndDisabledEntriesStayOff) {
    // A "%" in the path would be read as a field code (%f, %u …) unless doubled.
    EXPECT_NE(AutoStartEntry("Quorvel", "/home/a%20b/quorvel")
                  .find("Exec=\"/home/a%%20b/quorvel\" /start\n"),
              std::string::npos);

    EXPECT_TRUE(AutoStartEntryDisabled("[Desktop Entry]\nExec=q\nHidden=true\n"));
    EXPECT_TRUE(AutoStartEntryDisabled("[Desktop Entry]\r\nX-GNOME-Autostart-enabled = False\r\n"));
    EXPECT_FALSE(
        AutoStartEntryDisabled("[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_FALSE(AutoStartEntryDisabled("[Desktop Action x]\nHidden=true\n"));

    // The desktop switched the entry off: it is not counted, and start-up leaves it alone.
    test::TTempFolder home;
    ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    const std::string text = "[Desktop Entry]\nExec=\"/old/copy\" /start\nHidden=true\n";
    std::filesystem::create_directories(home.Path() / "autostart");
    const std::string file = home.Touch("autostart/Quorvel.desktop", text);
    EXPECT_FALSE(IsAutoStart("Quorvel"));
    EXPECT_EQ(test::ReadFileBytes(file), text);
    // Switching it on from the menu writes an entry that is on.
    EXPECT_TRUE(SetAutoStart("Quorvel", true));
    EXPECT_TRUE(IsAutoStart("Quorvel"));
}
